// Selecting icons by dragging a rectangle with the right mouse button, as with the left one.
// A right click that does not drag still opens the view's popup menu, once the button is
// released; a drag selects and opens no menu. Every view of the window opens its popup on the
// release, also those that draw no band.
#pragma once

#include <QObject>
#include <QPoint>

class QAbstractItemView;
class QRubberBand;

namespace pictavo {

class TRightButtonBand : public QObject {
    Q_OBJECT
public:
    // Watches the view's viewport; the view owns the band. Without `drawsBand` the popup still
    // waits for the release, and a drag selects nothing.
    explicit TRightButtonBand(QAbstractItemView* view, bool drawsBand = true);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SelectInside(const QPoint& corner);

    QAbstractItemView* FView;
    bool FDrawsBand;
    QObject* FViewport;
    QRubberBand* FBand = nullptr;
    bool FPressed = false;   // the right button is down in the viewport
    bool FDragging = false;  // it has moved far enough to draw a rectangle
    QPoint FOrigin;          // where it went down, in viewport coordinates
    bool FMenuHeld = false;  // the popup request that came with the press waits for the release
    QPoint FMenuPos;
    Qt::KeyboardModifiers FModifiers;
};

}  // namespace pictavo
