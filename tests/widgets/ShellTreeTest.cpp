// The folder tree: the selected folder as text, selecting a folder by its path, what cannot be
// selected, and the change signal.
#include "widgets/ShellTree.h"

#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace pictavo;

namespace {

// The names the tree shows below a folder, sorted.
QStringList RowNames(const QFileSystemModel& model, const QModelIndex& folder) {
    QStringList names;
    for (int row = 0; row < model.rowCount(folder); ++row) names << model.fileName(model.index(row, 0, folder));
    names.sort();
    return names;
}

}  // namespace

class ShellTreeTest : public QObject {
    Q_OBJECT
private slots:
    void selectsFoldersByPath() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("一/二")));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral(".hidden/inside")));
        QFile file(dir.filePath(QStringLiteral("file.ico")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        TShellTree tree;
        QVERIFY(tree.Path().isEmpty());
        QSignalSpy changes(&tree, &TShellTree::Change);
        const QString deep = dir.filePath(QStringLiteral("一/二"));
        QVERIFY(tree.SetPath(deep + u'/'));
        QCOMPARE(tree.Path(), deep);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).toString(), deep);
        QVERIFY(tree.isExpanded(tree.currentIndex().parent()));
        QVERIFY(tree.SetPath(deep));  // the same folder: no change
        QCOMPARE(changes.count(), 1);

        // What names no folder leaves the selection as it was.
        for (const QString& bad : {dir.filePath(QStringLiteral("missing")), dir.filePath(QStringLiteral("file.ico")),
                                   QString()}) {
            QVERIFY2(!tree.SetPath(bad), qPrintable(bad));
            QCOMPARE(tree.Path(), deep);
        }
        QCOMPARE(changes.count(), 1);

        // A folder below a hidden one can be selected; the root too.
        const QString hidden = dir.filePath(QStringLiteral(".hidden/inside"));
        QVERIFY(tree.SetPath(hidden));
        QCOMPARE(tree.Path(), hidden);
        QVERIFY(tree.SetPath(QStringLiteral("/")));
        QCOMPARE(tree.Path(), QStringLiteral("/"));
        QCOMPARE(changes.count(), 3);
    }

    // Refreshing reads the file system again: a folder made after the selected one was opened
    // appears; a folder deleted from an opened one disappears, the other opened folders stay
    // open, and a selected folder that is gone gives way to its nearest parent.
    void refreshFollowsMadeAndDeletedFolders() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("keep/sub")));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("old/inner")));
        TShellTree tree;
        QVERIFY(tree.SetPath(dir.path()));
        QFileSystemModel* model = tree.FileSystem();
        const QModelIndex folder = tree.currentIndex();
        tree.expand(folder);
        QTRY_COMPARE(model->rowCount(folder), 2);
        const QModelIndex keep = model->index(dir.filePath(QStringLiteral("keep")));
        tree.expand(keep);
        QTRY_COMPARE(model->rowCount(keep), 1);
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("new")));
        QTest::qWait(300);
        QCOMPARE(model->rowCount(folder), 2);  // not followed by itself
        tree.Refresh();
        QTRY_COMPARE(model->rowCount(folder), 3);
        QCOMPARE(RowNames(*model, folder), (QStringList{"keep", "new", "old"}));
        QCOMPARE(tree.FileSystem(), model);  // nothing gone: the folders read are kept
        QCOMPARE(tree.Path(), dir.path());

        const QString inner = dir.filePath(QStringLiteral("old/inner"));
        QVERIFY(tree.SetPath(inner));
        QSignalSpy changes(&tree, &TShellTree::Change);
        QVERIFY(QDir(dir.filePath(QStringLiteral("old"))).removeRecursively());
        tree.Refresh();
        model = tree.FileSystem();
        const QModelIndex after = model->index(dir.path());
        QTRY_COMPARE(model->rowCount(after), 2);
        QCOMPARE(RowNames(*model, after), (QStringList{"keep", "new"}));
        QVERIFY(tree.isExpanded(model->index(dir.path())));  // the rows are sorted by now: a fresh index
        QVERIFY(tree.isExpanded(model->index(dir.filePath(QStringLiteral("keep")))));
        QCOMPARE(tree.Path(), dir.path());
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).toString(), dir.path());
    }

    // The folder selected before the tree is first shown is in view once it is shown, also
    // when it lies far below the tree's height.
    void selectedFolderIsScrolledIntoView() {
        QTemporaryDir dir;
        for (int i = 0; i < 80; ++i) QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("d%1").arg(i, 2, 10, QChar(u'0'))));
        TShellTree tree;
        tree.resize(200, 150);
        // The parent's listing is read before the folder is chosen, as the tree's start folder
        // and the stored one often share a parent.
        QVERIFY(tree.SetPath(dir.filePath(QStringLiteral("d00"))));
        QTRY_VERIFY(tree.FileSystem()->rowCount(tree.currentIndex().parent()) == 80);
        QTest::qWait(200);
        const QString last = dir.filePath(QStringLiteral("d79"));
        QVERIFY(tree.SetPath(last));
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        QTRY_VERIFY(tree.viewport()->rect().contains(tree.visualRect(tree.currentIndex())));
        QCOMPARE(tree.Path(), last);
    }

    void showsFoldersOnly() {
        TShellTree tree;
        QVERIFY(tree.FileSystem()->filter() & QDir::AllDirs);
        QVERIFY(!(tree.FileSystem()->filter() & QDir::Files));
        QVERIFY(tree.isHeaderHidden());
        QCOMPARE(tree.indentation(), 19);
        QVERIFY(!tree.rootIsDecorated());
        for (int c = 1; c < tree.FileSystem()->columnCount(); ++c) QVERIFY(tree.isColumnHidden(c));
    }
};

QTEST_MAIN(ShellTreeTest)
#include "ShellTreeTest.moc"
