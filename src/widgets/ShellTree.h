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

    QFileSystemModel* FileSystem() const { return FModel; }

    // The selected folder's path ("/" for the root); empty without a selection.
    QString Path() const;
    // Selects the folder, opening its parents; false, with the selection left as it was, when
    // the path names no folder. A folder below a hidden one makes hidden folders shown.
    bool SetPath(const QString& path);

signals:
    // The selected folder changed: its path.
    void Change(const QString& path);

protected:
    // A right click selects the folder under the pointer.
    void mousePressEvent(QMouseEvent* event) override;

private:
    QFileSystemModel* FModel;
    // The folder of the last SetPath, scrolled into view again once its parent's listing has
    // been read (the model reads folders in the background and sorts them afterwards).
    QString FScrollParent;
};

}  // namespace pictavo
