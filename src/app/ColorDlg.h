// The background-colour dialog of saved bitmaps: the icon previewed on the colour chosen with
// the colour-picker button, and the colour of the screen pixel under the mouse shown by name.
#pragma once

#include <QDialog>

#include <cstdint>

class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;
class QWidget;

namespace pictavo {
class TColorPickerButton;
class THiResIcon;
}  // namespace pictavo

class Tdlg_pv_Color : public QDialog {
    Q_OBJECT
public:
    explicit Tdlg_pv_Color(QWidget* parent = nullptr);

    // Shows the colour of the screen pixel at Global (screen coordinates) by name and in
    // ColorPanel.
    void ImageMouseMove(const QPoint& Global);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend bool SelectBackgroundColor(pictavo::THiResIcon& Graphic, uint32_t& Color, QWidget* owner);

    QFrame* Bevel1;
    QWidget* _BottomPanel;
    QWidget* _RightPanel;
    QPushButton* bCancel;
    QPushButton* bOK;
    QScrollArea* ScrollBox;
    QLabel* Image;
    QLabel* lCursor;
    QFrame* ColorPanel;
    QLabel* Label1;
    pictavo::TColorPickerButton* ColorPicker;

    // The preview takes the picker's colour.
    void cmSetBkg();
    // The colour (0x00BBGGRR) of the screen pixel at Global; where the screen cannot be read
    // (some display servers refuse it), the pixel this dialog shows there.
    uint32_t SamplePixel(const QPoint& Global);
};

// Shows the dialog with Graphic's pixels over Color (0x00BBGGRR). True when the user closes it
// with OK; Color is then the colour chosen, and otherwise unchanged.
bool SelectBackgroundColor(pictavo::THiResIcon& Graphic, uint32_t& Color, QWidget* owner = nullptr);

// The colour's name ("clBlack", ...) where it has one, else "$" and eight hexadecimal digits.
QString ColorName(uint32_t Color);
