#include "base/FileIO.h"

#include "base/ByteSource.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "base/Text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <vector>

namespace pictavo {

TFileBytes::TFileBytes(const std::string& fileName) { Open(fileName, 0, nullptr); }

TFileBytes::TFileBytes(const std::string& fileName, size_t prefix,
                       const std::function<bool(std::span<const uint8_t>)>& accept) {
    Open(fileName, prefix, &accept);
}

void TFileBytes::Open(const std::string& fileName, size_t prefix,
                      const std::function<bool(std::span<const uint8_t>)>* accept) {
    // Non-blocking, so that a named pipe never waits for a writer; only regular files are read.
    const int fd = OpenForReading(fileName);
    if (fd < 0) RaiseOpenError(fileName, errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) RaiseOpenError(fileName, errno);
    if (S_ISDIR(st.st_mode)) RaiseOpenError(fileName, EISDIR);
    if (!S_ISREG(st.st_mode)) RaiseOpenError(fileName, EINVAL);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    // Everything is read with pread into memory: nothing is mapped, so a file that shrinks or
    // changes meanwhile gives fewer or other bytes, never a fault.
    auto readAt = [&](uint8_t* out, size_t n) {
        size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd, out + done, n - done, static_cast<off_t>(done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) RaiseOpenError(fileName, errno);
            if (got == 0) break;  // the file shrank meanwhile: keep what was there
            done += static_cast<size_t>(got);
        }
        return done;
    };
    if (accept) {
        std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(prefix, size)));
        head.resize(readAt(head.data(), head.size()));
        if (!(*accept)(head)) {
            FAccepted = false;
            return;
        }
    }
    if (size == 0) return;
    if (size > kReadWholeLimit) RaiseFileTooLarge();
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[size]);
    const size_t got = readAt(buffer.get(), static_cast<size_t>(size));
    FOwned = std::make_shared<const TByteBuffer>(std::move(buffer), got);
}

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Where a save really goes. A path the user gave may lead through links to a regular file,
// which is then replaced and the links stay links; a name in a folder is replaced itself.
std::string ResolveTarget(const std::string& fileName, TSaveTarget how) {
    struct stat st {};
    if (how == TSaveTarget::FollowLinks && ::lstat(fileName.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = ::realpath(fileName.c_str(), nullptr);
        if (real) {
            std::string out(real);
            std::free(real);
            return out;
        }
    }
    return fileName;
}

}  // namespace

void WriteFileAtomically(const std::string& fileName, std::span<const uint8_t> bytes, TSaveTarget how) {
    const std::string target = ResolveTarget(fileName, how);
    // Only a regular file (or, for a name in a folder, a link there) is ever replaced: a
    // device, a pipe, a socket or a folder stays what it is.
    struct stat existing {};
    const bool exists = ::lstat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) RaiseCreateError(fileName, EISDIR);
    if (exists && !S_ISREG(existing.st_mode) && !(how == TSaveTarget::NameInFolder && S_ISLNK(existing.st_mode)))
        RaiseCreateError(fileName, Message("不是普通文件"));
    const bool replacesFile = exists && S_ISREG(existing.st_mode);

    static std::atomic<unsigned> counter{0};
    const auto stamp = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = FolderOf(target) + "/." + std::string(CutUtf8(ExtractFileName(target), 100)) +
               Format(".%d.%llx.%u.tmp", static_cast<int>(::getpid()), stamp, counter++);
        // A new name of our own: never a link someone placed there.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) RaiseCreateError(fileName, errno);

    auto discard = [&] {
        ::close(fd);
        ::unlink(temp.c_str());
    };
    if (replacesFile) (void)::fchmod(fd, existing.st_mode & 07777);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            discard();
            RaiseWriteError();
        }
        done += static_cast<size_t>(n);
    }
    // The data must be on disk before it replaces a file that was there; a new file risks
    // nothing, and saving many new files should not wait on the disk for each.
    if (replacesFile && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        discard();
        RaiseWriteError();
    }
    if (::close(fd) != 0) {
        ::unlink(temp.c_str());
        RaiseWriteError();
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        RaiseCreateError(fileName, err);
    }
}

bool WriteFileInPlace(const std::string& fileName, std::span<const uint8_t> bytes) {
    // O_NONBLOCK: opening a pipe for writing must not wait for a reader; it is refused below.
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    // Only an empty file is written into, so a write that fails (a full disk) leaves it as it
    // was and a reader never finds an earlier picture emptied or half overwritten; a file that
    // holds anything is for an atomic replace. The size is the opened file's own, so no other
    // file can be put in its place between the check and the write.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_size != 0) {
        ::close(fd);
        return false;
    }
    bool ok = ::fcntl(fd, F_SETFL, 0) == 0;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<size_t>(n);
    }
    // The file ends where these bytes end, even if something was written into it meanwhile; after
    // a failure it is empty again rather than holding part of them.
    if (ok && ::ftruncate(fd, static_cast<off_t>(done)) != 0) ok = false;
    if (!ok && ::ftruncate(fd, 0) != 0) {
        // Nothing more can be done: the write's failure is reported below.
    }
    if (::close(fd) != 0) ok = false;
    if (!ok) RaiseWriteError();
    return true;
}

}  // namespace pictavo
