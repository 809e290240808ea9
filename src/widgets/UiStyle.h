// The application's style: the desktop's own, with the menu bar reachable from the keyboard as
// desktop programs have it (Alt pressed and released alone highlights the first menu, the arrow
// keys then move along the bar, Enter or Down opens the menu, Escape leaves the bar). Some
// styles (Fusion among them) mark a menu bar item only while its menu is open, which leaves the
// keyboard's place on the bar unseen: the item the keyboard is on is drawn as an open one.
#pragma once

#include <QProxyStyle>

namespace pictavo {

class TUiStyle : public QProxyStyle {
    Q_OBJECT
public:
    // Over the desktop's default style; the application takes ownership through setStyle.
    TUiStyle() = default;

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
};

}  // namespace pictavo
