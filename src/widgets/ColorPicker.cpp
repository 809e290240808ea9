#include "widgets/ColorPicker.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace pictavo {

const TPaletteEntry kColorPalette[65] = {
    {"Black", 0x000000},
    {"Brown", 0x003399},
    {"Olive Green", 0x003333},
    {"Dark Green", 0x003300},
    {"Dark Teal", 0x663300},
    {"Dark blue", 0x800000},
    {"Indigo", 0x993333},
    {"Gray-80%", 0x333333},
    {"Dark Red", 0x000080},
    {"Orange", 0x0066FF},
    {"Dark Yellow", 0x008080},
    {"Green", 0x008000},
    {"Teal", 0x808000},
    {"Blue", 0xFF0000},
    {"Blue-Gray", 0x996666},
    {"Gray-50%", 0x808080},
    {"Red", 0x0000FF},
    {"Light Orange", 0x0099FF},
    {"Lime", 0x00CC99},
    {"Sea Green", 0x669933},
    {"Aqua", 0xCCCC33},
    {"Light Blue", 0xFF6633},
    {"Violet", 0x800080},
    {"Grey-40%", 0x969696},
    {"Pink", 0xFF00FF},
    {"Gold", 0x00CCFF},
    {"Yellow", 0x00FFFF},
    {"Bright Green", 0x00FF00},
    {"Turquoise", 0xFFFF00},
    {"Sky Blue", 0xFFCC00},
    {"Plum", 0x663399},
    {"Gray-25%", 0xC0C0C0},
    {"Rose", 0xCC99FF},
    {"Tan", 0x99CCFF},
    {"Light Yellow", 0x99FFFF},
    {"Light Green", 0xCCFFCC},
    {"Light Turquoise", 0xFFFFCC},
    {"Pale Blue", 0xFFCC99},
    {"Lavender", 0xFF99CC},
    {"White", 0xFFFFFF},
    {"system color: scroll bar", kSystemColorBase + 0},
    {"system color: background", kSystemColorBase + 1},
    {"system color: active caption", kSystemColorBase + 2},
    {"system color: inactive caption", kSystemColorBase + 3},
    {"system color: menu", kSystemColorBase + 4},
    {"system color: window", kSystemColorBase + 5},
    {"system color: window frame", kSystemColorBase + 6},
    {"system color: menu text", kSystemColorBase + 7},
    {"system color: window text", kSystemColorBase + 8},
    {"system color: caption text", kSystemColorBase + 9},
    {"system color: active border", kSystemColorBase + 10},
    {"system color: inactive border", kSystemColorBase + 11},
    {"system color: application workspace", kSystemColorBase + 12},
    {"system color: highlight", kSystemColorBase + 13},
    {"system color: highlight text", kSystemColorBase + 14},
    {"system color: button face", kSystemColorBase + 15},
    {"system color: button shadow", kSystemColorBase + 16},
    {"system color: gray text", kSystemColorBase + 17},
    {"system color: button text", kSystemColorBase + 18},
    {"system color: inactive caption text", kSystemColorBase + 19},
    {"system color: button highlight", kSystemColorBase + 20},
    {"system color: 3D dark shadow", kSystemColorBase + 21},
    {"system color: 3D light", kSystemColorBase + 22},
    {"system color: info text", kSystemColorBase + 23},
    {"system color: info background", kSystemColorBase + 24},
};

