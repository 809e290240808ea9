#include "widgets/ShellTree.h"

#include <QAbstractFileIconProvider>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSet>
#include <QTimer>

#include <vector>

namespace pictavo {

namespace {

constexpr int kIndent = 19;
// Time the model takes to sort a folder it has just read.
constexpr int kSortSettleMs = 100;

// The models of trees that have gone. A model reads folders on a thread of its own, and its end
// waits for that thread without a bound: a thread stuck in a folder of a share that stopped
// answering would keep the window from ever closing. So a tree's model is never deleted; it is
// kept here, reachable, until the process ends (a window has one tree, made once).
std::vector<QFileSystemModel*>& ModelsLeftBehind() {
    static auto* models = new std::vector<QFileSystemModel*>();
    return *models;
}

// The icons and type names of the tree's entries, from what the model's look at an entry told (a
// folder, the root) and never from a file's contents: the platform's provider reads the first
// bytes of a file of unknown type to name its type, on the window's thread, where a file of a
// share that stopped answering would freeze the window. The tree shows folders only; anything
// else gets the plain file icon and no type name.
class TFolderIconProvider : public QAbstractFileIconProvider {
public:
    using QAbstractFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override {
        return info.isDir() ? QAbstractFileIconProvider::icon(info) : icon(File);
    }
    QString type(const QFileInfo& info) const override {
        return info.isDir() ? QAbstractFileIconProvider::type(info) : QString();
    }
};

// One for every tree, never deleted, as the models that use it are not (ModelsLeftBehind).
QAbstractFileIconProvider* FolderIcons() {
    static auto* icons = new TFolderIconProvider();
    return icons;
}

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
    FModel->setIconProvider(FolderIcons());
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
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid()) emit Change(Path());
    });
}

TShellTree::~TShellTree() {
    FModel->setParent(nullptr);
    ModelsLeftBehind().push_back(FModel);
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
    const QModelIndex folder = currentIndex();
    // A folder not read yet is read whole when it is opened.
    if (!folder.isValid() || FModel->canFetchMore(folder)) return;
    const QString path = FModel->filePath(folder);
    // Only the sub-folders are looked at (a listed folder may hold thousands of files, which the
    // tree never shows).
    const QDir::Filters filters = (FModel->filter() & QDir::Hidden) | QDir::AllDirs | QDir::NoDotAndDotDot;
    const QStringList there = QDir(path).entryList(filters, QDir::Name);
    const QSet<QString> present(there.begin(), there.end());
    // Folders gone since are hidden rather than taken out of the model (which keeps what it
    // once read), and shown again should they come back.
    QSet<QString> known;
    for (int row = 0; row < FModel->rowCount(folder); ++row) {
        const QString name = FModel->fileName(FModel->index(row, 0, folder));
        known.insert(name);
        setRowHidden(row, folder, !present.contains(name));
    }
    // Asking the model for a folder it does not know yet adds it.
    for (const QString& name : there)
        if (!known.contains(name)) FModel->index(QDir(path).filePath(name));
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
