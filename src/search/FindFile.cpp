#include "search/FindFile.h"

#include "search/FileTimes.h"
#include "search/SearchMasks.h"

#include "base/Text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>
#include <utility>

namespace pictavo {

namespace {

// Nesting the walk enters at most: its recursion and its one descriptor per level stay
// bounded. Links cannot lead deeper than the tree, since each folder is walked once; a folder
// below this depth is reported as one that cannot be entered (ELOOP).
constexpr int kMaxFolderDepth = 2048;

struct TDirEntry {
    std::string Name;
    unsigned char Type;  // d_type
};

// A folder as the file system knows it, whatever path led to it.
struct TFolderId {
    dev_t Dev;
    ino_t Ino;
    auto operator<=>(const TFolderId&) const = default;
};

// An owned file descriptor.
class TFd {
public:
    explicit TFd(int fd) : FFd(fd) {}
    ~TFd() {
        if (FFd >= 0) ::close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

int ReadFolder(int fd, std::vector<TDirEntry>& entries) {
    const int listFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (listFd < 0) return errno;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        const int error = errno;
        ::close(listFd);
        return error;
    }
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (!e) {
            error = errno;
            break;
        }
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        entries.push_back({e->d_name, e->d_type});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const TDirEntry& a, const TDirEntry& b) {
        const int order = CompareTextAscii(a.Name, b.Name);
        return order != 0 ? order < 0 : a.Name < b.Name;
    });
    return error;
}

// Fills an entry record from the file system, all but the read-only bit (AddReadOnly);
// answers 0 or the errno when the entry cannot be looked at (vanished meanwhile: ENOENT; a
// folder that may not be searched: EACCES).
int StatEntry(int dirFd, const std::string& name, TSearchRec& rec) {
    struct statx st {};
    const unsigned mask = STATX_TYPE | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_CTIME | STATX_BTIME;
    if (::statx(dirFd, name.c_str(), AT_STATX_SYNC_AS_STAT, mask, &st) != 0 &&
        ::statx(dirFd, name.c_str(), AT_STATX_SYNC_AS_STAT | AT_SYMLINK_NOFOLLOW, mask, &st) != 0)
        return errno;
    rec.Name = name;
    rec.Attr = 0;
    // A folder's size is 0, as the folder listing of the original platform reports it.
    rec.Size = S_ISDIR(st.stx_mode) ? 0 : static_cast<int64_t>(st.stx_size);
    if (S_ISDIR(st.stx_mode)) rec.Attr |= faDirectory;
    if (S_ISREG(st.stx_mode)) rec.Attr |= faArchive;
    if (!name.empty() && name[0] == '.') rec.Attr |= faHidden;
    rec.FindData.LastWriteTime = ToFileTime(st.stx_mtime);
    rec.FindData.LastAccessTime = ToFileTime(st.stx_atime);
    rec.FindData.CreationTime = ToFileTime((st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_ctime);
    rec.Time = DosDateTime(st.stx_mtime.tv_sec);
    return 0;
}

// Read-only: the file system says the effective user may not write the entry (mode bits,
// owner, access lists, the immutable flag, a read-only mount, the super-user's rights). A call
// of its own, as costly as the look at the entry, so it is made only where the bit is needed.
void AddReadOnly(int dirFd, TSearchRec& rec) {
    if (::faccessat(dirFd, rec.Name.c_str(), W_OK, AT_EACCESS) != 0) rec.Attr |= faReadOnly;
}

// The depth-first walk of one run's plan, shared by both modes. Each folder is opened relative
// to its parent's descriptor, so paths of any length are walked; one descriptor stays open per
// level. A folder that cannot be entered is reported, never passed over silently.
class TWalker {
public:
    TWalker(const TTargetSearch& plan, std::function<bool()> stopped,
            std::function<bool(const std::string&)> folderNotice,
            std::function<void(const std::string&, const TSearchRec&)> matchNotice,
            std::function<void(const std::string&, int)> errorNotice)
        : FPlan(plan),
          FStopped(std::move(stopped)),
          FFolderNotice(std::move(folderNotice)),
          FMatchNotice(std::move(matchNotice)),
          FErrorNotice(std::move(errorNotice)),
          FFoldersRefused((plan.Attribute.Mask() & faDirectory) == 0),
          FReadOnlyTested(plan.Attribute.ExactMatch || (plan.Attribute.Mask() & faReadOnly) == 0) {}

    void Run() {
        const auto& folders = FPlan.TargetFolders.Folders();
        for (size_t i = folders.size(); i-- > 0 && !FStopped();) {
            FCurrent = folders[i].get();
            // Each target walks its folders once; a folder that two targets reach is walked
            // for each, since their masks differ.
            FVisited.clear();
            const std::string& path = FCurrent->Path;
            SearchIn(AT_FDCWD, path.empty() ? "." : path.c_str(), path, nullptr);
        }
    }

private:
    // Searches the folder Name in the folder open as ParentFd; Path is its full path for the
    // events; Reached is its identity when the parent's listing already recorded it as visited.
    void SearchIn(int parentFd, const char* name, const std::string& path, const TFolderId* reached) {
        if (!FFolderNotice(path)) return;
        if (FLevel >= kMaxFolderDepth) return FErrorNotice(path, ELOOP);
        const TFd fd(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.Get() < 0) return FErrorNotice(path, errno);
        struct stat self {};
        if (::fstat(fd.Get(), &self) != 0) return FErrorNotice(path, errno);
        // A folder swapped in since the parent's listing is walked only when it is new.
        const TFolderId id{self.st_dev, self.st_ino};
        if ((!reached || id != *reached) && !FVisited.insert(id).second) return;

        std::vector<TDirEntry> entries;
        if (const int error = ReadFolder(fd.Get(), entries)) FErrorNotice(path, error);
        ++FLevel;
        struct LevelGuard {
            int& level;
            ~LevelGuard() { --level; }
        } guard{FLevel};

        // Entries that cannot be looked at although they are listed: the folder may be read
        // but not searched. Reported once, and the folder is left.
        auto unsearchable = [&](int error) {
            if (error != EACCES) return false;  // this entry alone: vanished, a link loop, ...
            FErrorNotice(path, error);
            return true;
        };

        if (FLevel >= FCurrent->MinLevel) {
            TSearchRec rec;
            for (size_t m = FCurrent->Masks.size(); m-- > 0 && !FStopped();) {
                const std::string& mask = FCurrent->Masks[m];
                for (const TDirEntry& e : entries) {
                    if (e.Type == DT_DIR && FFoldersRefused) continue;  // the attribute test would refuse it
                    if (!EnumerationMatch(e.Name, mask)) continue;
                    if (const int error = StatEntry(fd.Get(), e.Name, rec)) {
                        if (unsearchable(error)) return;
                        continue;
                    }
                    if (FReadOnlyTested) AddReadOnly(fd.Get(), rec);
                    if (FPlan.IsAcceptable(path, rec, fd.Get())) {
                        if (!FReadOnlyTested) AddReadOnly(fd.Get(), rec);
                        FMatchNotice(path, rec);
                    }
                    if (FStopped()) break;
                }
            }
        }
        if (FCurrent->Subfolders && (FCurrent->MaxLevel == 0 || FLevel < FCurrent->MaxLevel) && !FStopped()) {
            for (const TDirEntry& e : entries) {
                if (FStopped()) break;
                if (e.Type != DT_DIR && e.Type != DT_LNK && e.Type != DT_UNKNOWN) continue;
                struct stat st {};
                if (::fstatat(fd.Get(), e.Name.c_str(), &st, 0) != 0) {
                    if (unsearchable(errno)) return;
                    continue;
                }
                if (!S_ISDIR(st.st_mode)) continue;
                // Each folder once per target: a link back to an ancestor, or several links to
                // one folder, would otherwise make the walk endless or exponential.
                const TFolderId child{st.st_dev, st.st_ino};
                if (!FVisited.insert(child).second) continue;
                SearchIn(fd.Get(), e.Name.c_str(), path + e.Name + "/", &child);
            }
        }
    }

    const TTargetSearch& FPlan;
    std::function<bool()> FStopped;
    std::function<bool(const std::string&)> FFolderNotice;
    std::function<void(const std::string&, const TSearchRec&)> FMatchNotice;
    std::function<void(const std::string&, int)> FErrorNotice;
    const TTargetFolder* FCurrent = nullptr;
    const bool FFoldersRefused;  // the plan accepts no folder entry: those need no look
    // The attribute test can refuse an entry for its read-only bit; otherwise the bit is asked
    // for only once an entry is accepted.
    const bool FReadOnlyTested;
    int FLevel = 0;
    std::set<TFolderId> FVisited;
};

}  // namespace

TTargetFolder& TTargetFolderList::AddFolder(const std::string& Path) {
    const std::string normal = NormalizeFolder(Path);
    for (auto& f : FFolders)
        if (f->Path == normal) return *f;
    auto folder = std::make_unique<TTargetFolder>();
    folder->Path = normal;
    FFolders.insert(FFolders.begin(), std::move(folder));
    return *FFolders.front();
}

TTargetSearch::TTargetSearch(const TSearchCriteria& Criteria) {
    BuildTargets(Criteria.Files);
    Attribute.Assign(Criteria.Attribute);
    TimeStamp.Assign(Criteria.TimeStamp);
    Size.Assign(Criteria.Size);
    Content.Assign(Criteria.Content);
    if (!Content.Phrase().empty())
        Attribute.SetAttributes(static_cast<TFileAttributes>(Attribute.Attributes() & ~AttrSet({ffDirectory})));
}

void TTargetSearch::BuildTargets(const TFileCriteria& Files) {
    TargetFolders.Excluded = Files.Excluded;
    for (const std::string& line : Files.Included) {
        bool sub = false;
        const std::string entry = ParseSubfolderPrefix(line, Files.Subfolders, sub);
        // A ":" is part of a name here (there are no drives): the folder part ends at the last "/".
        const size_t sep = entry.rfind('/');
        const std::string folderPart = sep == std::string::npos ? std::string() : entry.substr(0, sep + 1);
        const std::string namePart = sep == std::string::npos ? entry : entry.substr(sep + 1);
        TTargetFolder& folder = TargetFolders.AddFolder(folderPart);
        folder.Masks.push_back(namePart);
        folder.Subfolders = sub;
    }
    const std::vector<std::string> masks = SplitList(Files.FileName);
    for (const std::string& location : SplitList(Files.Location)) {
        bool sub = false;
        const std::string path = ParseSubfolderPrefix(location, Files.Subfolders, sub);
        TTargetFolder& folder = TargetFolders.AddFolder(path);
        folder.Masks.insert(folder.Masks.end(), masks.begin(), masks.end());
        folder.Subfolders = sub;
        folder.MinLevel = Files.MinLevel;
        folder.MaxLevel = Files.MaxLevel;
    }
}

bool TTargetSearch::IsExcluded(const std::string& Folder, const std::string& Name) const {
    const auto& lines = TargetFolders.Excluded;
    for (size_t i = lines.size(); i-- > 0;)
        if (MatchesExclusion(Folder, Name, lines[i])) return true;
    return false;
}

bool TTargetSearch::IsAcceptable(const std::string& Folder, const TSearchRec& Entry) const {
    return IsAcceptable(Folder, Entry, AT_FDCWD);
}

bool TTargetSearch::IsAcceptable(const std::string& Folder, const TSearchRec& Entry, int FolderFd) const {
    if (!Attribute.Matches(Entry.Attr)) return false;
    if (!Size.Matches(static_cast<uint64_t>(Entry.Size))) return false;
    if (!TimeStamp.Matches(Entry.FindData.CreationTime, Entry.FindData.LastWriteTime, Entry.FindData.LastAccessTime))
        return false;
    if (IsExcluded(Folder, Entry.Name)) return false;
    if (FolderFd == AT_FDCWD) return Content.Matches(Folder + Entry.Name);
    return Content.Matches(FolderFd, Entry.Name);
}

TFindFile::~TFindFile() {
    if (FBusy) {
        FDestroying = true;
        Abort();
        while (FBusy && FThread.joinable() && HandOver) HandOver->ProcessPending();
    }
    if (FThread.joinable()) FThread.join();
}

void TFindFile::DoSearchBegin() {
    if (OnSearchBegin) OnSearchBegin(*this);
}

void TFindFile::DoSearchFinish() {
    if (OnSearchFinish && !FDestroying) OnSearchFinish(*this);
}

void TFindFile::DoSearchAbort() {
    if (OnSearchAbort && !FDestroying) OnSearchAbort(*this);
}

bool TFindFile::DoFolderChange(const std::string& Folder) {
    bool ignore = FAborted;
    if (!FAborted && OnFolderChange) OnFolderChange(*this, Folder, ignore);
    return !ignore;
}

void TFindFile::DoFileMatch(const std::string& Folder, const TSearchRec& FileInfo) {
    if (!FAborted && OnFileMatch) OnFileMatch(*this, Folder, FileInfo);
}

void TFindFile::DoFolderError(const std::string& Folder, int Errno) {
    if (!FAborted && OnFolderError) OnFolderError(*this, Folder, Errno);
}

void TFindFile::SearchBegin() {
    FBusy = true;
    FAborted = false;
    FTerminate = false;
    FTargetSearch = std::make_unique<TTargetSearch>(FCriteria);
    DoSearchBegin();
}

void TFindFile::SearchFinish() {
    // Ready for the next run even when the finish handler raises an error.
    struct Ended {
        TFindFile& f;
        ~Ended() { f.SearchEnded(); }
    } ended{*this};
    DoSearchFinish();
}

void TFindFile::SearchEnded() {
    FTargetSearch.reset();
    FBusy = false;
}

void TFindFile::Execute() {
    if (FBusy) return;
    if (FThread.joinable()) FThread.join();  // a worker that has already handed its run back
    try {
        SearchBegin();
        if (Threaded && HandOver) {
            FThread = std::thread([this] { RunWorker(); });
            return;
        }
        TWalker walker(
            *FTargetSearch, [this] { return FAborted.load(); },
            [this](const std::string& folder) { return DoFolderChange(folder); },
            [this](const std::string& folder, const TSearchRec& rec) { DoFileMatch(folder, rec); },
            [this](const std::string& folder, int error) { DoFolderError(folder, error); });
        walker.Run();
    } catch (...) {
        // A handler's error reaches the caller; the component is ready for the next run.
        SearchEnded();
        throw;
    }
    SearchFinish();
}

void TFindFile::Abort() {
    if (!FBusy) return;
    FAborted = true;
    DoSearchAbort();
    FTerminate = true;
}

void TFindFile::RunWorker() {
    // Nice values stand in for thread priorities; raising one may be refused, which is harmless.
    static const int kNice[] = {19, 10, 5, 0, -5, -10, -20};
    const int nice = kNice[static_cast<int>(ThreadPriority)];
    if (nice != 0) (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), nice);
    try {
        if (!FTerminate) {
            TWalker walker(
                *FTargetSearch, [this] { return FTerminate.load(); },
                [this](const std::string& folder) {
                    bool search = false;
                    HandOver->Invoke([&] { search = DoFolderChange(folder); });
                    return search;
                },
                [this](const std::string& folder, const TSearchRec& rec) {
                    HandOver->Invoke([&] { DoFileMatch(folder, rec); });
                },
                [this](const std::string& folder, int error) {
                    HandOver->Invoke([&] { DoFolderError(folder, error); });
                });
            walker.Run();
        }
    } catch (...) {
        // The run ends as usual; the error is dropped.
    }
    HandOver->Post([this] { ThreadTerminated(); });
}

void TFindFile::ThreadTerminated() {
    if (FThread.joinable()) FThread.join();
    SearchFinish();
}

}  // namespace pictavo
