// The folder tree: the file system's folders from its root down, over a QFileSystemModel,
// with the selected folder's path read and set as text and a signal when the selection moves
// to another folder.
#pragma once

#include <QString>
#include <QTreeView>

class QFileSystemModel;

namespace pictavo {

class TShellTree : public QTreeView {
    Q_OBJECT
public:
    explicit TShellTree(QWidget* parent = nullptr);
    // Leaves its model behind (see ShellTree.cpp): it never waits for a folder being read.
    ~TShellTree() override;

    QFileSystemModel* FileSystem() const { return FModel; }

    // The selected folder's path ("/" for the root); empty without a selection.
    QString Path() const;
    // Selects the folder, opening its parents; false, with the selection left as it was, when
    // the path names no folder. A folder below a hidden one makes hidden folders shown.
    bool SetPath(const QString& path);
    // Looks at the selected folder's sub-folders again, so that folders made since it was read
    // appear (the tree does not follow changes by itself).
    void Refresh();

signals:
    // The selected folder changed: its path.
    void Change(const QString& path);

protected:
    // A right click selects the folder under the pointer.
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Brings the selected folder into view a moment from now, once the model has sorted what
    // it has read by then; only while the user has not moved the tree himself.
    void ScrollLater();

    QFileSystemModel* FModel;
    // Set by SetPath, cleared by the user's own clicks, keys and wheel: the selected folder is
    // brought into view again whenever folders finish loading and when the tree is shown or
    // resized (the model reads folders in the background and sorts them afterwards, and a tree
    // not yet on screen has no size to scroll in).
    bool FKeepInView = false;
};

}  // namespace pictavo
