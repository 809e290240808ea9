// A status bar of text panels side by side: each of a fixed width, the last taking the rest.
// The panels are painted by the bar itself, so that a new text repaints its panel and never
// lays the window out again.
#pragma once

#include <QStatusBar>
#include <QString>

#include <vector>

namespace pictavo {

class TPanelStatusBar : public QStatusBar {
    Q_OBJECT
public:
    // One panel per width; a width below 1 takes the space the others leave.
    TPanelStatusBar(const std::vector<int>& widths, QWidget* parent = nullptr);

    int PanelCount() const { return static_cast<int>(FTexts.size()); }
    QString PanelText(int panel) const;
    void SetPanelText(int panel, const QString& text);
    // Where the panel lies in the bar.
    QRect PanelRect(int panel) const;
    // Paints the panels now, before the work that follows keeps the window from painting.
    void RepaintNow();

signals:
    void PanelTextChanged(int panel, const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<int> FWidths;
    std::vector<QString> FTexts;
};

}  // namespace pictavo
