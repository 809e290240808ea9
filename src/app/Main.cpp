#include "app/Main.h"

#include "app/ColorDlg.h"
#include "app/SearchDlg.h"
#include "base/Errors.h"
#include "icons/IconTools.h"
#include "library/IconFolder.h"
#include "library/IconLoading.h"
#include "search/FileTimes.h"
#include "base/Paths.h"
#include "widgets/ColorPicker.h"
#include "widgets/ExplorerDrop.h"
#include "widgets/FileListView.h"
#include "widgets/IconDelegates.h"
#include "widgets/IconModels.h"
#include "widgets/IconPixmaps.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/PropStorageEh.h"
#include "widgets/ShellTree.h"
#include "widgets/UiFonts.h"
#include "widgets/DecodingService.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCompleter>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QShowEvent>
#include <QSplitter>
#include <QStandardPaths>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>

#include "app/About.h"
#include "app/IconTab.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

using namespace pictavo;

namespace {

const char* const kTitle = "Quarn Pictavo";
const char* const kListingText = "正在搜索文件...";
const char* const kHint = "右键单击打开菜单";

// Client area at design size; the smallest the window may become.
constexpr int kClientWidth = 732, kClientHeight = 641;
constexpr int kMinWidth = 300, kMinHeight = 50;
constexpr int kShellPanelHeight = 250, kShellPanelBorder = 4, kTreeWidth = 250, kBoxWidth = 200;
constexpr int kSplitterWidth = 3, kStatusBarHeight = 19, kStatusPanel0Width = 250, kTabHeight = 22;
// Run handlers: in a folder listing the counters show and the window takes its messages at
// every this many examined files (a search does so at every file).
constexpr int kListingMessageInterval = 100;
// The icon views show their thumbnails over white in the current-file view and over pale yellow
// in the library's.
const QColor kImageListBackground(255, 255, 255);
const QColor kICLImagesBackground(255, 255, 225);

const char* const kCurrentFileCaption = " 当前查看 - %1 个图标 ";
const char* const kLibraryCaption = " 图标库 - %1 个图标 ";

// The tick count in milliseconds, as a 32-bit count.
int64_t TickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// The Tag a menu item passes (1: all items, 0: the selected ones).
int Tag(const QAction* sender) { return sender ? sender->data().toInt() : 0; }

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

QSplitter* NewSplitter(Qt::Orientation orientation, QWidget* parent, const char* name) {
    auto* splitter = new QSplitter(orientation, parent);
    splitter->setObjectName(QLatin1String(name));
    splitter->setHandleWidth(kSplitterWidth);
    splitter->setChildrenCollapsible(false);
    return splitter;
}

// Names a component and the class its stored settings are written under.
template <typename T>
T* Named(T* widget, const char* name, const char* storedClass = nullptr) {
    widget->setObjectName(QLatin1String(name));
    if (storedClass) SetStoredClassName(widget, QLatin1String(storedClass));
    return widget;
}

// In Qt's own file dialogs the completion popup of their name field is closed with the
// dialog, so that it never stays on screen taking the keys meant for the window.
void CloseCompletionWithDialog(QFileDialog* dialog) {
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog] {
        for (QCompleter* completer : dialog->findChildren<QCompleter*>())
            if (completer->popup()) completer->popup()->hide();
    });
}

// A right click in the view opens its popup menu.
void AttachPopup(QAbstractScrollArea* view, QMenu* popup) {
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(view, &QWidget::customContextMenuRequested, popup, [view, popup](const QPoint& pos) {
        popup->popup(view->viewport()->mapToGlobal(pos));
    });
}

}  // namespace

