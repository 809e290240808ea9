#include "WindowFixtures.h"

#include "app/FileListing.h"
#include "app/SearchDlg.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"
#include "widgets/FileListView.h"
#include "widgets/IconImagesModel.h"
#include "widgets/IconListModel.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/PropStorageEh.h"
#include "widgets/SettingsStore.h"
#include "widgets/ShellTree.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QSplitter>
#include <QTabWidget>

#include <QtTest>

#include <sys/stat.h>
#include <utime.h>

#include <stdexcept>

namespace pictavo::test {

void WriteIcoFile(const std::string& path, size_t size) {
    const auto dib = MakeDib(MakePicture(16, 16, 16), 4);
    std::vector<uint8_t> bytes = MakeIco({{InfoFor(16, 4, dib.size()), dib}});
    if (bytes.size() < size) bytes.resize(size, 0);
    WriteBytes(path, bytes);
}

void WriteDllFile(const std::string& path, int groups) {
    std::vector<PeResource> resources;
    for (int i = 1; i <= groups; ++i) {
        PeResource group;
        group.Type = 14;
        group.Id = static_cast<uint16_t>(i);
        group.Data = GroupData({static_cast<uint16_t>(i)});
        resources.push_back(group);
    }
    WriteBytes(path, BuildPe(resources).Bytes);
}

IcoImage Image(int size, int bitCount, int colours) {
    const Picture picture = MakePicture(size, size, colours, bitCount == 32);
    std::vector<uint8_t> bytes = bitCount == 32 && size == 256 ? MakePng(picture) : MakeDib(picture, bitCount);
    return {InfoFor(size, bitCount, bytes.size()), std::move(bytes)};
}

void WriteSampleIco(const std::string& path) {
    WriteBytes(path, MakeIco({Image(48, 32, 0), Image(16, 8, 200), Image(16, 4, 16)}));
}

void WriteNamedDll(const std::string& path, const std::vector<std::u16string>& names) {
    const IcoImage image = Image(16, 4, 16);
    std::vector<PeResource> resources;
    PeResource icon;
    icon.Type = 3;
    icon.Id = 1;
    icon.Data = image.Bytes;
    resources.push_back(icon);
    for (const std::u16string& name : names) {
        PeResource group;
        group.Type = 14;
        group.NameIsId = false;
        group.Text = name;
        group.Data = GroupData({1}, static_cast<uint32_t>(image.Bytes.size()));
        resources.push_back(group);
    }
    WriteBytes(path, BuildPe(resources).Bytes);
}

namespace {

// The window's one child of this class and name; a test that names a part the window lacks fails.
template <typename T>
T* Find(Twnd_pv_Main& window, const char* name) {
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found) qFatal("the main window has no %s", name);
    return found;
}

}  // namespace

TWindowParts::TWindowParts(Twnd_pv_Main& window)
    : Splitter1(Find<QSplitter>(window, "Splitter1")),
      Splitter2(Find<QSplitter>(window, "Splitter2")),
      Splitter3(Find<QSplitter>(window, "Splitter3")),
      Splitter4(Find<QSplitter>(window, "Splitter4")),
      ShellPanel(Find<QWidget>(window, "ShellPanel")),
      TabSheet1(Find<QWidget>(window, "TabSheet1")),
      TabSheet2(Find<QWidget>(window, "TabSheet2")),
      ShellTree(Find<TShellTree>(window, "ShellTree")),
      FileList(Find<TFileListView>(window, "FileList")),
      pc(Find<QTabWidget>(window, "pc")),
      IconList(Find<QListView>(window, "IconList")),
      IconBox(Find<QListView>(window, "IconBox")),
      ICLList(Find<QListView>(window, "ICLList")),
      ICLBox(Find<QListView>(window, "ICLBox")),
      sb(Find<TPanelStatusBar>(window, "sb")),
      FileListPopup(Find<QMenu>(window, "FileListPopup")),
      IconListPopup(Find<QMenu>(window, "IconListPopup")),
      IconBoxPopup(Find<QMenu>(window, "IconBoxPopup")),
      ICLPopup(Find<QMenu>(window, "ICLPopup")),
      ICLBoxPopup(Find<QMenu>(window, "ICLBoxPopup")),
      sd(Find<QFileDialog>(window, "sd")),
      sdIcon(Find<QFileDialog>(window, "sdIcon")),
      sdBMP(Find<QFileDialog>(window, "sdBMP")),
      FolderDialog(Find<QFileDialog>(window, "FolderDialog")),
      Newlibrary1(Find<QAction>(window, "Newlibrary1")),
      Savelibrary1(Find<QAction>(window, "Savelibrary1")),
      mmSearch(Find<QAction>(window, "mmSearch")),
      Refresh1(Find<QAction>(window, "Refresh1")),
      mmExit(Find<QAction>(window, "mmExit")),
      Addfilestolibrary1(Find<QAction>(window, "Addfilestolibrary1")),
      Addiconstolibrary1(Find<QAction>(window, "Addiconstolibrary1")),
      Removeiconsfromlibrary1(Find<QAction>(window, "Removeiconsfromlibrary1")),
      About1(Find<QAction>(window, "About1")),
      Selected2(Find<QAction>(window, "Selected2")),
      All2(Find<QAction>(window, "All2")),
      mmRefresh(Find<QAction>(window, "mmRefresh")),
      Selected1(Find<QAction>(window, "Selected1")),
      All1(Find<QAction>(window, "All1")),
      Selected3(Find<QAction>(window, "Selected3")),
      All3(Find<QAction>(window, "All3")),
      Icons1(Find<QAction>(window, "Icons1")),
      iles1(Find<QAction>(window, "iles1")),
      mmSavetoIcon(Find<QAction>(window, "mmSavetoIcon")),
      mmSaveToBMP(Find<QAction>(window, "mmSaveToBMP")),
      Savelibrary2(Find<QAction>(window, "Savelibrary2")),
      Removeselected1(Find<QAction>(window, "Removeselected1")),
      Newlibrary2(Find<QAction>(window, "Newlibrary2")),
      Saveicon1(Find<QAction>(window, "Saveicon1")),
      Icons2(Find<QAction>(window, "Icons2")),
      iles2(Find<QAction>(window, "iles2")),
      MenuItem1(Find<QAction>(window, "MenuItem1")),
      MenuItem2(Find<QAction>(window, "MenuItem2")),
      Storage(Find<TPropStorageEh>(window, "Storage")),
      StorageMan(Find<TRegPropStorageManEh>(window, "StorageMan")),
      wnd_pv_Search(Find<Twnd_pv_Search>(window, "wnd_pv_Search")),
      Runner(&window.Commands()),
      Listing(window.Listing()),
      FFileIcons(window.FileIcons()),
      FLibrary(window.Library()),
      FCurrentFile(window.CurrentFile()),
      FSearching(window.Searching()),
      FBrowsing(window.Browsing()) {}

