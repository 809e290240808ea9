#include "widgets/PanelStatusBar.h"

#include <qdrawutil.h>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace pictavo {

namespace {

// Space between two panels, and between a panel's frame and its text.
constexpr int kPanelGap = 2;
constexpr int kTextMargin = 3;
// Room kept free for the size grip at the right end.
constexpr int kGripWidth = 16;

}  // namespace

TPanelStatusBar::TPanelStatusBar(const std::vector<int>& widths, QWidget* parent)
    : QStatusBar(parent), FWidths(widths), FTexts(widths.size()) {}

QString TPanelStatusBar::PanelText(int panel) const { return FTexts.at(static_cast<size_t>(panel)); }

void TPanelStatusBar::SetPanelText(int panel, const QString& text) {
    QString& current = FTexts.at(static_cast<size_t>(panel));
    if (current == text) return;
    current = text;
    update(PanelRect(panel));
    QStringList texts(FTexts.begin(), FTexts.end());
    setAccessibleName(texts.join(QStringLiteral("  ")));
    emit PanelTextChanged(panel, text);
}

QRect TPanelStatusBar::PanelRect(int panel) const {
    int left = 0;
    for (int i = 0; i < panel; ++i) left += FWidths[static_cast<size_t>(i)] + kPanelGap;
    const int given = FWidths.at(static_cast<size_t>(panel));
    const int right = isSizeGripEnabled() ? width() - kGripWidth : width();
    const int panelWidth = given > 0 ? given : std::max(0, right - left);
    return QRect(left, 1, panelWidth, height() - 1);
}

void TPanelStatusBar::RepaintNow() { repaint(); }

void TPanelStatusBar::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    for (int i = 0; i < PanelCount(); ++i) {
        const QRect rect = PanelRect(i);
        if (!rect.intersects(event->rect())) continue;
        qDrawShadePanel(&painter, rect, palette(), true, 1);
        const QRect textRect = rect.adjusted(kTextMargin, 0, -kTextMargin, 0);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(FTexts[static_cast<size_t>(i)], Qt::ElideRight, textRect.width()));
    }
}

}  // namespace pictavo
