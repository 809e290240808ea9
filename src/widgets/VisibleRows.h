// Tells a model which of its rows a list view shows: the view lays out every row (asking each
// for its size, decoration included), so a model that makes its pictures when they are asked
// for would make them all; it makes them for the rows this reports instead.
#pragma once

#include <QObject>

#include <functional>

class QListView;

namespace pictavo {

// Watches a list view whose rows lie on screen in their order (a top-to-bottom list, or a
// left-to-right flow that wraps): after each change of its rows at once, and after each
// scroll, resize or show once the events of the moment are handled, it calls `tell` with the
// first and last row shown when they differ from those told before (last < first for none,
// also while the view is hidden).
class TVisibleRows : public QObject {
    Q_OBJECT
public:
    using TTell = std::function<void(int first, int last)>;
    TVisibleRows(QListView* view, TTell tell);

    // Looks again now (for tests and for callers that just moved the view themselves).
    void Update();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Schedule();

    QListView* FView;
    QObject* FViewport;  // compared with what the filter sees
    TTell FTell;
    bool FScheduled = false;
    int FFirst = 0, FLast = -1;  // as last told
};

}  // namespace pictavo
