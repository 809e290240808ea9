// A read-only file system for the window's tests that plays a network share which stops
// answering: it serves a copy of a source folder (its files' bytes are read once, at start),
// and leaves chosen requests unanswered for ever, as a share whose server went away does.
//
//   pictavo_stalling_fs [-f] SOURCE MOUNTPOINT [RULE...]
//
// Rules name a file or folder by its path below SOURCE ("." is the top folder):
//   read:NAME:OFFSET  reads of NAME that reach past its first OFFSET bytes never answer
//                     (read:NAME:0: no read of it answers)
//   open:NAME         opening NAME never answers
//   lookup:NAME       looking NAME up (its status, the first step of any use) never answers
//   readdir:NAME      listing the folder NAME never answers
//
// It runs in the foreground (-f is accepted for the usual form) until SIGTERM, SIGINT or an
// unmount. Each request left unanswered is reported on standard output ("stalled read NAME
// OFFSET SIZE") so that a test knows it is stuck. A request left unanswered still honours the
// kernel's interrupt, answering EINTR, so that a process killed while it waits ends as a fatal
// signal ends a read of a real network file system; and at the end every request still waiting
// is answered with EIO before the file system is unmounted, so that no thread stays stuck.
#define FUSE_USE_VERSION 34

#include <fuse_lowlevel.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The most bytes served in all: the test's fixtures are small, and the copy is held in memory.
constexpr uintmax_t kMaxBytes = uintmax_t{256} << 20;
// How long the kernel may keep what it was told: the tree never changes.
constexpr double kCacheSeconds = 3600.0;

struct TNode {
    std::string Path;  // below the source folder; "." for the top
    std::string Name;
    bool Folder = false;
    struct timespec Modified {};
    std::vector<uint8_t> Bytes;
    std::vector<fuse_ino_t> Children;  // in name order
    bool StallLookup = false, StallOpen = false, StallReaddir = false;
    std::optional<uint64_t> StallReadFrom;
};

std::vector<TNode> gNodes;      // inode n is gNodes[n - 1]; 1 is the top folder
std::set<fuse_req_t> gStalled;  // requests left unanswered, until interrupted or the end
bool gRegistering = false;      // an interrupt callback run while it is being registered
fuse_session* gSession = nullptr;

TNode* Node(fuse_ino_t ino) { return ino >= 1 && ino <= gNodes.size() ? &gNodes[ino - 1] : nullptr; }

