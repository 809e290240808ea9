// The file list: a report view over a TFoundFilesModel with its header (not draggable, a click
// toggles the column's sort direction), whole-row single selection, and an incremental search
// that gathers typed characters and asks a callback about each row.
#pragma once

#include "widgets/FoundFilesModel.h"

#include <QElapsedTimer>
#include <QTreeView>

#include <functional>

namespace pictavo {

class TFileListView : public QTreeView {
    Q_OBJECT
public:
    explicit TFileListView(QWidget* parent = nullptr);

    TFoundFilesModel* Model() const { return FModel; }

    // The row of the current item; -1 when there is none.
    int CurrentRow() const;
    // The typed text the incremental search has gathered so far.
    const QString& SearchText() const { return FSearchText; }

    // Asked about a row during an incremental search: compareResult 0 means the row matches
    // the typed text. By default CompareTypedText with the row's caption.
    std::function<void(const TFoundFile& item, const QString& searchText, int& compareResult)> OnIncrementalSearch;

    // Characters typed within this many milliseconds of the previous one extend the search
    // text; a later one starts a new search.
    int SearchInterval;

    void keyboardSearch(const QString& search) override;

private:
    void HeaderClicked(int section);

    TFoundFilesModel* FModel;
    QString FSearchText;
    QElapsedTimer FLastKey;
};

}  // namespace pictavo