Twnd_pv_Main::Twnd_pv_Main(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("wnd_pv_Main"));
    setWindowTitle(Text(kTitle));
    setFont(FormFont());
    // The window's worker threads, before the icon tabs that decode on them.
    FDecoding = new TDecodingService(TDecodingService::TMode::Threads, this);
    CreateComponents();
    CreateMenus();
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    setMinimumSize(kMinWidth, kMinHeight);
    SetFormPosition(this, TFormPositionEh::ScreenCenter);

    StorageMan = new TRegPropStorageManEh(this);
    StorageMan->setObjectName(QStringLiteral("StorageMan"));
    StorageMan->SetPath(QStringLiteral("SOFTWARE\\Quarn\\Pictavo\\2.x"));
    Storage = new TPropStorageEh(this);
    Storage->setObjectName(QStringLiteral("Storage"));
    Storage->SetSection(QStringLiteral("Main"));
    Storage->SetStorageManager(StorageMan);
    Storage->SetStoredProps({QStringLiteral("<P>.Height"), QStringLiteral("<P>.Left"),
                             QStringLiteral("<P>.PixelsPerInch"), QStringLiteral("<P>.Top"),
                             QStringLiteral("<P>.Width"), QStringLiteral("<P>.WindowState"),
                             QStringLiteral("pc.TabSheet1.IconBox.<P>.Width"),
                             QStringLiteral("pc.TabSheet2.ICLBox.<P>.Width"), QStringLiteral("ShellPanel.<P>.Height"),
                             QStringLiteral("ShellPanel.ShellTree.<P>.Width")});
    Storage->OnReadProp = [this](TPropStorageEh*, TPropReaderEh& reader, const QString& name, bool& processed) {
        StorageReadProp(reader, name, processed);
    };
    Storage->OnWriteCustomProps = [this](TPropStorageEh*, TPropWriterEh& writer) { StorageWriteCustomProps(writer); };

    Runner = std::make_unique<TCommandRunner>(this, sb);
    FFileReader = new TWorkChannel(*FDecoding, this);
    // Files join the library in the order they were added.
    FLibraryReader = new TWorkChannel(*FDecoding, this, 1);
    FindFile.OnSearchBegin = [this](TFindFile& sender) { FindFileSearchBegin(sender); };
    FindFile.OnFolderChange = [this](TFindFile& sender, const std::string& folder, bool& ignore) {
        FindFileFolderChange(sender, folder, ignore);
    };
    FindFile.OnFileMatch = [this](TFindFile& sender, const std::string& folder, const TSearchRec& info) {
        FindFileFileMatch(sender, folder, info);
    };
    FindFile.OnSearchFinish = [this](TFindFile& sender) { FindFileSearchFinish(sender); };
    FindFile.OnSearchAbort = FindFile.OnSearchFinish;
    ExplorerDrop = new TExplorerDrop(this);
    ExplorerDrop->setObjectName(QStringLiteral("ExplorerDrop"));
    ExplorerDrop->AllowFolders = false;
    ExplorerDrop->SetDestinationControl(FileList);
    ExplorerDrop->OnDropped = [this](TExplorerDrop& sender, const QStringList&, int count, int x, int y) {
        Runner->Run([&] { ExplorerDropDropped(sender, sender.FileBytes(), count, x, y); });
    };
    FileList->Model()->OnCompare = [this](int column, const TFoundFile& a, const TFoundFile& b) {
        return FileListItemCompare(column, a, b);
    };
    FileList->OnIncrementalSearch = [this](const TFoundFile& item, const QString& typed, int& result) {
        FileListIncrementalSearch(item, typed, result);
    };
    connect(pc, &QTabWidget::currentChanged, this, [this](int index) { Runner->Run([&] { pcChange(index); }); });

    ConnectSelectionHandlers();
    FormCreate();
    wnd_pv_Search = new Twnd_pv_Search(this, StorageMan);
    connect(wnd_pv_Search, &Twnd_pv_Search::StartRequested, this, [this](const QString& masks, bool subfolders) {
        Runner->Run([&] { SearchRequested(masks, subfolders); });
    });
    connect(wnd_pv_Search, &Twnd_pv_Search::StopRequested, this, [this] {
        Runner->Run([this] {
            FBrowsing = false;
            FindFile.Abort();  // the run ends through the finish handler
        });
    });
}

void Twnd_pv_Main::SearchRequested(const QString& masks, bool subfolders) {
    FBrowsing = false;
    if (FSearching) {
        FindFile.Abort();
        return;
    }
    TFileCriteria& files = FindFile.Criteria().Files;
    files.Subfolders = subfolders;
    files.Location = ShellTree->Path().toStdString();
    files.FileName = masks.toStdString();
    ExecuteFindFile();
}

Twnd_pv_Main::~Twnd_pv_Main() {
    // The dialog saves through this window's manager: it goes first.
    delete wnd_pv_Search;
    wnd_pv_Search = nullptr;
    // Saves what was restored and not saved yet, while the whole window still exists.
    Storage->FormDestroy();
}

void Twnd_pv_Main::CreateComponents() {
    Splitter2 = NewSplitter(Qt::Vertical, this, "Splitter2");
    setCentralWidget(Splitter2);

    ShellPanel = Named(new QWidget(Splitter2), "ShellPanel", "TPanel");
    auto* shellLayout = new QHBoxLayout(ShellPanel);
    shellLayout->setContentsMargins(kShellPanelBorder, kShellPanelBorder, kShellPanelBorder, kShellPanelBorder);
    Splitter3 = NewSplitter(Qt::Horizontal, ShellPanel, "Splitter3");
    shellLayout->addWidget(Splitter3);
    ShellTree = Named(new TShellTree(Splitter3), "ShellTree", "TShellTreeView");
    FileList = Named(new TFileListView(Splitter3), "FileList", "TListView");
    FileList->setToolTip(Text(kHint));
    Splitter3->setStretchFactor(0, 0);
    Splitter3->setStretchFactor(1, 1);
    Splitter3->setSizes({kTreeWidth, kClientWidth - kTreeWidth});

    pc = Named(new QTabWidget(Splitter2), "pc", "TPageControl");
    pc->setDocumentMode(true);
    QTabBar* tabs = pc->tabBar();
    QFont bold = tabs->font();
    bold.setBold(true);
    tabs->setFont(bold);
    tabs->setCursor(Qt::PointingHandCursor);
    tabs->setStyleSheet(QStringLiteral("QTabBar::tab { height: %1px; }").arg(kTabHeight));

    TabSheet1 = new TIconTab(*FDecoding, FFileIcons.Icons(), {"TabSheet1", "Splitter1", "IconList", "IconBox", kHint, kHint,
                                                  QAbstractItemView::ExtendedSelection, TBoxHeightRule::HideTaller,
                                                  kImageListBackground, false});
    TabSheet2 = new TIconTab(*FDecoding, FLibrary.Icons(), {"TabSheet2", "Splitter4", "ICLList", "ICLBox", kHint, "右键单击菜单",
                                                QAbstractItemView::SingleSelection, TBoxHeightRule::LimitTo255,
                                                kICLImagesBackground, true});

    pc->addTab(TabSheet1, style()->standardIcon(QStyle::SP_FileIcon), Text(" 当前查看 "));
    pc->addTab(TabSheet2, style()->standardIcon(QStyle::SP_DirIcon), Text(" 图标库 "));
    pc->setIconSize(QSize(16, 16));

    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setSizes({kShellPanelHeight, kClientHeight - kShellPanelHeight});

    sb = Named(new TPanelStatusBar({kStatusPanel0Width, 0}, this), "sb", "TStatusBar");
    sb->setFixedHeight(kStatusBarHeight);
    sb->SetPanelText(1, Text(kReadyText));
    setStatusBar(sb);

    sd = new QFileDialog(this, Text("保存图标库"));
    sd->setObjectName(QStringLiteral("sd"));
    sd->setAcceptMode(QFileDialog::AcceptSave);
    sd->setFileMode(QFileDialog::AnyFile);
    sd->setDefaultSuffix(QStringLiteral("icl"));
    sd->setNameFilters({Text("图标库 (*.icl)"), Text("所有文件 (*)")});

    // Save dialogs ask before replacing a file; a name is taken only in a folder that exists.
    auto saveDialog = [this](const char* name, const char* title, const char* suffix, const char* filter) {
        auto* dialog = new QFileDialog(this, Text(title));
        dialog->setObjectName(QLatin1String(name));
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setDefaultSuffix(QLatin1String(suffix));
        dialog->setNameFilters({Text(filter), Text("所有文件 (*)")});
        return dialog;
    };
    sdIcon = saveDialog("sdIcon", "保存为图标", "ico", "图标 (*.ico)");
    sdBMP = saveDialog("sdBMP", "保存为位图", "bmp", "位图 (*.bmp)");
    FolderDialog = new QFileDialog(this, Text("选择目标"));
    FolderDialog->setObjectName(QStringLiteral("FolderDialog"));
    FolderDialog->setFileMode(QFileDialog::Directory);
    FolderDialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly);
    for (QFileDialog* dialog : {sd, sdIcon, sdBMP, FolderDialog}) CloseCompletionWithDialog(dialog);
}

