#include "app/ColorDlg.h"

#include "app/DialogFlags.h"
#include "icons/IconTools.h"
#include "widgets/ColorPicker.h"
#include "widgets/IconPixmaps.h"
#include "widgets/UiFonts.h"

#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>

#include <utility>

using namespace pictavo;

namespace {

// Client area at design size; the bottom panel with its buttons; the right panel's width.
constexpr int kClientWidth = 341, kClientHeight = 343;
constexpr int kBottomPanelHeight = 41, kRightPanelWidth = 165;
// The preview's margins: 10 left, 11 top, 12 right, and 84 above the client's bottom.
constexpr int kBoxLeft = 10, kBoxTop = 11, kBoxRightMargin = 12, kBoxBottomMargin = 84;
// The cursor colour's swatch and text, at a fixed distance from the client's bottom.
constexpr int kPanelLeft = 10, kPanelBottomOffset = 72, kLabelLeft = 41, kLabelBottomOffset = 68;
constexpr uint32_t kWhite = 0xFFFFFF;

const std::pair<uint32_t, const char*> kColorNames[] = {
    {0x000000, "clBlack"},      {0x000080, "clMaroon"},  {0x008000, "clGreen"}, {0x008080, "clOlive"},
    {0x800000, "clNavy"},       {0x800080, "clPurple"},  {0x808000, "clTeal"},  {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"},     {0x0000FF, "clRed"},     {0x00FF00, "clLime"},  {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"},       {0xFF00FF, "clFuchsia"}, {0xFFFF00, "clAqua"},  {0xFFFFFF, "clWhite"},
    {0xC0DCC0, "clMoneyGreen"}, {0xF0CAA6, "clSkyBlue"}, {0xF0FBFF, "clCream"}, {0xA4A0A0, "clMedGray"},
};

uint32_t ColourValue(const QColor& c) {
    return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
           static_cast<uint32_t>(c.blue()) << 16;
}

void FillWith(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace

QString ColorName(uint32_t Color) {
    for (const auto& [value, name] : kColorNames)
        if (value == Color) return QString::fromLatin1(name);
    return QStringLiteral("$%1").arg(Color, 8, 16, QLatin1Char('0')).toUpper();
}

Tdlg_pv_Color::Tdlg_pv_Color(QWidget* parent) : QDialog(parent, kDialogFlags) {
    setObjectName(QStringLiteral("dlg_pv_Color"));
    setWindowTitle(tr("选择背景颜色"));
    setFont(FormFont());
    setModal(true);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);

    _BottomPanel = new QWidget(this);
    _BottomPanel->setObjectName(QStringLiteral("_BottomPanel"));
    _RightPanel = new QWidget(_BottomPanel);
    _RightPanel->setObjectName(QStringLiteral("_RightPanel"));
    bOK = new QPushButton(tr("确定"), _RightPanel);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setDefault(true);
    bOK->setGeometry(3, 8, 75, 25);
    bCancel = new QPushButton(tr("取消"), _RightPanel);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(83, 8, 75, 25);
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);  // Escape rejects too

    Label1 = new QLabel(tr("背景颜色:"), _BottomPanel);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(10, 8, 64, 25);
    ColorPicker = new TColorPickerButton(_BottomPanel);
    ColorPicker->setObjectName(QStringLiteral("ColorPicker"));
    ColorPicker->setGeometry(76, 10, 95, 22);
    ColorPicker->SetShowSystemColors(true);
    ColorPicker->SetPopupSpacing(8);
    ColorPicker->SetSelectionColor(kWhite);
    connect(ColorPicker, &TColorPickerButton::Change, this, &Tdlg_pv_Color::cmSetBkg);

    ScrollBox = new QScrollArea(this);
    ScrollBox->setObjectName(QStringLiteral("ScrollBox"));
    Image = new QLabel;
    Image->setObjectName(QStringLiteral("Image"));
    Image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image->setCursor(Qt::CrossCursor);
    Image->setMouseTracking(true);
    Image->installEventFilter(this);
    ScrollBox->setWidget(Image);
    ScrollBox->setWidgetResizable(true);
    // The box's colour shows through the icon's transparent pixels.
    Image->setAutoFillBackground(false);
    FillWith(ScrollBox->viewport(), QColor(Qt::white));

    ColorPanel = new QFrame(this);
    ColorPanel->setObjectName(QStringLiteral("ColorPanel"));
    ColorPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lCursor = new QLabel(this);
    lCursor->setObjectName(QStringLiteral("lCursor"));

    resize(kClientWidth, kClientHeight);
}

void Tdlg_pv_Color::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int w = width(), h = height();
    _BottomPanel->setGeometry(0, h - kBottomPanelHeight, w, kBottomPanelHeight);
    _RightPanel->setGeometry(w - kRightPanelWidth, 0, kRightPanelWidth, kBottomPanelHeight);
    Bevel1->setGeometry(0, h - kBottomPanelHeight - 2, w, 2);
    ScrollBox->setGeometry(kBoxLeft, kBoxTop, w - kBoxLeft - kBoxRightMargin, h - kBoxTop - kBoxBottomMargin);
    ColorPanel->setGeometry(kPanelLeft, h - kPanelBottomOffset, 21, 20);
    lCursor->setGeometry(kLabelLeft, h - kLabelBottomOffset, w - kLabelLeft - kBoxRightMargin, 16);
}

bool Tdlg_pv_Color::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image) {
        if (event->type() == QEvent::MouseMove)
            ImageMouseMove(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        else if (event->type() == QEvent::MouseButtonDblClick)
            cmSetBkg();
    }
    return QDialog::eventFilter(watched, event);
}

uint32_t Tdlg_pv_Color::SamplePixel(const QPoint& Global) {
    // The 3 x 3 block around the point; its centre is the pixel under the cursor.
    QScreen* screen = QGuiApplication::screenAt(Global);
    if (!screen) screen = this->screen();
    QImage sample;
    if (screen) {
        const QPoint local = Global - screen->geometry().topLeft();
        sample = screen->grabWindow(0, local.x() - 1, local.y() - 1, 3, 3).toImage();
    }
    if (sample.width() < 3 || sample.height() < 3)
        sample = grab(QRect(mapFromGlobal(Global) - QPoint(1, 1), QSize(3, 3))).toImage();
    if (sample.isNull()) return 0;
    return ColourValue(sample.pixelColor(sample.width() / 2, sample.height() / 2));
}

void Tdlg_pv_Color::ImageMouseMove(const QPoint& Global) {
    const uint32_t c = SamplePixel(Global);
    lCursor->setText(tr("光标颜色: %1").arg(ColorName(c)));
    FillWith(ColorPanel, ColorToQColor(c));
}

void Tdlg_pv_Color::cmSetBkg() { FillWith(ScrollBox->viewport(), ColorToQColor(ColorPicker->SelectionColor())); }

bool SelectBackgroundColor(THiResIcon& Graphic, uint32_t& Color, QWidget* owner) {
    Tdlg_pv_Color dialog(owner);
    if (const TIconRaster* pixels = Graphic.Handle())
        dialog.Image->setPixmap(QPixmap::fromImage(RasterToImage(*pixels)));
    dialog.ColorPicker->SetSelectionColor(Color);
    // Centred on the screen the owner is on.
    if (QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        dialog.move(screen->availableGeometry().center() - dialog.rect().center());
    if (dialog.exec() != QDialog::Accepted) return false;
    Color = dialog.ColorPicker->SelectionColor();
    return true;
}
