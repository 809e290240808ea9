#include "app/Main.h"

#include "app/About.h"
#include "app/FileListing.h"
#include "app/ProgramIcon.h"
#include "app/SaveCommands.h"
#include "app/SearchDlg.h"
#include "library/IconLoading.h"
#include "widgets/FileListView.h"
#include "widgets/IconDelegates.h"
#include "widgets/IconImagesModel.h"
#include "widgets/IconListModel.h"
#include "widgets/IconTab.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/PropStorageEh.h"
#include "widgets/RightButtonBand.h"
#include "widgets/ShellTree.h"
#include "widgets/Splitter.h"
#include "widgets/UiFonts.h"
#include "widgets/WorkService.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QListView>
#include <QMenuBar>
#include <QShowEvent>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>

#include <chrono>
#include <map>
#include <vector>

using namespace pictavo;

namespace {

const char* const kHint = QT_TRANSLATE_NOOP("Twnd_pv_Main", "右键单击打开菜单");

// The smallest the window may become; the parts of its client area at design size.
// The client area at design size, which the tabs' widths follow.
constexpr int kMainClientWidth = 732, kMainClientHeight = 641;
constexpr int kMinWidth = 300, kMinHeight = 50;
constexpr int kShellPanelHeight = 250, kShellPanelBorder = 4, kTreeWidth = 250;
constexpr int kStatusBarHeight = 19, kStatusPanel0Width = 250, kTabHeight = 22;

// The icon views show their thumbnails over white in the current-file view and over pale yellow
// in the library's.
const QColor kImageListBackground(255, 255, 255);
const QColor kICLImagesBackground(255, 255, 225);

// The tab captions with their icon counts (a translation has a form for each count it needs).
const char* const kCurrentFileCaption = QT_TRANSLATE_N_NOOP("Twnd_pv_Main", " 当前查看 - %1 个图标 ");
const char* const kLibraryCaption = QT_TRANSLATE_N_NOOP("Twnd_pv_Main", " 图标库 - %1 个图标 ");

// The tick count in milliseconds, as a 32-bit count.
int64_t TickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// A text of the window in the user's language.
QString Text(const char* source) { return QCoreApplication::translate("Twnd_pv_Main", source); }

// The same for a caption with a count.
QString CountCaption(const char* source, int count) {
    return QCoreApplication::translate("Twnd_pv_Main", source, nullptr, count).arg(count);
}

// Names a component and the class its stored settings are written under.
template <typename T>
T* Named(T* widget, const char* name, const char* storedClass = nullptr) {
    widget->setObjectName(QLatin1String(name));
    if (storedClass) SetStoredClassName(widget, QLatin1String(storedClass));
    return widget;
}

// A right click in the view opens its popup menu.
void AttachPopup(QAbstractScrollArea* view, QMenu* popup) {
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(view, &QWidget::customContextMenuRequested, popup,
                     [view, popup](const QPoint& pos) { popup->popup(view->viewport()->mapToGlobal(pos)); });
}

}  // namespace