void Twnd_pv_Main::CreateMenus() {
    // A menu item: its name, caption, shortcut and Tag.
    auto item = [this](QMenu* menu, const char* name, const char* caption, const QKeySequence& shortcut = {},
                       int tag = 0) {
        auto* action = new QAction(Text(caption), this);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(shortcut);
        action->setData(tag);
        menu->addAction(action);
        return action;
    };
    auto submenu = [](QMenu* menu, const char* name, const char* caption) {
        QMenu* sub = menu->addMenu(Text(caption));
        sub->setObjectName(QLatin1String(name));
        sub->menuAction()->setObjectName(QLatin1String(name));
        return sub;
    };
    auto popup = [this](const char* name) {
        auto* menu = new QMenu(this);
        menu->setObjectName(QLatin1String(name));
        return menu;
    };
    // "图标" / "平铺": a radio pair, "图标" checked.
    auto radioPair = [this](QAction* icons, QAction* tiles) {
        auto* group = new QActionGroup(this);
        group->setExclusive(true);
        for (QAction* a : {icons, tiles}) {
            a->setCheckable(true);
            group->addAction(a);
        }
        icons->setChecked(true);
    };

    QMenu* file = menuBar()->addMenu(Text("文件"));
    Newlibrary1 = item(file, "Newlibrary1", "新建图标库", QKeySequence(Qt::CTRL | Qt::Key_N));
    Savelibrary1 = item(file, "Savelibrary1", "保存图标库...", QKeySequence(Qt::CTRL | Qt::Key_S));
    file->addSeparator();
    mmSearch = item(file, "mmSearch", "搜索...", QKeySequence(Qt::CTRL | Qt::Key_F));
    file->addSeparator();
    Refresh1 = item(file, "Refresh1", "刷新", QKeySequence(Qt::Key_F5));
    file->addSeparator();
    mmExit = item(file, "mmExit", "退出");

    QMenu* edit = menuBar()->addMenu(Text("编辑"));
    Addfilestolibrary1 = item(edit, "Addfilestolibrary1", "添加文件到图标库");
    Addiconstolibrary1 = item(edit, "Addiconstolibrary1", "添加图标到图标库");
    Removeiconsfromlibrary1 = item(edit, "Removeiconsfromlibrary1", "从图标库移除图标");

    QMenu* help = menuBar()->addMenu(Text("帮助"));
    About1 = item(help, "About1", "关于...");

    FileListPopup = popup("FileListPopup");
    QMenu* addFiles = submenu(FileListPopup, "Addtolibrary1", "添加到图标库");
    Selected2 = item(addFiles, "Selected2", "选定对象");
    All2 = item(addFiles, "All2", "所有对象", {}, 1);
    FileListPopup->addSeparator();
    mmRefresh = item(FileListPopup, "mmRefresh", "刷新");

    IconListPopup = popup("IconListPopup");
    QMenu* addIcons = submenu(IconListPopup, "mmAddIcon", "添加到图标库");
    Selected1 = item(addIcons, "Selected1", "选定对象");
    All1 = item(addIcons, "All1", "所有对象", {}, 1);
    IconListPopup->addSeparator();
    QMenu* saveIcons = submenu(IconListPopup, "SavetoIcon1", "保存为图标");
    Selected3 = item(saveIcons, "Selected3", "选定对象");
    All3 = item(saveIcons, "All3", "所有对象", {}, 1);
    IconListPopup->addSeparator();
    QMenu* view1 = submenu(IconListPopup, "View1", "查看");
    Icons1 = item(view1, "Icons1", "图标");
    iles1 = item(view1, "iles1", "平铺", {}, 1);
    radioPair(Icons1, iles1);

    IconBoxPopup = popup("IconBoxPopup");
    mmSavetoIcon = item(IconBoxPopup, "mmSavetoIcon", "保存为图标...");
    mmSaveToBMP = item(IconBoxPopup, "mmSaveToBMP", "保存为位图...");

    ICLPopup = popup("ICLPopup");
    Savelibrary2 = item(ICLPopup, "Savelibrary2", "保存图标库...");
    ICLPopup->addSeparator();
    Removeselected1 = item(ICLPopup, "Removeselected1", "移除选定对象");
    Newlibrary2 = item(ICLPopup, "Newlibrary2", "清空图标库");
    ICLPopup->addSeparator();
    Saveicon1 = item(ICLPopup, "Saveicon1", "保存为图标...");
    ICLPopup->addSeparator();
    QMenu* view2 = submenu(ICLPopup, "View2", "查看");
    Icons2 = item(view2, "Icons2", "图标");
    iles2 = item(view2, "iles2", "平铺", {}, 1);
    radioPair(Icons2, iles2);

    ICLBoxPopup = popup("ICLBoxPopup");
    MenuItem1 = item(ICLBoxPopup, "MenuItem1", "保存为图标...");
    MenuItem2 = item(ICLBoxPopup, "MenuItem2", "保存为位图...");

    AttachPopup(FileList, FileListPopup);
    AttachPopup(TabSheet1->List(), IconListPopup);
    AttachPopup(TabSheet1->Box(), IconBoxPopup);
    AttachPopup(TabSheet2->List(), ICLPopup);
    AttachPopup(TabSheet2->Box(), ICLBoxPopup);

    auto command = [this](QAction* action, void (Twnd_pv_Main::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { Runner->Run([&] { (this->*handler)(); }); });
    };
    // A command that reads the Tag of the item it was reached from.
    auto tagged = [this](QAction* action, void (Twnd_pv_Main::*handler)(QAction*)) {
        connect(action, &QAction::triggered, this,
                [this, action, handler] { Runner->Run([&] { (this->*handler)(action); }); });
    };
    command(Newlibrary1, &Twnd_pv_Main::cmNewlibrary);
    command(Newlibrary2, &Twnd_pv_Main::cmNewlibrary);
    command(Savelibrary1, &Twnd_pv_Main::cmSavelibrary);
    command(Savelibrary2, &Twnd_pv_Main::cmSavelibrary);
    command(Removeiconsfromlibrary1, &Twnd_pv_Main::cmRemoveIcons);
    command(Removeselected1, &Twnd_pv_Main::cmRemoveIcons);
    for (QAction* action : {Addfilestolibrary1, Selected2, All2}) tagged(action, &Twnd_pv_Main::cmAddFiles);
    for (QAction* action : {Addiconstolibrary1, Selected1, All1}) tagged(action, &Twnd_pv_Main::cmAddIcons);
    for (QAction* action : {Icons1, iles1}) tagged(action, &Twnd_pv_Main::Icons1Click);
    for (QAction* action : {Icons2, iles2}) tagged(action, &Twnd_pv_Main::Icons2Click);
    for (QAction* action : {Selected3, All3}) tagged(action, &Twnd_pv_Main::cmSaveIcons);
    command(mmSavetoIcon, &Twnd_pv_Main::mmSavetoIconClick);
    command(mmSaveToBMP, &Twnd_pv_Main::cmSaveToBMP);
    command(MenuItem1, &Twnd_pv_Main::MenuItem1Click);
    command(MenuItem2, &Twnd_pv_Main::MenuItem2Click);
    command(Saveicon1, &Twnd_pv_Main::Saveicon1Click);
    command(mmSearch, &Twnd_pv_Main::mmSearchClick);
    command(Refresh1, &Twnd_pv_Main::cmRefresh);
    command(mmRefresh, &Twnd_pv_Main::cmRefresh);
    command(mmExit, &Twnd_pv_Main::cmExit);
    command(About1, &Twnd_pv_Main::About1Click);
}

