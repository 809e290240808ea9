#include "base/ByteSource.h"

#include "base/Errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pictavo {

std::optional<uint16_t> TByteSource::U16(uint64_t offset) const {
    uint8_t b[2];
    if (!Read(offset, b, 2)) return std::nullopt;
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

std::optional<uint32_t> TByteSource::U32(uint64_t offset) const {
    uint8_t b[4];
    if (!Read(offset, b, 4)) return std::nullopt;
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
}

bool TSpanSource::Read(uint64_t offset, void* out, size_t n) const {
    if (offset > FBytes.size() || n > FBytes.size() - offset) return false;
    if (n) std::memcpy(out, FBytes.data() + offset, n);
    return true;
}

std::optional<std::span<const uint8_t>> TSpanSource::View(uint64_t offset, uint64_t n) const {
    if (offset > FBytes.size() || n > FBytes.size() - offset) return std::nullopt;
    return FBytes.subspan(static_cast<size_t>(offset), static_cast<size_t>(n));
}

TFileSource::TFileSource(const std::string& fileName) {
    // Non-blocking, so that a named pipe never waits for a writer.
    FFd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (FFd < 0) RaiseOpenError(fileName, errno);
    struct stat st {};
    if (::fstat(FFd, &st) == 0 && S_ISREG(st.st_mode)) {
        FValid = true;
        FSize = static_cast<uint64_t>(st.st_size);
    }
}

TFileSource::~TFileSource() {
    if (FFd >= 0) ::close(FFd);
}

const std::array<uint8_t, TFileSource::kPageSize>* TFileSource::Page(uint64_t index) const {
    auto found = FPages.find(index);
    if (found != FPages.end()) return &found->second;
    if (FPages.size() >= kMaxPages) FPages.clear();
    std::array<uint8_t, kPageSize> page{};
    size_t got = 0;
    const uint64_t at = index * kPageSize;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kPageSize, FSize - at));
    while (got < want) {
        const ssize_t n = ::pread(FFd, page.data() + got, want - got, static_cast<off_t>(at + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return nullptr;  // the file shrank or cannot be read
        got += static_cast<size_t>(n);
    }
    return &FPages.emplace(index, page).first->second;
}

bool TFileSource::Read(uint64_t offset, void* out, size_t n) const {
    if (!FValid || offset > FSize || n > FSize - offset) return false;
    auto* dst = static_cast<uint8_t*>(out);
    while (n > 0) {
        const uint64_t index = offset / kPageSize;
        const size_t inPage = static_cast<size_t>(offset % kPageSize);
        const size_t take = std::min(n, kPageSize - inPage);
        const auto* page = Page(index);
        if (!page) return false;
        std::memcpy(dst, page->data() + inPage, take);
        dst += take;
        offset += take;
        n -= take;
    }
    return true;
}

}  // namespace pictavo
