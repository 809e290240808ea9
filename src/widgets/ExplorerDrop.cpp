#include "widgets/ExplorerDrop.h"

#include "base/Paths.h"

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <sys/stat.h>

namespace pictavo {

TExplorerDrop::TExplorerDrop(QObject* parent) : QObject(parent) {}

TExplorerDrop::~TExplorerDrop() {
    if (FTarget)
        for (QWidget* receiver : Receivers()) receiver->removeEventFilter(this);
}

QList<QWidget*> TExplorerDrop::Receivers() const {
    QList<QWidget*> receivers;
    if (!FTarget) return receivers;
    receivers << FTarget.data();
    if (auto* area = qobject_cast<QAbstractScrollArea*>(FTarget.data())) receivers << area->viewport();
    return receivers;
}

void TExplorerDrop::SetEnabled(bool value) {
    if (!FTarget) return;
    FEnabled = value;
    for (QWidget* receiver : Receivers()) receiver->setAcceptDrops(value);
}

void TExplorerDrop::SetDestinationControl(QWidget* control) {
    if (control == FTarget) return;
    if (!control) {
        for (QWidget* receiver : Receivers()) receiver->removeEventFilter(this);
        SetEnabled(false);
        FTarget = nullptr;
        return;
    }
    FTarget = control;
    for (QWidget* receiver : Receivers()) receiver->installEventFilter(this);
    SetEnabled(true);
}

std::vector<std::string> TExplorerDrop::LocalPaths(const QDropEvent& event) {
    std::vector<std::string> paths;
    const QMimeData* data = event.mimeData();
    if (!data || !data->hasUrls()) return paths;
    const QByteArray list = data->data(QStringLiteral("text/uri-list"));
    if (list.isEmpty()) {  // URLs offered another way: their text is all there is
        for (const QUrl& url : data->urls())
            if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
        return paths;
    }
    // One URI a line, lines beginning with "#" are comments; URIs of other hosts or schemes
    // are not local files.
    for (QByteArray line : list.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#') || !line.toLower().startsWith("file:")) continue;
        if (const auto path = LocalPathOfArgument(line.toStdString()); path && !path->empty()) paths.push_back(*path);
    }
    return paths;
}

bool TExplorerDrop::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* drop = static_cast<QDropEvent*>(event);
    if (!FEnabled || LocalPaths(*drop).empty()) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop) {
        auto* receiver = static_cast<QWidget*>(watched);
        const QPoint point = receiver->mapTo(FTarget.data(), drop->position().toPoint());
        Drop(LocalPaths(*drop), point);
    }
    return true;
}

void TExplorerDrop::Drop(const QStringList& names, const QPoint& point) {
    std::vector<std::string> paths;
    for (const QString& name : names) paths.push_back(QFile::encodeName(name).toStdString());
    Drop(paths, point);
}

void TExplorerDrop::Drop(const std::vector<std::string>& paths, const QPoint& point) {
    if (OnBeginDrop) OnBeginDrop(*this);
    FFiles.clear();
    FFileBytes.clear();
    for (const std::string& path : paths) {
        struct stat st {};
        const QString name = QFile::decodeName(QByteArray::fromStdString(path));
        if (AllowFolders || (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))) {
            FFiles << name;
            FFileBytes.push_back(path);
        } else if (OnFolderNotAllowed) {
            OnFolderNotAllowed(nullptr, name);
        }
    }
    FFileCount = static_cast<int>(FFiles.size());
    if (OnDropped) OnDropped(*this, FFiles, FFileCount, point.x(), point.y());
}

}  // namespace pictavo
