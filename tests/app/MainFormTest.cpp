// The main window's parts: the menus with their captions, shortcuts, tags and radio items,
// the popup menus, the tabs, the status bar, sizes and fonts; the tab switch; the one helper
// that runs commands; what stops when the window closes.
#include "WindowFixtures.h"

#include "app/About.h"
#include "app/ColorDlg.h"
#include "app/SearchDlg.h"
#include "support/TempDir.h"
#include "widgets/FileListView.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/ShellTree.h"
#include "widgets/UiFonts.h"

#include <QAction>
#include <QCompleter>
#include <QFileDialog>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace pictavo;
using namespace pictavo::test;

namespace {

struct TItem {
    QString Caption;
    QKeySequence Shortcut;
    int Tag;
    bool Enabled;
};

// A menu's items as "caption" or "caption › subcaption", separators as "-".
QStringList Items(const QMenu* menu, const QString& prefix = {}) {
    QStringList items;
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator())
            items << prefix + u'-';
        else if (action->menu())
            items << Items(action->menu(), prefix + action->text() + QStringLiteral(" › "));
        else
            items << prefix + action->text();
    }
    return items;
}

}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT
    QTemporaryDir FConfig;
    TempDir FFolder;
    QString Store() const { return FConfig.filePath(QStringLiteral("Pictavo.ini")); }

