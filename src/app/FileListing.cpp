#include "app/FileListing.h"

#include "app/CommandRunner.h"
#include "app/SearchDlg.h"
#include "search/FileTimes.h"
#include "search/FindFile.h"
#include "widgets/ExplorerDrop.h"
#include "widgets/FileListView.h"
#include "widgets/FoundFilesModel.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/ShellTree.h"
#include "widgets/WorkService.h"

#include <sys/stat.h>

#include <mutex>
#include <utility>

using namespace pictavo;

namespace {

const char* const kListingText = QT_TRANSLATE_NOOP("TFileListing", "正在搜索文件...");
// A folder listing shows its counters at every this many examined files (a search does so at
// every file).
constexpr int kListingInterval = 100;
// The rows a run has found and the window has not taken yet. A row found hands a step back
// unless one is on its way already, which then takes it along: the window shows rows as they
// come, many at a time when it is busy, and never keeps one back until the next file has been
// examined (a run may wait for ever on a file of a share that stopped answering).
class TFoundRows {
public:
    // On the worker: true when the caller is to hand back a step that takes the rows.
    bool Add(TIconFileRow row) {
        std::lock_guard<std::mutex> lock(FLock);
        FRows.push_back(std::move(row));
        return !std::exchange(FStepOnItsWay, true);
    }
    // On the window's thread, in that step.
    std::vector<TIconFileRow> Take() {
        std::lock_guard<std::mutex> lock(FLock);
        FStepOnItsWay = false;
        return std::exchange(FRows, {});
    }

private:
    std::mutex FLock;
    std::vector<TIconFileRow> FRows;
    bool FStepOnItsWay = false;
};

}  // namespace

TFileListing::TFileListing(TWorkService& service, TShellTree* tree, TFileListView* list, TPanelStatusBar* status,
                           Twnd_pv_Search* dialog, TCommandRunner& runner, QObject* parent)
    : QObject(parent),
      ShellTree(tree),
      FileList(list),
      sb(status),
      wnd_pv_Search(dialog),
      Runner(runner),
      FRuns(new TWorkChannel(service, this, 1, TWorkChannel::TKind::ReadsFiles)) {
    ExplorerDrop = new TExplorerDrop(this);
    ExplorerDrop->setObjectName(QStringLiteral("ExplorerDrop"));
    ExplorerDrop->AllowFolders = false;
    ExplorerDrop->SetDestinationControl(FileList);
    // Files dropped while a run is in progress are listed after it, in a run of their own.
    ExplorerDrop->OnDropped = [this](TExplorerDrop& sender, const QStringList&, int, int, int) {
        Runner.Run([&] { Post(TRunKind::Drop, sender.FileBytes()); });
    };

    connect(wnd_pv_Search, &Twnd_pv_Search::StartRequested, this,
            [this](const QString& masks, bool subfolders) { Runner.Run([&] { SearchRequested(masks, subfolders); }); });
    connect(wnd_pv_Search, &Twnd_pv_Search::StopRequested, this, [this] { Runner.Run([this] { StopRuns(); }); });
}

void TFileListing::Start(const QString& startFile) {
    FStartFile = startFile;
    FTreeChange = connect(ShellTree, &TShellTree::Change, this, [this] { Runner.Run([this] { ShellTreeChange(); }); });
    // The folder is listed as soon as the window is on screen, so that it shows while it fills.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!FClosed) Runner.Run([this] { ShellTreeChange(); });
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
    StopRuns();
}

bool TFileListing::Busy() const { return FRuns->Pending() > 0; }

void TFileListing::StopRuns() {
    FRuns->Abandon();
    // The run in progress ends as a stopped run does: what it listed stays.
    if (FSearching) RunFinish();
}

void TFileListing::SearchRequested(const QString& masks, bool subfolders) {
    if (FSearching) {
        // The dialog's button stops the run in progress.
        StopRuns();
        return;
    }
    StopRuns();
    TFileCriteria& files = FCriteria.Files;
    files.Subfolders = subfolders;
    files.Location = ShellTree->Path().toStdString();
    files.FileName = masks.toStdString();
    Post(TRunKind::Search);
}

