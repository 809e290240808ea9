// The search dialog over the real main window: its controls, starting and stopping a search,
// the rows and counters a search produces, the mask as typed, and its keys.
#include "WindowFixtures.h"

#include "app/SearchDlg.h"
#include "support/TempDir.h"
#include "widgets/FileListView.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/PropStorageEh.h"
#include "widgets/ShellTree.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>

using namespace pictavo;
using namespace pictavo::test;

namespace {

QStringList Sorted(QStringList list) {
    list.sort();
    return list;
}

}  // namespace

class SearchDialogTest : public QObject {
    Q_OBJECT
    QTemporaryDir FConfig;
    TempDir FTree;  // a.ico, b.dll, notes.txt; sub/c.ico, sub/a.ico, sub/deeper/d.ico
    QString Store() const { return FConfig.filePath(QStringLiteral("Pictavo.ini")); }

    std::unique_ptr<Twnd_pv_Main> Open(TWorkService::TMode work = TWorkService::TMode::Threads) {
        auto window = OpenWindow(Store(), Q(FTree.Path()), {}, work);
        if (window) Parts(window).wnd_pv_Search->show();
        return window;
    }

private slots:
    void initTestCase() {
        std::filesystem::create_directories(FTree.File("sub/deeper"));
        WriteIcoFile(FTree.File("a.ico"));
        WriteDllFile(FTree.File("b.dll"), 2);
        WritePlainFile(FTree.File("notes.txt"));
        WriteIcoFile(FTree.File("sub/c.ico"));
        WriteIcoFile(FTree.File("sub/a.ico"));
        WriteIcoFile(FTree.File("sub/deeper/d.ico"));
    }

    // On its own the dialog asks: a search with the trimmed masks and the sub-folder option, or,
    // once told that a run is in progress, its stop; its options are read through getters.
    void requestsThroughSignals() {
        TRegPropStorageManEh manager;
        Twnd_pv_Search dialog(nullptr, &manager);
        QSignalSpy starts(&dialog, &Twnd_pv_Search::StartRequested);
        QSignalSpy stops(&dialog, &Twnd_pv_Search::StopRequested);
        Child<QComboBox>(&dialog, "cbMask")->setEditText(QStringLiteral("  *.ico;*.dll\t"));
        Child<QCheckBox>(&dialog, "cbxSub")->setChecked(false);
        Child<QPushButton>(&dialog, "bAction")->click();
        QCOMPARE(starts.count(), 1);
        QCOMPARE(starts[0].at(0).toString(), QStringLiteral("*.ico;*.dll"));
        QCOMPARE(starts[0].at(1).toBool(), false);
        dialog.SetRunning(true);
        QCOMPARE(Child<QPushButton>(&dialog, "bAction")->text(), QStringLiteral("停止"));
        Child<QPushButton>(&dialog, "bAction")->click();
        QCOMPARE(stops.count(), 1);
        QCOMPARE(starts.count(), 1);
        dialog.SetRunning(false);
        QCOMPARE(Child<QPushButton>(&dialog, "bAction")->text(), QStringLiteral("开始"));
        Child<QCheckBox>(&dialog, "cbxIgnore")->setChecked(false);
        Child<QCheckBox>(&dialog, "cbxClear")->setChecked(true);
        QVERIFY(!dialog.SkipDuplicates());
        QVERIFY(dialog.ClearOnBegin());
    }

