// A button that shows a colour and drops down a palette of colours to choose from: 40 standard
// colours in 5 rows of 8 and, when asked for, the 25 system colours below an etched line.
// The right part of the button (DropDownWidth pixels) holds the arrow that opens the palette;
// the rest is an ordinary push button.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QWidget>

#include <cstdint>

namespace pictavo {

// 0x00BBGGRR; a system colour is 0xFF000000 + k (k = 0..24), taken from the current palette.
using TColor = uint32_t;
inline constexpr TColor kSystemColorBase = 0xFF000000;
inline constexpr int kSystemColorCount = 25;
// "No colour" and "the default colour": neither selects a palette cell.
inline constexpr TColor kColorNone = 0x1FFFFFFF;
inline constexpr TColor kColorDefault = 0x20000000;

enum class TIndicatorBorder { ibNone, ibFlat, ibSunken, ibRaised };

struct TPaletteEntry {
    const char* Name;
    TColor Value;
};

// The standard colours (0..39, 8 a row) followed by the system colours (40 + k).
inline constexpr int kStandardColorCount = 40;
extern const TPaletteEntry kColorPalette[65];

// A system colour through the current application palette; any other value & 0xFFFFFF.
TColor ColorToRGB(TColor color);
QColor ColorToQColor(TColor color);

class TColorPickerButton;

// The dropped-down palette: a frameless popup window owned by its button.
class TColorPopup : public QWidget {
    Q_OBJECT
public:
    explicit TColorPopup(TColorPickerButton* owner);

    // The cell under a point of the popup, or -1.
    int CellAt(QPoint point) const;
    // Where cell i (0..64) is painted.
    QRect CellRect(int index) const;
    int SelectedIndex() const { return FSelectedIndex; }
    int HotIndex() const { return FHotIndex; }
    // The size the popup takes with the owner's spacing and system-colour setting.
    QSize LayoutSize() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    friend class TColorPickerButton;

    int Spacing() const;
    bool ShowSystemColors() const;
    int LastCell() const;
    // Selects the cell that shows the colour, or none.
    void SelectColor(TColor color);
    void SetHotIndex(int index);
    void UpdateCell(int index);
    int MovedCell(int from, int key) const;
    // Hands the chosen colour (or the default choice) to the button and closes.
    void Accept();

    TColorPickerButton* FOwner;
    int FSelectedIndex = -1;
    int FHotIndex = -1;
    bool FMouseDown = false;
};

class TColorPickerButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TColorPickerButton(QWidget* parent = nullptr);
    ~TColorPickerButton() override;

    TColor SelectionColor() const { return FSelectionColor; }
    void SetSelectionColor(TColor color);
    bool ShowSystemColors() const { return FShowSystemColors; }
    void SetShowSystemColors(bool show);
    int PopupSpacing() const { return FPopupSpacing; }
    void SetPopupSpacing(int spacing);
    void SetDropDownWidth(int width);
    void SetDropDownArrowColor(TColor color);
    void SetIndicatorBorder(TIndicatorBorder border);

    bool DroppedDown() const { return FDroppedDown; }
    // Opens the palette, unless DropChanging forbids it.
    void DropDown();
    // Closes the palette without a choice, unless DropChanging forbids it.
    void CloseUp();
    TColorPopup* Popup() const { return FPopup; }

    QSize sizeHint() const override;

signals:
    void Change();
    void DefaultSelect();
    void DropChanging(bool& Allowed);
    void DropChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // Space, Enter and Alt+Down open the palette, with the current colour's cell hot for the arrows.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    friend class TColorPopup;

    void PlacePopup();
    // The popup was hidden by something other than CloseUp.
    void PopupHidden();
    QRect ArrowRect() const;

    TColor FSelectionColor = 0x000000;
    TColor FDropDownArrowColor = 0x000000;
    TIndicatorBorder FIndicatorBorder = TIndicatorBorder::ibFlat;
    int FPopupSpacing = 8;
    int FDropDownWidth = 15;
    bool FShowSystemColors = false;
    bool FDroppedDown = false;
    bool FPressedOnArrow = false;
    TColorPopup* FPopup = nullptr;
};

}  // namespace pictavo