namespace {

// The system colours the painting uses.
constexpr TColor kButtonFace = kSystemColorBase + 15;
constexpr TColor kButtonShadow = kSystemColorBase + 16;
constexpr TColor kButtonHighlight = kSystemColorBase + 20;

struct TPaletteRole {
    QPalette::ColorGroup Group;
    QPalette::ColorRole Role;
};

// Where each system colour comes from in a Qt palette, in the order of the palette table.
constexpr TPaletteRole kSystemRoles[kSystemColorCount] = {
    {QPalette::Active, QPalette::Mid},                // scroll bar
    {QPalette::Active, QPalette::Window},             // background
    {QPalette::Active, QPalette::Highlight},          // active caption
    {QPalette::Inactive, QPalette::Highlight},        // inactive caption
    {QPalette::Active, QPalette::Window},             // menu
    {QPalette::Active, QPalette::Base},               // window
    {QPalette::Active, QPalette::Shadow},             // window frame
    {QPalette::Active, QPalette::WindowText},         // menu text
    {QPalette::Active, QPalette::Text},               // window text
    {QPalette::Active, QPalette::HighlightedText},    // caption text
    {QPalette::Active, QPalette::Button},             // active border
    {QPalette::Inactive, QPalette::Button},           // inactive border
    {QPalette::Active, QPalette::Mid},                // application workspace
    {QPalette::Active, QPalette::Highlight},          // highlight
    {QPalette::Active, QPalette::HighlightedText},    // highlight text
    {QPalette::Active, QPalette::Button},             // button face
    {QPalette::Active, QPalette::Dark},               // button shadow
    {QPalette::Disabled, QPalette::Text},             // gray text
    {QPalette::Active, QPalette::ButtonText},         // button text
    {QPalette::Inactive, QPalette::HighlightedText},  // inactive caption text
    {QPalette::Active, QPalette::Light},              // button highlight
    {QPalette::Active, QPalette::Shadow},             // 3D dark shadow
    {QPalette::Active, QPalette::Midlight},           // 3D light
    {QPalette::Active, QPalette::ToolTipText},        // info text
    {QPalette::Active, QPalette::ToolTipBase},        // info background
};

bool IsSystemColor(TColor color) {
    return color >= kSystemColorBase && color - kSystemColorBase < static_cast<TColor>(kSystemColorCount);
}

// The popup's fixed measures: the system edge, the cell size and the grid.
constexpr int kEdge = 2;
constexpr int kCellSize = 18;
constexpr int kColumns = 8;
constexpr int kRows = 5;
constexpr int kSystemRows = 4;

void DrawPushButton(QWidget* widget, QPainter& painter, const QRect& rect, bool sunken) {
    QStyleOptionButton option;
    option.initFrom(widget);
    option.rect = rect;
    option.state |= sunken ? QStyle::State_Sunken : QStyle::State_Raised;
    widget->style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, widget);
}

}  // namespace

TColor ColorToRGB(TColor color) {
    if (!IsSystemColor(color)) return color & 0xFFFFFF;
    const TPaletteRole& role = kSystemRoles[color - kSystemColorBase];
    const QColor qt = QApplication::palette().color(role.Group, role.Role);
    return static_cast<TColor>(qt.red()) | static_cast<TColor>(qt.green()) << 8 | static_cast<TColor>(qt.blue()) << 16;
}

QColor ColorToQColor(TColor color) {
    const TColor rgb = ColorToRGB(color);
    return QColor(rgb & 0xFF, rgb >> 8 & 0xFF, rgb >> 16 & 0xFF);
}

// --- the popup -------------------------------------------------------------------------

TColorPopup::TColorPopup(TColorPickerButton* owner)
    : QWidget(owner, Qt::Popup | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), FOwner(owner) {
    // A press outside closes the palette and is not passed on to what lies below.
    setAttribute(Qt::WA_NoMouseReplay);
    setMouseTracking(true);
    resize(LayoutSize());
}

int TColorPopup::Spacing() const { return FOwner->PopupSpacing(); }

bool TColorPopup::ShowSystemColors() const { return FOwner->ShowSystemColors(); }

int TColorPopup::LastCell() const {
    return (ShowSystemColors() ? kStandardColorCount + kSystemColorCount : kStandardColorCount) - 1;
}

QSize TColorPopup::LayoutSize() const {
    int height = kRows * kCellSize + 4 * kEdge;
    if (ShowSystemColors()) height += kSystemRows * kCellSize + 2 * kEdge;
    return QSize(2 * kEdge + kColumns * kCellSize + 2 * Spacing(), height);
}

QRect TColorPopup::CellRect(int index) const {
    const int left = index % kColumns * kCellSize + kEdge + Spacing();
    int top = index / kColumns * kCellSize + 2 * kEdge;
    if (index >= kStandardColorCount) top += 3 * kEdge;
    return QRect(left, top, kCellSize, kCellSize);
}

int TColorPopup::CellAt(QPoint point) const {
    const int spacing = Spacing();
    if (point.x() <= spacing) return -1;
    int y = point.y() - 5 * kEdge / 2;
    if (y < 0) return -1;
    const bool system = ShowSystemColors();
    if (system && y / kCellSize >= kRows) {
        y -= 3 * kEdge;
        if (y / kCellSize < kRows) return -1;  // the gap around the line
    }
    const int row = y / kCellSize;
    const int column = (point.x() - spacing) / kCellSize;
    if (column < 0 || column >= kColumns) return -1;
    if (row < kRows) return row * kColumns + column;
    if (system && row - kRows < kSystemRows) {
        const int k = (row - kRows) * kColumns + column;
        if (k < kSystemColorCount) return kStandardColorCount + k;
    }
    return -1;
}

