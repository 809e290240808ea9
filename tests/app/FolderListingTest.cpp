// Choosing a folder in the real main window: the rows and columns of the file list, the
// counters and status texts, the options of the search dialog that govern listings, sorting,
// the incremental search, refresh, and a folder chosen while a listing runs.
#include "WindowFixtures.h"

#include "app/SearchDlg.h"
#include "support/TempDir.h"
#include "widgets/FileListView.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/ShellTree.h"

#include <QCheckBox>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>

using namespace pictavo;
using namespace pictavo::test;

namespace {}  // namespace

class FolderListingTest : public QObject {
    Q_OBJECT
    QTemporaryDir FConfig;
    TempDir FStart;  // the folder every window starts on: one icon file
    QString Store() const { return FConfig.filePath(QStringLiteral("Pictavo.ini")); }

private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        WriteIcoFile(FStart.File("start.ico"));
    }

    void listsTheFilesThatHoldIcons() {
        TempDir dir;
        WriteIcoFile(dir.File("b.ico"), 1025);
        SetModified(dir.File("b.ico"), QDateTime(QDate(2021, 6, 15), QTime(13, 45, 30)));
        WriteDllFile(dir.File("a.dll"), 3);
        SetModified(dir.File("a.dll"), QDateTime(QDate(2019, 1, 2), QTime(0, 0, 0)));
        WritePlainFile(dir.File("note.txt"));
        WritePlainFile(dir.File("fake.ico"));  // no icon header
        const auto window = OpenWindow(Store(), Q(FStart.Path()));
        QVERIFY(window);
        QCOMPARE(ListedNames(*window), QStringList{"start.ico"});

        QSignalSpy folders(Parts(window).sb, &TPanelStatusBar::PanelTextChanged);
        QVERIFY(Parts(window).ShellTree->SetPath(Q(dir.Path())));
        QVERIFY(WaitIdle(*window));
        QCOMPARE(ListedNames(*window), (QStringList{"a.dll", "b.ico"}));
        QCOMPARE(ListedColumn(*window, 1), (QStringList{"3", "1"}));
        QCOMPARE(ListedColumn(*window, 2), (QStringList{"02.01.19", "15.06.21 13:45:30"}));
        const auto kb = [](const std::string& path) {
            return QString::number(SizeInKB(std::filesystem::file_size(path)));
        };
        QCOMPARE(ListedColumn(*window, 3), (QStringList{kb(dir.File("a.dll")), "2"}));
        QCOMPARE(ListedColumn(*window, 4), (QStringList{Q(dir.Path()) + u'/', Q(dir.Path()) + u'/'}));
        QCOMPARE(Parts(window).FileList->Model()->File(1).Row.Path, dir.File("b.ico"));
        QCOMPARE(Panel(*window, 0), Counters(1, 4, 4));
        QCOMPARE(Panel(*window, 1), QStringLiteral("就绪"));
        QVERIFY(!Parts(window).FSearching);
        QVERIFY(!Parts(window).FBrowsing);
        QVERIFY(!Parts(window).FileList->Model()->Updating());
        QVERIFY(!QApplication::overrideCursor());
        // Panel 1 showed the listing's texts in turn: its start, the folder, the end.
        QStringList panel1;
        for (const QList<QVariant>& change : folders)
            if (change.at(0).toInt() == 1) panel1 << change.at(1).toString();
        QCOMPARE(panel1, (QStringList{"正在搜索文件...", Q(dir.Path()) + u'/', "就绪"}));
    }

    void folderWithoutIconFiles() {
        TempDir dir;
        for (const char* name : {"a.txt", "b.ico", "c.exe"}) WritePlainFile(dir.File(name));
        const auto window = OpenWindow(Store(), Q(dir.Path()));
        QVERIFY(window);
        QCOMPARE(Parts(window).FileList->model()->rowCount(), 0);
        QCOMPARE(Panel(*window, 0), Counters(1, 3, 0));
        QCOMPARE(Panel(*window, 1), QStringLiteral("就绪"));
    }

    // While browsing, the counters show at every hundredth examined file and at the end.
    void countersAtEveryHundredthFile() {
        TempDir dir;
        for (int i = 0; i < 250; ++i) {
            const std::string name = "f" + std::to_string(1000 + i);
            if (i % 50 == 0)
                WriteIcoFile(dir.File(name + ".ico"));
            else
                WritePlainFile(dir.File(name + ".txt"));
        }
        const auto window = OpenWindow(Store(), Q(FStart.Path()));
        QVERIFY(window);
        QStringList panel0;
        connect(Parts(window).sb, &TPanelStatusBar::PanelTextChanged, this, [&](int panel, const QString& text) {
            if (panel == 0) panel0 << text;
        });
        QVERIFY(Parts(window).ShellTree->SetPath(Q(dir.Path())));
        QVERIFY(WaitIdle(*window));
        QCOMPARE(panel0,
                 (QStringList{Counters(1, 0, 0), Counters(1, 100, 2), Counters(1, 200, 4), Counters(1, 250, 5)}));
        QCOMPARE(Parts(window).FileList->model()->rowCount(), 5);
    }

    void clearAndDuplicateOptions() {
        TempDir one, two;
        WriteIcoFile(one.File("x.ico"));
        WriteIcoFile(one.File("X.ICO"));
        WriteIcoFile(two.File("y.ico"));
        const auto window = OpenWindow(Store(), Q(FStart.Path()));
        QVERIFY(window);
        Twnd_pv_Search& dialog = *Parts(window).wnd_pv_Search;
        QVERIFY(Child<QCheckBox>(&dialog, "cbxClear")->isChecked());
        QVERIFY(Child<QCheckBox>(&dialog, "cbxIgnore")->isChecked());

        // Names met before in the run, without regard to case, are skipped and not counted.
        QVERIFY(Parts(window).ShellTree->SetPath(Q(one.Path())));
        QVERIFY(WaitIdle(*window));
        QCOMPARE(ListedNames(*window), QStringList{"X.ICO"});
        QCOMPARE(Panel(*window, 0), Counters(1, 1, 1));
        Child<QCheckBox>(&dialog, "cbxIgnore")->setChecked(false);
        QVERIFY(Parts(window).ShellTree->SetPath(Q(two.Path())));
        QVERIFY(WaitIdle(*window));
        QVERIFY(Parts(window).ShellTree->SetPath(Q(one.Path())));
        QVERIFY(WaitIdle(*window));
        QStringList names = ListedNames(*window);
        names.sort();
        QCOMPARE(names, (QStringList{"X.ICO", "x.ico"}));
        QCOMPARE(Panel(*window, 0), Counters(1, 2, 2));

        // Without clearing, a listing adds its rows to those there.
        Child<QCheckBox>(&dialog, "cbxClear")->setChecked(false);
        QVERIFY(Parts(window).ShellTree->SetPath(Q(two.Path())));
        QVERIFY(WaitIdle(*window));
        names = ListedNames(*window);
        names.sort();
        QCOMPARE(names, (QStringList{"X.ICO", "x.ico", "y.ico"}));
        QCOMPARE(Panel(*window, 0), Counters(1, 1, 1));
        Child<QCheckBox>(&dialog, "cbxClear")->setChecked(true);
        QVERIFY(Parts(window).ShellTree->SetPath(Q(one.Path())));
        QVERIFY(WaitIdle(*window));
        QCOMPARE(Parts(window).FileList->model()->rowCount(), 2);
    }

    // A click on the size header sorts by the number of kilobytes; another click reverses.
    void sortsTheSizeColumnNumerically() {
        TempDir dir;
        WriteIcoFile(dir.File("nine.ico"), 9 * 1024);
        WriteIcoFile(dir.File("ten.ico"), 10 * 1024);
        WriteIcoFile(dir.File("hundred.ico"), 100 * 1024);
        WriteIcoFile(dir.File("one.ico"), 100);
        const auto window = OpenWindow(Store(), Q(dir.Path()));
        QVERIFY(window);
        QHeaderView* header = Parts(window).FileList->header();
        const QPoint sizeHeader(header->sectionViewportPosition(3) + 10, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sizeHeader);
        QCOMPARE(ListedColumn(*window, 3), (QStringList{"1", "9", "10", "100"}));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sizeHeader);
        QCOMPARE(ListedColumn(*window, 3), (QStringList{"100", "10", "9", "1"}));
        // The list stays sorted by that column when it is filled again.
        Parts(window).Refresh1->trigger();
        QVERIFY(WaitIdle(*window));
        QCOMPARE(ListedColumn(*window, 3), (QStringList{"100", "10", "9", "1"}));
    }

    void incrementalSearch() {
        TempDir dir;
        for (const char* name : {"a", "AB1.ico", "Ab2.ico", "ab3.ico", "b.ico"}) WriteIcoFile(dir.File(name));
        const auto window = OpenWindow(Store(), Q(dir.Path()));
        QVERIFY(window);
        QStringList matches;
        for (int r = 0; r < Parts(window).FileList->model()->rowCount(); ++r) {
            int result = -1;
            Parts(window).FileList->OnIncrementalSearch(Parts(window).FileList->Model()->File(r), QStringLiteral("ab"),
                                                        result);
            if (result == 0) matches << Parts(window).FileList->Model()->File(r).Name;
        }
        matches.sort();
        QCOMPARE(matches, (QStringList{"AB1.ico", "Ab2.ico", "ab3.ico"}));
        Parts(window).FileList->SearchInterval = 60'000;
        Parts(window).FileList->setFocus();
        QTest::keyClicks(Parts(window).FileList, "ab");
        const int current = Parts(window).FileList->CurrentRow();
        QVERIFY(current >= 0);
        QVERIFY(matches.contains(Parts(window).FileList->Model()->File(current).Name));
    }

    // F5 lists the folder again, clears the selection and forgets the file on view.
    void refreshWithAFileOnView() {
        TempDir dir;
        WriteIcoFile(dir.File("one.ico"));
        const auto window = OpenWindow(Store(), Q(dir.Path()));
        QVERIFY(window);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QVERIFY(ChooseFile(*window, QStringLiteral("one.ico")));
        QVERIFY(Parts(window).FileList->selectionModel()->hasSelection());
        QCOMPARE(Parts(window).FCurrentFile, dir.File("one.ico"));
        QCOMPARE(Count(Parts(window).IconList), 1);
        WriteIcoFile(dir.File("two.ico"));
        // The tree does not follow the file system by itself; F5 reads the folder's sub-folders again.
        const QModelIndex folder = Parts(window).ShellTree->currentIndex();
        Parts(window).ShellTree->expand(folder);
        QTRY_VERIFY(Parts(window).ShellTree->FileSystem()->canFetchMore(folder) == false);
        QTest::qWait(100);
        const int subfolders = Parts(window).ShellTree->FileSystem()->rowCount(folder);
        std::filesystem::create_directory(dir.File("made-later"));
        QTest::keyClick(window.get(), Qt::Key_F5);
        QVERIFY(WaitIdle(*window));
        QTRY_COMPARE(Parts(window).ShellTree->FileSystem()->rowCount(folder), subfolders + 1);
        QCOMPARE(ListedNames(*window), (QStringList{"one.ico", "two.ico"}));
        QVERIFY(!Parts(window).FileList->selectionModel()->hasSelection());
        QCOMPARE(Parts(window).FileList->CurrentRow(), -1);
        QVERIFY(Parts(window).FCurrentFile.empty());
        QCOMPARE(Count(Parts(window).IconList), 0);
        QCOMPARE(Panel(*window, 1), QStringLiteral("就绪"));
    }

    void ctrlFOpensTheSearchDialog() {
        const auto window = OpenWindow(Store(), Q(FStart.Path()));
        QVERIFY(window);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QVERIFY(!Parts(window).wnd_pv_Search->isVisible());
        QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(Parts(window).wnd_pv_Search->isVisible());
        QVERIFY(!Parts(window).wnd_pv_Search->isModal());
        // The listing at start has already set the button's caption.
        QCOMPARE(Parts(window).wnd_pv_Search->findChild<QPushButton*>(QStringLiteral("bAction"))->text(),
                 QStringLiteral("开始"));
    }

    // A folder chosen while a listing runs stops it and is listed instead; the run stopped is not
    // waited for.
    void anotherFolderChosenDuringAListing() {
        TempDir big, small;
        for (int i = 0; i < 300; ++i) WritePlainFile(big.File("p" + std::to_string(i)));
        WriteIcoFile(big.File("big.ico"));
        WriteIcoFile(small.File("small.ico"));
        const auto window = OpenWindow(Store(), Q(FStart.Path()), {}, TWorkService::TMode::Manual);
        QVERIFY(window);
        QStringList counters;
        bool switched = false;
        connect(Parts(window).sb, &TPanelStatusBar::PanelTextChanged, this, [&](int panel, const QString& text) {
            if (panel == 0) counters << text;
            if (panel == 0 && text == Counters(1, 100, 1) && !switched) {
                switched = true;
                QVERIFY(Parts(window).ShellTree->SetPath(Q(small.Path())));
                QVERIFY(!Parts(window).FSearching);  // the stopped run has ended for the window
            }
        });
        QVERIFY(Parts(window).ShellTree->SetPath(Q(big.Path())));
        RunListing(*window);
        QVERIFY(switched);
        QCOMPARE(ListedNames(*window), QStringList{"small.ico"});
        QCOMPARE(Panel(*window, 0), Counters(1, 1, 1));
        QCOMPARE(Parts(window).ShellTree->Path(), Q(small.Path()));
        // The big folder's listing stopped where the other folder was chosen.
        QVERIFY2(!counters.contains(Counters(1, 301, 1)), qPrintable(counters.join(u'|')));
        QVERIFY(counters.contains(Counters(1, 100, 1)));
        QVERIFY(!Parts(window).FSearching);
        QVERIFY(!Parts(window).FileList->Model()->Updating());
    }
};

QTEST_MAIN(FolderListingTest)
#include "FolderListingTest.moc"
