// What the window's tests share: generated files with and without icons, and a main window
// shown with its first listing done.
#pragma once

#include "app/FileListing.h"
#include "app/Main.h"
#include "support/IconFixtures.h"

#include <QDateTime>
#include <QListView>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QFileDialog;
class QMenu;
class QSplitter;
class QTabWidget;
class Twnd_pv_Search;

namespace pictavo {
class TFileListView;
class TPanelStatusBar;
class TPropStorageEh;
class TRegPropStorageManEh;
class TShellTree;
}  // namespace pictavo

namespace pictavo::test {

// A dialog's or window's part, found by its object name.
template <typename T>
T* Child(const QObject* owner, const char* name) {
    return owner->findChild<T*>(QLatin1String(name));
}

// The main window's parts as its tests reach them: widgets, menu items, dialogs and storages
// found by their object names, the state through the window's read-only test interface.
struct TWindowParts {
    explicit TWindowParts(Twnd_pv_Main& window);

    QSplitter *Splitter1, *Splitter2, *Splitter3, *Splitter4;
    QWidget* ShellPanel;
    TShellTree* ShellTree;
    TFileListView* FileList;
    QTabWidget* pc;
    QWidget *TabSheet1, *TabSheet2;
    QListView *IconList, *IconBox, *ICLList, *ICLBox;
    TPanelStatusBar* sb;
    QMenu *FileListPopup, *IconListPopup, *IconBoxPopup, *ICLPopup, *ICLBoxPopup;
    QFileDialog *sd, *sdIcon, *sdBMP, *FolderDialog;
    QAction *Newlibrary1, *Savelibrary1, *mmSearch, *Refresh1, *mmExit;
    QAction *Addfilestolibrary1, *Addiconstolibrary1, *Removeiconsfromlibrary1, *About1;
    QAction *Selected2, *All2, *mmRefresh;
    QAction *Selected1, *All1, *Selected3, *All3, *Icons1, *iles1;
    QAction *mmSavetoIcon, *mmSaveToBMP;
    QAction *Savelibrary2, *Removeselected1, *Newlibrary2, *Saveicon1, *Icons2, *iles2;
    QAction *MenuItem1, *MenuItem2;
    TPropStorageEh* Storage;
    TRegPropStorageManEh* StorageMan;
    Twnd_pv_Search* wnd_pv_Search;
    TCommandRunner* Runner;
    const TFileListing& Listing;
    const TIconLibrary& FFileIcons;
    const TIconLibrary& FLibrary;
    const std::string& FCurrentFile;
    const bool& FSearching;
    const bool& FBrowsing;
};
inline TWindowParts Parts(const Twnd_pv_Main& window) { return TWindowParts(const_cast<Twnd_pv_Main&>(window)); }
inline TWindowParts Parts(const std::unique_ptr<Twnd_pv_Main>& window) { return TWindowParts(*window); }

inline QString Q(const std::string& text) { return QString::fromStdString(text); }

// The counters text of status panel 0.
inline QString Counters(int folders, int files, int icons) {
    return QStringLiteral("文件夹: %1   文件: %2   图标: %3").arg(folders).arg(files).arg(icons);
}

// An .ico file of one 16-px image, padded with zero bytes up to `size` bytes.
void WriteIcoFile(const std::string& path, size_t size = 0);
// A DLL with `groups` group icons.
void WriteDllFile(const std::string& path, int groups);
// A file without icons.
void WritePlainFile(const std::string& path, size_t size = 16);
// An image of `colours` colours at `size` pixels; PNG for 256-px 32-bit images, else a DIB.
IcoImage Image(int size, int bitCount, int colours);
// An .ico file of 16 x 16 at 4 and 8 bits and 48 x 48 at 32 bits, stored out of order.
void WriteSampleIco(const std::string& path);
// A DLL whose group icons have the given string names, each of one 16-px image.
void WriteNamedDll(const std::string& path, const std::vector<std::u16string>& names);
// Sets a file's modification time to a local date and time.
void SetModified(const std::string& path, const QDateTime& local);

// A main window that keeps its settings in the store file `store`, shown with `folder` (when
// given) as the folder named on the command line, once its first listing has ended. With
// `file`, that file of the folder was named on the command line.
// With manual decoding the window's reads and pictures wait until the test runs them.
std::unique_ptr<Twnd_pv_Main> OpenWindow(const QString& store, const QString& folder = {}, const QString& file = {},
                                         TWorkService::TMode decoding = TWorkService::TMode::Threads);
// The "Line" values of a section of the window's stored settings in the store file `store`.
QStringList StoredLines(const QString& store, const QString& section);
// Waits until no run is in progress.
bool WaitIdle(Twnd_pv_Main& window);
// A window with manual work: runs its pieces of work, oldest first, until its listing's runs
// have ended (the pieces posted before them run too).
void RunListing(Twnd_pv_Main& window);

// The captions of the rows a view lists (hidden rows left out), and their number.
QStringList Texts(const QListView* view);
int Count(const QListView* view);
// The index of a row of a view's model.
QModelIndex Row(const QListView* view, int row);
// Selects one more row, as a Ctrl+click does; makes a row the current and only selected one,
// as a click does.
void Select(QListView* view, int row);
void SetCurrent(QListView* view, int row);
bool NothingSelected(const QListView* view);
// Chooses a row of the file list by its caption, as a click on it does; ChooseFile then waits
// for its icons.
bool SelectFile(Twnd_pv_Main& window, const QString& name);
bool ChooseFile(Twnd_pv_Main& window, const QString& name);
// Waits until the chosen file is read and the icon views' thumbnails are made.
bool WaitForView(Twnd_pv_Main& window);

QStringList ListedNames(const Twnd_pv_Main& window);
QStringList ListedColumn(const Twnd_pv_Main& window, int column);
QString Panel(const Twnd_pv_Main& window, int panel);

}  // namespace pictavo::test