Twnd_pv_Main::Twnd_pv_Main(QWidget* parent, TWorkService::TMode decoding) : QMainWindow(parent) {
    setObjectName(QStringLiteral("wnd_pv_Main"));
    setWindowTitle(QString::fromUtf8(kProgramName));
    setFont(FormFont());
    // The window's worker threads, before the icon tabs that decode on them.
    FWork = new TWorkService(decoding, this);
    CreateComponents();
    CreateMenus();
    resize(kMainClientWidth, kMainClientHeight + menuBar()->sizeHint().height());
    setMinimumSize(kMinWidth, kMinHeight);
    SetFormPosition(this, TFormPositionEh::ScreenCenter);

    StorageMan = Named(new TRegPropStorageManEh(this), "StorageMan");
    StorageMan->SetPath(QStringLiteral("SOFTWARE\\Quarn\\Pictavo\\2.x"));
    Storage = Named(new TPropStorageEh(this), "Storage");
    Storage->SetSection(QStringLiteral("Main"));
    Storage->SetStorageManager(StorageMan);
    Storage->SetStoredProps(
        {QStringLiteral("<P>.Height"), QStringLiteral("<P>.Left"), QStringLiteral("<P>.PixelsPerInch"),
         QStringLiteral("<P>.Top"), QStringLiteral("<P>.Width"), QStringLiteral("<P>.WindowState"),
         QStringLiteral("pc.TabSheet1.IconBox.<P>.Width"), QStringLiteral("pc.TabSheet2.ICLBox.<P>.Width"),
         QStringLiteral("ShellPanel.<P>.Height"), QStringLiteral("ShellPanel.ShellTree.<P>.Width")});
    Storage->OnReadProp = [this](TPropStorageEh*, TPropReaderEh& reader, const QString& name, bool& processed) {
        StorageReadProp(reader, name, processed);
    };
    Storage->OnWriteCustomProps = [this](TPropStorageEh*, TPropWriterEh& writer) { StorageWriteCustomProps(writer); };

    Runner = std::make_unique<TCommandRunner>(this, sb);
    FFileReader = new TWorkChannel(*FWork, this, 0, TWorkChannel::TKind::ReadsFiles);
    // Files join the library in the order they were added.
    FLibraryReader = new TWorkChannel(*FWork, this, 1, TWorkChannel::TKind::ReadsFiles);
    connect(pc, &QTabWidget::currentChanged, this, [this](int index) { Runner->Run([&] { pcChange(index); }); });
    ConnectSelectionHandlers();

    pc->setCurrentWidget(TabSheet1);
    // Before any stored folder: the user's home folder.
    ShellTree->SetPath(QDir::homePath());
    wnd_pv_Search = new Twnd_pv_Search(this, StorageMan);
    FListing = new TFileListing(*FWork, ShellTree, FileList, sb, wnd_pv_Search, *Runner, this);
    connect(FListing, &TFileListing::RunBegun, this, &Twnd_pv_Main::EmptyCurrentFileView);
}

Twnd_pv_Main::~Twnd_pv_Main() {
    // The dialog saves through this window's manager: it goes first.
    delete wnd_pv_Search;
    wnd_pv_Search = nullptr;
    // Saves what was restored and not saved yet, while the whole window still exists.
    Storage->FormDestroy();
    // The tabs' models look at the icon lists: they go before the lists do, unheard.
    for (const QMetaObject::Connection& handler : FSelectionHandlers) disconnect(handler);
    pc->disconnect(this);
    delete TabSheet1;
    delete TabSheet2;
}

const bool& Twnd_pv_Main::Searching() const { return FListing->Searching(); }

const bool& Twnd_pv_Main::Browsing() const { return FListing->Browsing(); }

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
    new TRightButtonBand(FileList, false);
    Splitter3->setStretchFactor(0, 0);
    Splitter3->setStretchFactor(1, 1);
    Splitter3->setSizes({kTreeWidth, kMainClientWidth - kTreeWidth});

    pc = Named(new QTabWidget(Splitter2), "pc", "TPageControl");
    pc->setDocumentMode(true);
    QTabBar* tabs = pc->tabBar();
    QFont bold = tabs->font();
    bold.setBold(true);
    tabs->setFont(bold);
    tabs->setCursor(Qt::PointingHandCursor);
    tabs->setStyleSheet(QStringLiteral("QTabBar::tab { height: %1px; }").arg(kTabHeight));

    TabSheet1 = new TIconTab(*FWork, FFileIcons.Icons(),
                             {"TabSheet1", "Splitter1", "IconList", "IconBox", kHint, kHint,
                              QAbstractItemView::ExtendedSelection, kMainClientWidth, kImageListBackground, false});
    TabSheet2 = new TIconTab(*FWork, FLibrary.Icons(),
                             {"TabSheet2", "Splitter4", "ICLList", "ICLBox", kHint, QT_TR_NOOP("右键单击菜单"),
                              QAbstractItemView::SingleSelection, kMainClientWidth, kICLImagesBackground, true});

    pc->addTab(TabSheet1, style()->standardIcon(QStyle::SP_FileIcon), tr(" 当前查看 "));
    pc->addTab(TabSheet2, style()->standardIcon(QStyle::SP_DirIcon), tr(" 图标库 "));
    pc->setIconSize(QSize(16, 16));

    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setSizes({kShellPanelHeight, kMainClientHeight - kShellPanelHeight});

    sb = Named(new TPanelStatusBar({kStatusPanel0Width, 0}, this), "sb", "TStatusBar");
    sb->setFixedHeight(kStatusBarHeight);
    sb->SetPanelText(1, ReadyText());
    setStatusBar(sb);

    Saving = std::make_unique<TSaveCommands>(this);
}

