#include "app/Main.h"

#include "app/SearchDlg.h"
#include "widgets/FileListView.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/PropStorageEh.h"
#include "widgets/ShellTree.h"
#include "widgets/UiFonts.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QShowEvent>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>

#include "app/About.h"

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

// The icon views show their thumbnails 32 pixels square.
constexpr int kThumbnailSize = 32;
// The role that holds an icon list item's icon index (its third caption).
constexpr int kIconIndexRole = Qt::UserRole;

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

// A list of icons or of images: the icon views and the image boxes of the two tabs.
QListWidget* NewList(QWidget* parent, const char* name, const char* storedClass, const char* hint) {
    auto* list = Named(new QListWidget(parent), name, storedClass);
    list->setFont(ListViewFont());
    list->setToolTip(Text(hint));
    return list;
}

void UseTooltipColour(QListWidget* list) {
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::ToolTipBase));
    palette.setColor(QPalette::Text, palette.color(QPalette::ToolTipText));
    list->setPalette(palette);
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
    CreateComponents();
    CreateMenus();
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    setMinimumSize(kMinWidth, kMinHeight);
    SetFormPosition(this, TFormPositionEh::ScreenCenter);

    StorageMan = new TRegPropStorageManEh(this);
    StorageMan->setObjectName(QStringLiteral("StorageMan"));
    StorageMan->SetPath(QStringLiteral("SOFTWARE\\Quarn\\Pictavo\\2.x"));
    Storage = new TPropStorageEh(this);
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
    FindFile.OnSearchBegin = [this](TFindFile& sender) { FindFileSearchBegin(sender); };
    FindFile.OnFolderChange = [this](TFindFile& sender, const std::string& folder, bool& ignore) {
        FindFileFolderChange(sender, folder, ignore);
    };
    FindFile.OnFileMatch = [this](TFindFile& sender, const std::string& folder, const TSearchRec& info) {
        FindFileFileMatch(sender, folder, info);
    };
    FindFile.OnSearchFinish = [this](TFindFile& sender) { FindFileSearchFinish(sender); };
    FindFile.OnSearchAbort = FindFile.OnSearchFinish;
    FileList->Model()->OnCompare = [this](int column, const TFoundFile& a, const TFoundFile& b) {
        return FileListItemCompare(column, a, b);
    };
    FileList->OnIncrementalSearch = [this](const TFoundFile& item, const QString& typed, int& result) {
        FileListIncrementalSearch(item, typed, result);
    };
    connect(pc, &QTabWidget::currentChanged, this, [this](int index) { Runner->Run([&] { pcChange(index); }); });

    FormCreate();
    wnd_pv_Search = new Twnd_pv_Search(*this);
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

    TabSheet1 = Named(new QWidget, "TabSheet1", "TTabSheet");
    auto* layout1 = new QHBoxLayout(TabSheet1);
    layout1->setContentsMargins(0, 0, 0, 0);
    Splitter1 = NewSplitter(Qt::Horizontal, TabSheet1, "Splitter1");
    layout1->addWidget(Splitter1);
    IconList = NewList(Splitter1, "IconList", "TListView", kHint);
    IconList->setViewMode(QListView::IconMode);
    IconList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    IconList->setIconSize(QSize(kThumbnailSize, kThumbnailSize));
    IconBox = NewList(Splitter1, "IconBox", "TListBox", kHint);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({kClientWidth - kBoxWidth, kBoxWidth});

    TabSheet2 = Named(new QWidget, "TabSheet2", "TTabSheet");
    auto* layout2 = new QHBoxLayout(TabSheet2);
    layout2->setContentsMargins(0, 0, 0, 0);
    Splitter4 = NewSplitter(Qt::Horizontal, TabSheet2, "Splitter4");
    layout2->addWidget(Splitter4);
    ICLList = NewList(Splitter4, "ICLList", "TListView", kHint);
    ICLList->setViewMode(QListView::IconMode);
    ICLList->setSelectionMode(QAbstractItemView::SingleSelection);
    ICLList->setIconSize(QSize(kThumbnailSize, kThumbnailSize));
    UseTooltipColour(ICLList);
    ICLBox = NewList(Splitter4, "ICLBox", "TListBox", "右键单击菜单");
    UseTooltipColour(ICLBox);
    Splitter4->setStretchFactor(0, 1);
    Splitter4->setStretchFactor(1, 0);
    Splitter4->setSizes({kClientWidth - kBoxWidth, kBoxWidth});

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
}

