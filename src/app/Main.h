// The main window: the folder tree beside the file list of the chosen folder, the two tabs of
// the file on view and of the library being gathered, the status bar, the menus, and the
// search component whose run handlers fill the file list for folder listings and searches.
#pragma once

#include "app/CommandRunner.h"
#include "library/IconFileSearch.h"
#include "library/IconLibrary.h"
#include "search/FindFile.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QFileDialog;
class QListView;
class QMenu;
class QSplitter;
class QTabWidget;

namespace pictavo {
class TExplorerDrop;
class TFileListView;
struct TFoundFile;
class TPanelStatusBar;
class TPropReaderEh;
class TPropStorageEh;
class TPropWriterEh;
class TRegPropStorageManEh;
class TShellTree;
class TIconTileDelegate;
class TIconListModel;
class TIconImagesModel;
class TDecodingService;
class TWorkChannel;
}  // namespace pictavo

class TIconTab;
class Twnd_pv_Search;

class Twnd_pv_Main : public QMainWindow {
    Q_OBJECT
public:
    explicit Twnd_pv_Main(QWidget* parent = nullptr);
    ~Twnd_pv_Main() override;

    // A folder to select and list when the window is first shown, in place of the stored one.
    void SetStartFolder(const QString& folder) { FStartFolder = folder; }
    // A file to select in the first listing, so that its icons are on view as if the user
    // had chosen it (its folder is the start folder).
    void SetStartFile(const QString& fileName) { FStartFile = fileName; }

