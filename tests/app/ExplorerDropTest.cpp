// Files dropped from a file manager: the drop component on a plain list, and drops onto the
// real main window's file list, which lists the dropped files that hold icons.
#include "WindowFixtures.h"

#include "app/SearchDlg.h"
#include "support/TempDir.h"
#include "widgets/ExplorerDrop.h"
#include "widgets/FileListView.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/ShellTree.h"

#include <QCheckBox>
#include <QListWidget>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <filesystem>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// Drags these paths, as a file manager does, into `receiver` and drops them at `pos`; true
// when both the drag and the drop were accepted.
bool SendDrop(QWidget* receiver, const QStringList& paths, QPoint pos = {5, 5}) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QApplication::sendEvent(receiver, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    drop.ignore();
    QApplication::sendEvent(receiver, &drop);
    return drop.isAccepted();
}

// A drop whose text/uri-list is these bytes, as a file manager sends it.
bool SendUriList(QWidget* receiver, const QByteArray& list) {
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"), list);
    QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QApplication::sendEvent(receiver, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    drop.ignore();
    QApplication::sendEvent(receiver, &drop);
    return drop.isAccepted();
}

}  // namespace

class ExplorerDropTest : public QObject {
    Q_OBJECT
    QTemporaryDir FConfig;
    TempDir FStart;
    QString Store() const { return FConfig.filePath(QStringLiteral("Pictavo.ini")); }

private slots:
    void initTestCase() { WriteIcoFile(FStart.File("start.ico")); }

    // Refused names are reported; the accepted ones, their count and the point reach
    // OnDropped; Enabled needs a target; clearing the target stops the drops.
    void componentAcceptsFilesAndRefusesFolders() {
        TempDir dir;
        WritePlainFile(dir.File("a.txt"));
        std::filesystem::create_directory(dir.File("sub"));
        QListWidget list;
        TExplorerDrop drop;
        drop.SetEnabled(true);
        QVERIFY(!drop.Enabled());
        QStringList refused, dropped;
        int count = -1;
        QPoint point;
        drop.OnFolderNotAllowed = [&](TExplorerDrop* sender, const QString& name) {
            QVERIFY(!sender);
            refused << name;
        };
        drop.OnDropped = [&](TExplorerDrop& sender, const QStringList& files, int n, int x, int y) {
            QCOMPARE(&sender, &drop);
            dropped = files;
            count = n;
            point = {x, y};
        };
        drop.SetDestinationControl(&list);
        QVERIFY(drop.Enabled());
        QVERIFY(list.viewport()->acceptDrops());

        const QStringList names{Q(dir.File("sub")), Q(dir.File("a.txt")), Q(dir.File("gone.txt"))};
        QVERIFY(SendDrop(list.viewport(), names, {7, 9}));
        QCOMPARE(refused, (QStringList{names[0], names[2]}));
        QCOMPARE(dropped, QStringList{names[1]});
        QCOMPARE(count, 1);
        QCOMPARE(drop.FileCount(), 1);
        QCOMPARE(point, list.viewport()->mapTo(&list, QPoint(7, 9)));

        drop.AllowFolders = true;
        refused.clear();
        QVERIFY(SendDrop(&list, names));
        QCOMPARE(dropped, names);
        QVERIFY(refused.isEmpty());

        drop.SetDestinationControl(nullptr);
        QVERIFY(!drop.Enabled());
        QVERIFY(!list.viewport()->acceptDrops());
        count = -1;
        QVERIFY(!SendDrop(list.viewport(), names));
        QCOMPARE(count, -1);
    }

