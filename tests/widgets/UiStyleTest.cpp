// The application's style: Alt alone takes the keyboard to the menu bar and marks its first item,
// the arrow keys move the mark along it, Escape leaves it; every other hint is the base style's.
#include "widgets/UiStyle.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QtTest>

using namespace pictavo;

class UiStyleTest : public QObject {
    Q_OBJECT
private slots:
    void altTakesTheKeyboardToTheMenuBar() {
        auto* style = new TUiStyle;
        QApplication::setStyle(style);
        QCOMPARE(style->styleHint(QStyle::SH_MenuBar_AltKeyNavigation), 1);
        QCOMPARE(style->styleHint(QStyle::SH_ToolTip_WakeUpDelay),
                 style->baseStyle()->styleHint(QStyle::SH_ToolTip_WakeUpDelay));

        QMainWindow window;
        QMenu* file = window.menuBar()->addMenu(QStringLiteral("文件"));
        file->addAction(QStringLiteral("刷新"));
        QMenu* edit = window.menuBar()->addMenu(QStringLiteral("编辑"));
        edit->addAction(QStringLiteral("全选"));
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QWindow* handle = window.windowHandle();
        QMenuBar* bar = window.menuBar();
        // A pixel of an item's own ground, left of its text.
        const auto ground = [bar](QMenu* menu) {
            const QRect item = bar->actionGeometry(menu->menuAction());
            return bar->grab().toImage().pixelColor(item.left() + 2, item.center().y());
        };
        const QColor highlight = bar->palette().color(QPalette::Highlight);
        QVERIFY(ground(file) != highlight);
        QTest::keyPress(handle, Qt::Key_Alt, Qt::AltModifier);
        QTest::keyRelease(handle, Qt::Key_Alt);
        QCOMPARE(bar->activeAction(), file->menuAction());
        QCOMPARE(ground(file), highlight);
        QTest::keyClick(handle, Qt::Key_Right);
        QCOMPARE(bar->activeAction(), edit->menuAction());
        QCOMPARE(ground(edit), highlight);
        QVERIFY(ground(file) != highlight);
        QTest::keyClick(handle, Qt::Key_Escape);
        QCOMPARE(bar->activeAction(), nullptr);
        QVERIFY(ground(edit) != highlight);
    }
};

QTEST_MAIN(UiStyleTest)
#include "UiStyleTest.moc"
