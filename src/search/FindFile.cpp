#include "search/FindFile.h"

#include "base/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <set>
#include <utility>

namespace pictavo {

namespace {

// A guard far below anything a file system offers; links that lead back are caught earlier by
// the set of folders on the current path.
constexpr int kMaxFolderDepth = 2048;

constexpr int64_t kUnixEpochInFileTime = 116444736000000000LL;

int64_t ToFileTime(const struct statx_timestamp& t) {
    return kUnixEpochInFileTime + static_cast<int64_t>(t.tv_sec) * 10000000 + t.tv_nsec / 100;
}

uint32_t DosDateTime(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    if (!localtime_r(&t, &local)) return 0;
    int year = local.tm_year + 1900;
    if (year < 1980) return (1u << 21) | (1u << 16);  // 1980-01-01, the earliest it can hold
    if (year > 2107) year = 2107;
    return (static_cast<uint32_t>(year - 1980) << 25) | (static_cast<uint32_t>(local.tm_mon + 1) << 21) |
           (static_cast<uint32_t>(local.tm_mday) << 16) | (static_cast<uint32_t>(local.tm_hour) << 11) |
           (static_cast<uint32_t>(local.tm_min) << 5) | static_cast<uint32_t>(local.tm_sec / 2);
}

// Whether the effective user may write a file of this owner and mode (what a read-only flag
// means here); the super-user may write anything.
class TWriteAccess {
public:
    TWriteAccess() : FUid(::geteuid()) {
        FGroups.push_back(::getegid());
        const int n = ::getgroups(0, nullptr);
        if (n > 0) {
            std::vector<gid_t> more(static_cast<size_t>(n));
            if (::getgroups(n, more.data()) == n) FGroups.insert(FGroups.end(), more.begin(), more.end());
        }
    }
    bool Writable(uid_t owner, gid_t group, mode_t mode) const {
        if (FUid == 0) return true;
        if (owner == FUid) return mode & S_IWUSR;
        if (std::find(FGroups.begin(), FGroups.end(), group) != FGroups.end()) return mode & S_IWGRP;
        return mode & S_IWOTH;
    }

private:
    uid_t FUid;
    std::vector<gid_t> FGroups;
};

struct TDirEntry {
    std::string Name;
    unsigned char Type;  // d_type
};

// The platform's enumeration rule: "*" any run of characters, "?" any one, letters compared
// without regard to ASCII case; "*.*" and a trailing ".*" also take names without a dot.
bool EnumerationMatch(std::string_view name, std::string_view mask) {
    if (mask == "*" || mask == "*.*") return true;
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    auto glob = [&](std::string_view text, std::string_view pattern) {
        size_t t = 0, p = 0, starP = std::string_view::npos, starT = 0;
        while (t < text.size()) {
            if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(text[t]))) {
                ++t;
                ++p;
            } else if (p < pattern.size() && pattern[p] == '*') {
                starP = p++;
                starT = t;
            } else if (starP != std::string_view::npos) {
                p = starP + 1;
                t = ++starT;
            } else {
                return false;
            }
        }
        while (p < pattern.size() && pattern[p] == '*') ++p;
        return p == pattern.size();
    };
    if (glob(name, mask)) return true;
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" && name.find('.') == std::string_view::npos)
        return glob(name, mask.substr(0, mask.size() - 2));
    return false;
}

// The entries of a folder in name order compared without regard to ASCII case; nothing when
// the folder cannot be read.
std::vector<TDirEntry> ReadFolder(DIR* dir) {
    std::vector<TDirEntry> entries;
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        entries.push_back({e->d_name, e->d_type});
    }
    std::sort(entries.begin(), entries.end(), [](const TDirEntry& a, const TDirEntry& b) {
        const size_t n = std::min(a.Name.size(), b.Name.size());
        for (size_t i = 0; i < n; ++i) {
            unsigned char x = static_cast<unsigned char>(a.Name[i]), y = static_cast<unsigned char>(b.Name[i]);
            if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
            if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
            if (x != y) return x < y;
        }
        if (a.Name.size() != b.Name.size()) return a.Name.size() < b.Name.size();
        return a.Name < b.Name;
    });
    return entries;
}

