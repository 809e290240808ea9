// What the main window and the search dialog keep between starts: their geometry, the pane
// sizes, the folder of the tree; the folder named on the command line winning over the stored
// one; a stored folder that no longer exists.
#include "WindowFixtures.h"

#include "app/SearchDlg.h"
#include "support/TempDir.h"
#include "widgets/PropStorageEh.h"
#include "widgets/SettingsStore.h"
#include "widgets/ShellTree.h"

#include <QListWidget>
#include <QSplitter>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>

using namespace pictavo;
using namespace pictavo::test;

class WindowSettingsTest : public QObject {
    Q_OBJECT
    QTemporaryDir FConfig;
    TempDir FStart, FOther;

private slots:
    void initTestCase() {
        WriteIcoFile(FStart.File("start.ico"));
        WriteIcoFile(FOther.File("other.ico"));
    }

    void restoredAtTheNextStart() {
        const QString store = FConfig.filePath(QStringLiteral("restore.ini"));
        QRect geometry, dialogGeometry;
        QStringList expected;
        {
            const auto window = OpenWindow(store, Q(FStart.Path()));
            QVERIFY(window);
            QVERIFY(Parts(window).ShellTree->SetPath(Q(FOther.Path())));
            window->setGeometry(40, 50, 900, 700);
            Parts(window).Splitter3->setSizes({300, 580});
            Parts(window).Splitter2->setSizes({220, 400});
            Parts(window).Splitter1->setSizes({600, 150});
            Parts(window).pc->setCurrentIndex(1);
            Parts(window).Splitter4->setSizes({600, 170});
            Parts(window).pc->setCurrentIndex(0);
            Twnd_pv_Search& dialog = *Parts(window).wnd_pv_Search;
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            dialog.move(70, 80);
            dialogGeometry = dialog.geometry();
            dialog.close();
            QVERIFY(!dialog.isVisible());
            geometry = window->geometry();
            const int ppi = Parts(window).Storage->ScreenPixelsPerInch(window.get());
            expected = QStringList{"object wnd_pv_Main: Twnd_pv_Main",
                                   QStringLiteral("  Height = %1").arg(geometry.height()),
                                   QStringLiteral("  Left = %1").arg(geometry.x()),
                                   QStringLiteral("  PixelsPerInch = %1").arg(ppi),
                                   QStringLiteral("  Top = %1").arg(geometry.y()),
                                   QStringLiteral("  Width = %1").arg(geometry.width()),
                                   "  WindowState = wsNormal",
                                   "  LastFolder = '" + Q(FOther.Path()) + "'",
                                   "  object pc: TPageControl",
                                   "    object TabSheet1: TTabSheet",
                                   "      object IconBox: TListBox",
                                   "        Width = 150",
                                   "      end",
                                   "    end",
                                   "    object TabSheet2: TTabSheet",
                                   "      object ICLBox: TListBox",
                                   "        Width = 170",
                                   "      end",
                                   "    end",
                                   "  end",
                                   "  object ShellPanel: TPanel",
                                   "    Height = 220",
                                   "    object ShellTree: TShellTreeView",
                                   "      Width = 300",
                                   "    end",
                                   "  end",
                                   "end"};
            QVERIFY(window->close());
        }
        QCOMPARE(StoredLines(store, QStringLiteral("Main")), expected);
        QCOMPARE(StoredLines(store, QStringLiteral("Search")).value(0),
                 QStringLiteral("object wnd_pv_Search: Twnd_pv_Search"));

        const auto window = OpenWindow(store);
        QVERIFY(window);
        QCOMPARE(window->geometry(), geometry);
        QCOMPARE(Parts(window).ShellTree->Path(), Q(FOther.Path()));
        QCOMPARE(ListedNames(*window), QStringList{"other.ico"});
        QCOMPARE(Parts(window).ShellTree->width(), 300);
        QCOMPARE(Parts(window).ShellPanel->height(), 220);
        QCOMPARE(Parts(window).IconBox->width(), 150);
        Parts(window).pc->setCurrentIndex(1);
        QCOMPARE(Parts(window).ICLBox->width(), 170);
        Twnd_pv_Search& dialog = *Parts(window).wnd_pv_Search;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.geometry(), dialogGeometry);
    }

    void commandLineFolderWins() {
        const QString store = FConfig.filePath(QStringLiteral("command-line.ini"));
        {
            const auto window = OpenWindow(store, Q(FOther.Path()));
            QVERIFY(window);
            QVERIFY(window->close());
        }
        const auto window = OpenWindow(store, Q(FStart.Path()));
        QVERIFY(window);
        QCOMPARE(Parts(window).ShellTree->Path(), Q(FStart.Path()));
        QCOMPARE(ListedNames(*window), QStringList{"start.ico"});
    }

    // A stored folder that is gone leaves the tree on the user's home folder.
    void storedFolderGone() {
        const QString store = FConfig.filePath(QStringLiteral("gone.ini"));
        const std::string gone = FStart.File("gone");
        std::filesystem::create_directory(gone);
        {
            const auto window = OpenWindow(store, Q(gone));
            QVERIFY(window);
            QVERIFY(window->close());
        }
        std::filesystem::remove(gone);
        const auto window = OpenWindow(store);
        QVERIFY(window);
        QCOMPARE(Parts(window).ShellTree->Path(), QDir::homePath());
    }
};

QTEST_MAIN(WindowSettingsTest)
#include "WindowSettingsTest.moc"
