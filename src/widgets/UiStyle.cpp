#include "widgets/UiStyle.h"

#include <QStyleOptionMenuItem>
#include <QWidget>

namespace pictavo {

int TUiStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                        QStyleHintReturn* returnData) const {
    if (hint == QStyle::SH_MenuBar_AltKeyNavigation) return 1;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void TUiStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                           const QWidget* widget) const {
    // The menu bar has the keyboard focus only while the keyboard moves along it; under the
    // mouse an item stays as the base style draws it.
    const bool keyboardItem = element == QStyle::CE_MenuBarItem && widget && widget->hasFocus() &&
                              (option->state & QStyle::State_Selected) && !(option->state & QStyle::State_Sunken);
    if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option); keyboardItem && item) {
        QStyleOptionMenuItem marked(*item);
        marked.state |= QStyle::State_Sunken;
        QProxyStyle::drawControl(element, &marked, painter, widget);
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

}  // namespace pictavo
