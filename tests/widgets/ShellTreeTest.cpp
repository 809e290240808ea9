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
        for (const QString& bad :
             {dir.filePath(QStringLiteral("missing")), dir.filePath(QStringLiteral("file.ico")), QString()}) {
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

    // Refreshing re-reads the selected folder: a folder made after it was opened appears, and
    // one removed since disappears (and comes back when made again).
    void refreshShowsNewFolders() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("old")));
        TShellTree tree;
        QVERIFY(tree.SetPath(dir.path()));
        const QModelIndex folder = tree.currentIndex();
        tree.expand(folder);
        QFileSystemModel* model = tree.FileSystem();
        QTRY_COMPARE(model->rowCount(folder), 1);
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("new")));
        QTest::qWait(300);
        QCOMPARE(model->rowCount(folder), 1);  // not followed by itself
        tree.Refresh();
        QTRY_COMPARE(model->rowCount(folder), 2);
        QCOMPARE(model->fileName(model->index(1, 0, folder)), QStringLiteral("new"));
        QCOMPARE(tree.Path(), dir.path());
        QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("old")));
        tree.Refresh();
        QVERIFY(tree.isRowHidden(0, folder));
        QVERIFY(!tree.isRowHidden(1, folder));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("old")));
        tree.Refresh();
        QVERIFY(!tree.isRowHidden(0, folder));
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