void TColorPopup::SelectColor(TColor color) {
    int found = -1;
    const bool system = ShowSystemColors();
    if (color == kColorNone || color == kColorDefault) {
        found = -1;
    } else if (system && IsSystemColor(color)) {
        found = kStandardColorCount + static_cast<int>(color - kSystemColorBase);
    } else {
        // The standard cells first; with system cells, their current colours after.
        const TColor rgb = ColorToRGB(color);
        const int end = system ? LastCell() + 1 : kStandardColorCount;
        for (int i = 0; i < end && found < 0; ++i)
            if (ColorToRGB(kColorPalette[i].Value) == rgb) found = i;
    }
    if (found == FSelectedIndex) return;
    UpdateCell(FSelectedIndex);
    FSelectedIndex = found;
    UpdateCell(FSelectedIndex);
}

void TColorPopup::UpdateCell(int index) {
    if (index >= 0) update(CellRect(index));
}

void TColorPopup::SetHotIndex(int index) {
    if (index == FHotIndex) return;
    UpdateCell(FHotIndex);
    FHotIndex = index;
    UpdateCell(FHotIndex);
}

int TColorPopup::MovedCell(int from, int key) const {
    const int last = LastCell();
    switch (key) {
    case Qt::Key_Left:
        return from <= 0 ? last : from - 1;
    case Qt::Key_Right:
        return from < 0 || from >= last ? 0 : from + 1;
    case Qt::Key_Up:
        return from < kColumns ? last : from - kColumns;
    case Qt::Key_Down:
        return from < 0 || from + kColumns > last ? 0 : from + kColumns;
    default:
        return from;
    }
}

void TColorPopup::Accept() {
    if (FSelectedIndex >= 0)
        FOwner->SetSelectionColor(kColorPalette[FSelectedIndex].Value);
    else
        emit FOwner->DefaultSelect();
    FOwner->CloseUp();
}

void TColorPopup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& pal = palette();
    painter.fillRect(rect(), ColorToQColor(kButtonFace));
    const bool system = ShowSystemColors();
    const int count = system ? kStandardColorCount + kSystemColorCount : kStandardColorCount;
    for (int i = 0; i < count; ++i) {
        if (i == kStandardColorCount) {
            // In the gap between the two grids (the standard cells end at 5c + 2e, the system
            // cells start at 5c + 5e), so the line never crosses a cell's frame.
            const int y = kRows * kCellSize + 3 * kEdge;
            qDrawShadeLine(&painter, kEdge + Spacing(), y, width() - kEdge - Spacing(), y, pal, true, 1, 0);
        }
        const QRect cell = CellRect(i);
        const bool selected = i == FSelectedIndex;
        const bool hot = i == FHotIndex;
        painter.fillRect(cell, ColorToQColor(selected && !hot ? kButtonHighlight : kButtonFace));
        if (selected || (hot && FMouseDown))
            qDrawShadePanel(&painter, cell, pal, true, 1);
        else if (hot)
            qDrawShadePanel(&painter, cell, pal, false, 1);
        const QRect swatch = cell.adjusted(kEdge + 1, kEdge + 1, -kEdge - 1, -kEdge - 1);
        painter.fillRect(swatch, ColorToQColor(kColorPalette[i].Value));
        painter.setPen(QColor(0x80, 0x80, 0x80));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(swatch.adjusted(0, 0, -1, -1));
    }
    qDrawWinPanel(&painter, rect(), pal, false);
}

void TColorPopup::mouseMoveEvent(QMouseEvent* event) { SetHotIndex(CellAt(event->position().toPoint())); }

void TColorPopup::mousePressEvent(QMouseEvent* event) {
    if (!rect().contains(event->position().toPoint())) {
        FOwner->CloseUp();
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    FMouseDown = true;
    UpdateCell(FHotIndex);
}

void TColorPopup::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    FMouseDown = false;
    UpdateCell(FHotIndex);
    const int cell = CellAt(event->position().toPoint());
    if (cell < 0) return;
    UpdateCell(FSelectedIndex);
    FSelectedIndex = cell;
    Accept();
}