// Copies the folder `from` below node `ino` (its children and theirs).
void AddChildren(fuse_ino_t ino, const fs::path& from, uintmax_t& total) {
    std::vector<fs::directory_entry> entries{fs::directory_iterator(from), fs::directory_iterator()};
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    for (const fs::directory_entry& entry : entries) {
        TNode child;
        child.Name = entry.path().filename().string();
        child.Path = gNodes[ino - 1].Path == "." ? child.Name : gNodes[ino - 1].Path + "/" + child.Name;
        struct stat st {};
        if (::stat(entry.path().c_str(), &st) != 0) continue;
        child.Modified = st.st_mtim;
        child.Folder = S_ISDIR(st.st_mode);
        if (!child.Folder && !S_ISREG(st.st_mode)) continue;
        if (!child.Folder) {
            total += static_cast<uintmax_t>(st.st_size);
            if (total > kMaxBytes) throw std::runtime_error("the source folder holds too many bytes");
            std::ifstream in(entry.path(), std::ios::binary);
            child.Bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        gNodes.push_back(std::move(child));
        const fuse_ino_t childIno = gNodes.size();
        gNodes[ino - 1].Children.push_back(childIno);
        if (gNodes[childIno - 1].Folder) AddChildren(childIno, entry.path(), total);
    }
}

TNode* Find(const std::string& path) {
    for (TNode& node : gNodes)
        if (node.Path == path) return &node;
    return nullptr;
}

// Applies one rule; false when it is not understood or names nothing.
bool ApplyRule(const std::string& rule) {
    const size_t colon = rule.find(':');
    if (colon == std::string::npos) return false;
    const std::string kind = rule.substr(0, colon);
    std::string name = rule.substr(colon + 1);
    std::optional<uint64_t> offset;
    if (kind == "read") {
        const size_t last = name.rfind(':');
        if (last == std::string::npos) return false;
        char* end = nullptr;
        const std::string number = name.substr(last + 1);
        offset = std::strtoull(number.c_str(), &end, 10);
        if (number.empty() || *end) return false;
        name.resize(last);
    }
    TNode* node = Find(name);
    if (!node) return false;
    if (kind == "read" && !node->Folder)
        node->StallReadFrom = offset;
    else if (kind == "open" && !node->Folder)
        node->StallOpen = true;
    else if (kind == "lookup")
        node->StallLookup = true;
    else if (kind == "readdir" && node->Folder)
        node->StallReaddir = true;
    else
        return false;
    return true;
}

void Report(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// The kernel gave up on a request left unanswered (its caller got a signal): it ends with EINTR.
void Interrupted(fuse_req_t req, void*) {
    // Answering here while fuse_req_interrupt_func registers this callback would free the
    // request under it; Stall answers that case itself.
    if (gRegistering) return;
    if (gStalled.erase(req)) fuse_reply_err(req, EINTR);
}

// Leaves a request unanswered (the session runs on one thread, so nothing else waits for it).
void Stall(fuse_req_t req, const std::string& what) {
    gRegistering = true;
    fuse_req_interrupt_func(req, Interrupted, nullptr);
    gRegistering = false;
    if (fuse_req_interrupted(req)) {
        fuse_reply_err(req, EINTR);
        return;
    }
    gStalled.insert(req);
    Report("stalled " + what);
}

void Attributes(fuse_ino_t ino, const TNode& node, struct stat& st) {
    st = {};
    st.st_ino = ino;
    st.st_mode = node.Folder ? S_IFDIR | 0555 : S_IFREG | 0444;
    st.st_nlink = node.Folder ? 2 : 1;
    st.st_uid = ::getuid();
    st.st_gid = ::getgid();
    st.st_size = node.Folder ? 0 : static_cast<off_t>(node.Bytes.size());
    st.st_blksize = 4096;
    st.st_blocks = (st.st_size + 511) / 512;
    st.st_atim = st.st_mtim = st.st_ctim = node.Modified;
}

void OpLookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
    const TNode* folder = Node(parent);
    if (!folder || !folder->Folder) return void(fuse_reply_err(req, ENOTDIR));
    for (fuse_ino_t ino : folder->Children) {
        const TNode& child = gNodes[ino - 1];
        if (child.Name != name) continue;
        if (child.StallLookup) return Stall(req, "lookup " + child.Path);
        fuse_entry_param entry{};
        entry.ino = ino;
        entry.attr_timeout = kCacheSeconds;
        entry.entry_timeout = kCacheSeconds;
        Attributes(ino, child, entry.attr);
        return void(fuse_reply_entry(req, &entry));
    }
    fuse_reply_err(req, ENOENT);
}

void OpGetattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*) {
    const TNode* node = Node(ino);
    if (!node) return void(fuse_reply_err(req, ENOENT));
    if (node->StallLookup) return Stall(req, "getattr " + node->Path);
    struct stat st;
    Attributes(ino, *node, st);
    fuse_reply_attr(req, &st, kCacheSeconds);
}

void OpOpendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    const TNode* node = Node(ino);
    if (!node) return void(fuse_reply_err(req, ENOENT));
    if (!node->Folder) return void(fuse_reply_err(req, ENOTDIR));
    fuse_reply_open(req, fi);
}

void OpReaddir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info*) {
    const TNode* node = Node(ino);
    if (!node || !node->Folder) return void(fuse_reply_err(req, ENOTDIR));
    if (node->StallReaddir) return Stall(req, "readdir " + node->Path);
    // The entries: ".", "..", then the children; an entry's offset is the index of the next.
    std::vector<char> buffer(size);
    size_t used = 0;
    const size_t count = node->Children.size() + 2;
    for (size_t index = static_cast<size_t>(std::max<off_t>(offset, 0)); index < count; ++index) {
        struct stat st {};
        std::string name;
        if (index < 2) {
            name = index == 0 ? "." : "..";
            st.st_ino = ino;
            st.st_mode = S_IFDIR;
        } else {
            const fuse_ino_t child = node->Children[index - 2];
            name = gNodes[child - 1].Name;
            st.st_ino = child;
            st.st_mode = gNodes[child - 1].Folder ? S_IFDIR : S_IFREG;
        }
        const size_t need =
            fuse_add_direntry(req, buffer.data() + used, size - used, name.c_str(), &st, static_cast<off_t>(index + 1));
        if (need > size - used) break;
        used += need;
    }
    fuse_reply_buf(req, buffer.data(), used);
}

