#include "widgets/RightButtonBand.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QRubberBand>

namespace pictavo {

TRightButtonBand::TRightButtonBand(QAbstractItemView* view, bool drawsBand)
    : QObject(view), FView(view), FDrawsBand(drawsBand), FViewport(view->viewport()) {
    FViewport->installEventFilter(this);
}

bool TRightButtonBand::eventFilter(QObject* watched, QEvent* event) {
    // Compared only: the viewport sends its last events while the view around it is being
    // destroyed, when the view may no longer be asked anything.
    if (watched != FViewport) return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::RightButton) break;
        FPressed = true;
        FDragging = false;
        FMenuHeld = false;
        FOrigin = mouse->position().toPoint();
        FModifiers = mouse->modifiers();
        break;  // the view selects (or deselects) what lies under the press as it does for any button
    }
    case QEvent::ContextMenu: {
        // Where the window system asks for the menu as the button goes down, it waits for the
        // release: only then is it known whether the press began a drag.
        const auto* menu = static_cast<QContextMenuEvent*>(event);
        if (FPressed && menu->reason() == QContextMenuEvent::Mouse) {
            FMenuHeld = true;
            FMenuPos = menu->pos();
            return true;
        }
        break;
    }
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (!FPressed || !(mouse->buttons() & Qt::RightButton)) break;
        const QPoint pos = mouse->position().toPoint();
        if (!FDragging && (pos - FOrigin).manhattanLength() < QApplication::startDragDistance()) return true;
        if (!FDrawsBand || FView->selectionMode() == QAbstractItemView::SingleSelection ||
            FView->selectionMode() == QAbstractItemView::NoSelection)
            return true;
        FDragging = true;
        if (!FBand) FBand = new QRubberBand(QRubberBand::Rectangle, FView->viewport());
        FBand->setGeometry(QRect(FOrigin, pos).normalized());
        FBand->show();
        SelectInside(pos);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::RightButton || !FPressed) break;
        FPressed = false;
        if (FBand) FBand->hide();
        const bool dragged = FDragging;
        FDragging = false;
        if (FMenuHeld && !dragged) {
            FMenuHeld = false;
            QContextMenuEvent menu(QContextMenuEvent::Mouse, FMenuPos, FView->viewport()->mapToGlobal(FMenuPos),
                                   mouse->modifiers());
            QApplication::sendEvent(FView->viewport(), &menu);
        }
        FMenuHeld = false;
        // The drag's end is the band's: the view does not take it for a click of its own, which
        // would select anew what lies under the pointer.
        if (dragged) return true;
        break;
    }
    default:
        break;
    }
    return false;
}

void TRightButtonBand::SelectInside(const QPoint& corner) {
    QAbstractItemModel* model = FView->model();
    QItemSelectionModel* selection = FView->selectionModel();
    if (!model || !selection) return;
    const QRect band = QRect(FOrigin, corner).normalized();
    QItemSelection inside;
    for (int row = 0; row < model->rowCount(FView->rootIndex()); ++row) {
        const QModelIndex index = model->index(row, 0, FView->rootIndex());
        if (FView->visualRect(index).intersects(band)) inside.select(index, index);
    }
    // With Ctrl the rectangle adds to what was selected before; otherwise it is the selection.
    const auto mode =
        FModifiers & Qt::ControlModifier ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect;
    selection->select(inside, mode);
}

}  // namespace pictavo
