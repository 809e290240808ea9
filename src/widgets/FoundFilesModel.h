// The found-files list: one row per file that holds icons, as the icon-file search reports it,
// with the five columns of the main window's file list, the sort rules of each column kind and
// the rule of the incremental search.
#pragma once

#include "library/IconFileSearch.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QElapsedTimer>
#include <QLocale>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <vector>

namespace pictavo {

// A column's sort direction: none until its header is first clicked.
enum class TSortDirection { None, Ascending, Descending };

// A found file as the list shows it: the core's row and the texts it is sorted by.
struct TFoundFile {
    TIconFileRow Row;
    QString Name;    // the row's caption
    QString Folder;  // the location column
};

// A packed MS-DOS local time in the locale's short date, a blank and its long time (without a
// time zone); the blank and the time are left out when hours, minutes and seconds are all 0.
QString FileTimeText(uint32_t dosTime, const QLocale& locale = QLocale());

// The order of two rows under a column, ascending: -1, 0 or +1. Name: the locale's string
// order, letter case significant; icons and size: numbers; time: the time stamps; location:
// the locale's string order of the folders.
int CompareFoundFiles(int column, const TFoundFile& a, const TFoundFile& b, const QCollator& collator);

// The incremental search's comparison of typed text with a row's caption cut to the typed
// text's length (a shorter caption whole), letter case ignored: 0 when the caption begins
// with the typed text.
int CompareTypedText(const QString& typed, const QString& caption);

class TFoundFilesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { colName, colIcons, colTime, colSize, colLocation, kColumnCount };

    explicit TFoundFilesModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const TFoundFile& File(int row) const { return FFiles.at(static_cast<size_t>(row)); }

    // Update mode nests; while in it, rows are added at the end and sorted when the outermost
    // EndUpdate ends it. An EndUpdate outside update mode does nothing. Rows added in update
    // mode reach the views in batches, at most every RevealInterval milliseconds (and all
    // when it ends), so that a long run does not lay the views out again for every row.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return FUpdateCount > 0; }
    int RevealInterval = 250;

    // Adds a row: at the end in update mode, else at its place in the sort order (after the
    // rows whose keys compare equal).
    void AddRow(const TIconFileRow& row);
    // The rows added in update mode that the views have not been given yet.
    int PendingCount() const { return static_cast<int>(FPending.size()); }
    void Clear();

    // The column the rows are sorted by (the first until another header is clicked) and each
    // column's direction.
    int SortColumn() const { return FSortColumn; }
    TSortDirection Direction(int column) const { return FDirections.at(static_cast<size_t>(column)); }
    // A click on a column's header: the column's direction toggles (none and descending turn
    // ascending, ascending turns descending) and the rows are sorted by it, stably.
    void ToggleSort(int column);

    // The comparison of two rows under a column, ascending; by default CompareFoundFiles.
    // The model turns it round for a descending column.
    std::function<int(int column, const TFoundFile& a, const TFoundFile& b)> OnCompare;

private:
    int Compare(const TFoundFile& a, const TFoundFile& b) const;
    void Sort();
    void Reveal();

    std::vector<TFoundFile> FFiles;
    std::vector<TFoundFile> FPending;  // added in update mode, not yet given to the views
    QElapsedTimer FSinceReveal;        // invalid until the first reveal of an update
    QTimer FRevealTimer;               // reveals rows waiting once RevealInterval has passed
    std::vector<TSortDirection> FDirections;
    int FSortColumn = colName;
    int FUpdateCount = 0;
    QCollator FCollator;
};

}  // namespace pictavo