// --- start and close ---------------------------------------------------------------------

void Twnd_pv_Main::FormCreate() {
    pc->setCurrentWidget(TabSheet1);
    FBrowsing = false;
    // Before any stored folder: the user's home folder.
    ShellTree->SetPath(QDir::homePath());
}

void Twnd_pv_Main::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous() && !FShown) {
        FShown = true;
        FormShow();
    }
}

void Twnd_pv_Main::FormShow() {
    // The library tab is laid out once, at the size of the first, so that its image box has
    // its width (and stores it) before the user first opens the tab.
    {
        const QSignalBlocker quiet(pc);
        TabSheet2->setGeometry(TabSheet1->geometry());
        pc->setCurrentWidget(TabSheet2);
        pc->setCurrentWidget(TabSheet1);
    }
    // The stored folder was restored just before; a folder named on the command line wins.
    if (!FStartFolder.isEmpty()) ShellTree->SetPath(FStartFolder);
    FTreeChange = connect(ShellTree, &TShellTree::Change, this, [this] { Runner->Run([this] { ShellTreeChange(); }); });
    // The folder is listed as soon as the window is on screen, so that it shows while it fills.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (FClosed) return;
            Runner->Run([this] { ShellTreeChange(); });
            SelectStartFile();
        },
        Qt::QueuedConnection);
}

void Twnd_pv_Main::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    FCloseAccepted = event->isAccepted();
    // A window closed while hidden is not hidden again: it closes here.
    if (FCloseAccepted && isHidden() && !FClosed) FormClose();
}

void Twnd_pv_Main::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    // An accepted close hides the window once the storage has saved its settings.
    if (FCloseAccepted && !FClosed) FormClose();
}

