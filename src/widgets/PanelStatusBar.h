// A status bar of text panels side by side: each of a fixed width, the last taking the rest.
#pragma once

#include <QStatusBar>
#include <QString>

#include <vector>

class QLabel;

namespace pictavo {

class TPanelStatusBar : public QStatusBar {
    Q_OBJECT
public:
    // One panel per width; a width below 1 takes the space the others leave.
    TPanelStatusBar(const std::vector<int>& widths, QWidget* parent = nullptr);

    int PanelCount() const { return static_cast<int>(FPanels.size()); }
    QString PanelText(int panel) const;
    void SetPanelText(int panel, const QString& text);
    // Paints the panels now, before the work that follows keeps the window from painting.
    void RepaintNow();

signals:
    void PanelTextChanged(int panel, const QString& text);

private:
    std::vector<QLabel*> FPanels;
};

}  // namespace pictavo
