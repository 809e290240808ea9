#include "base/ByteSource.h"

#include "base/ByteReader.h"
#include "base/Errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pictavo {

int OpenForReading(const std::string& fileName) {
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    const int fd = ::open(fileName.c_str(), kFlags);
    if (fd >= 0 || errno != ENAMETOOLONG) return fd;
    // Each folder of the path relative to the one before it.
    int dir = ::open(fileName[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    size_t at = 0;
    while (dir >= 0) {
        while (at < fileName.size() && fileName[at] == '/') ++at;
        const size_t slash = fileName.find('/', at);
        const std::string part = fileName.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        const bool last = slash == std::string::npos || fileName.find_first_not_of('/', slash) == std::string::npos;
        const int next =
            ::openat(dir, part.empty() ? "." : part.c_str(), last ? kFlags : O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int err = errno;
        ::close(dir);
        if (last || next < 0) {
            errno = err;
            return next;
        }
        dir = next;
        at = slash;
    }
    return -1;
}

void RaiseStreamReadError() { throw EReadError(Message("流读取错误")); }

bool TSpanSource::Read(uint64_t offset, void* out, size_t n) const {
    if (offset > FBytes.size() || n > FBytes.size() - offset) return false;
    if (n) std::memcpy(out, FBytes.data() + offset, n);
    return true;
}

size_t TSpanSource::ReadUpTo(uint64_t offset, void* out, size_t n) const {
    if (offset >= FBytes.size()) return 0;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(n, FBytes.size() - offset));
    if (count) std::memcpy(out, FBytes.data() + offset, count);
    return count;
}

std::optional<std::span<const uint8_t>> TSpanSource::View(uint64_t offset, uint64_t n) const {
    if (offset > FBytes.size() || n > FBytes.size() - offset) return std::nullopt;
    return FBytes.subspan(static_cast<size_t>(offset), static_cast<size_t>(n));
}

ECancelled::ECancelled() : EPictavoError(Message("读取已取消")) {}

TFileSource::TFileSource(const std::string& fileName) {
    // Non-blocking, so that a named pipe never waits for a writer.
    FFd = OpenForReading(fileName);
    if (FFd < 0) RaiseOpenError(fileName, errno);
}

TFileSource::~TFileSource() {
    if (FFd >= 0) ::close(FFd);
}

bool TFileSource::Valid() const { return Page(0) != nullptr; }

void TFileSource::RequireRegular(const std::string& fileName) const {
    struct stat st {};
    if (::fstat(FFd, &st) != 0) RaiseOpenError(fileName, errno);
    if (S_ISDIR(st.st_mode)) RaiseOpenError(fileName, EISDIR);
    if (!S_ISREG(st.st_mode)) RaiseOpenError(fileName, EINVAL);
}

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
    CheckCancelled();
    TPage& page = FPages[FNext];
    FNext = (FNext + 1) % kKeptPages;
    page.Index = UINT64_MAX;
    page.Valid = 0;
    while (page.Valid < kPageSize) {
        const ssize_t n =
            ::pread(FFd, page.Bytes.data() + page.Valid, kPageSize - page.Valid, static_cast<off_t>(at + page.Valid));
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

size_t TFileSource::ReadDirect(uint64_t offset, uint8_t* out, size_t n) const {
    size_t done = 0;
    while (done < n) {
        CheckCancelled();
        const ssize_t got =
            ::pread(FFd, out + done, std::min(n - done, kDirectReadPiece), static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got == 0 && !FSizeKnown) {  // the end of the file: now its size is known
            FSize = offset + done;
            FSizeKnown = true;
        }
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

size_t TFileSource::ReadUpTo(uint64_t offset, void* out, size_t n) const {
    if (FUnreadable) return 0;
    if (FSizeKnown) {
        if (offset >= FSize) return 0;
        n = static_cast<size_t>(std::min<uint64_t>(n, FSize - offset));
    }
    auto* dst = static_cast<uint8_t*>(out);
    // A page or more is read in one go, leaving the kept pages to the headers and tables.
    if (n >= kPageSize) return ReadDirect(offset, dst, n);
    size_t done = 0;
    while (done < n) {
        const uint64_t at = offset + done;
        const size_t inPage = static_cast<size_t>(at % kPageSize);
        const TPage* page = Page(at / kPageSize);
        if (!page || page->Valid <= inPage) break;
        const size_t take = std::min(n - done, page->Valid - inPage);
        std::memcpy(dst + done, page->Bytes.data() + inPage, take);
        done += take;
        if (page->Valid < kPageSize) break;  // the file ends in this page
    }
    return done;
}

bool TFileSource::Read(uint64_t offset, void* out, size_t n) const {
    if (FSizeKnown && (offset > FSize || n > FSize - offset)) return false;
    return ReadUpTo(offset, out, n) == n;
}

void RaiseFileTooLarge() {
    throw EReadError(FormatMessage("文件太大, 无法读入内存 (超过 %d MB)", static_cast<int>(kMaxWholeFileRead >> 20)));
}

std::shared_ptr<const TByteBuffer> ReadWhole(const TByteSource& source, std::shared_ptr<TDecodeBudget> budget) {
    const uint64_t size = source.Size();
    if (size > kMaxWholeFileRead) RaiseFileTooLarge();
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size ? size : 1]);
    const size_t got = source.ReadUpTo(0, bytes.get(), static_cast<size_t>(size));
    return std::make_shared<const TByteBuffer>(std::move(bytes), got, std::move(budget));
}

TSharedBytes TSharedRanges::Get(uint64_t offset, uint64_t n) {
    const uint64_t size = FSource->Size();
    n = offset < size ? std::min(n, size - offset) : 0;
    if (n == 0) return {};
    auto slice = [&](const std::shared_ptr<const TByteBuffer>& buffer, uint64_t at) {
        const size_t held = buffer->Bytes().size();
        if (offset - at >= held) return TSharedBytes{};
        return TSharedBytes{buffer, static_cast<size_t>(offset - at),
                            static_cast<size_t>(std::min<uint64_t>(n, held - (offset - at)))};
    };
    // The chunk that begins last at or before the range holds it when it reaches far enough.
    if (auto it = FChunks.upper_bound(offset); it != FChunks.begin()) {
        --it;
        if (offset - it->first + n <= it->second->Bytes().size()) return slice(it->second, it->first);
    }
    if (FWhole) return slice(FWhole, 0);
    const uint64_t length = std::max(n, std::min(kChunkSize, size - offset));
    if (length > kMaxWholeFileRead) RaiseFileTooLarge();
    if (FRead + length + kChunkOverhead > 2 * size) {
        // More chunks would cost more than the whole source: from here on it is one buffer.
        FWhole = ReadWhole(*FSource, FBudget);
        return slice(FWhole, 0);
    }
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[length]);
    const size_t got = FSource->ReadUpTo(offset, bytes.get(), static_cast<size_t>(length));
    FRead += length + kChunkOverhead;
    auto& chunk = FChunks[offset];
    chunk = std::make_shared<const TByteBuffer>(std::move(bytes), got, FBudget);
    return slice(chunk, offset);
}

}  // namespace pictavo
