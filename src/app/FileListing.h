// What fills the file list: the folder chosen in the tree, the searches the search dialog asks
// for, and the files dropped from a file manager, each in a run of the search component whose
// handlers add the files that hold icons and keep the status bar's counters. One run at a
// time: a folder chosen or files dropped while one runs are listed once it has ended.
#pragma once

#include "library/IconFileSearch.h"
#include "search/FindFile.h"

#include <QObject>
#include <QString>

#include <string>
#include <vector>

class TCommandRunner;
class Twnd_pv_Search;

namespace pictavo {
class TExplorerDrop;
class TFileListView;
class TPanelStatusBar;
class TShellTree;
}  // namespace pictavo

class TFileListing : public QObject {
    Q_OBJECT
public:
    // Lists into `list` the folders of `tree`; the dialog's options apply to every run, and it
    // hears whether a run is in progress. Files dropped onto `list` are listed too.
    TFileListing(pictavo::TShellTree* tree, pictavo::TFileListView* list, pictavo::TPanelStatusBar* status,
                 Twnd_pv_Search* dialog, TCommandRunner& runner, QObject* parent);

    // Lists the tree's folder as soon as the event loop runs, then follows the tree's choices;
    // `startFile`, when given, is selected in that first listing.
    void Start(const QString& startFile);
    // Lists the tree's folder anew, with the folders the tree has gained.
    void Refresh();
    // The run in progress ends, and nothing more is listed.
    void Close();

    const pictavo::TFindFile& Search() const { return FindFile; }
    const bool& Searching() const { return FSearching; }
    const bool& Browsing() const { return FBrowsing; }

signals:
    // A run begins: the file on view is no longer one of the list's.
    void RunBegun();

private:
    void ShellTreeChange();
    void SearchRequested(const QString& Masks, bool Subfolders);
    void SetListingCriteria();
    // Runs FindFile with the criteria set; once the run has ended, lists the folder chosen in
    // the tree while it ran (see ShellTreeChange) and the files dropped meanwhile.
    void ExecuteFindFile();
    void ShowCounters();
    void SelectStartFile();
    void FindFileSearchBegin(pictavo::TFindFile& Sender);
    void FindFileFolderChange(pictavo::TFindFile& Sender, const std::string& Folder, bool& IgnoreFolder);
    void FindFileFileMatch(pictavo::TFindFile& Sender, const std::string& Folder, const pictavo::TSearchRec& FileInfo);
    void FindFileSearchFinish(pictavo::TFindFile& Sender);
    // Lists the dropped files (the bytes of their paths, so that no name is lost) that hold
    // icons, in a run of their own: no duplicate check, no folders counted.
    void ExplorerDropDropped(const std::vector<std::string>& Files);

    pictavo::TShellTree* ShellTree;
    pictavo::TFileListView* FileList;
    pictavo::TPanelStatusBar* sb;
    Twnd_pv_Search* wnd_pv_Search;
    TCommandRunner& Runner;
    // Takes files dropped from a file manager onto FileList; folders are refused.
    pictavo::TExplorerDrop* ExplorerDrop;
    // The search component: not threaded, its criteria set before each run.
    pictavo::TFindFile FindFile;
    // The current run's counters and the names it met (lower-cased, for skipping duplicates).
    pictavo::TIconFileSearch FFileSearch;
    bool FBrowsing = false;                  // the run lists a folder chosen in the tree, not a search
    bool FSearching = false;                 // a run is in progress
    bool FListingPending = false;            // a folder was chosen while a run was in progress
    std::vector<std::string> FPendingDrops;  // files dropped while a run was in progress
    QString FStartFile;
    QMetaObject::Connection FTreeChange;  // ShellTreeChange, attached from Start to Close
    bool FClosed = false;
};
