// The main window: the folder tree beside the file list of the chosen folder, the two tabs of
// the file on view and of the library being gathered, the status bar and the menus. The file
// list is filled by the folder listing (FileListing.h); the window shows the chosen file's
// icons and runs the library's and the saving commands.
#pragma once

#include "app/CommandRunner.h"
#include "library/IconLibrary.h"
#include "widgets/WorkService.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <string>

class QSplitter;
class QTabWidget;

namespace pictavo {
class TIconTab;
class TFileListView;
class TFindFile;
class TPanelStatusBar;
class TPropReaderEh;
class TPropStorageEh;
class TPropWriterEh;
class TRegPropStorageManEh;
class TShellTree;
}  // namespace pictavo

class TFileListing;
class TSaveCommands;
class Twnd_pv_Search;

class Twnd_pv_Main : public QMainWindow {
    Q_OBJECT
public:
    // Pictures are decoded and files read on the window's worker threads; a test may have that
    // work wait until it runs it (TWorkService::TMode::Manual).
    explicit Twnd_pv_Main(QWidget* parent = nullptr,
                          pictavo::TWorkService::TMode decoding = pictavo::TWorkService::TMode::Threads);
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
    const bool& Searching() const;
    const bool& Browsing() const;
    const TFileListing& Listing() const { return *FListing; }
    // The chosen file, or files being added to the library, are still being read.
    bool Reading() const;
    // Runs every command of the window; its error report may be replaced.
    TCommandRunner& Commands() { return *Runner; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // --- components ---------------------------------------------------------------------
    QSplitter* Splitter2;
    QWidget* ShellPanel;
    QSplitter* Splitter3;
    pictavo::TShellTree* ShellTree;
    pictavo::TFileListView* FileList;
    QTabWidget* pc;
    // The two tabs, each an icon view (IconList, ICLList) beside an image box (IconBox, ICLBox).
    pictavo::TIconTab* TabSheet1;
    pictavo::TIconTab* TabSheet2;
    pictavo::TPanelStatusBar* sb;
    // The save dialogs and the commands that save icons and images.
    std::unique_ptr<TSaveCommands> Saving;

    // Stored settings: the window's own storage (Section "Main") and the manager that keeps
    // them in the per-user store, which the search dialog's storage shares.
    pictavo::TPropStorageEh* Storage;
    pictavo::TRegPropStorageManEh* StorageMan;

    // The search dialog, created hidden right after the window.
    Twnd_pv_Search* wnd_pv_Search = nullptr;
    // Fills the file list.
    TFileListing* FListing = nullptr;
    // Runs every command of the window and its dialogs.
    std::unique_ptr<TCommandRunner> Runner;
    // Read the chosen file's icons, and the files added to the library, off the window's thread.
    pictavo::TWorkService* FWork = nullptr;  // the window's worker threads
    pictavo::TWorkChannel* FFileReader = nullptr;
    pictavo::TWorkChannel* FLibraryReader = nullptr;

    // --- state ----------------------------------------------------------------------------
    pictavo::TIconLibrary FFileIcons;  // icons of the file on view
    pictavo::TIconLibrary FLibrary;    // the library being gathered
    std::string FCurrentFile;          // the file whose icons are on view
    int64_t FStartTick = 0;            // milliseconds, when the file list's selection changed
    uint64_t FFilesChosen = 0;         // files chosen in the file list so far

    // --- handlers (a menu item's handler gets the item's Tag: 1 all items, 0 the selected) --
    void FileListItemSelectionChanged(int Row, bool Selected);
    void Icons1Click(int Tag);
    void Icons2Click(int Tag);
    void cmAddFiles(int Tag);
    void cmAddIcons(int Tag);
    void cmRemoveIcons();
    void cmNewlibrary();
    void cmSavelibrary();
    void cmSaveIcons(int Tag);
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
    void FormShow();
    void FormClose();
    void EmptyCurrentFileView();
    void ConnectSelectionHandlers();
    // The steps of a command that changes the library: its list stops repainting meanwhile, and
    // the library tab's caption shows the new count.
    TCommandSteps LibrarySteps(const char* busyText);
    void ShowLibraryCount();

    QString FStartFolder;
    QString FStartFile;
    QList<QMetaObject::Connection> FSelectionHandlers;  // attached at creation, detached in FormClose
    bool FShown = false;
    bool FCloseAccepted = false;
    bool FClosed = false;
};