void Twnd_pv_Main::FormClose() {
    FClosed = true;
    for (const QMetaObject::Connection& handler : FSelectionHandlers) disconnect(handler);
    FSelectionHandlers.clear();
    disconnect(FTreeChange);
    // A run in progress ends, and nothing waits to be listed after it.
    FListingPending = false;
    FindFile.Abort();
    // Files being read stop at their next read, so that the process ends as the window does.
    FFileReader->Abandon();
    FLibraryReader->Abandon();
    if (wnd_pv_Search && wnd_pv_Search->isVisible()) wnd_pv_Search->close();
}

void Twnd_pv_Main::StorageReadProp(TPropReaderEh& Reader, const QString& PropName, bool& Processed) {
    Processed = true;
    if (PropName.compare(QLatin1String("LastFolder"), Qt::CaseInsensitive) == 0)
        ShellTree->SetPath(QString::fromStdString(Reader.ReadString()));
    else
        Reader.ReadValue();  // nothing else of the window's is stored
}

void Twnd_pv_Main::StorageWriteCustomProps(TPropWriterEh& Writer) {
    Writer.WritePropName("LastFolder");
    Writer.WriteString(ShellTree->Path().toStdString());
}

// --- folder listing and search runs ------------------------------------------------------

void Twnd_pv_Main::ShellTreeChange() {
    FBrowsing = true;
    FindFile.Abort();
    if (FindFile.Busy()) {
        // The run being stopped is still unwinding below this call; the folder is listed once
        // it has ended (ExecuteFindFile).
        FListingPending = true;
        return;
    }
    SetListingCriteria();
    ExecuteFindFile();
}

void Twnd_pv_Main::SetListingCriteria() {
    TFileCriteria& files = FindFile.Criteria().Files;
    files.Subfolders = false;
    files.Location = ShellTree->Path().toStdString();
    files.FileName = "*.*";
}

void Twnd_pv_Main::ExecuteFindFile() {
    FindFile.Execute();
    while (FListingPending && !FClosed) {
        FListingPending = false;
        FBrowsing = true;
        SetListingCriteria();
        FindFile.Execute();
    }
    // Files dropped while it ran, in the order they came.
    while (!FPendingDrops.empty() && !FClosed && !FSearching) {
        const std::vector<std::string> files = std::exchange(FPendingDrops, {});
        ExplorerDropDropped(*ExplorerDrop, files, static_cast<int>(files.size()), 0, 0);
    }
}

void Twnd_pv_Main::ShowCounters() { sb->SetPanelText(0, QString::fromStdString(FFileSearch.Counters().Text())); }

void Twnd_pv_Main::EmptyCurrentFileView() {
    // The file being read is no longer chosen: its icons never come, and its busy state ends.
    if (FFileReader->Pending() > 0) Runner->Abandon(*FFileReader);
    TabSheet1->Images()->Clear();
    TabSheet1->Icons()->Clear();
    FCurrentFile.clear();
}

void Twnd_pv_Main::FindFileSearchBegin(TFindFile&) {
    FFileSearch.Begin();
    FSearching = true;
    FileList->Model()->BeginUpdate();
    if (wnd_pv_Search->ClearOnBegin()) FileList->Model()->Clear();
    EmptyCurrentFileView();
    wnd_pv_Search->SetRunning(true);
    if (FBrowsing) {
        sb->SetPanelText(1, Text(kListingText));
        sb->RepaintNow();
        SetBusyCursor();
    }
}

void Twnd_pv_Main::FindFileFolderChange(TFindFile&, const std::string& Folder, bool&) {
    FFileSearch.FolderEntered();
    ShowCounters();
    sb->SetPanelText(1, QString::fromStdString(Folder));
}

void Twnd_pv_Main::FindFileFileMatch(TFindFile&, const std::string& Folder, const TSearchRec& FileInfo) {
    FFileSearch.SkipDuplicates = wnd_pv_Search->SkipDuplicates();
    const int examined = FFileSearch.Counters().Files;
    TIconFileRow row;
    if (FFileSearch.FileFound(Folder, FileInfo, row)) {
        FileList->Model()->AddRow(row);
        QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
    }
    const int files = FFileSearch.Counters().Files;
    if (files == examined) return;  // a name met before in this run: neither counted nor listed
    if (!FBrowsing || files % kListingMessageInterval == 0) {
        ShowCounters();
        QCoreApplication::processEvents();
    }
}

void Twnd_pv_Main::FindFileSearchFinish(TFindFile&) {
    FSearching = false;
    FBrowsing = false;
    sb->SetPanelText(1, Text(kReadyText));
    wnd_pv_Search->SetRunning(false);
    ShowCounters();
    FileList->Model()->EndUpdate();
    SetDefaultCursor();
}

void Twnd_pv_Main::ExplorerDropDropped(TExplorerDrop&, const std::vector<std::string>& Files, int, int, int) {
    // A drop that arrives while a run takes its messages is kept and listed once that run has
    // ended (ExecuteFindFile), rather than interleaved with its rows and counters.
    if (FSearching) {
        FPendingDrops.insert(FPendingDrops.end(), Files.begin(), Files.end());
        return;
    }
    FindFileSearchBegin(FindFile);
    try {
        FFileSearch.SkipDuplicates = false;
        for (const std::string& file : Files) {
            const size_t slash = file.rfind('/');
            TSearchRec entry;
            entry.Name = slash == std::string::npos ? file : file.substr(slash + 1);
            struct stat st {};
            if (::stat(file.c_str(), &st) == 0) {
                entry.Size = static_cast<int64_t>(st.st_size);
                entry.Time = DosDateTime(st.st_mtime);
            }
            const std::string folder = slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1);
            TIconFileRow row;
            if (FFileSearch.FileFound(folder, entry, row)) {
                FileList->Model()->AddRow(row);
                QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
            }
        }
    } catch (...) {
        FindFileSearchFinish(FindFile);
        throw;
    }
    FindFileSearchFinish(FindFile);
}

