#include "widgets/FileListView.h"

#include "widgets/UiFonts.h"

#include <QApplication>
#include <QHeaderView>

#include <algorithm>

namespace pictavo {

namespace {

constexpr int kHeaderHeight = 18;
const QColor kHeaderColour(251, 239, 208);
constexpr int kColumnWidths[TFoundFilesModel::kColumnCount] = {200, 60, 120, 75, 300};
// 2000-12-28 23:58:58, packed: two-digit days, months and hours, as wide as a time gets.
constexpr uint32_t kWidestTime = (20u << 25) | (12u << 21) | (28u << 16) | (23u << 11) | (58u << 5) | 29u;
// Room a cell leaves around its text.
constexpr int kCellPadding = 12;

}  // namespace

TFileListView::TFileListView(QWidget* parent)
    : QTreeView(parent), SearchInterval(QApplication::keyboardInputInterval()), FModel(new TFoundFilesModel(this)) {
    setModel(FModel);
    setFont(ListViewFont());
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);

    QHeaderView* head = header();
    head->setSectionsMovable(false);
    head->setSectionsClickable(true);
    head->setStretchLastSection(false);
    head->setFixedHeight(kHeaderHeight);
    QPalette palette = head->palette();
    palette.setColor(QPalette::Button, kHeaderColour);
    palette.setColor(QPalette::Window, kHeaderColour);
    head->setPalette(palette);
    head->setAutoFillBackground(true);
    for (int c = 0; c < TFoundFilesModel::kColumnCount; ++c) head->resizeSection(c, kColumnWidths[c]);
    // The time column is at least as wide as the locale writes a long date and time.
    const QString longestTime = FileTimeText(kWidestTime);
    head->resizeSection(TFoundFilesModel::colTime,
                        std::max(kColumnWidths[TFoundFilesModel::colTime],
                                 fontMetrics().horizontalAdvance(longestTime) + kCellPadding));
    connect(head, &QHeaderView::sectionClicked, this, &TFileListView::HeaderClicked);

    OnIncrementalSearch = [](const TFoundFile& item, const QString& searchText, int& compareResult) {
        compareResult = CompareTypedText(searchText, item.Name);
    };
}

int TFileListView::CurrentRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TFileListView::HeaderClicked(int section) {
    FModel->ToggleSort(section);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(
        section, FModel->Direction(section) == TSortDirection::Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TFileListView::keyboardSearch(const QString& search) {
    if (search.isEmpty()) return;
    const bool extending = FLastKey.isValid() && FLastKey.elapsed() <= SearchInterval && !FSearchText.isEmpty();
    FSearchText = extending ? FSearchText + search : search;
    FLastKey.start();
    const int rows = FModel->rowCount();
    if (rows == 0 || !OnIncrementalSearch) return;
    // A longer text may still match the current row; a new search starts after it.
    const int current = CurrentRow();
    const int first = current < 0 ? 0 : (extending ? current : current + 1);
    for (int i = 0; i < rows; ++i) {
        const int row = (first + i) % rows;
        int compareResult = 1;
        OnIncrementalSearch(FModel->File(row), FSearchText, compareResult);
        if (compareResult == 0) {
            const QModelIndex index = FModel->index(row, 0);
            setCurrentIndex(index);
            scrollTo(index);
            return;
        }
    }
}

}  // namespace pictavo