    // Only the dropped files that hold icons are listed; every accepted file is counted, no
    // folder; the clear option decides whether the rows already there stay, and the same
    // file dropped again is listed again.
    void windowListsDroppedFilesWithIcons() {
        TempDir dir;
        WriteIcoFile(dir.File("b.ico"), 1025);
        WriteDllFile(dir.File("a.dll"), 2);
        WritePlainFile(dir.File("note.txt"));
        std::filesystem::create_directory(dir.File("sub"));
        WriteIcoFile(dir.File("sub/inner.ico"));
        const auto window = OpenWindow(Store(), Q(FStart.Path()));
        QVERIFY(window);
        QCOMPARE(ListedNames(*window), QStringList{"start.ico"});
        Twnd_pv_Search& dialog = *Parts(window).wnd_pv_Search;
        QVERIFY(Child<QCheckBox>(&dialog, "cbxClear")->isChecked());

        const QStringList dropped{Q(dir.File("sub")), Q(dir.File("b.ico")), Q(dir.File("note.txt")),
                                  Q(dir.File("a.dll"))};
        QVERIFY(SendDrop(Parts(window).FileList->viewport(), dropped));
        QVERIFY(WaitIdle(*window));
        QCOMPARE(ListedNames(*window), (QStringList{"a.dll", "b.ico"}));
        QCOMPARE(ListedColumn(*window, 1), (QStringList{"2", "1"}));
        QCOMPARE(ListedColumn(*window, 3).at(1), QStringLiteral("2"));
        QCOMPARE(ListedColumn(*window, 4), (QStringList{Q(dir.Path()) + u'/', Q(dir.Path()) + u'/'}));
        QCOMPARE(Parts(window).FileList->Model()->File(1).Row.Path, dir.File("b.ico"));
        QCOMPARE(Panel(*window, 0), Counters(0, 3, 3));
        QCOMPARE(Panel(*window, 1), QStringLiteral("就绪"));
        QVERIFY(!Parts(window).FSearching);
        QVERIFY(!Parts(window).FileList->Model()->Updating());

        // Without clearing, a drop adds its rows, the same file again too.
        Child<QCheckBox>(&dialog, "cbxClear")->setChecked(false);
        QVERIFY(SendDrop(Parts(window).FileList->viewport(), {Q(dir.File("b.ico")), Q(dir.File("b.ico"))}));
        QVERIFY(WaitIdle(*window));
        QCOMPARE(ListedNames(*window), (QStringList{"a.dll", "b.ico", "b.ico", "b.ico"}));
        QCOMPARE(Panel(*window, 0), Counters(0, 2, 2));

        Child<QCheckBox>(&dialog, "cbxClear")->setChecked(true);
        QVERIFY(SendDrop(Parts(window).FileList->viewport(), {Q(dir.File("sub/inner.ico"))}));
        QVERIFY(WaitIdle(*window));
        QCOMPARE(ListedNames(*window), QStringList{"inner.ico"});
        QCOMPARE(Panel(*window, 0), Counters(0, 1, 1));
    }

    // A drop that arrives while a listing runs is accepted and listed once the listing has
    // ended, in a run of its own.
    void dropDuringAListingIsListedAfterIt() {
        TempDir big, dropped;
        for (int i = 0; i < 250; ++i) WritePlainFile(big.File("f" + std::to_string(1000 + i) + ".txt"));
        WriteIcoFile(big.File("in-folder.ico"));
        WriteDllFile(dropped.File("late.dll"), 3);
        const auto window = OpenWindow(Store(), Q(FStart.Path()), {}, TWorkService::TMode::Manual);
        QVERIFY(window);
        bool accepted = false, duringRun = false;
        connect(Parts(window).sb, &TPanelStatusBar::PanelTextChanged, this, [&](int panel, const QString& text) {
            if (panel != 0 || !text.contains(QStringLiteral("文件: 100 ")) || accepted) return;
            duringRun = Parts(window).FSearching;
            accepted = SendDrop(Parts(window).FileList->viewport(), {Q(dropped.File("late.dll"))});
        });
        QVERIFY(Parts(window).ShellTree->SetPath(Q(big.Path())));
        RunListing(*window);
        QVERIFY(duringRun);
        QVERIFY(accepted);
        QCOMPARE(ListedNames(*window), QStringList{"late.dll"});
        QCOMPARE(ListedColumn(*window, 1), QStringList{"3"});
        QCOMPARE(Panel(*window, 0), Counters(0, 1, 3));
        QCOMPARE(Panel(*window, 1), QStringLiteral("就绪"));
    }

    // A file named in another code page (a byte that is not UTF-8, percent-encoded in the
    // URI) is listed by its bytes; comments and other hosts in the list are passed over.
    void droppedNameThatIsNotUtf8() {
        TempDir dir;
        WriteIcoFile(dir.File("bad\xff.ico"));
        const auto window = OpenWindow(Store(), Q(FStart.Path()));
        QVERIFY(window);
        const QByteArray list = "# from an old archive\r\nfile://elsewhere/x.ico\r\nfile://" +
                                QByteArray::fromStdString(dir.Path()).toPercentEncoding("/") + "/bad%FF.ico\r\n";
        QVERIFY(SendUriList(Parts(window).FileList->viewport(), list));
        QVERIFY(WaitIdle(*window));
        QCOMPARE(Parts(window).FileList->Model()->rowCount(), 1);
        QCOMPARE(Parts(window).FileList->Model()->File(0).Row.Path, dir.File("bad\xff.ico"));
    }
};

QTEST_MAIN(ExplorerDropTest)
#include "ExplorerDropTest.moc"
