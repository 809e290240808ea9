#include "app/FileListing.h"

#include "app/CommandRunner.h"
#include "app/SearchDlg.h"
#include "search/FileTimes.h"
#include "widgets/ExplorerDrop.h"
#include "widgets/FileListView.h"
#include "widgets/FoundFilesModel.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/ShellTree.h"

#include <QCoreApplication>

#include <sys/stat.h>

#include <utility>

using namespace pictavo;

namespace {

const char* const kListingText = QT_TRANSLATE_NOOP("TFileListing", "正在搜索文件...");
// In a folder listing the counters show and the window takes its messages at every this many
// examined files (a search does so at every file).
constexpr int kListingMessageInterval = 100;

}  // namespace

TFileListing::TFileListing(TShellTree* tree, TFileListView* list, TPanelStatusBar* status, Twnd_pv_Search* dialog,
                           TCommandRunner& runner, QObject* parent)
    : QObject(parent), ShellTree(tree), FileList(list), sb(status), wnd_pv_Search(dialog), Runner(runner) {
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
    ExplorerDrop->OnDropped = [this](TExplorerDrop& sender, const QStringList&, int, int, int) {
        Runner.Run([&] { ExplorerDropDropped(sender.FileBytes()); });
    };

    connect(wnd_pv_Search, &Twnd_pv_Search::StartRequested, this,
            [this](const QString& masks, bool subfolders) { Runner.Run([&] { SearchRequested(masks, subfolders); }); });
    connect(wnd_pv_Search, &Twnd_pv_Search::StopRequested, this, [this] {
        Runner.Run([this] {
            FBrowsing = false;
            FindFile.Abort();  // the run ends through the finish handler
        });
    });
}

void TFileListing::Start(const QString& startFile) {
    FStartFile = startFile;
    FTreeChange = connect(ShellTree, &TShellTree::Change, this, [this] { Runner.Run([this] { ShellTreeChange(); }); });
    // The folder is listed as soon as the window is on screen, so that it shows while it fills.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (FClosed) return;
            Runner.Run([this] { ShellTreeChange(); });
            SelectStartFile();
        },
        Qt::QueuedConnection);
}

void TFileListing::Refresh() {
    ShellTree->Refresh();
    ShellTreeChange();
}

void TFileListing::Close() {
    FClosed = true;
    disconnect(FTreeChange);
    // A run in progress ends, and nothing waits to be listed after it.
    FListingPending = false;
    FindFile.Abort();
}

void TFileListing::SearchRequested(const QString& masks, bool subfolders) {
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

void TFileListing::ShellTreeChange() {
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

void TFileListing::SetListingCriteria() {
    TFileCriteria& files = FindFile.Criteria().Files;
    files.Subfolders = false;
    files.Location = ShellTree->Path().toStdString();
    files.FileName = "*.*";
}

void TFileListing::ExecuteFindFile() {
    FindFile.Execute();
    while (FListingPending && !FClosed) {
        FListingPending = false;
        FBrowsing = true;
        SetListingCriteria();
        FindFile.Execute();
    }
    // Files dropped while it ran, in the order they came.
    while (!FPendingDrops.empty() && !FClosed && !FSearching) ExplorerDropDropped(std::exchange(FPendingDrops, {}));
}

void TFileListing::ShowCounters() { sb->SetPanelText(0, QString::fromStdString(FFileSearch.Counters().Text())); }

void TFileListing::SelectStartFile() {
    if (FStartFile.isEmpty() || FClosed) return;
    const QString name = std::exchange(FStartFile, {});
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

void TFileListing::FindFileSearchBegin(TFindFile&) {
    FFileSearch.Begin();
    FSearching = true;
    FileList->Model()->BeginUpdate();
    if (wnd_pv_Search->ClearOnBegin()) FileList->Model()->Clear();
    emit RunBegun();
    wnd_pv_Search->SetRunning(true);
    if (FBrowsing) {
        sb->SetPanelText(1, tr(kListingText));
        sb->RepaintNow();
        SetBusyCursor();
    }
}

void TFileListing::FindFileFolderChange(TFindFile&, const std::string& Folder, bool&) {
    FFileSearch.FolderEntered();
    ShowCounters();
    sb->SetPanelText(1, QString::fromStdString(Folder));
}

void TFileListing::FindFileFileMatch(TFindFile&, const std::string& Folder, const TSearchRec& FileInfo) {
    FFileSearch.SkipDuplicates = wnd_pv_Search->SkipDuplicates();
    const int examined = FFileSearch.Counters().Files;
    TIconFileRow row;
    if (FFileSearch.FileFound(Folder, FileInfo, row)) {
        FileList->Model()->AddRow(row);
        QCoreApplication::sendPostedEvents(FileList->window(), QEvent::UpdateRequest);
    }
    const int files = FFileSearch.Counters().Files;
    if (files == examined) return;  // a name met before in this run: neither counted nor listed
    if (!FBrowsing || files % kListingMessageInterval == 0) {
        ShowCounters();
        QCoreApplication::processEvents();
    }
}

void TFileListing::FindFileSearchFinish(TFindFile&) {
    FSearching = false;
    FBrowsing = false;
    sb->SetPanelText(1, ReadyText());
    wnd_pv_Search->SetRunning(false);
    ShowCounters();
    FileList->Model()->EndUpdate();
    SetDefaultCursor();
}

void TFileListing::ExplorerDropDropped(const std::vector<std::string>& Files) {
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
                QCoreApplication::sendPostedEvents(FileList->window(), QEvent::UpdateRequest);
            }
        }
    } catch (...) {
        FindFileSearchFinish(FindFile);
        throw;
    }
    FindFileSearchFinish(FindFile);
}