void Twnd_pv_Main::CreateMenus() {
    // The menus: those of the menu bar, then the popups of the views, by name.
    struct TMenu {
        const char* Name;
        const char* Caption;  // of a menu-bar menu; none for a popup
    };
    static const TMenu kMenus[] = {{"FileMenu", QT_TR_NOOP("文件")},
                                   {"EditMenu", QT_TR_NOOP("编辑")},
                                   {"HelpMenu", QT_TR_NOOP("帮助")},
                                   {"FileListPopup", nullptr},
                                   {"IconListPopup", nullptr},
                                   {"IconBoxPopup", nullptr},
                                   {"ICLPopup", nullptr},
                                   {"ICLBoxPopup", nullptr}};
    // Their items in order: a separator has no name; an item without a command is a submenu,
    // the items after it naming it as their menu. An item carries its Tag as its data.
    using TPlain = void (Twnd_pv_Main::*)();
    using TTagged = void (Twnd_pv_Main::*)(int);
    struct TItem {
        const char* Menu;
        const char* Name;
        const char* Caption = nullptr;
        TPlain Command = nullptr;
        TTagged Tagged = nullptr;
        int Tag = 0;
        QKeyCombination Shortcut = {};  // none: Qt::Key_unknown
        bool Radio = false;             // one of its menu's radio items; the first is checked
    };
    const TItem kItems[] = {
        {"FileMenu", "Newlibrary1", QT_TR_NOOP("新建图标库"), &Twnd_pv_Main::cmNewlibrary, {}, 0, Qt::CTRL | Qt::Key_N},
        {"FileMenu",
         "Savelibrary1",
         QT_TR_NOOP("保存图标库..."),
         &Twnd_pv_Main::cmSavelibrary,
         {},
         0,
         Qt::CTRL | Qt::Key_S},
        {"FileMenu", nullptr},
        {"FileMenu", "mmSearch", QT_TR_NOOP("搜索..."), &Twnd_pv_Main::mmSearchClick, {}, 0, Qt::CTRL | Qt::Key_F},
        {"FileMenu", nullptr},
        {"FileMenu", "Refresh1", QT_TR_NOOP("刷新"), &Twnd_pv_Main::cmRefresh, {}, 0, QKeyCombination(Qt::Key_F5)},
        {"FileMenu", nullptr},
        {"FileMenu", "mmExit", QT_TR_NOOP("退出"), &Twnd_pv_Main::cmExit},
        {"EditMenu", "Addfilestolibrary1", QT_TR_NOOP("添加文件到图标库"), {}, &Twnd_pv_Main::cmAddFiles},
        {"EditMenu", "Addiconstolibrary1", QT_TR_NOOP("添加图标到图标库"), {}, &Twnd_pv_Main::cmAddIcons},
        {"EditMenu", "Removeiconsfromlibrary1", QT_TR_NOOP("从图标库移除图标"), &Twnd_pv_Main::cmRemoveIcons},
        {"HelpMenu", "About1", QT_TR_NOOP("关于..."), &Twnd_pv_Main::About1Click},

        {"FileListPopup", "Addtolibrary1", QT_TR_NOOP("添加到图标库")},
        {"Addtolibrary1", "Selected2", QT_TR_NOOP("选定对象"), {}, &Twnd_pv_Main::cmAddFiles},
        {"Addtolibrary1", "All2", QT_TR_NOOP("所有对象"), {}, &Twnd_pv_Main::cmAddFiles, 1},
        {"FileListPopup", nullptr},
        {"FileListPopup", "mmRefresh", QT_TR_NOOP("刷新"), &Twnd_pv_Main::cmRefresh},

        {"IconListPopup", "mmAddIcon", QT_TR_NOOP("添加到图标库")},
        {"mmAddIcon", "Selected1", QT_TR_NOOP("选定对象"), {}, &Twnd_pv_Main::cmAddIcons},
        {"mmAddIcon", "All1", QT_TR_NOOP("所有对象"), {}, &Twnd_pv_Main::cmAddIcons, 1},
        {"IconListPopup", nullptr},
        {"IconListPopup", "SavetoIcon1", QT_TR_NOOP("保存为图标")},
        {"SavetoIcon1", "Selected3", QT_TR_NOOP("选定对象"), {}, &Twnd_pv_Main::cmSaveIcons},
        {"SavetoIcon1", "All3", QT_TR_NOOP("所有对象"), {}, &Twnd_pv_Main::cmSaveIcons, 1},
        {"IconListPopup", nullptr},
        {"IconListPopup", "View1", QT_TR_NOOP("查看")},
        {"View1", "Icons1", QT_TR_NOOP("图标"), {}, &Twnd_pv_Main::Icons1Click, 0, {}, true},
        {"View1", "iles1", QT_TR_NOOP("平铺"), {}, &Twnd_pv_Main::Icons1Click, 1, {}, true},

        {"IconBoxPopup", "mmSavetoIcon", QT_TR_NOOP("保存为图标..."), &Twnd_pv_Main::mmSavetoIconClick},
        {"IconBoxPopup", "mmSaveToBMP", QT_TR_NOOP("保存为位图..."), &Twnd_pv_Main::cmSaveToBMP},

        {"ICLPopup", "Savelibrary2", QT_TR_NOOP("保存图标库..."), &Twnd_pv_Main::cmSavelibrary},
        {"ICLPopup", nullptr},
        {"ICLPopup", "Removeselected1", QT_TR_NOOP("移除选定对象"), &Twnd_pv_Main::cmRemoveIcons},
        {"ICLPopup", "Newlibrary2", QT_TR_NOOP("清空图标库"), &Twnd_pv_Main::cmNewlibrary},
        {"ICLPopup", nullptr},
        {"ICLPopup", "Saveicon1", QT_TR_NOOP("保存为图标..."), &Twnd_pv_Main::Saveicon1Click},
        {"ICLPopup", nullptr},
        {"ICLPopup", "View2", QT_TR_NOOP("查看")},
        {"View2", "Icons2", QT_TR_NOOP("图标"), {}, &Twnd_pv_Main::Icons2Click, 0, {}, true},
        {"View2", "iles2", QT_TR_NOOP("平铺"), {}, &Twnd_pv_Main::Icons2Click, 1, {}, true},

        {"ICLBoxPopup", "MenuItem1", QT_TR_NOOP("保存为图标..."), &Twnd_pv_Main::MenuItem1Click},
        {"ICLBoxPopup", "MenuItem2", QT_TR_NOOP("保存为位图..."), &Twnd_pv_Main::MenuItem2Click},
    };

    std::map<QString, QMenu*> menus;
    for (const TMenu& m : kMenus) {
        QMenu* menu = m.Caption ? menuBar()->addMenu(Text(m.Caption)) : new QMenu(this);
        menus[QLatin1String(m.Name)] = Named(menu, m.Name);
    }
    std::map<QMenu*, QActionGroup*> radios;
    for (const TItem& item : kItems) {
        QMenu* menu = menus.at(QLatin1String(item.Menu));
        if (!item.Name) {
            menu->addSeparator();
        } else if (!item.Command && !item.Tagged) {
            QMenu* sub = Named(menu->addMenu(Text(item.Caption)), item.Name);
            sub->menuAction()->setObjectName(QLatin1String(item.Name));
            menus[QLatin1String(item.Name)] = sub;
        } else {
            auto* action = Named(new QAction(Text(item.Caption), this), item.Name);
            if (item.Shortcut.key() != Qt::Key_unknown) action->setShortcut(QKeySequence(item.Shortcut));
            action->setData(item.Tag);
            menu->addAction(action);
            if (item.Radio) {
                QActionGroup*& group = radios[menu];
                action->setCheckable(true);
                action->setChecked(!group);
                if (!group) group = new QActionGroup(this);
                group->addAction(action);
            }
            connect(action, &QAction::triggered, this, [this, item] {
                Runner->Run([&] { item.Command ? (this->*item.Command)() : (this->*item.Tagged)(item.Tag); });
            });
        }
    }
    AttachPopup(FileList, menus.at(QStringLiteral("FileListPopup")));
    AttachPopup(TabSheet1->List(), menus.at(QStringLiteral("IconListPopup")));
    AttachPopup(TabSheet1->Box(), menus.at(QStringLiteral("IconBoxPopup")));
    AttachPopup(TabSheet2->List(), menus.at(QStringLiteral("ICLPopup")));
    AttachPopup(TabSheet2->Box(), menus.at(QStringLiteral("ICLBoxPopup")));
}