int Twnd_pv_Main::FileListItemCompare(int Column, const TFoundFile& Item1, const TFoundFile& Item2) {
    return CompareFoundFiles(Column, Item1, Item2, FileList->Model()->Collator());
}

void Twnd_pv_Main::FileListIncrementalSearch(const TFoundFile& Item, const QString& SearchBuffer, int& CompareResult) {
    CompareResult = CompareTypedText(SearchBuffer, Item.Name);
}

// --- commands ----------------------------------------------------------------------------

void Twnd_pv_Main::cmRefresh() {
    ShellTree->Refresh();
    ShellTreeChange();
    FileList->selectionModel()->clear();
    FCurrentFile.clear();
}

void Twnd_pv_Main::cmExit() { close(); }

void Twnd_pv_Main::mmSearchClick() {
    wnd_pv_Search->show();
    wnd_pv_Search->raise();
    wnd_pv_Search->activateWindow();
}

void Twnd_pv_Main::About1Click() {
    Twnd_pv_About about(this);
    about.exec();
}

void Twnd_pv_Main::pcChange(int index) {
    if (index != 0 && index != 1) return;
    const QListView* list = index == 0 ? TabSheet1->List() : TabSheet2->List();
    // The box keeps listing the images of the icon selected last; with no icon selected it is
    // emptied.
    if (!list->selectionModel()->hasSelection()) (index == 0 ? TabSheet1->Images() : TabSheet2->Images())->Clear();
}

// --- the current-file view and the library tab --------------------------------------------

void Twnd_pv_Main::ConnectSelectionHandlers() {
    // Each row or item whose selection changed is reported on its own: first those that lost
    // it, then those that gained it.
    FSelectionHandlers << connect(FileList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                                  [this](const QItemSelection& selected, const QItemSelection& deselected) {
                                      for (const QModelIndex& index : deselected.indexes())
                                          if (index.column() == 0) FileListItemSelectionChanged(index.row(), false);
                                      for (const QModelIndex& index : selected.indexes())
                                          if (index.column() == 0) FileListItemSelectionChanged(index.row(), true);
                                  });
    auto perItem = [this](QListView* list, void (Twnd_pv_Main::*handler)(int, bool)) {
        FSelectionHandlers << connect(
            list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, handler](const QItemSelection& selected, const QItemSelection& deselected) {
                Runner->Run([&] {
                    for (const QModelIndex& index : deselected.indexes()) (this->*handler)(index.row(), false);
                    for (const QModelIndex& index : selected.indexes()) (this->*handler)(index.row(), true);
                });
            });
    };
    perItem(TabSheet1->List(), &Twnd_pv_Main::IconListItemSelectionChanged);
    perItem(TabSheet2->List(), &Twnd_pv_Main::ICLListItemSelectionChanged);
}

void Twnd_pv_Main::SelectStartFile() {
    if (FStartFile.isEmpty() || FClosed) return;
    const QString name = FStartFile;
    FStartFile.clear();
    const TFoundFilesModel* model = FileList->Model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->File(row).Name == name) {
            const QModelIndex index = model->index(row, 0);
            FileList->selectionModel()->setCurrentIndex(
                index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            FileList->scrollTo(index);
            return;
        }
    }
}

void Twnd_pv_Main::FileListItemSelectionChanged(int Row, bool Selected) {
    FStartTick = TickCount();
    if (!Selected || Row < 0 || Row >= FileList->Model()->rowCount()) return;
    const std::string path = FileList->Model()->File(Row).Row.Path;
    // Names that differ only in case are two files here: only the very same path is the file on view.
    if (path == FCurrentFile) return;
    // A file still being read is dropped with the view it was read for.
    EmptyCurrentFileView();
    FCurrentFile = path;
    ++FFilesChosen;
    // The caption counts what the view holds: nothing, until the file's icons come.
    pc->setTabText(pc->indexOf(TabSheet1), Text(kCurrentFileCaption).arg(0));

    TCommandSteps steps;
    steps.BusyText = Text("正在检索图标...");
    steps.BeginUpdate = [this] { TabSheet1->List()->setUpdatesEnabled(false); };
    steps.EndUpdate = [this] {
        TabSheet1->HideIconsWithoutImages();
        TabSheet1->List()->setUpdatesEnabled(true);
    };
    steps.ReadyText = [this] { return QString::asprintf("就绪 (%1.2f 秒)", (TickCount() - FStartTick) / 1000.0); };
    steps.AfterReady = [this] {
        pc->setTabText(pc->indexOf(TabSheet1), Text(kCurrentFileCaption).arg(TabSheet1->ListedIcons()));
        pc->setCurrentWidget(TabSheet1);
    };
    // The file is read on a worker, so that the window answers while a large file is read; a
    // file chosen meanwhile abandons it. The view is empty until its icons come.
    Runner->RunInBackground<TIconLibrary>(
        steps, *FFileReader, [path](TIconLibrary& read, const std::atomic<bool>& cancel) { LoadIcons(path, read, &cancel); },
        [this](TIconLibrary& read) {
            // The icons read before an error are listed too.
            TabSheet1->Icons()->Refill([&] { FFileIcons.Icons().Assign(read.Icons()); });
        });
}

bool Twnd_pv_Main::Reading() const { return FFileReader->Pending() > 0 || FLibraryReader->Pending() > 0; }

void Twnd_pv_Main::IconListItemSelectionChanged(int Row, bool Selected) { TabSheet1->IconSelectionChanged(Row, Selected); }

