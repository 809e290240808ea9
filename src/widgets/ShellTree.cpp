#include "widgets/ShellTree.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

namespace pictavo {

namespace {

constexpr int kIndent = 19;
// Time the model takes to sort a folder it has just read.
constexpr int kSortSettleMs = 100;

bool UnderHiddenFolder(const QString& cleanPath) {
    const QStringList parts = cleanPath.split(u'/', Qt::SkipEmptyParts);
    for (const QString& part : parts)
        if (part.startsWith(u'.')) return true;
    return false;
}

}  // namespace

TShellTree::TShellTree(QWidget* parent) : QTreeView(parent), FModel(new QFileSystemModel(this)) {
    // The tree shows what the file system held when a folder was opened; it does not follow
    // later changes.
    FModel->setOption(QFileSystemModel::DontWatchForChanges, true);
    FModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    FModel->setRootPath(QDir::rootPath());
    setModel(FModel);
    for (int c = 1; c < FModel->columnCount(); ++c) hideColumn(c);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setIndentation(kIndent);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    expand(FModel->index(QDir::rootPath()));
    connect(FModel, &QFileSystemModel::directoryLoaded, this, [this] { ScrollLater(); });
    connect(verticalScrollBar(), &QScrollBar::sliderPressed, this, [this] { FKeepInView = false; });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) emit Change(Path());
            });
}

QString TShellTree::Path() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? FModel->filePath(current) : QString();
}

bool TShellTree::SetPath(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    if (!info.isDir()) return false;
    const QString clean = QDir::cleanPath(info.absoluteFilePath());
    if (UnderHiddenFolder(clean) && !(FModel->filter() & QDir::Hidden))
        FModel->setFilter(FModel->filter() | QDir::Hidden);
    const QModelIndex index = FModel->index(clean);
    if (!index.isValid()) return false;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) expand(parent);
    setCurrentIndex(index);
    scrollTo(index);
    FKeepInView = true;
    ScrollLater();
    return true;
}

void TShellTree::Refresh() {
    const QString path = Path();
    if (path.isEmpty()) return;
    // The model reads a folder again only when it is no longer the root it watches: making the
    // folder the root marks the old root to be read again, and making the old root the root
    // once more marks the folder. Then its listing is asked for afresh.
    const QString root = FModel->rootPath();
    FModel->setRootPath(path);
    FModel->setRootPath(root);
    const QModelIndex index = FModel->index(path);
    if (FModel->canFetchMore(index)) FModel->fetchMore(index);
}

void TShellTree::ScrollLater() {
    if (!FKeepInView) return;
    QTimer::singleShot(kSortSettleMs, this, [this] {
        if (FKeepInView && currentIndex().isValid()) scrollTo(currentIndex());
    });
}

void TShellTree::keyPressEvent(QKeyEvent* event) {
    FKeepInView = false;
    QTreeView::keyPressEvent(event);
}

void TShellTree::wheelEvent(QWheelEvent* event) {
    FKeepInView = false;
    QTreeView::wheelEvent(event);
}

void TShellTree::showEvent(QShowEvent* event) {
    QTreeView::showEvent(event);
    ScrollLater();
}

void TShellTree::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    ScrollLater();
}

void TShellTree::mousePressEvent(QMouseEvent* event) {
    FKeepInView = false;
    if (event->button() == Qt::RightButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid()) setCurrentIndex(index);
    }
    QTreeView::mousePressEvent(event);
}

}  // namespace pictavo
