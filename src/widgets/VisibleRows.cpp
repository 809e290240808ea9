#include "widgets/VisibleRows.h"

#include <QEvent>
#include <QListView>
#include <QScrollBar>
#include <QTimer>

#include <limits>

namespace pictavo {

TVisibleRows::TVisibleRows(QListView* view, TTell tell)
    : QObject(view), FView(view), FViewport(view->viewport()), FTell(std::move(tell)) {
    for (QScrollBar* bar : {view->verticalScrollBar(), view->horizontalScrollBar()}) {
        connect(bar, &QScrollBar::valueChanged, this, &TVisibleRows::Schedule);
        // The range follows the layout: rows laid out anew, or more of them.
        connect(bar, &QScrollBar::rangeChanged, this, &TVisibleRows::Schedule);
    }
    if (QAbstractItemModel* model = view->model()) {
        // Rows changed: told at once (the view lays them out for it), so that the model asks for
        // the pictures of the rows now on view before anyone waits for them.
        connect(model, &QAbstractItemModel::modelReset, this, &TVisibleRows::Update);
        connect(model, &QAbstractItemModel::rowsInserted, this, &TVisibleRows::Update);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &TVisibleRows::Update);
        connect(model, &QAbstractItemModel::layoutChanged, this, &TVisibleRows::Update);
    }
    FViewport->installEventFilter(this);
}

bool TVisibleRows::eventFilter(QObject* watched, QEvent* event) {
    // Compared only: the viewport sends its last events while the view around it is being
    // destroyed, when the view may no longer be asked anything.
    if (watched == FViewport && (event->type() == QEvent::Resize || event->type() == QEvent::Show ||
                                 event->type() == QEvent::Hide || event->type() == QEvent::LayoutRequest))
        Schedule();
    return QObject::eventFilter(watched, event);
}

void TVisibleRows::Schedule() {
    if (FScheduled) return;
    FScheduled = true;
    // After the events of the moment: the view lays its rows out before then.
    QTimer::singleShot(0, this, [this] {
        FScheduled = false;
        Update();
    });
}

void TVisibleRows::Update() {
    const QAbstractItemModel* model = FView->model();
    const int rows = model ? model->rowCount(FView->rootIndex()) : 0;
    int first = 0, last = -1;
    if (rows > 0 && FView->isVisible()) {
        const int height = FView->viewport()->height();
        constexpr int kAfter = std::numeric_limits<int>::max();
        // A row's top and bottom in the viewport; a hidden row stands where the next row shown
        // stands, and a row not laid out yet (or none at all) after everything.
        const auto edges = [&](int row) -> std::pair<int, int> {
            while (row < rows && FView->isRowHidden(row)) ++row;
            const QRect rect = row < rows ? FView->visualRect(model->index(row, 0, FView->rootIndex())) : QRect();
            if (rect.isNull()) return {kAfter, kAfter};
            return {rect.top(), rect.bottom()};
        };
        // The rows go down the view in their order: the first whose bottom is on or below the
        // view's top, and the first whose top is below its bottom.
        const auto firstWhere = [&](auto&& holds) {
            int low = 0, high = rows;
            while (low < high) {
                const int mid = low + (high - low) / 2;
                if (holds(edges(mid)))
                    high = mid;
                else
                    low = mid + 1;
            }
            return low;
        };
        first = firstWhere([](std::pair<int, int> e) { return e.second >= 0; });
        last = firstWhere([&](std::pair<int, int> e) { return e.first >= height; }) - 1;
        if (first >= rows) last = first - 1;
    }
    if (first == FFirst && last == FLast) return;
    FFirst = first;
    FLast = last;
    FTell(first, last);
}

}  // namespace pictavo