void TColorPopup::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        // A key held down on the button that opened the palette must not choose at once.
        if (event->isAutoRepeat()) break;
        FSelectedIndex = FHotIndex;
        Accept();
        break;
    case Qt::Key_Escape:
        FOwner->CloseUp();
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        SetHotIndex(MovedCell(FHotIndex >= 0 ? FHotIndex : FSelectedIndex, event->key()));
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

// The window system or Qt closes the popup (another window activated, all popups closed):
// the button decides, as for any other closing.
void TColorPopup::closeEvent(QCloseEvent* event) {
    if (FOwner->DroppedDown()) FOwner->CloseUp();
    if (FOwner->DroppedDown()) event->ignore();
}

void TColorPopup::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    FMouseDown = false;
    if (FOwner->DroppedDown()) FOwner->PopupHidden();
}

// --- the button ------------------------------------------------------------------------

TColorPickerButton::TColorPickerButton(QWidget* parent) : QAbstractButton(parent) {
    FPopup = new TColorPopup(this);  // laid out from the settings above, so made after them
    resize(45, 22);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) CloseUp();
    });
}

TColorPickerButton::~TColorPickerButton() {
    // Closed quietly: no signals from an object being destroyed.
    FDroppedDown = false;
    delete FPopup;
}

QSize TColorPickerButton::sizeHint() const { return QSize(45, 22); }

void TColorPickerButton::SetSelectionColor(TColor color) {
    if (color == FSelectionColor) return;
    FSelectionColor = color;
    update();
    if (FDroppedDown) FPopup->SelectColor(color);
    emit Change();
}

void TColorPickerButton::SetShowSystemColors(bool show) {
    if (show == FShowSystemColors) return;
    FShowSystemColors = show;
    if (!FShowSystemColors && FPopup->FSelectedIndex >= kStandardColorCount) FPopup->FSelectedIndex = -1;
    if (!FShowSystemColors && FPopup->FHotIndex >= kStandardColorCount) FPopup->FHotIndex = -1;
    PlacePopup();
}

void TColorPickerButton::SetPopupSpacing(int spacing) {
    spacing = std::max(spacing, 0);
    if (spacing == FPopupSpacing) return;
    FPopupSpacing = spacing;
    PlacePopup();
}

void TColorPickerButton::SetDropDownWidth(int width) {
    width = std::max(width, 0);
    if (width == FDropDownWidth) return;
    FDropDownWidth = width;
    update();
}

void TColorPickerButton::SetDropDownArrowColor(TColor color) {
    if (color == FDropDownArrowColor) return;
    FDropDownArrowColor = color;
    update();
}

void TColorPickerButton::SetIndicatorBorder(TIndicatorBorder border) {
    if (border == FIndicatorBorder) return;
    FIndicatorBorder = border;
    update();
}

// Lays the popup out again; an open one is placed below (or above) the button anew.
void TColorPickerButton::PlacePopup() {
    const QSize size = FPopup->LayoutSize();
    if (!FDroppedDown) {
        FPopup->resize(size);
        return;
    }
    const QPoint buttonTop = mapToGlobal(QPoint(0, 0));
    QPoint at = mapToGlobal(QPoint(-1, height()));
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        const int bottom = area.y() + area.height();
        const int right = area.x() + area.width();
        if (at.y() + size.height() > bottom) {
            at.setY(bottom - size.height());
            if (at.y() < buttonTop.y()) at.setY(buttonTop.y() - size.height());
        }
        if (at.x() + size.width() > right) at.setX(std::max(right - size.width(), area.x()));
    }
    FPopup->setGeometry(QRect(at, size));
    FPopup->update();
}

void TColorPickerButton::DropDown() {
    if (FDroppedDown) return;
    bool allowed = true;
    emit DropChanging(allowed);
    if (!allowed) return;
    FDroppedDown = true;
    update();
    FPopup->FHotIndex = -1;
    FPopup->FMouseDown = false;
    FPopup->FSelectedIndex = -1;
    FPopup->SelectColor(FSelectionColor);
    PlacePopup();
    // Shown as a popup, the palette takes the mouse and the keys until it closes.
    FPopup->show();
    emit DropChanged();
    update();
}

