#include "search/ContentScan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace pictavo {

bool FileContains(const std::string& FileName, std::string_view Phrase, bool IgnoreCase) {
    return FileContains(AT_FDCWD, FileName, Phrase, IgnoreCase);
}

bool FileContains(int DirFd, const std::string& Name, std::string_view Phrase, bool IgnoreCase) {
    if (Phrase.empty()) return true;
    const int fd = ::openat(DirFd, Name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    // Only regular files have content to scan: a pipe or a device could never end.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    uint64_t remaining = static_cast<uint64_t>(st.st_size);
    if (remaining < Phrase.size()) return false;
#ifdef POSIX_FADV_SEQUENTIAL
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    // Chunks with the last (phrase length - 1) bytes carried over, so that a phrase across a
    // chunk boundary is found; each chunk is searched with the library's substring search.
    const size_t keep = Phrase.size() - 1;
    const size_t chunk = std::max<size_t>(256 * 1024, Phrase.size());
    std::unique_ptr<char[]> buffer(new char[keep + chunk]);
    size_t held = 0;
    while (remaining > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk, remaining));
        const ssize_t n = ::read(fd, buffer.get() + held, want);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        if (IgnoreCase) {
            // Branch-free, so the compiler can lower many bytes at a time.
            auto* p = reinterpret_cast<unsigned char*>(buffer.get() + held);
            for (ssize_t i = 0; i < n; ++i)
                p[i] = static_cast<unsigned char>(p[i] + (static_cast<unsigned char>(p[i] - 'A') < 26u ? 32 : 0));
        }
        held += static_cast<size_t>(n);
        remaining -= static_cast<uint64_t>(n);
        if (held >= Phrase.size() && ::memmem(buffer.get(), held, Phrase.data(), Phrase.size())) return true;
        const size_t carry = std::min(keep, held);
        std::memmove(buffer.get(), buffer.get() + held - carry, carry);
        held = carry;
    }
    return false;
}

}  // namespace pictavo