void OpOpen(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    const TNode* node = Node(ino);
    if (!node) return void(fuse_reply_err(req, ENOENT));
    if (node->Folder) return void(fuse_reply_err(req, EISDIR));
    if ((fi->flags & O_ACCMODE) != O_RDONLY) return void(fuse_reply_err(req, EROFS));
    if (node->StallOpen) return Stall(req, "open " + node->Path);
    // Every read comes here as the reader asked for it (no page cache, no read-ahead), so that
    // which reads stall depends only on the offsets the reader reads at.
    fi->direct_io = 1;
    fi->keep_cache = 0;
    fuse_reply_open(req, fi);
}

void OpRead(fuse_req_t req, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info*) {
    const TNode* node = Node(ino);
    if (!node || node->Folder) return void(fuse_reply_err(req, EISDIR));
    const uint64_t at = static_cast<uint64_t>(std::max<off_t>(offset, 0));
    if (node->StallReadFrom && at + size > *node->StallReadFrom)
        return Stall(req, "read " + node->Path + " " + std::to_string(at) + " " + std::to_string(size));
    if (at >= node->Bytes.size()) return void(fuse_reply_buf(req, nullptr, 0));
    const size_t count = static_cast<size_t>(std::min<uint64_t>(size, node->Bytes.size() - at));
    fuse_reply_buf(req, reinterpret_cast<const char*>(node->Bytes.data() + at), count);
}

void OpStatfs(fuse_req_t req, fuse_ino_t) {
    struct statvfs st {};
    st.f_bsize = st.f_frsize = 4096;
    st.f_namemax = 255;
    fuse_reply_statfs(req, &st);
}

int Usage() {
    std::fputs("usage: pictavo_stalling_fs [-f] SOURCE MOUNTPOINT [read:NAME:OFFSET | open:NAME | lookup:NAME | "
               "readdir:NAME]...\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // Ends with the test that started it, even when the test is killed.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    std::vector<std::string> args(argv + 1, argv + argc);
    std::erase(args, std::string("-f"));
    if (args.size() < 2) return Usage();
    const std::string source = args[0], mountPoint = args[1];
    try {
        TNode top;
        top.Path = ".";
        top.Folder = true;
        struct stat st {};
        if (::stat(source.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            std::fprintf(stderr, "pictavo_stalling_fs: %s is not a folder\n", source.c_str());
            return 2;
        }
        top.Modified = st.st_mtim;
        gNodes.push_back(std::move(top));
        uintmax_t total = 0;
        AddChildren(1, source, total);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pictavo_stalling_fs: %s\n", error.what());
        return 2;
    }
    for (size_t i = 2; i < args.size(); ++i) {
        if (!ApplyRule(args[i])) {
            std::fprintf(stderr, "pictavo_stalling_fs: the rule %s names nothing it can apply to\n", args[i].c_str());
            return Usage();
        }
    }

    fuse_lowlevel_ops ops{};
    ops.lookup = OpLookup;
    ops.getattr = OpGetattr;
    ops.opendir = OpOpendir;
    ops.readdir = OpReaddir;
    ops.open = OpOpen;
    ops.read = OpRead;
    ops.statfs = OpStatfs;

    char program[] = "pictavo_stalling_fs";
    char option[] = "-o";
    char options[] = "ro,fsname=pictavo_stalling_fs,subtype=pictavo_stalling_fs";
    char* fuseArgv[] = {program, option, options, nullptr};
    fuse_args fuseArgs = FUSE_ARGS_INIT(3, fuseArgv);
    gSession = fuse_session_new(&fuseArgs, &ops, sizeof ops, nullptr);
    if (!gSession) return 1;
    int status = 1;
    if (fuse_set_signal_handlers(gSession) == 0) {
        if (fuse_session_mount(gSession, mountPoint.c_str()) == 0) {
            Report("mounted");
            status = fuse_session_loop(gSession) == 0 ? 0 : 1;
            // Nothing stays stuck on the way out.
            for (fuse_req_t req : std::exchange(gStalled, {})) fuse_reply_err(req, EIO);
            fuse_session_unmount(gSession);
        }
        fuse_remove_signal_handlers(gSession);
    }
    fuse_session_destroy(gSession);
    return status;
}
