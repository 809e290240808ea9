// The colour picker button and its palette popup: which cell a colour selects, choosing with the
// mouse and the keys, closing without a choice, the layout and hit test, where the popup opens,
// the veto of DropChanging, and where the button paints its colour and arrow.
#include "widgets/ColorPicker.h"

#include <QApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

using namespace pictavo;

namespace {

constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kInfoBackground = kSystemColorBase + 24;

// An open popup's cell, clicked with the left button.
void ClickCell(TColorPickerButton& button, int cell) {
    QTest::mouseClick(button.Popup(), Qt::LeftButton, {}, button.Popup()->CellRect(cell).center());
}

}  // namespace

class ColorPickerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Known system colours: the button face is a standard grey, the info background no standard colour.
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Button, QColor(0xC0, 0xC0, 0xC0));
        palette.setColor(QPalette::ToolTipBase, QColor(0x12, 0x34, 0x56));
        QApplication::setPalette(palette);
    }

    void colorsAndTheCellsTheySelect_data() {
        QTest::addColumn<bool>("system");
        QTest::addColumn<TColor>("color");
        QTest::addColumn<int>("cell");
        QTest::newRow("white") << true << kWhite << 39;
        QTest::newRow("none") << true << kColorNone << -1;
        QTest::newRow("default") << true << kColorDefault << -1;
        QTest::newRow("neither grid") << true << TColor(0x010203) << -1;
        QTest::newRow("system colour, its own cell") << true << TColor(kSystemColorBase + 15) << 55;
        QTest::newRow("system colour, no system cells") << false << TColor(kSystemColorBase + 15) << 31;
        QTest::newRow("a system colour's value") << true << TColor(0x563412) << 64;
        QTest::newRow("that value without system cells") << false << TColor(0x563412) << -1;
        QTest::newRow("standard before system") << true << TColor(0xC0C0C0) << 31;
    }
    void colorsAndTheCellsTheySelect() {
        QFETCH(bool, system);
        QFETCH(TColor, color);
        QFETCH(int, cell);
        QCOMPARE(ColorToRGB(kInfoBackground), TColor(0x563412));
        QCOMPARE(ColorToQColor(0x0066FF), QColor(0xFF, 0x66, 0x00));
        TColorPickerButton button;
        QCOMPARE(button.size(), QSize(45, 22));
        button.SetShowSystemColors(system);
        button.SetSelectionColor(color);
        button.DropDown();
        QVERIFY(button.DroppedDown());
        QVERIFY(button.Popup()->isVisible());
        QCOMPARE(button.Popup()->SelectedIndex(), cell);
        QCOMPARE(button.Popup()->HotIndex(), -1);
        // A new colour while open selects its cell.
        button.SetSelectionColor(0x0000FF);
        QCOMPARE(button.Popup()->SelectedIndex(), 16);
    }

    void choosingAndClosing() {
        TColorPickerButton button;
        button.SetShowSystemColors(true);
        button.SetSelectionColor(kWhite);
        QSignalSpy changes(&button, &TColorPickerButton::Change);
        QSignalSpy dropChanges(&button, &TColorPickerButton::DropChanged);
        QSignalSpy defaults(&button, &TColorPickerButton::DefaultSelect);

        // The selected cell again: closed, no change.
        button.DropDown();
        ClickCell(button, 39);
        QVERIFY(!button.DroppedDown());
        QVERIFY(!button.Popup()->isVisible());
        QCOMPARE(changes.count(), 0);
        QCOMPARE(dropChanges.count(), 2);

        // Another cell: one change. A release off every cell keeps the popup open.
        button.DropDown();
        QTest::mouseClick(button.Popup(), Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(button.DroppedDown());
        ClickCell(button, 16);
        QCOMPARE(button.SelectionColor(), TColor(0x0000FF));
        QCOMPARE(changes.count(), 1);
        QVERIFY(!button.DroppedDown());

        // Escape and a press outside the popup close without a choice.
        button.DropDown();
        QTest::keyClick(button.Popup(), Qt::Key_Escape);
        QVERIFY(!button.DroppedDown());
        button.DropDown();
        QTest::mousePress(button.Popup(), Qt::LeftButton, {}, QPoint(-5, button.Popup()->height() / 2));
        QVERIFY(!button.DroppedDown());
        QVERIFY(!button.Popup()->isVisible());
        QCOMPARE(button.SelectionColor(), TColor(0x0000FF));
        QCOMPARE(changes.count(), 1);
        QCOMPARE(defaults.count(), 0);
        button.CloseUp();  // closing a closed popup does nothing
        QCOMPARE(dropChanges.count(), 8);

        // The keys choose too, from the cell under the mouse; with nothing hot, Enter is the default choice.
        button.DropDown();
        QTest::mouseMove(button.Popup(), button.Popup()->CellRect(5).center());
        QCOMPARE(button.Popup()->HotIndex(), 5);
        QTest::mouseMove(button.Popup(), QPoint(2, 2));
        QCOMPARE(button.Popup()->HotIndex(), -1);
        QTest::keyClick(button.Popup(), Qt::Key_Right);
        QCOMPARE(button.Popup()->HotIndex(), 17);
        QTest::keyClick(button.Popup(), Qt::Key_Space);
        QCOMPARE(button.SelectionColor(), TColor(0x0099FF));
        QCOMPARE(changes.count(), 2);
        button.SetSelectionColor(kColorDefault);
        button.DropDown();
        QTest::keyClick(button.Popup(), Qt::Key_Return);
        QCOMPARE(defaults.count(), 1);
        QCOMPARE(button.SelectionColor(), kColorDefault);
        QCOMPARE(changes.count(), 3);
        QVERIFY(!button.DroppedDown());
    }

    void keyboardOpensAndChooses_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("opens");
        QTest::newRow("space") << int(Qt::Key_Space) << int(Qt::NoModifier) << true;
        QTest::newRow("return") << int(Qt::Key_Return) << int(Qt::NoModifier) << true;
        QTest::newRow("keypad enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true;
        QTest::newRow("alt+down") << int(Qt::Key_Down) << int(Qt::AltModifier) << true;
        QTest::newRow("down alone") << int(Qt::Key_Down) << int(Qt::NoModifier) << false;
        QTest::newRow("ctrl+space") << int(Qt::Key_Space) << int(Qt::ControlModifier) << false;
    }
    void keyboardOpensAndChooses() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, opens);
        QWidget window;
        auto* other = new QWidget(&window);
        other->setFocusPolicy(Qt::StrongFocus);
        auto* button = new TColorPickerButton(&window);
        button->move(0, 30);
        button->SetSelectionColor(kWhite);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        other->setFocus();
        const QImage unfocused = button->grab().toImage();
        QTest::keyClick(window.windowHandle(), Qt::Key_Tab);
        QVERIFY(button->hasFocus());
        // Reached with Tab: the focus mark lies between the button's border and the colour field.
        const QImage focused = button->grab().toImage();
        QVERIFY(focused.copy(3, 3, 2, 16) != unfocused.copy(3, 3, 2, 16));
        QCOMPARE(focused.pixelColor(14, 11), QColor(Qt::white));  // the colour itself untouched
        QSignalSpy changes(button, &TColorPickerButton::Change);

        QTest::keyClick(window.windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(button->DroppedDown(), opens);
        if (!opens) return;
        QCOMPARE(QApplication::activePopupWidget(), button->Popup());
        QCOMPARE(button->Popup()->HotIndex(), 39);
        // Through the popup window as a user's keys go: up, left, Enter picks the colour.
        QWindow* popup = button->Popup()->windowHandle();
        QTest::keyClick(popup, Qt::Key_Up);
        QTest::keyClick(popup, Qt::Key_Left);
        QTest::keyClick(popup, Qt::Key_Return);
        QVERIFY(!button->DroppedDown());
        QCOMPARE(button->SelectionColor(), TColor(0x663399));  // plum, cell 30
        QCOMPARE(changes.count(), 1);
        // Open again, move, Escape: closed, nothing changed.
        QTest::keyClick(window.windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY(button->DroppedDown());
        QTest::keyClick(popup, Qt::Key_Right);
        QTest::keyClick(popup, Qt::Key_Escape);
        QVERIFY(!button->DroppedDown());
        QCOMPARE(button->SelectionColor(), TColor(0x663399));
        QCOMPARE(changes.count(), 1);
        // Opened and Enter at once keeps the colour.
        QTest::keyClick(window.windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTest::keyClick(popup, Qt::Key_Return);
        QVERIFY(!button->DroppedDown());
        QCOMPARE(button->SelectionColor(), TColor(0x663399));
        QCOMPARE(changes.count(), 1);
    }

    void dropChangingVetoes() {
        TColorPickerButton button;
        bool allow = false;
        connect(&button, &TColorPickerButton::DropChanging, this, [&allow](bool& allowed) { allowed = allow; });
        button.DropDown();
        QVERIFY(!button.DroppedDown());
        QVERIFY(!button.Popup()->isVisible());
        allow = true;
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(40, 11));  // the arrow part
        QVERIFY(button.DroppedDown());
        allow = false;
        QTest::keyClick(button.Popup(), Qt::Key_Escape);
        button.CloseUp();
        QVERIFY(button.DroppedDown());
        QVERIFY(button.Popup()->isVisible());
        QVERIFY(!button.Popup()->close());  // closed by the window system: the same veto
        QVERIFY(button.DroppedDown());
        allow = true;
        button.CloseUp();
        QVERIFY(!button.DroppedDown());
        // Closed by the window system, or when the application goes to the background.
        button.DropDown();
        QVERIFY(button.Popup()->close());
        QVERIFY(!button.DroppedDown());
        button.DropDown();
        emit qApp->applicationStateChanged(Qt::ApplicationInactive);
        QVERIFY(!button.DroppedDown());
        QVERIFY(!button.Popup()->isVisible());

        // A press on the colour part is a click, and opens nothing.
        QSignalSpy clicks(&button, &QAbstractButton::clicked);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 11));
        QCOMPARE(clicks.count(), 1);
        QVERIFY(!button.DroppedDown());
    }

    void layoutAndHitTest_data() {
        QTest::addColumn<bool>("system");
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<int>("cell");
        QTest::newRow("cell 0") << true << QPoint(17, 13) << 0;
        QTest::newRow("cell 39") << true << QPoint(143, 85) << 39;
        QTest::newRow("cell 40") << true << QPoint(17, 109) << 40;
        QTest::newRow("cell 64") << true << QPoint(17, 163) << 64;
        QTest::newRow("left of the grid") << true << QPoint(8, 13) << -1;
        QTest::newRow("first column starts") << true << QPoint(9, 13) << 0;
        QTest::newRow("above the grid") << true << QPoint(17, 4) << -1;
        QTest::newRow("top row starts") << true << QPoint(17, 5) << 0;
        QTest::newRow("column 8") << true << QPoint(153, 13) << -1;
        QTest::newRow("last row of standard") << true << QPoint(17, 94) << 32;
        QTest::newRow("gap at the line") << true << QPoint(17, 96) << -1;
        QTest::newRow("gap end") << true << QPoint(17, 100) << -1;
        QTest::newRow("system row starts") << true << QPoint(17, 101) << 40;
        QTest::newRow("past cell 64") << true << QPoint(35, 163) << -1;
        QTest::newRow("below system rows") << true << QPoint(17, 173) << -1;
        QTest::newRow("no system cells") << false << QPoint(17, 109) << -1;
    }
    void layoutAndHitTest() {
        QFETCH(bool, system);
        QFETCH(QPoint, point);
        QFETCH(int, cell);
        TColorPickerButton button;
        button.SetShowSystemColors(system);
        QCOMPARE(button.Popup()->size(), QSize(164, system ? 174 : 98));
        QCOMPARE(button.Popup()->CellAt(point), cell);
        QCOMPARE(button.Popup()->CellRect(41), QRect(28, 100, 18, 18));
        button.SetPopupSpacing(-3);
        QCOMPARE(button.PopupSpacing(), 0);
        QCOMPARE(button.Popup()->size().width(), 148);
    }

    void keysWrapAround_data() {
        QTest::addColumn<bool>("system");
        QTest::addColumn<TColor>("start");  // selects the cell the keys move from
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("cell");
        QTest::newRow("left from 0") << true << TColor(0x000000) << int(Qt::Key_Left) << 64;
        QTest::newRow("left from 0, no system") << false << TColor(0x000000) << int(Qt::Key_Left) << 39;
        QTest::newRow("left from a row start") << true << TColor(0x000080) << int(Qt::Key_Left) << 7;
        QTest::newRow("right from 64") << true << kInfoBackground << int(Qt::Key_Right) << 0;
        QTest::newRow("right from 39, no system") << false << kWhite << int(Qt::Key_Right) << 0;
        QTest::newRow("right to the next row") << true << TColor(0x333333) << int(Qt::Key_Right) << 8;
        QTest::newRow("up from the top row") << true << TColor(0x003300) << int(Qt::Key_Up) << 64;
        QTest::newRow("up") << true << kWhite << int(Qt::Key_Up) << 31;
        QTest::newRow("down from 60") << true << TColor(kSystemColorBase + 20) << int(Qt::Key_Down) << 0;
        QTest::newRow("down from 56") << true << TColor(kSystemColorBase + 16) << int(Qt::Key_Down) << 64;
        QTest::newRow("down from 33, no system") << false << TColor(0x99CCFF) << int(Qt::Key_Down) << 0;
        QTest::newRow("nothing selected") << true << kColorNone << int(Qt::Key_Right) << 0;
    }
    void keysWrapAround() {
        QFETCH(bool, system);
        QFETCH(TColor, start);
        QFETCH(int, key);
        QFETCH(int, cell);
        TColorPickerButton button;
        button.SetShowSystemColors(system);
        button.SetSelectionColor(start);
        button.DropDown();
        QTest::keyClick(button.Popup(), Qt::Key(key));
        QCOMPARE(button.Popup()->HotIndex(), cell);
    }

    void popupPlacement_data() {
        QTest::addColumn<QPoint>("offset");  // from the available area's top-left (x, y >= 0) or bottom-right
        QTest::addColumn<QString>("where");
        QTest::newRow("below") << QPoint(100, 100) << QStringLiteral("below");
        QTest::newRow("bottom of the screen") << QPoint(100, -30) << QStringLiteral("above");
        QTest::newRow("right edge") << QPoint(-50, 100) << QStringLiteral("right");
    }
    void popupPlacement() {
        QFETCH(QPoint, offset);
        QFETCH(QString, where);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const int areaRight = area.x() + area.width();
        const int areaBottom = area.y() + area.height();
        TColorPickerButton button;
        button.setWindowFlags(Qt::FramelessWindowHint);
        button.move(offset.x() >= 0 ? area.x() + offset.x() : areaRight + offset.x(),
                    offset.y() >= 0 ? area.y() + offset.y() : areaBottom + offset.y());
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        button.DropDown();
        const QPoint top = button.mapToGlobal(QPoint(0, 0));
        QPoint expected(top.x() - 1, top.y() + 22);
        if (where == QStringLiteral("above")) expected.setY(top.y() - 98);
        if (where == QStringLiteral("right")) expected.setX(areaRight - 164);
        QCOMPARE(button.Popup()->geometry(), QRect(expected, QSize(164, 98)));
        // Laid out again while open: placed again.
        button.SetShowSystemColors(true);
        if (where == QStringLiteral("above")) expected.setY(top.y() - 174);
        QCOMPARE(button.Popup()->geometry(), QRect(expected, QSize(164, 174)));
    }

    void paintsColourAndArrow() {
        TColorPickerButton button;
        button.SetSelectionColor(0x00CCFF);
        button.SetDropDownArrowColor(0x0000FF);
        for (const TIndicatorBorder border : {TIndicatorBorder::ibNone, TIndicatorBorder::ibFlat,
                                              TIndicatorBorder::ibSunken, TIndicatorBorder::ibRaised}) {
            button.SetIndicatorBorder(border);
            const QImage image = button.grab().toImage();
            QCOMPARE(image.pixelColor(14, 11), QColor(0xFF, 0xCC, 0x00));
            QCOMPARE(image.pixelColor(37, 12), QColor(0xFF, 0x00, 0x00));
            QVERIFY(image.pixelColor(37, 16) != QColor(0xFF, 0x00, 0x00));  // below the arrow's tip
        }
        // The popup shows the colours where its cells are, the selected cell marked.
        button.SetShowSystemColors(true);
        button.DropDown();
        const QImage popup = button.Popup()->grab().toImage();
        QCOMPARE(popup.pixelColor(button.Popup()->CellRect(25).center()), QColor(0xFF, 0xCC, 0x00));
        QCOMPARE(popup.pixelColor(button.Popup()->CellRect(64).center()), QColor(0x12, 0x34, 0x56));
        QCOMPARE(popup.pixelColor(button.Popup()->CellRect(25).topLeft() + QPoint(1, 1)),
                 QApplication::palette().color(QPalette::Light));
    }
};

QTEST_MAIN(ColorPickerTest)
#include "ColorPickerTest.moc"