void Twnd_pv_Main::ICLListItemSelectionChanged(int Row, bool Selected) { TabSheet2->IconSelectionChanged(Row, Selected); }

void Twnd_pv_Main::SetTileView(TIconTab* Tab, QAction* Sender) {
    const int tag = Tag(Sender);
    if (tag != 0 && tag != 1) return;
    Tab->SetTileView(tag == 1);
    Sender->setChecked(true);
}

void Twnd_pv_Main::Icons1Click(QAction* Sender) { SetTileView(TabSheet1, Sender); }

void Twnd_pv_Main::Icons2Click(QAction* Sender) { SetTileView(TabSheet2, Sender); }

void Twnd_pv_Main::BoxMouseDown(TIconTab* Sender, Qt::MouseButton Button, const QPoint& Pos) {
    Sender->BoxMouseDown(Button, Pos);
}

void Twnd_pv_Main::ShowLibraryCount() {
    pc->setTabText(pc->indexOf(TabSheet2), Text(kLibraryCaption).arg(FLibrary.Icons().Count()));
}

void Twnd_pv_Main::RebuildLibraryList() { TabSheet2->ShowAppended(); }

void Twnd_pv_Main::cmAddFiles(QAction* Sender) {
    const bool all = Tag(Sender) == 1;
    QItemSelectionModel* selection = FileList->selectionModel();
    if (!all && !selection->hasSelection()) return;
    TCommandSteps steps;
    steps.BusyText = Text("添加文件到图标库...");
    steps.BeginUpdate = [this] { TabSheet2->List()->setUpdatesEnabled(false); };
    steps.EndUpdate = [this] { TabSheet2->List()->setUpdatesEnabled(true); };
    // The library comes to the front when its files are in, unless a file was chosen meanwhile:
    // the user is looking at that one.
    steps.AfterReady = [this, chosen = FFilesChosen] {
        ShowLibraryCount();
        if (FFilesChosen == chosen) pc->setCurrentWidget(TabSheet2);
    };
    std::vector<std::string> files;
    const TFoundFilesModel* model = FileList->Model();
    for (int row = 0; row < model->rowCount(); ++row)
        if (all || selection->isRowSelected(row, QModelIndex())) files.push_back(model->File(row).Row.Path);
    // The files are read on a worker, in order, up to the first that cannot be read; their icons
    // join the library under the names they would have had read straight into it (made unique
    // in the files read, then again in the library: the same names, taken in the same order).
    Runner->RunInBackground<TIconLibrary>(
        steps, *FLibraryReader,
        [files = std::move(files)](TIconLibrary& read, const std::atomic<bool>& cancel) { LoadIcons(files, read, &cancel); },
        [this](TIconLibrary& read) {
            TIconList& icons = read.Icons();
            for (int i = 0; i < icons.Count(); ++i)
                FLibrary.Icons().AddIcon(FLibrary.Icons().UniqueName(icons.Name(i)), icons.Take(i));
            RebuildLibraryList();
        });
}

void Twnd_pv_Main::cmAddIcons(QAction* Sender) {
    const bool all = Tag(Sender) == 1;
    const QItemSelectionModel* selection = TabSheet1->List()->selectionModel();
    if (!all && !selection->hasSelection()) return;
    TCommandSteps steps;
    steps.BusyText = Text("添加图标到图标库...");
    steps.BeginUpdate = [this] { TabSheet2->List()->setUpdatesEnabled(false); };
    steps.EndUpdate = [this] { TabSheet2->List()->setUpdatesEnabled(true); };
    steps.AfterReady = [this] { ShowLibraryCount(); };
    Runner->Run(steps, [&] {
        for (int i = 0; i < TabSheet1->Icons()->rowCount(); ++i) {
            if (TabSheet1->List()->isRowHidden(i) || (!all && !selection->isRowSelected(i, {}))) continue;
            const TAdvancedIcon* source = FFileIcons.Icons().Icon(i);
            // An independent copy (the view's icons go when another file is viewed): it shares
            // the images' bytes and decodes nothing.
            std::unique_ptr<TAdvancedIcon> copy = source->Create();
            copy->Assign(*source);
            FLibrary.Icons().AddIcon(FFileIcons.Icons().Name(i), std::move(copy));
        }
        RebuildLibraryList();
    });
}

void Twnd_pv_Main::cmRemoveIcons() {
    if (!TabSheet2->List()->selectionModel()->hasSelection()) return;
    TCommandSteps steps;
    steps.BusyText = Text("正在移除图标...");
    steps.BeginUpdate = [this] { TabSheet2->List()->setUpdatesEnabled(false); };
    steps.EndUpdate = [this] { TabSheet2->List()->setUpdatesEnabled(true); };
    steps.AfterReady = [this] { ShowLibraryCount(); };
    Runner->Run(steps, [this] {
        TabSheet2->RemoveSelected();
    });
}

void Twnd_pv_Main::cmNewlibrary() {
    TCommandSteps steps;
    steps.BusyText = Text("正在清空图标库...");
    steps.BeginUpdate = [this] { TabSheet2->List()->setUpdatesEnabled(false); };
    steps.EndUpdate = [this] { TabSheet2->List()->setUpdatesEnabled(true); };
    steps.AfterReady = [this] { ShowLibraryCount(); };
    // Files still being added would fill the new library: they are dropped with the old one.
    Runner->Abandon(*FLibraryReader);
    Runner->Run(steps, [this] {
        TabSheet2->Images()->Clear();
        TabSheet2->Icons()->Clear();
    });
}