void TColorPickerButton::CloseUp() {
    if (!FDroppedDown) return;
    bool allowed = true;
    emit DropChanging(allowed);
    if (!allowed) return;
    FDroppedDown = false;
    update();
    FPopup->hide();
    emit DropChanged();
    update();
}

void TColorPickerButton::PopupHidden() {
    FDroppedDown = false;
    emit DropChanged();
    update();
}

QRect TColorPickerButton::ArrowRect() const { return QRect(width() - FDropDownWidth, 0, FDropDownWidth, height()); }

void TColorPickerButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled()) {
        FPressedOnArrow = event->position().x() > width() - FDropDownWidth;
        if (FPressedOnArrow) {
            event->accept();
            if (!FDroppedDown) DropDown();
            update();
            return;
        }
    }
    QAbstractButton::mousePressEvent(event);
}

void TColorPickerButton::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool opens =
        (modifiers == Qt::NoModifier && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) ||
        (modifiers == Qt::AltModifier && key == Qt::Key_Down);
    if (!opens) {
        QAbstractButton::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event->isAutoRepeat() || FDroppedDown) return;
    FPressedOnArrow = false;
    DropDown();
    // The arrow keys start from the current colour, and Enter keeps it.
    if (FDroppedDown) FPopup->SetHotIndex(FPopup->FSelectedIndex);
}

// Space opens the palette on its press; its release is not a click of the button.
void TColorPickerButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QAbstractButton::keyReleaseEvent(event);
}

void TColorPickerButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width();
    const int h = height();
    const bool facePressed = !FPressedOnArrow && (isDown() || FDroppedDown);
    const bool arrowPressed = facePressed || (FPressedOnArrow && FDroppedDown);

    DrawPushButton(this, painter, rect(), facePressed);
    if (FPressedOnArrow) DrawPushButton(this, painter, ArrowRect(), FDroppedDown);
    if (!FPressedOnArrow || !FDroppedDown) {
        // The two-pixel line between the colour and the arrow.
        const int shift = facePressed ? 1 : 0;
        const int x = w - FDropDownWidth - 1 + shift;
        painter.setPen(ColorToQColor(kButtonShadow));
        painter.drawLine(x, 1 + shift, x, h - 2 - shift);
        painter.setPen(ColorToQColor(kButtonHighlight));
        painter.drawLine(x + 1, 1 + shift, x + 1, h - 2 - shift);
    }

    // The focus mark around the colour field, as the style draws it inside a push button; the
    // field is painted over it, so a style that fills the mark leaves the colour as it is.
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -(FDropDownWidth + 3), -3);
        if (facePressed) focus.rect.translate(1, 1);
        focus.backgroundColor = palette().color(QPalette::Button);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }

    // The colour field, left of the arrow inside the button's border.
    QRect field = rect().adjusted(2, 2, -2, -2);
    field.setRight(field.right() - (FDropDownWidth + 2));
    field.adjust(2, 2, -2, -2);
    if (facePressed) field.translate(1, 1);
    if (field.isValid()) {
        const QColor color = ColorToQColor(FSelectionColor);
        switch (FIndicatorBorder) {
        case TIndicatorBorder::ibNone:
            painter.fillRect(field, color);
            break;
        case TIndicatorBorder::ibFlat:
            painter.setPen(ColorToQColor(kButtonShadow));
            painter.setBrush(color);
            painter.drawRect(field.adjusted(0, 0, -1, -1));
            break;
        case TIndicatorBorder::ibSunken:
        case TIndicatorBorder::ibRaised: {
            const QBrush fill(color);
            qDrawWinPanel(&painter, field, palette(), FIndicatorBorder == TIndicatorBorder::ibSunken, &fill);
            break;
        }
        }
    }

    // The arrow: a small filled triangle pointing down.
    const int x0 = w + (FDropDownWidth + 5) / 2 - FDropDownWidth - 6 + (arrowPressed ? 1 : 0);
    const int y0 = h / 2 + (arrowPressed ? 1 : 0);
    const QColor arrow = ColorToQColor(isEnabled() ? FDropDownArrowColor : kButtonShadow);
    painter.setPen(arrow);
    painter.setBrush(arrow);
    painter.drawPolygon(QPolygon({QPoint(x0, y0), QPoint(x0 + 6, y0), QPoint(x0 + 3, y0 + 3)}));
}

}  // namespace pictavo