void Twnd_pv_Main::CreateMenus() {
    // A menu item: its name, caption, shortcut and Tag. Items of commands that other views
    // of the window carry out are shown, and disabled until those views are there.
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
    AttachPopup(IconList, IconListPopup);
    AttachPopup(IconBox, IconBoxPopup);
    AttachPopup(ICLList, ICLPopup);
    AttachPopup(ICLBox, ICLBoxPopup);

    // The commands of the current-file view, the library tab and saving.
    for (QAction* later : {Newlibrary1, Savelibrary1, Addfilestolibrary1, Addiconstolibrary1, Removeiconsfromlibrary1,
                           Selected2, All2, Selected1, All1, Selected3, All3, mmSavetoIcon, mmSaveToBMP, Savelibrary2,
                           Removeselected1, Newlibrary2, Saveicon1, MenuItem1, MenuItem2})
        later->setEnabled(false);

    auto command = [this](QAction* action, void (Twnd_pv_Main::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { Runner->Run([&] { (this->*handler)(); }); });
    };
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
        this, [this] { if (!FClosed) Runner->Run([this] { ShellTreeChange(); }); }, Qt::QueuedConnection);
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
    disconnect(FTreeChange);
    // A run in progress ends, and nothing waits to be listed after it.
    FListingPending = false;
    FindFile.Abort();
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
}

void Twnd_pv_Main::ShowCounters() { sb->SetPanelText(0, QString::fromStdString(FFileSearch.Counters().Text())); }

void Twnd_pv_Main::EmptyCurrentFileView() {
    IconList->clear();
    IconBox->clear();
    FFileIcons.Icons().Clear();
    FCurrentFile.clear();
}

void Twnd_pv_Main::FindFileSearchBegin(TFindFile&) {
    FFileSearch.Begin();
    FSearching = true;
    FileList->Model()->BeginUpdate();
    if (wnd_pv_Search->cbxClear->isChecked()) FileList->Model()->Clear();
    EmptyCurrentFileView();
    wnd_pv_Search->bAction->setText(Text("停止"));
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
    FFileSearch.SkipDuplicates = wnd_pv_Search->cbxIgnore->isChecked();
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
    wnd_pv_Search->bAction->setText(Text("开始"));
    ShowCounters();
    FileList->Model()->EndUpdate();
    SetDefaultCursor();
}

int Twnd_pv_Main::FileListItemCompare(int Column, const TFoundFile& Item1, const TFoundFile& Item2) {
    return CompareFoundFiles(Column, Item1, Item2, FileList->Model()->Collator());
}

void Twnd_pv_Main::FileListIncrementalSearch(const TFoundFile& Item, const QString& SearchBuffer, int& CompareResult) {
    CompareResult = CompareTypedText(SearchBuffer, Item.Name);
}

// --- commands ----------------------------------------------------------------------------

void Twnd_pv_Main::cmRefresh() {
    ShellTreeChange();
    FileList->selectionModel()->clear();
    FCurrentFile.clear();
}

void Twnd_pv_Main::cmExit() { close(); }

void Twnd_pv_Main::mmSearchClick() {
    if (!wnd_pv_Search) wnd_pv_Search = new Twnd_pv_Search(*this);
    wnd_pv_Search->show();
    wnd_pv_Search->raise();
    wnd_pv_Search->activateWindow();
}

void Twnd_pv_Main::About1Click() {
    Twnd_pv_About about(this);
    about.exec();
}

void Twnd_pv_Main::pcChange(int index) {
    QListWidget* list = index == 0 ? IconList : ICLList;
    QListWidget* box = index == 0 ? IconBox : ICLBox;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->isSelected()) {
            FIconIndex = list->item(row)->data(kIconIndexRole).toInt();
            return;
        }
    }
    box->clear();
}