// --- start and close ---------------------------------------------------------------------

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
    FListing->Start(FStartFile);
    FStartFile.clear();
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
    FListing->Close();
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

// --- commands ----------------------------------------------------------------------------

void Twnd_pv_Main::cmRefresh() {
    FListing->Refresh();
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
    const TIconTab* tab = index == 0 ? TabSheet1 : TabSheet2;
    // The box keeps listing the images of the icon selected last; with no icon selected it is
    // emptied.
    if (!tab->List()->selectionModel()->hasSelection()) tab->Images()->Clear();
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
    for (TIconTab* tab : {TabSheet1, TabSheet2}) {
        FSelectionHandlers << connect(tab->List()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                                      [this, tab](const QItemSelection& selected, const QItemSelection& deselected) {
                                          Runner->Run([&] {
                                              for (const QModelIndex& index : deselected.indexes())
                                                  tab->IconSelectionChanged(index.row(), false);
                                              for (const QModelIndex& index : selected.indexes())
                                                  tab->IconSelectionChanged(index.row(), true);
                                          });
                                      });
    }
}

void Twnd_pv_Main::EmptyCurrentFileView() {
    // The file being read is no longer chosen: its icons never come, and its busy state ends.
    if (FFileReader->Pending() > 0) Runner->Abandon(*FFileReader);
    TabSheet1->Images()->Clear();
    TabSheet1->Icons()->Clear();
    FCurrentFile.clear();
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
    pc->setTabText(pc->indexOf(TabSheet1), CountCaption(kCurrentFileCaption, 0));

    TCommandSteps steps;
    steps.BusyText = tr("正在检索图标...");
    steps.BeginUpdate = [this] { TabSheet1->List()->setUpdatesEnabled(false); };
    steps.EndUpdate = [this] {
        TabSheet1->HideIconsWithoutImages();
        TabSheet1->List()->setUpdatesEnabled(true);
    };
    steps.ReadyText = [this] {
        // arg, never a printf format: a translation is a text, and one with other directives
        // than its source (a wrong catalog) must not make printf read arguments that are not there.
        return tr("就绪 (%1 秒)").arg((TickCount() - FStartTick) / 1000.0, 0, 'f', 2);
    };
    steps.AfterReady = [this] {
        pc->setTabText(pc->indexOf(TabSheet1), CountCaption(kCurrentFileCaption, TabSheet1->ListedIcons()));
        pc->setCurrentWidget(TabSheet1);
    };
    // The file is read on a worker, so that the window answers while a large file is read; a
    // file chosen meanwhile abandons it. The view is empty until its icons come.
    Runner->RunInBackground<TIconLibrary>(
        steps, *FFileReader,
        [path](TIconLibrary& read, const std::atomic<bool>& cancel) { LoadIcons(path, read, &cancel); },
        [this](TIconLibrary& read) {
            // The icons read before an error are listed too.
            TabSheet1->Icons()->Refill([&] { FFileIcons.Icons().Assign(read.Icons()); });
        });
}