// Fills an entry record from the file system; false when the entry vanished meanwhile.
bool StatEntry(int dirFd, const std::string& name, const TWriteAccess& access, TSearchRec& rec,
               struct statx* out = nullptr) {
    struct statx st {};
    const unsigned mask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID | STATX_SIZE | STATX_ATIME |
                          STATX_MTIME | STATX_CTIME | STATX_BTIME | STATX_INO;
    if (::statx(dirFd, name.c_str(), AT_STATX_SYNC_AS_STAT, mask, &st) != 0 &&
        ::statx(dirFd, name.c_str(), AT_STATX_SYNC_AS_STAT | AT_SYMLINK_NOFOLLOW, mask, &st) != 0)
        return false;
    rec.Name = name;
    rec.Size = static_cast<int64_t>(st.stx_size);
    rec.Attr = 0;
    if (S_ISDIR(st.stx_mode)) rec.Attr |= faDirectory;
    if (S_ISREG(st.stx_mode)) rec.Attr |= faArchive;
    if (!name.empty() && name[0] == '.') rec.Attr |= faHidden;
    if (!access.Writable(st.stx_uid, st.stx_gid, st.stx_mode)) rec.Attr |= faReadOnly;
    rec.FindData.LastWriteTime = ToFileTime(st.stx_mtime);
    rec.FindData.LastAccessTime = ToFileTime(st.stx_atime);
    rec.FindData.CreationTime = ToFileTime((st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_ctime);
    rec.Time = DosDateTime(st.stx_mtime.tv_sec);
    if (out) *out = st;
    return true;
}

// The depth-first walk of one run's plan, shared by both modes.
class TWalker {
public:
    TWalker(const TTargetSearch& plan, std::function<bool()> stopped,
            std::function<bool(const std::string&)> folderNotice,
            std::function<void(const std::string&, const TSearchRec&)> matchNotice,
            std::function<void(const TTargetFolder*)> setCurrent)
        : FPlan(plan), FStopped(std::move(stopped)), FFolderNotice(std::move(folderNotice)),
          FMatchNotice(std::move(matchNotice)), FSetCurrent(std::move(setCurrent)) {}

    void Run() {
        const auto& folders = FPlan.TargetFolders.Folders();
        for (size_t i = folders.size(); i-- > 0 && !FStopped();) {
            FCurrent = folders[i].get();
            FSetCurrent(FCurrent);
            FOnPath.clear();
            SearchIn(FCurrent->Path);
        }
    }

private:
    void SearchIn(const std::string& path) {
        if (!FFolderNotice(path)) return;
        ++FLevel;
        struct LevelGuard {
            int& level;
            ~LevelGuard() { --level; }
        } guard{FLevel};

        DIR* dir = ::opendir(path.empty() ? "." : path.c_str());
        if (!dir) return;
        struct DirCloser {
            DIR* d;
            ~DirCloser() { ::closedir(d); }
        } closer{dir};
        const int fd = ::dirfd(dir);
        struct stat self {};
        std::pair<dev_t, ino_t> id{0, 0};
        if (::fstat(fd, &self) == 0) id = {self.st_dev, self.st_ino};
        FOnPath.insert(id);
        struct PathGuard {
            std::set<std::pair<dev_t, ino_t>>& set;
            std::pair<dev_t, ino_t> id;
            ~PathGuard() { set.erase(id); }
        } pathGuard{FOnPath, id};

        const std::vector<TDirEntry> entries = ReadFolder(dir);
        TSearchRec rec;
        if (FLevel >= FCurrent->MinLevel) {
            for (size_t m = FCurrent->Masks.size(); m-- > 0 && !FStopped();) {
                const std::string& mask = FCurrent->Masks[m];
                for (const TDirEntry& e : entries) {
                    if (!EnumerationMatch(e.Name, mask)) continue;
                    if (!StatEntry(fd, e.Name, FAccess, rec)) continue;
                    if (FPlan.IsAcceptable(path, rec)) FMatchNotice(path, rec);
                    if (FStopped()) break;
                }
            }
        }
        if (FCurrent->Subfolders && (FCurrent->MaxLevel == 0 || FLevel < FCurrent->MaxLevel) && !FStopped() &&
            FLevel < kMaxFolderDepth) {
            for (const TDirEntry& e : entries) {
                if (FStopped()) break;
                if (e.Type != DT_DIR && e.Type != DT_LNK && e.Type != DT_UNKNOWN) continue;
                struct stat st {};
                if (::fstatat(fd, e.Name.c_str(), &st, 0) != 0 || !S_ISDIR(st.st_mode)) continue;
                // A link back to a folder on the current path would never end: pass it over.
                if (FOnPath.count({st.st_dev, st.st_ino})) continue;
                SearchIn(path + e.Name + "/");
            }
        }
    }

    const TTargetSearch& FPlan;
    std::function<bool()> FStopped;
    std::function<bool(const std::string&)> FFolderNotice;
    std::function<void(const std::string&, const TSearchRec&)> FMatchNotice;
    std::function<void(const TTargetFolder*)> FSetCurrent;
    const TTargetFolder* FCurrent = nullptr;
    int FLevel = 0;
    std::set<std::pair<dev_t, ino_t>> FOnPath;
    TWriteAccess FAccess;
};

}  // namespace

TTargetFolder& TTargetFolderList::AddFolder(const std::string& Path) {
    const std::string normal = NormalizeFolder(Path);
    for (auto& f : FFolders)
        if (SameTextAscii(f->Path, normal)) return *f;
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
        const size_t sep = entry.find_last_of("/:");
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
    if (!Attribute.Matches(Entry.Attr)) return false;
    if (!Size.Matches(static_cast<uint64_t>(Entry.Size))) return false;
    if (!TimeStamp.Matches(Entry.FindData.CreationTime, Entry.FindData.LastWriteTime, Entry.FindData.LastAccessTime))
        return false;
    if (IsExcluded(Folder, Entry.Name)) return false;
    return Content.Matches(Folder + Entry.Name);
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

void TFindFile::SearchBegin() {
    FBusy = true;
    FAborted = false;
    FTerminate = false;
    FTargetSearch = std::make_unique<TTargetSearch>(FCriteria);
    DoSearchBegin();
}

void TFindFile::SearchFinish() {
    DoSearchFinish();
    FCurrentFolder = nullptr;
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
            [this](const TTargetFolder* f) { FCurrentFolder = f; });
        walker.Run();
    } catch (...) {
        // A handler's error reaches the caller; the component is ready for the next run.
        FCurrentFolder = nullptr;
        FTargetSearch.reset();
        FBusy = false;
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
                [this](const TTargetFolder* f) { HandOver->Invoke([&] { FCurrentFolder = f; }); });
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
