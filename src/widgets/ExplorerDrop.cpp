#include "widgets/ExplorerDrop.h"

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

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

QStringList TExplorerDrop::LocalNames(const QDropEvent& event) {
    QStringList names;
    const QMimeData* data = event.mimeData();
    if (!data || !data->hasUrls()) return names;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) names << url.toLocalFile();
    return names;
}

bool TExplorerDrop::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* drop = static_cast<QDropEvent*>(event);
    if (!FEnabled || LocalNames(*drop).isEmpty()) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop) {
        auto* receiver = static_cast<QWidget*>(watched);
        const QPoint point = receiver->mapTo(FTarget.data(), drop->position().toPoint());
        Drop(LocalNames(*drop), point);
    }
    return true;
}

void TExplorerDrop::Drop(const QStringList& names, const QPoint& point) {
    if (OnBeginDrop) OnBeginDrop(*this);
    FFiles.clear();
    for (const QString& name : names) {
        if (AllowFolders || QFileInfo(name).isFile())
            FFiles << name;
        else if (OnFolderNotAllowed)
            OnFolderNotAllowed(nullptr, name);
    }
    FFileCount = static_cast<int>(FFiles.size());
    if (OnDropped) OnDropped(*this, FFiles, FFileCount, point.x(), point.y());
}

}  // namespace pictavo