bool Twnd_pv_Main::Reading() const { return FFileReader->Pending() > 0 || FLibraryReader->Pending() > 0; }

void Twnd_pv_Main::Icons1Click(int Tag) { TabSheet1->SetTileView(Tag == 1); }

void Twnd_pv_Main::Icons2Click(int Tag) { TabSheet2->SetTileView(Tag == 1); }

void Twnd_pv_Main::ShowLibraryCount() {
    pc->setTabText(pc->indexOf(TabSheet2), CountCaption(kLibraryCaption, FLibrary.Icons().Count()));
}

TCommandSteps Twnd_pv_Main::LibrarySteps(const char* busyText) {
    TCommandSteps steps;
    steps.BusyText = Text(busyText);
    steps.BeginUpdate = [this] { TabSheet2->List()->setUpdatesEnabled(false); };
    steps.EndUpdate = [this] { TabSheet2->List()->setUpdatesEnabled(true); };
    steps.AfterReady = [this] { ShowLibraryCount(); };
    return steps;
}

void Twnd_pv_Main::cmAddFiles(int Tag) {
    const bool all = Tag == 1;
    QItemSelectionModel* selection = FileList->selectionModel();
    if (!all && !selection->hasSelection()) return;
    TCommandSteps steps = LibrarySteps(QT_TR_NOOP("添加文件到图标库..."));
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
        [files = std::move(files)](TIconLibrary& read, const std::atomic<bool>& cancel) {
            LoadIcons(files, read, &cancel);
        },
        [this](TIconLibrary& read) {
            TIconList& icons = read.Icons();
            for (int i = 0; i < icons.Count(); ++i)
                FLibrary.Icons().AddIcon(FLibrary.Icons().UniqueName(icons.Name(i)), icons.Take(i));
            TabSheet2->ShowAppended();
        });
}

