#include "widgets/PanelStatusBar.h"

#include <QLabel>

namespace pictavo {

TPanelStatusBar::TPanelStatusBar(const std::vector<int>& widths, QWidget* parent) : QStatusBar(parent) {
    for (const int width : widths) {
        auto* panel = new QLabel(this);
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        if (width > 0) {
            panel->setFixedWidth(width);
            addWidget(panel);
        } else {
            panel->setMinimumWidth(1);
            addWidget(panel, 1);
        }
        FPanels.push_back(panel);
    }
}

QString TPanelStatusBar::PanelText(int panel) const {
    return FPanels.at(static_cast<size_t>(panel))->text();
}

void TPanelStatusBar::SetPanelText(int panel, const QString& text) {
    QLabel* label = FPanels.at(static_cast<size_t>(panel));
    if (label->text() == text) return;
    label->setText(text);
    emit PanelTextChanged(panel, text);
}

void TPanelStatusBar::RepaintNow() {
    for (QLabel* panel : FPanels) panel->repaint();
}

}  // namespace pictavo
