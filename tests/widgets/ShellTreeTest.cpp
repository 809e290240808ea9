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