    void controlsAndFirstState() {
        Twnd_pv_Main window;
        Twnd_pv_Search& dialog = *Parts(window).wnd_pv_Search;
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("搜索"));
        QCOMPARE(dialog.size(), QSize(343, 128));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(Child<QLabel>(&dialog, "Label1")->text(), QStringLiteral("文件类型:"));
        QVERIFY(Child<QComboBox>(&dialog, "cbMask")->isEditable());
        QCOMPARE(Child<QComboBox>(&dialog, "cbMask")->currentText(), QStringLiteral("*.*"));
        QStringList masks;
        for (int i = 0; i < Child<QComboBox>(&dialog, "cbMask")->count(); ++i)
            masks << Child<QComboBox>(&dialog, "cbMask")->itemText(i);
        QCOMPARE(masks, (QStringList{"*.*", "*.ico", "*.icl", "*.exe", "*.dll"}));
        QCOMPARE(Child<QCheckBox>(&dialog, "cbxSub")->text(), QStringLiteral("包含子目录"));
        QCOMPARE(Child<QCheckBox>(&dialog, "cbxIgnore")->text(), QStringLiteral("忽略重复的文件"));
        QCOMPARE(Child<QCheckBox>(&dialog, "cbxClear")->text(), QStringLiteral("清除先前选定的对象"));
        for (QCheckBox* box : {Child<QCheckBox>(&dialog, "cbxSub"), Child<QCheckBox>(&dialog, "cbxIgnore"),
                               Child<QCheckBox>(&dialog, "cbxClear")})
            QVERIFY(box->isChecked());
        QCOMPARE(Child<QPushButton>(&dialog, "bAction")->text(), QStringLiteral("搜索"));
        QVERIFY(Child<QPushButton>(&dialog, "bAction")->isDefault());
        QVERIFY(!Child<QLabel>(&dialog, "Image1")->pixmap().isNull());
    }

    // Every examined file refreshes the counters; the status bar keeps the listing's texts
    // (no "正在搜索文件..."); the button reads "停止" while the search runs.
    void searchReportsEveryFile() {
        const auto window = Open();
        QVERIFY(window);
        Twnd_pv_Search& dialog = *Parts(window).wnd_pv_Search;
        QStringList panel0, panel1, captions;
        connect(Parts(window).sb, &TPanelStatusBar::PanelTextChanged, this, [&](int panel, const QString& text) {
            (panel == 0 ? panel0 : panel1) << text;
            captions << Child<QPushButton>(&dialog, "bAction")->text();
        });
        Child<QPushButton>(&dialog, "bAction")->click();
        QVERIFY(WaitIdle(*window));
        QCOMPARE(Sorted(ListedNames(*window)), (QStringList{"a.ico", "b.dll", "c.ico", "d.ico"}));
        QCOMPARE(Panel(*window, 0), Counters(3, 5, 5));
        for (int files = 1; files <= 5; ++files)
            QVERIFY2(std::any_of(panel0.begin(), panel0.end(),
                                 [&](const QString& t) { return t.contains(QStringLiteral("文件: %1 ").arg(files)); }),
                     qPrintable(panel0.join(u'|')));
        QCOMPARE(panel1, (QStringList{Q(FTree.Path()) + u'/', Q(FTree.File("sub/")), Q(FTree.File("sub/deeper/")),
                                      QStringLiteral("就绪")}));
        QVERIFY(captions.contains(QStringLiteral("停止")));
        QCOMPARE(Child<QPushButton>(&dialog, "bAction")->text(), QStringLiteral("开始"));
        QVERIFY(!Parts(window).FSearching);
        QVERIFY(!Parts(window).FBrowsing);
    }

    // Pressing the button during a search stops it at once: the state is that of an ordinary
    // end, and the run stopped is not waited for.
    void stoppedFromWithinARun() {
        const auto window = Open(TWorkService::TMode::Manual);
        QVERIFY(window);
        Twnd_pv_Search& dialog = *Parts(window).wnd_pv_Search;
        bool stopped = false;
        connect(Parts(window).sb, &TPanelStatusBar::PanelTextChanged, this, [&](int panel, const QString& text) {
            if (panel == 0 && text.contains(QStringLiteral("文件: 2 ")) && !stopped) {
                stopped = true;
                QCOMPARE(Child<QPushButton>(&dialog, "bAction")->text(), QStringLiteral("停止"));
                QTest::mouseClick(Child<QPushButton>(&dialog, "bAction"), Qt::LeftButton);
            }
        });
        Child<QPushButton>(&dialog, "bAction")->click();
        RunListing(*window);
        QVERIFY(stopped);
        QVERIFY(!Parts(window).FSearching);
        QVERIFY(!Parts(window).FBrowsing);
        QVERIFY(!Parts(window).Listing.Busy());
        QVERIFY(!Parts(window).FileList->Model()->Updating());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(Child<QPushButton>(&dialog, "bAction")->text(), QStringLiteral("开始"));
        QCOMPARE(Panel(*window, 1), QStringLiteral("就绪"));
        QCOMPARE(Panel(*window, 0), Counters(1, 2, 3));
        QCOMPARE(ListedNames(*window), (QStringList{"a.ico", "b.dll"}));
        // The next press starts a new search.
        Child<QPushButton>(&dialog, "bAction")->click();
        RunListing(*window);
        QCOMPARE(Parts(window).FileList->model()->rowCount(), 4);
    }

    // The mask loses the blanks and control characters around it; those inside stay.
    void maskWithBlanksAround() {
        const auto window = Open();
        QVERIFY(window);
        Twnd_pv_Search& dialog = *Parts(window).wnd_pv_Search;
        Child<QComboBox>(&dialog, "cbMask")->setCurrentText(QStringLiteral("  *.dll\t "));
        Child<QPushButton>(&dialog, "bAction")->click();
        QVERIFY(WaitIdle(*window));
        QCOMPARE(Parts(window).Listing.Criteria().Files.FileName, std::string("*.dll"));
        QCOMPARE(ListedNames(*window), QStringList{"b.dll"});
        Child<QComboBox>(&dialog, "cbMask")->setCurrentText(QStringLiteral(" c*.ico ; *.dll\x01"));
        Child<QPushButton>(&dialog, "bAction")->click();
        QVERIFY(WaitIdle(*window));
        QCOMPARE(Parts(window).Listing.Criteria().Files.FileName, std::string("c*.ico ; *.dll"));
        QCOMPARE(TrimBlanks(QStringLiteral(" \t\n")), QString());
        Child<QComboBox>(&dialog, "cbMask")->setCurrentText(QStringLiteral("*.*"));
    }

    void optionsOfASearch() {
        const auto window = Open();
        QVERIFY(window);
        Twnd_pv_Search& dialog = *Parts(window).wnd_pv_Search;
        // Without sub-folders: the chosen folder alone, like a listing with the dialog's mask.
        Child<QCheckBox>(&dialog, "cbxSub")->setChecked(false);
        Child<QPushButton>(&dialog, "bAction")->click();
        QVERIFY(WaitIdle(*window));
        QCOMPARE(ListedNames(*window), (QStringList{"a.ico", "b.dll"}));
        Child<QCheckBox>(&dialog, "cbxSub")->setChecked(true);
        // A name met in another folder, and a file that two masks match, once each; both when
        // duplicates are kept.
        Child<QComboBox>(&dialog, "cbMask")->setCurrentText(QStringLiteral("*.ico;a*"));
        Child<QPushButton>(&dialog, "bAction")->click();
        QVERIFY(WaitIdle(*window));
        QCOMPARE(Sorted(ListedNames(*window)), (QStringList{"a.ico", "c.ico", "d.ico"}));
        QCOMPARE(Panel(*window, 0), Counters(3, 3, 3));
        Child<QCheckBox>(&dialog, "cbxIgnore")->setChecked(false);
        Child<QPushButton>(&dialog, "bAction")->click();
        QVERIFY(WaitIdle(*window));
        QCOMPARE(Sorted(ListedNames(*window)), (QStringList{"a.ico", "a.ico", "a.ico", "a.ico", "c.ico", "d.ico"}));
        // Without clearing, the rows are added to those there.
        Child<QCheckBox>(&dialog, "cbxClear")->setChecked(false);
        Child<QComboBox>(&dialog, "cbMask")->setCurrentText(QStringLiteral("*.dll"));
        Child<QPushButton>(&dialog, "bAction")->click();
        QVERIFY(WaitIdle(*window));
        QCOMPARE(Parts(window).FileList->model()->rowCount(), 7);
        Child<QCheckBox>(&dialog, "cbxIgnore")->setChecked(true);
        Child<QCheckBox>(&dialog, "cbxClear")->setChecked(true);
        Child<QComboBox>(&dialog, "cbMask")->setCurrentText(QStringLiteral("*.*"));
    }

    // Escape with a modifier does nothing; Escape alone closes (hides) the dialog; Enter starts
    // a search.
    void keys() {
        const auto window = Open();
        QVERIFY(window);
        Twnd_pv_Search& dialog = *Parts(window).wnd_pv_Search;
        Parts(window).FileList->Model()->Clear();
        QTest::keyClick(Child<QComboBox>(&dialog, "cbMask"), Qt::Key_Return);
        QVERIFY(WaitIdle(*window));
        QCOMPARE(Parts(window).FileList->model()->rowCount(), 4);
        for (const Qt::KeyboardModifier modifier : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
            QTest::keyClick(Child<QComboBox>(&dialog, "cbMask"), Qt::Key_Escape, modifier);
            QVERIFY(dialog.isVisible());
        }
        QTest::keyClick(Child<QCheckBox>(&dialog, "cbxSub"), Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QVERIFY(Child<QCheckBox>(&dialog, "cbxSub")->isChecked());  // hidden, not destroyed
    }

    // With the mask list dropped down, Escape closes only the list; the next closes the dialog.
    void escapeClosesTheOpenMaskListFirst() {
        TRegPropStorageManEh manager;
        Twnd_pv_Search dialog(nullptr, &manager);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        Child<QComboBox>(&dialog, "cbMask")->setFocus();
        Child<QComboBox>(&dialog, "cbMask")->showPopup();
        QWidget* list = QApplication::activePopupWidget();
        QVERIFY(list);
        QVERIFY(list->isVisible());
        // As a user's key comes: to the window that has the keyboard, the dropped-down list.
        QTest::keyClick(list->windowHandle(), Qt::Key_Escape);
        QVERIFY(!list->isVisible());
        QVERIFY(dialog.isVisible());
        QCOMPARE(Child<QComboBox>(&dialog, "cbMask")->currentText(), QStringLiteral("*.*"));
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    }

    // The button also stops a folder listing.
    void stopsAListing() {
        TempDir big;
        for (int i = 0; i < 250; ++i) WritePlainFile(big.File("p" + std::to_string(i)));
        const auto window = Open(TWorkService::TMode::Manual);
        QVERIFY(window);
        bool stopped = false;
        connect(Parts(window).sb, &TPanelStatusBar::PanelTextChanged, this, [&](int panel, const QString& text) {
            if (panel == 0 && text == Counters(1, 100, 0) && !stopped) {
                stopped = true;
                Parts(window).wnd_pv_Search->findChild<QPushButton*>(QStringLiteral("bAction"))->click();
            }
        });
        QVERIFY(Parts(window).ShellTree->SetPath(Q(big.Path())));
        RunListing(*window);
        QVERIFY(stopped);
        QCOMPARE(Panel(*window, 0), Counters(1, 100, 0));
        QCOMPARE(Parts(window).wnd_pv_Search->findChild<QPushButton*>(QStringLiteral("bAction"))->text(),
                 QStringLiteral("开始"));
    }
};

QTEST_MAIN(SearchDialogTest)
#include "SearchDialogTest.moc"