void Twnd_pv_Main::cmAddIcons(int Tag) {
    const bool all = Tag == 1;
    const QItemSelectionModel* selection = TabSheet1->List()->selectionModel();
    if (!all && !selection->hasSelection()) return;
    Runner->Run(LibrarySteps(QT_TR_NOOP("添加图标到图标库...")), [&] {
        for (int i = 0; i < TabSheet1->Icons()->rowCount(); ++i) {
            if (TabSheet1->List()->isRowHidden(i) || (!all && !selection->isRowSelected(i, {}))) continue;
            const TAdvancedIcon* source = FFileIcons.Icons().Icon(i);
            // An independent copy (the view's icons go when another file is viewed): it shares
            // the images' bytes and decodes nothing.
            std::unique_ptr<TAdvancedIcon> copy = source->Create();
            copy->Assign(*source);
            FLibrary.Icons().AddIcon(FFileIcons.Icons().Name(i), std::move(copy));
        }
        TabSheet2->ShowAppended();
    });
}

void Twnd_pv_Main::cmRemoveIcons() {
    if (!TabSheet2->List()->selectionModel()->hasSelection()) return;
    Runner->Run(LibrarySteps(QT_TR_NOOP("正在移除图标...")), [this] { TabSheet2->RemoveSelected(); });
}

void Twnd_pv_Main::cmNewlibrary() {
    // Files still being added would fill the new library: they are dropped with the old one.
    Runner->Abandon(*FLibraryReader);
    Runner->Run(LibrarySteps(QT_TR_NOOP("正在清空图标库...")), [this] {
        TabSheet2->Images()->Clear();
        TabSheet2->Icons()->Clear();
    });
}

void Twnd_pv_Main::cmSavelibrary() {
    // The proposal: the selected folder's name with the library extension (only the extension
    // for a path that ends in a delimiter).
    const QString folder = ShellTree->Path();
    const std::optional<std::string> fileName =
        Saving->AskName(TSaveCommands::Library, folder.mid(folder.lastIndexOf(u'/') + 1) + ".icl");
    if (!fileName) return;
    TCommandSteps steps;
    steps.BusyText = tr("正在保存图标库...");
    Runner->Run(steps, [&] { FLibrary.SaveToFile(*fileName); });
}

void Twnd_pv_Main::mmSavetoIconClick() { Saving->SaveBoxImageAsIcon(FFileIcons, *TabSheet1); }

void Twnd_pv_Main::MenuItem1Click() { Saving->SaveBoxImageAsIcon(FLibrary, *TabSheet2); }

void Twnd_pv_Main::cmSaveToBMP() { Saving->SaveBoxImageAsBitmap(FFileIcons, *TabSheet1); }

void Twnd_pv_Main::MenuItem2Click() { Saving->SaveBoxImageAsBitmap(FLibrary, *TabSheet2); }

void Twnd_pv_Main::Saveicon1Click() { Saving->SaveSelectedIcon(FLibrary, *TabSheet2); }

void Twnd_pv_Main::cmSaveIcons(int Tag) { Saving->SaveIconsToFolder(FFileIcons, *TabSheet1, Tag == 1, *Runner); }