QStringList Texts(const QListView* view) {
    QStringList texts;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        if (!view->isRowHidden(row)) texts << Row(view, row).data().toString();
    return texts;
}

int Count(const QListView* view) { return static_cast<int>(Texts(view).size()); }

QModelIndex Row(const QListView* view, int row) { return view->model()->index(row, 0); }

void Select(QListView* view, int row) { view->selectionModel()->select(Row(view, row), QItemSelectionModel::Select); }

void SetCurrent(QListView* view, int row) {
    view->selectionModel()->setCurrentIndex(Row(view, row), QItemSelectionModel::ClearAndSelect);
}

bool NothingSelected(const QListView* view) { return !view->selectionModel()->hasSelection(); }

bool SelectFile(Twnd_pv_Main& window, const QString& name) {
    const TFoundFilesModel* model = Parts(window).FileList->Model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->File(row).Name != name) continue;
        Parts(window).FileList->selectionModel()->setCurrentIndex(
            model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return true;
    }
    return false;
}

bool ChooseFile(Twnd_pv_Main& window, const QString& name) { return SelectFile(window, name) && WaitForView(window); }

bool WaitForView(Twnd_pv_Main& window) {
    const auto pending = [](const QListView* view) {
        return static_cast<const TIconListModel*>(view->model())->PicturesPending();
    };
    return QTest::qWaitFor([&] {
        return !window.Reading() && pending(Parts(window).IconList) == 0 && pending(Parts(window).ICLList) == 0;
    });
}

void WritePlainFile(const std::string& path, size_t size) { WriteBytes(path, std::vector<uint8_t>(size, 'x')); }

void SetModified(const std::string& path, const QDateTime& local) {
    const time_t seconds = static_cast<time_t>(local.toSecsSinceEpoch());
    const utimbuf times{seconds, seconds};
    if (::utime(path.c_str(), &times) != 0) throw std::runtime_error("cannot set the time of " + path);
}

void RunListing(Twnd_pv_Main& window) {
    auto* service = window.findChild<TWorkService*>();
    while (Parts(window).Listing.Busy() && service->RunOne()) {
    }
}

QStringList StoredLines(const QString& store, const QString& section) {
    TSettingsStore settings(store);
    QStringList lines;
    if (!settings.OpenKey(QStringLiteral("SOFTWARE\\Quarn\\Pictavo\\2.x\\") + section, false)) return lines;
    for (qint64 i = 0; settings.ValueExists(TRegPropStorageManEh::LineName(i)); ++i)
        lines << settings.ReadString(TRegPropStorageManEh::LineName(i));
    return lines;
}

bool WaitIdle(Twnd_pv_Main& window) {
    return QTest::qWaitFor([&] { return !Parts(window).Listing.Busy() && !Parts(window).FSearching; });
}

std::unique_ptr<Twnd_pv_Main> OpenWindow(const QString& store, const QString& folder, const QString& file,
                                         TWorkService::TMode decoding) {
    auto window = std::make_unique<Twnd_pv_Main>(nullptr, decoding);
    // An error box nobody expects fails the test at once, naming its message, rather than
    // waiting modal for the test's time limit; a test that expects one sets its own handler.
    Parts(window).Runner->ShowError = [](const QString& message) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected error box: ") + message), __FILE__, __LINE__);
    };
    Parts(window).StorageMan->SetStoreFileName(store);
    if (!folder.isEmpty()) window->SetStartFolder(folder);
    if (!file.isEmpty()) window->SetStartFile(file);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) return nullptr;
    // The first listing runs once the window is on screen; it ends with the counters shown. With
    // manual work the listing is run here, and nothing else.
    const bool manual = decoding == TWorkService::TMode::Manual;
    if (!QTest::qWaitFor([&] {
            if (manual) RunListing(*window);
            return !Parts(window).sb->PanelText(0).isEmpty();
        }) ||
        !WaitIdle(*window) || (!manual && !WaitForView(*window)))
        return nullptr;
    return window;
}

QStringList ListedColumn(const Twnd_pv_Main& window, int column) {
    QStringList texts;
    const QAbstractItemModel* model = Parts(window).FileList->model();
    for (int r = 0; r < model->rowCount(); ++r) texts << model->index(r, column).data().toString();
    return texts;
}

QStringList ListedNames(const Twnd_pv_Main& window) { return ListedColumn(window, 0); }

QString Panel(const Twnd_pv_Main& window, int panel) { return Parts(window).sb->PanelText(panel); }

}  // namespace pictavo::test