    // --- for the tests -------------------------------------------------------------------
    // The window's widgets, menu items, dialogs and storages are found by their object names
    // (the names below); its state is read through these.
    const pictavo::TIconLibrary& FileIcons() const { return FFileIcons; }
    const pictavo::TIconLibrary& Library() const { return FLibrary; }
    const std::string& CurrentFile() const { return FCurrentFile; }
    const bool& Searching() const { return FSearching; }
    const bool& Browsing() const { return FBrowsing; }
    const pictavo::TFindFile& Search() const { return FindFile; }
    // The chosen file, or files being added to the library, are still being read.
    bool Reading() const;
    // Runs every command of the window; its error report may be replaced.
    TCommandRunner& Commands() { return *Runner; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Runs FindFile with the criteria set; once the run has ended, lists the folder chosen in
    // the tree while it ran (see ShellTreeChange) and the files dropped meanwhile.
    void ExecuteFindFile();

    // --- components ---------------------------------------------------------------------
    QSplitter* Splitter2;
    QWidget* ShellPanel;
    QSplitter* Splitter3;
    pictavo::TShellTree* ShellTree;
    pictavo::TFileListView* FileList;
    QTabWidget* pc;
    // The two tabs, each an icon view (IconList, ICLList) beside an image box (IconBox, ICLBox).
    TIconTab* TabSheet1;
    TIconTab* TabSheet2;
    pictavo::TPanelStatusBar* sb;
    // Takes files dropped from a file manager onto FileList; folders are refused.
    pictavo::TExplorerDrop* ExplorerDrop;
    QMenu* FileListPopup;
    QMenu* IconListPopup;
    QMenu* IconBoxPopup;
    QMenu* ICLPopup;
    QMenu* ICLBoxPopup;
    // The library's save dialog.
    QFileDialog* sd;
    // The save dialogs of icons and bitmaps, and the chooser of the folder icons are saved into.
    QFileDialog* sdIcon;
    QFileDialog* sdBMP;
    QFileDialog* FolderDialog;

    // Menu items; each carries its Tag as the action's data (1: all items, 0: the selected).
    QAction *Newlibrary1, *Savelibrary1, *mmSearch, *Refresh1, *mmExit;
    QAction *Addfilestolibrary1, *Addiconstolibrary1, *Removeiconsfromlibrary1, *About1;
    QAction *Selected2, *All2, *mmRefresh;
    QAction *Selected1, *All1, *Selected3, *All3, *Icons1, *iles1;
    QAction *mmSavetoIcon, *mmSaveToBMP;
    QAction *Savelibrary2, *Removeselected1, *Newlibrary2, *Saveicon1, *Icons2, *iles2;
    QAction *MenuItem1, *MenuItem2;

    // Stored settings: the window's own storage (Section "Main") and the manager that keeps
    // them in the per-user store, which the search dialog's storage shares.
    pictavo::TPropStorageEh* Storage;
    pictavo::TRegPropStorageManEh* StorageMan;

    // The search component: not threaded, its criteria set before each run.
    pictavo::TFindFile FindFile;
    // The search dialog, created hidden right after the window.
    Twnd_pv_Search* wnd_pv_Search = nullptr;
    // Runs every command of the window and its dialogs.
    std::unique_ptr<TCommandRunner> Runner;
    // Read the chosen file's icons, and the files added to the library, off the window's thread.
    pictavo::TDecodingService* FDecoding = nullptr;  // the window's worker threads
    pictavo::TWorkChannel* FFileReader = nullptr;
    pictavo::TWorkChannel* FLibraryReader = nullptr;

    // --- state ----------------------------------------------------------------------------
    pictavo::TIconLibrary FFileIcons;  // icons of the file on view
    pictavo::TIconLibrary FLibrary;    // the library being gathered
    std::string FCurrentFile;          // the file whose icons are on view
    int64_t FStartTick = 0;            // milliseconds, when the file list's selection changed
    uint64_t FFilesChosen = 0;         // files chosen in the file list so far
    // The current run's counters and the names it met (lower-cased, for skipping duplicates).
    pictavo::TIconFileSearch FFileSearch;
    bool FBrowsing = false;   // the run lists a folder chosen in the tree, not a search
    bool FSearching = false;  // a run is in progress

    // --- handlers -----------------------------------------------------------------------
    void ShellTreeChange();
    void FindFileSearchBegin(pictavo::TFindFile& Sender);
    void FindFileFolderChange(pictavo::TFindFile& Sender, const std::string& Folder, bool& IgnoreFolder);
    void FindFileFileMatch(pictavo::TFindFile& Sender, const std::string& Folder, const pictavo::TSearchRec& FileInfo);
    void FindFileSearchFinish(pictavo::TFindFile& Sender);
    // Lists the dropped files that hold icons, in a run of their own: no duplicate check, no
    // folders counted.
    // The search dialog asked for a search of the tree's folder (or, during a run, to stop it).
    void SearchRequested(const QString& Masks, bool Subfolders);
    // Files as the bytes of their paths (the sender's FileBytes), so that no name is lost.
    void ExplorerDropDropped(pictavo::TExplorerDrop& Sender, const std::vector<std::string>& Files, int FileCount, int x,
                             int y);
    int FileListItemCompare(int Column, const pictavo::TFoundFile& Item1, const pictavo::TFoundFile& Item2);
    void FileListIncrementalSearch(const pictavo::TFoundFile& Item, const QString& SearchBuffer, int& CompareResult);
    void FileListItemSelectionChanged(int Row, bool Selected);
    // The icon of a row whose selection changed: its images in the tab's box, or an empty box.
    void IconListItemSelectionChanged(int Row, bool Selected);
    void ICLListItemSelectionChanged(int Row, bool Selected);
    void Icons1Click(QAction* Sender);
    void Icons2Click(QAction* Sender);
    void BoxMouseDown(TIconTab* Sender, Qt::MouseButton Button, const QPoint& Pos);
    void cmAddFiles(QAction* Sender);
    void cmAddIcons(QAction* Sender);
    void cmRemoveIcons();
    void cmNewlibrary();
    void cmSavelibrary();
    void cmSaveIcons(QAction* Sender);
    void mmSavetoIconClick();
    void cmSaveToBMP();
    void MenuItem1Click();
    void MenuItem2Click();
    void Saveicon1Click();
    void cmRefresh();
    void cmExit();
    void mmSearchClick();
    void About1Click();
    void pcChange(int index);
    void StorageReadProp(pictavo::TPropReaderEh& Reader, const QString& PropName, bool& Processed);
    void StorageWriteCustomProps(pictavo::TPropWriterEh& Writer);

    void CreateComponents();
    void CreateMenus();
    void FormCreate();
    void FormShow();
    void FormClose();
    void SetListingCriteria();
    void ShowCounters();
    void EmptyCurrentFileView();
    void ConnectSelectionHandlers();
    void SelectStartFile();
    void SetTileView(TIconTab* Tab, QAction* Sender);
    void RebuildLibraryList();
    // The selected image of Box as an .ico file, and as a bitmap on a colour chosen in the
    // colour dialog.
    void SaveBoxImageAsIcon(pictavo::TIconLibrary& Library, TIconTab* Tab);
    void SaveBoxImageAsBitmap(pictavo::TIconLibrary& Library, TIconTab* Tab);
    // Runs a save dialog proposing `proposal`; the name chosen with the dialog's own extension
    // in place of the one typed, or nothing when the user cancels.
    std::optional<std::string> RunSaveDialog(QFileDialog* dialog, const QString& proposal);
    void ShowLibraryCount();

    QString FStartFolder;
    QString FStartFile;
    QList<QMetaObject::Connection> FSelectionHandlers;  // attached at creation, detached in FormClose
    QMetaObject::Connection FTreeChange;  // ShellTreeChange, attached from FormShow to FormClose
    bool FShown = false;
    bool FListingPending = false;  // a folder was chosen while a run was still in progress
    std::vector<std::string> FPendingDrops;  // files dropped while a run was in progress
    bool FCloseAccepted = false;
    bool FClosed = false;
};
