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
}

TFileSource::~TFileSource() {
    if (FFd >= 0) ::close(FFd);
}

bool TFileSource::Valid() const { return Page(0) != nullptr; }

uint64_t TFileSource::Size() const {
    if (!FSizeKnown) {
        struct stat st {};
        FSize = (::fstat(FFd, &st) == 0 && S_ISREG(st.st_mode)) ? static_cast<uint64_t>(st.st_size) : 0;
        FSizeKnown = true;
    }
    return FSize;
}

const TFileSource::TPage* TFileSource::Page(uint64_t index) const {
    if (FUnreadable) return nullptr;
    for (const TPage& kept : FPages)
        if (kept.Index == index) return &kept;
    const uint64_t at = index * kPageSize;
    if (FSizeKnown && at > FSize) return nullptr;
    TPage& page = FPages[FNext];
    FNext = (FNext + 1) % kKeptPages;
    page.Index = UINT64_MAX;
    page.Valid = 0;
    while (page.Valid < kPageSize) {
        const ssize_t n = ::pread(FFd, page.Bytes.data() + page.Valid, kPageSize - page.Valid,
                                  static_cast<off_t>(at + page.Valid));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (index == 0) FUnreadable = true;  // no offsets to read at: a pipe, a folder
            return nullptr;
        }
        if (n == 0) {  // the end of the file: now its size is known
            if (!FSizeKnown) {
                FSize = at + page.Valid;
                FSizeKnown = true;
            }
            break;
        }
        page.Valid += static_cast<size_t>(n);
    }
    page.Index = index;
    return &page;
}

bool TFileSource::Read(uint64_t offset, void* out, size_t n) const {
    if (FSizeKnown && (offset > FSize || n > FSize - offset)) return false;
    auto* dst = static_cast<uint8_t*>(out);
    while (n > 0) {
        const uint64_t index = offset / kPageSize;
        const size_t inPage = static_cast<size_t>(offset % kPageSize);
        const size_t take = std::min(n, kPageSize - inPage);
        const TPage* page = Page(index);
        if (!page || page->Valid < inPage + take) return false;
        std::memcpy(dst, page->Bytes.data() + inPage, take);
        dst += take;
        offset += take;
        n -= take;
    }
    return true;
}

}  // namespace pictavo