void TFileListing::ShellTreeChange() {
    StopRuns();
    TFileCriteria& files = FCriteria.Files;
    files.Subfolders = false;
    files.Location = ShellTree->Path().toStdString();
    files.FileName = "*.*";
    Post(TRunKind::Listing);
}

void TFileListing::Post(TRunKind kind, std::vector<std::string> dropped) {
    if (FClosed) return;
    auto criteria = std::make_shared<TSearchCriteria>();
    criteria->Assign(FCriteria);
    const bool skipDuplicates = kind != TRunKind::Drop && wnd_pv_Search->SkipDuplicates();
    // The work holds its own copies of what it needs and never touches this object: only its
    // steps do, on the window's thread, and only while the run is not abandoned.
    FRuns->PostReporting([this, kind, criteria, skipDuplicates, dropped = std::move(dropped),
                          cancel = FRuns->CancelFlag()](const TWorkService::THandBack& handBack) {
        handBack([this, kind] { RunBegin(kind); });
        TIconFileSearch search;
        search.SkipDuplicates = skipDuplicates;
        search.Begin();
        // Rows found are handed back at once (see TFoundRows).
        const auto found = std::make_shared<TFoundRows>();
        const auto rowFound = [&](TIconFileRow row) {
            if (!found->Add(std::move(row))) return;
            handBack([this, found] {
                for (const TIconFileRow& row : found->Take()) FileList->Model()->AddRow(row);
            });
        };
        // The counters show at every file a search examines, at every kListingInterval files
        // of a folder listing, and at each folder entered; a drop shows them at its end.
        TBatch batch;
        int countersShown = -1;
        const auto handBackDue = [&](bool folderEntered) {
            const TIconFileCounters& counters = search.Counters();
            const bool countersDue =
                folderEntered || (kind != TRunKind::Drop && counters.Files != countersShown &&
                                  (kind == TRunKind::Search || counters.Files % kListingInterval == 0));
            if (!countersDue) return;
            batch.Counters = counters;
            countersShown = counters.Files;
            handBack([this, batch = std::exchange(batch, {})]() mutable { ShowBatch(batch, false); });
        };
        if (kind == TRunKind::Drop) {
            for (const std::string& file : dropped) {
                if (cancel->load()) break;
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
                if (search.FileFound(folder, entry, row)) rowFound(std::move(row));
                handBackDue(false);
            }
        } else {
            TFindFile finder;
            finder.Criteria().Assign(*criteria);
            search.Attach(
                finder,
                [&](const std::string& folder) {
                    batch.Folder = folder;
                    handBackDue(true);
                },
                [&](const TIconFileRow& row) { rowFound(row); });
            const auto match = finder.OnFileMatch;
            finder.OnFileMatch = [&](TFindFile& sender, const std::string& folder, const TSearchRec& entry) {
                if (cancel->load()) {
                    sender.Abort();
                    return;
                }
                match(sender, folder, entry);
                handBackDue(false);
            };
            finder.Execute();
        }
        batch.Counters = search.Counters();
        return [this, batch = std::move(batch)]() mutable {
            ShowBatch(batch, true);
            RunFinish();
        };
    });
}

void TFileListing::RunBegin(TRunKind kind) {
    FSearching = true;
    FBrowsing = kind == TRunKind::Listing;
    FileList->Model()->BeginUpdate();
    if (wnd_pv_Search->ClearOnBegin()) FileList->Model()->Clear();
    emit RunBegun();
    wnd_pv_Search->SetRunning(true);
    if (FBrowsing) {
        sb->SetPanelText(1, tr(kListingText));
        SetBusyCursor();
    }
}

void TFileListing::ShowBatch(TBatch& batch, bool last) {
    if (batch.Counters) ShowCounters(*batch.Counters);
    if (!last && !batch.Folder.empty()) sb->SetPanelText(1, QString::fromStdString(batch.Folder));
}

void TFileListing::RunFinish() {
    FSearching = false;
    FBrowsing = false;
    sb->SetPanelText(1, ReadyText());
    wnd_pv_Search->SetRunning(false);
    FileList->Model()->EndUpdate();
    SetDefaultCursor();
    SelectStartFile();
}

void TFileListing::ShowCounters(const TIconFileCounters& counters) {
    sb->SetPanelText(0, QString::fromStdString(counters.Text()));
}

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