std::optional<std::string> Twnd_pv_Main::RunSaveDialog(QFileDialog* dialog, const QString& proposal) {
    QString proposed = proposal;
    for (;;) {
        dialog->selectFile(proposed);
        if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
        // The extension is always the dialog's own, whatever the user typed.
        const QFileInfo chosen(dialog->selectedFiles().first());
        const QString name = QString::fromStdString(ChangeFileExtToNone(chosen.fileName().toStdString())) +
                             u'.' + dialog->defaultSuffix();
        const QString forced = chosen.dir().filePath(name);
        // The dialog asked about replacing the name typed; a forced name is another file, and
        // one that exists is only replaced when the user says so (else the dialog comes back).
        if (forced == chosen.filePath() || !QFileInfo::exists(forced) ||
            QMessageBox::question(dialog->parentWidget(), dialog->windowTitle(),
                                  QStringLiteral("%1 已存在。\n要替换它吗?").arg(name)) == QMessageBox::Yes)
            return QFile::encodeName(forced).toStdString();
        proposed = name;
    }
}

void Twnd_pv_Main::cmSavelibrary() {
    // The proposal: the selected folder's name with the library extension (only the extension
    // for a path that ends in a delimiter).
    const QString folder = ShellTree->Path();
    const std::optional<std::string> fileName = RunSaveDialog(sd, folder.mid(folder.lastIndexOf(u'/') + 1) + ".icl");
    if (!fileName) return;
    TCommandSteps steps;
    steps.BusyText = Text("正在保存图标库...");
    Runner->Run(steps, [&] { FLibrary.SaveToFile(*fileName); });
}

// --- saving icons and images ---------------------------------------------------------------

void Twnd_pv_Main::SaveBoxImageAsIcon(TIconLibrary& Library, TIconTab* Tab) {
    int iconIndex = 0, imageIndex = 0;
    if (!Tab->SelectedImage(iconIndex, imageIndex)) return;
    const std::string proposal = Format("%s_%d", Library.Icons().Name(iconIndex).c_str(), imageIndex);
    const std::optional<std::string> fileName = RunSaveDialog(sdIcon, QString::fromStdString(SafeFileName(proposal)));
    if (!fileName) return;
    CopyWithOneImage(*Library.Icons().Icon(iconIndex), imageIndex)->SaveToFile(*fileName);
}

void Twnd_pv_Main::SaveBoxImageAsBitmap(TIconLibrary& Library, TIconTab* Tab) {
    int iconIndex = 0, imageIndex = 0;
    if (!Tab->SelectedImage(iconIndex, imageIndex)) return;
    const std::string proposal = Format("%s_%d", Library.Icons().Name(iconIndex).c_str(), imageIndex);
    // A copy of the one image: the icons on view stay as they are.
    const std::unique_ptr<TAdvancedIcon> copy = CopyWithOneImage(*Library.Icons().Icon(iconIndex), imageIndex);
    const TIconImage& image = *copy->Images()[0];
    uint32_t colour = 0xFFFFFF;
    if (!SelectBackgroundColor(*image.CreateGraphic(), colour, this)) return;
    const std::optional<std::string> fileName = RunSaveDialog(sdBMP, QString::fromStdString(SafeFileName(proposal)));
    if (!fileName) return;
    SaveImageAsBitmap(image, ColorToRGB(colour), *fileName);
}

void Twnd_pv_Main::mmSavetoIconClick() { SaveBoxImageAsIcon(FFileIcons, TabSheet1); }

void Twnd_pv_Main::MenuItem1Click() { SaveBoxImageAsIcon(FLibrary, TabSheet2); }

void Twnd_pv_Main::cmSaveToBMP() { SaveBoxImageAsBitmap(FFileIcons, TabSheet1); }

void Twnd_pv_Main::MenuItem2Click() { SaveBoxImageAsBitmap(FLibrary, TabSheet2); }

void Twnd_pv_Main::Saveicon1Click() {
    const QModelIndexList selected = TabSheet2->List()->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) return;
    const int i = selected.first().row();
    const TAdvancedIcon* icon = FLibrary.Icons().Icon(i);
    if (!icon) return;
    const std::optional<std::string> fileName =
        RunSaveDialog(sdIcon, QString::fromStdString(SafeFileName(FLibrary.Icons().Name(i))));
    if (fileName) icon->SaveToFile(*fileName);
}

void Twnd_pv_Main::cmSaveIcons(QAction* Sender) {
    const bool all = Tag(Sender) == 1;
    const QItemSelectionModel* selection = TabSheet1->List()->selectionModel();
    if (!all && !selection->hasSelection()) return;
    // It starts at the desktop, or at the home folder where there is no desktop folder.
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    FolderDialog->setDirectory(QFileInfo(desktop).isDir() ? desktop : QDir::homePath());
    if (FolderDialog->exec() != QDialog::Accepted || FolderDialog->selectedFiles().isEmpty()) return;
    const QString folder = FolderDialog->selectedFiles().first();
    TCommandSteps steps;
    steps.BusyText = Text("正在保存图标到 %1...").arg(folder);
    Runner->Run(steps, [&] {
        // Names made safe and unique, never written through a link: each file lands in the folder.
        TIconFolder target(folder.toStdString());
        for (int i = 0; i < TabSheet1->Icons()->rowCount(); ++i) {
            if (TabSheet1->List()->isRowHidden(i) || (!all && !selection->isRowSelected(i, {}))) continue;
            const TAdvancedIcon* icon = FFileIcons.Icons().Icon(i);
            if (icon && icon->Images().Count() > 0) target.Save(*icon, FFileIcons.Icons().Name(i));
        }
    });
}
