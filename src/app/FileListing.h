// What fills the file list: the folder chosen in the tree, the searches the search dialog asks
// for, and the files dropped from a file manager. Each is a run of the search component on the
// window's work service, never on the window's thread (a share may stop answering): the run
// hands back the rows found and its counters as it goes, and the window shows them. Runs take
// their turns in the order asked for; a folder chosen or a search started abandons the run in
// progress and what waited behind it, and a run abandoned is never waited for.
#pragma once

#include "library/IconFileSearch.h"
#include "search/SearchCriteria.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class TCommandRunner;
class Twnd_pv_Search;

namespace pictavo {
class TExplorerDrop;
class TFileListView;
class TPanelStatusBar;
class TShellTree;
class TWorkService;
class TWorkChannel;
}  // namespace pictavo

class TFileListing : public QObject {
    Q_OBJECT
public:
    // Lists into `list` the folders of `tree`, on `service`; the dialog's options apply to every
    // run, and it hears whether a run is in progress. Files dropped onto `list` are listed too.
    TFileListing(pictavo::TWorkService& service, pictavo::TShellTree* tree, pictavo::TFileListView* list,
                 pictavo::TPanelStatusBar* status, Twnd_pv_Search* dialog, TCommandRunner& runner, QObject* parent);

    // Lists the tree's folder as soon as the event loop runs, then follows the tree's choices;
    // `startFile`, when given, is selected once that first listing has ended.
    void Start(const QString& startFile);
    // Lists the tree's folder anew, with the folders the tree has gained.
    void Refresh();
    // The run in progress is abandoned, and nothing more is listed.
    void Close();

    // The criteria of the last run asked for.
    const pictavo::TSearchCriteria& Criteria() const { return FCriteria; }
    // A run is in progress or waits for its turn.
    bool Busy() const;
    const bool& Searching() const { return FSearching; }
    const bool& Browsing() const { return FBrowsing; }

signals:
    // A run begins: the file on view is no longer one of the list's.
    void RunBegun();

private:
    // What a run hands back as it goes besides its rows: the counters when they are to show, and
    // the folder it entered.
    struct TBatch {
        std::optional<pictavo::TIconFileCounters> Counters;
        std::string Folder;
    };
    enum class TRunKind { Listing, Search, Drop };

    void ShellTreeChange();
    void SearchRequested(const QString& Masks, bool Subfolders);
    // Abandons the run in progress (it ends as a stopped run does) and what waits behind it.
    void StopRuns();
    // Posts a run of the search component with FCriteria; `dropped` lists the files of a drop
    // instead (no duplicate check, no folders counted).
    void Post(TRunKind kind, std::vector<std::string> dropped = {});
    // On the window's thread: a run's beginning, a batch of it, its end (its rows are shown as
    // they come).
    void RunBegin(TRunKind kind);
    void ShowBatch(TBatch& batch, bool last);
    void RunFinish();
    void ShowCounters(const pictavo::TIconFileCounters& counters);
    void SelectStartFile();

    pictavo::TShellTree* ShellTree;
    pictavo::TFileListView* FileList;
    pictavo::TPanelStatusBar* sb;
    Twnd_pv_Search* wnd_pv_Search;
    TCommandRunner& Runner;
    // Takes files dropped from a file manager onto FileList; folders are refused.
    pictavo::TExplorerDrop* ExplorerDrop;
    // The runs, one at a time in the order posted; a run abandoned gives its thread up.
    pictavo::TWorkChannel* FRuns;
    pictavo::TSearchCriteria FCriteria;
    bool FBrowsing = false;   // the run in progress lists a folder chosen in the tree
    bool FSearching = false;  // a run is in progress
    QString FStartFile;
    QMetaObject::Connection FTreeChange;  // ShellTreeChange, attached from Start to Close
    bool FClosed = false;
};