private slots:
    void menus() {
        Twnd_pv_Main window;
        const QList<QAction*> bar = window.menuBar()->actions();
        QCOMPARE(bar.size(), 3);
        QCOMPARE(bar[0]->text(), QStringLiteral("文件"));
        QCOMPARE(Items(bar[0]->menu()),
                 (QStringList{"新建图标库", "保存图标库...", "-", "搜索...", "-", "刷新", "-", "退出"}));
        QCOMPARE(bar[1]->text(), QStringLiteral("编辑"));
        QCOMPARE(Items(bar[1]->menu()), (QStringList{"添加文件到图标库", "添加图标到图标库", "从图标库移除图标"}));
        QCOMPARE(bar[2]->text(), QStringLiteral("帮助"));
        QCOMPARE(Items(bar[2]->menu()), QStringList{"关于..."});
        QCOMPARE(Items(Parts(window).FileListPopup),
                 (QStringList{"添加到图标库 › 选定对象", "添加到图标库 › 所有对象", "-", "刷新"}));
        QCOMPARE(Items(Parts(window).IconListPopup),
                 (QStringList{"添加到图标库 › 选定对象", "添加到图标库 › 所有对象", "-", "保存为图标 › 选定对象",
                              "保存为图标 › 所有对象", "-", "查看 › 图标", "查看 › 平铺"}));
        QCOMPARE(Items(Parts(window).IconBoxPopup), (QStringList{"保存为图标...", "保存为位图..."}));
        QCOMPARE(Items(Parts(window).ICLPopup), (QStringList{"保存图标库...", "-", "移除选定对象", "清空图标库", "-",
                                                             "保存为图标...", "-", "查看 › 图标", "查看 › 平铺"}));
        QCOMPARE(Items(Parts(window).ICLBoxPopup), (QStringList{"保存为图标...", "保存为位图..."}));

        // Shortcuts as stored with the items (Ctrl = 0x4000 there), and the Tags.
        const std::map<QString, TItem> items = {
            {"Newlibrary1", {"新建图标库", QKeySequence(Qt::CTRL | Qt::Key_N), 0, true}},
            {"Savelibrary1", {"保存图标库...", QKeySequence(Qt::CTRL | Qt::Key_S), 0, true}},
            {"mmSearch", {"搜索...", QKeySequence(Qt::CTRL | Qt::Key_F), 0, true}},
            {"Refresh1", {"刷新", QKeySequence(Qt::Key_F5), 0, true}},
            {"mmExit", {"退出", {}, 0, true}},
            {"About1", {"关于...", {}, 0, true}},
            {"Selected2", {"选定对象", {}, 0, true}},
            {"All2", {"所有对象", {}, 1, true}},
            {"mmRefresh", {"刷新", {}, 0, true}},
            {"All1", {"所有对象", {}, 1, true}},
            {"All3", {"所有对象", {}, 1, true}},
            {"iles1", {"平铺", {}, 1, true}},
            {"iles2", {"平铺", {}, 1, true}},
        };
        for (const auto& [name, item] : items) {
            const auto* action = window.findChild<QAction*>(name);
            QVERIFY2(action, qPrintable(name));
            QCOMPARE(action->text(), item.Caption);
            QCOMPARE(action->shortcut(), item.Shortcut);
            QCOMPARE(action->data().toInt(), item.Tag);
            QCOMPARE(action->isEnabled(), item.Enabled);
        }
        // The view radio pairs: "图标" checked; the check moves to the item chosen.
        for (const auto& [icons, tiles] : {std::pair{Parts(window).Icons1, Parts(window).iles1},
                                           std::pair{Parts(window).Icons2, Parts(window).iles2}}) {
            QVERIFY(icons->isChecked());
            QVERIFY(!tiles->isChecked());
            tiles->trigger();
            QVERIFY(tiles->isChecked());
            QVERIFY(!icons->isChecked());
        }
    }

    void partsAndLayout() {
        const auto window = OpenWindow(Store(), QString::fromStdString(FFolder.Path()));
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Quarn Pictavo"));
        QCOMPARE(window->centralWidget()->size() + QSize(0, Parts(window).sb->height()), QSize(732, 641));
        QCOMPARE(window->minimumSize(), QSize(300, 50));
        QCOMPARE(Parts(window).ShellPanel->height(), 250);
        QCOMPARE(Parts(window).ShellTree->width(), 250);
        QCOMPARE(Parts(window).IconBox->width(), 200);
        QCOMPARE(Parts(window).ICLBox->width(), 200);  // laid out before its tab was ever opened
        QCOMPARE(Parts(window).sb->height(), 19);
        QCOMPARE(Parts(window).sb->PanelCount(), 2);
        QCOMPARE(Parts(window).Splitter2->handleWidth(), 3);
        QCOMPARE(Parts(window).pc->count(), 2);
        QCOMPARE(Parts(window).pc->tabText(0), QStringLiteral(" 当前查看 "));
        QCOMPARE(Parts(window).pc->tabText(1), QStringLiteral(" 图标库 "));
        QCOMPARE(Parts(window).pc->currentWidget(), Parts(window).TabSheet1);
        QVERIFY(Parts(window).pc->tabBar()->font().bold());
        QCOMPARE(window->font().family(), ChineseFontFamily());
        QCOMPARE(window->font().pixelSize(), 12);
        // The three list views in their own font, the image boxes in the form's.
        for (QWidget* listView :
             {static_cast<QWidget*>(Parts(window).FileList), static_cast<QWidget*>(Parts(window).IconList),
              static_cast<QWidget*>(Parts(window).ICLList)})
            QCOMPARE(listView->font().pixelSize(), 11);
        QCOMPARE(Parts(window).IconBox->font(), window->font());
        QCOMPARE(Parts(window).ICLBox->font(), window->font());
        QCOMPARE(Parts(window).FileList->toolTip(), QStringLiteral("右键单击打开菜单"));
        QCOMPARE(Parts(window).ICLBox->toolTip(), QStringLiteral("右键单击菜单"));
        QCOMPARE(Parts(window).IconList->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(Parts(window).ICLList->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(!Parts(window).wnd_pv_Search->isVisible());
        QCOMPARE(Panel(*window, 1), QStringLiteral("就绪"));
        QCOMPARE(Panel(*window, 0), QStringLiteral("文件夹: 1   文件: 0   图标: 0"));
    }

    // The dialogs of fixed size carry a title and a close button only; a file dialog that
    // closes takes its name field's completion popup with it.
    void dialogDecorationsAndCompletion() {
        const auto window = OpenWindow(Store(), QString::fromStdString(FFolder.Path()));
        QVERIFY(window);
        Twnd_pv_About about(window.get());
        Tdlg_pv_Color colour(window.get());
        for (const QDialog* dialog : {static_cast<QDialog*>(Parts(window).wnd_pv_Search), static_cast<QDialog*>(&about),
                                      static_cast<QDialog*>(&colour)}) {
            const Qt::WindowFlags flags = dialog->windowFlags();
            QVERIFY2(flags & Qt::CustomizeWindowHint, qPrintable(dialog->objectName()));
            QVERIFY(flags & Qt::WindowCloseButtonHint);
            QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        }
        for (QFileDialog* dialog :
             {Parts(window).sd, Parts(window).sdIcon, Parts(window).sdBMP, Parts(window).FolderDialog}) {
            dialog->show();
            const QList<QCompleter*> completers = dialog->findChildren<QCompleter*>();
            QVERIFY2(!completers.isEmpty(), qPrintable(dialog->objectName()));
            completers.first()->popup()->show();
            QVERIFY(completers.first()->popup()->isVisible());
            dialog->reject();
            QVERIFY2(!completers.first()->popup()->isVisible(), qPrintable(dialog->objectName()));
        }
    }

    // Switching tabs keeps a tab's image box while one of its icons is selected, and clears it
    // when none is.
    void tabSwitch() {
        TempDir folder;
        WriteSampleIco(folder.File("sample.ico"));
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        QVERIFY(ChooseFile(*window, QStringLiteral("sample.ico")));
        Parts(window).All1->trigger();
        Select(Parts(window).IconList, 0);
        QCOMPARE(Count(Parts(window).IconBox), 3);
        Parts(window).pc->setCurrentIndex(1);
        QCOMPARE(Count(Parts(window).ICLBox), 0);
        Select(Parts(window).ICLList, 0);
        QCOMPARE(Count(Parts(window).ICLBox), 3);
        Parts(window).pc->setCurrentIndex(0);
        QCOMPARE(Count(Parts(window).IconBox), 3);
        Parts(window).pc->setCurrentIndex(1);
        QCOMPARE(Count(Parts(window).ICLBox), 3);
        Parts(window).ICLList->selectionModel()->clear();
        Parts(window).pc->setCurrentIndex(0);
        Parts(window).pc->setCurrentIndex(1);
        QCOMPARE(Count(Parts(window).ICLBox), 0);
    }

    // Every view opens its popup as the right button is released, whatever the window system
    // asks for as it goes down.
    void popupsOpenOnRelease() {
        const auto window = OpenWindow(Store(), Q(FFolder.Path()));
        QVERIFY(window);
        const TWindowParts parts = Parts(window);
        const std::pair<QAbstractItemView*, QMenu*> views[] = {{parts.FileList, parts.FileListPopup},
                                                               {parts.IconList, parts.IconListPopup},
                                                               {parts.IconBox, parts.IconBoxPopup},
                                                               {parts.ICLList, parts.ICLPopup},
                                                               {parts.ICLBox, parts.ICLBoxPopup}};
        for (const auto& [view, popup] : views) {
            QWidget* viewport = view->viewport();
            const QPoint at(5, 5), global = viewport->mapToGlobal(at);
            QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::RightButton, Qt::RightButton, {});
            QApplication::sendEvent(viewport, &press);
            QContextMenuEvent ask(QContextMenuEvent::Mouse, at, global);
            QApplication::sendEvent(viewport, &ask);
            QVERIFY2(!popup->isVisible(), qPrintable(view->objectName()));
            QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::RightButton, Qt::NoButton, {});
            QApplication::sendEvent(viewport, &release);
            QVERIFY2(popup->isVisible(), qPrintable(view->objectName()));
            popup->hide();
        }
    }

    // A command's error shows in the error box after the ready step has run.
    void commandErrors() {
        Twnd_pv_Main window;
        QString title, text, panelAtError;
        int ends = 0;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            panelAtError = Panel(window, 1);
            QCOMPARE(box->icon(), QMessageBox::Critical);
            box->accept();
        });
        TCommandSteps steps;
        steps.BusyText = QStringLiteral("正在保存图标库...");
        steps.EndUpdate = [&] { ++ends; };
        Parts(window).Runner->Run(steps, [&] {
            QCOMPARE(Panel(window, 1), QStringLiteral("正在保存图标库..."));
            QVERIFY(QApplication::overrideCursor());
            throw std::runtime_error("无法创建文件 \"/x.icl\". 权限不够");
        });
        QCOMPARE(title, QStringLiteral("Quarn Pictavo"));
        QCOMPARE(text, QStringLiteral("无法创建文件 \"/x.icl\". 权限不够"));
        QCOMPARE(panelAtError, QStringLiteral("就绪"));
        QCOMPARE(ends, 1);
        QVERIFY(!QApplication::overrideCursor());
    }

    // Once the window has closed, choosing a folder lists nothing.
    void closeDetachesTheTree() {
        TempDir other;
        WriteIcoFile(other.File("x.ico"));
        const auto window = OpenWindow(Store(), QString::fromStdString(FFolder.Path()));
        QVERIFY(window);
        Parts(window).wnd_pv_Search->show();
        QVERIFY(window->close());
        QVERIFY(!Parts(window).wnd_pv_Search->isVisible());
        QVERIFY(Parts(window).ShellTree->SetPath(QString::fromStdString(other.Path())));
        QVERIFY(WaitIdle(*window));
        QCOMPARE(Parts(window).FileList->model()->rowCount(), 0);
    }
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
