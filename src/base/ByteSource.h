// Bytes at offsets, from memory or straight from a file, for readers that look at a few
// scattered places of a possibly large file (headers and tables) and want nothing else read;
// and the ranges of such a source that a reader hands out to objects that outlive it.
#pragma once

#include "base/ByteBuffer.h"
#include "base/Errors.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

namespace pictavo {

// Opens a file for reading, non-blocking so that a named pipe never waits for a writer. A path
// longer than the system takes in one piece is opened one folder at a time. Returns the
// descriptor, or -1 with errno set.
int OpenForReading(const std::string& fileName);

// Set from another thread to stop a read: the readers poll it and raise ECancelled.
using TCancelFlag = std::atomic<bool>;

// A read was stopped through its cancel flag: "读取已取消".
class ECancelled : public EPictavoError {
public:
    ECancelled();
};

class TByteSource {
public:
    virtual ~TByteSource() = default;
    // Reads of a file stop with ECancelled once `flag` is set (checked at every read that
    // goes to the file, and by readers between the records they make); null: never.
    void SetCancelFlag(const TCancelFlag* flag) { FCancel = flag; }
    // Raises ECancelled when the flag is set.
    void CheckCancelled() const {
        if (FCancel && FCancel->load(std::memory_order_relaxed)) throw ECancelled();
    }
    virtual uint64_t Size() const = 0;
    // Copies n bytes at offset; false when they are not all there.
    virtual bool Read(uint64_t offset, void* out, size_t n) const = 0;
    // Copies up to n bytes at offset and returns how many: fewer where the source ends, which
    // for a file may be before the size it reported (it shrank meanwhile).
    virtual size_t ReadUpTo(uint64_t offset, void* out, size_t n) const = 0;
    // The bytes themselves when the source holds them in memory; nothing otherwise, or when
    // they are not all there.
    virtual std::optional<std::span<const uint8_t>> View(uint64_t offset, uint64_t n) const = 0;
    // All the bytes when the source holds them in memory; nothing otherwise.
    virtual std::optional<std::span<const uint8_t>> Memory() const { return std::nullopt; }

private:
    const TCancelFlag* FCancel = nullptr;
};

class TSpanSource : public TByteSource {
public:
    explicit TSpanSource(std::span<const uint8_t> bytes) : FBytes(bytes) {}
    uint64_t Size() const override { return FBytes.size(); }
    bool Read(uint64_t offset, void* out, size_t n) const override;
    size_t ReadUpTo(uint64_t offset, void* out, size_t n) const override;
    std::optional<std::span<const uint8_t>> View(uint64_t offset, uint64_t n) const override;
    std::optional<std::span<const uint8_t>> Memory() const override { return FBytes; }

private:
    std::span<const uint8_t> FBytes;
};

// A file read in 4 KB pages on demand, the last few kept (no allocation at all); reads of a
// page or more go straight to the file. Its size is learnt from the reads themselves where
// they reach its end, and asked of the system only when a reader wants it first; anything that
// cannot be read at an offset (a pipe, a folder) is simply not there. Nothing is mapped, so a
// file that shrinks while it is read only ends early.
class TFileSource : public TByteSource {
public:
    // Raises EFOpenError when the file cannot be opened.
    explicit TFileSource(const std::string& fileName);
    ~TFileSource() override;
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;

    // False when the file's first bytes cannot be read at an offset (a pipe, a folder).
    bool Valid() const;
    // Raises EFOpenError ("无法打开文件 ...") unless the file is a regular file.
    void RequireRegular(const std::string& fileName) const;
    uint64_t Size() const override;
    bool Read(uint64_t offset, void* out, size_t n) const override;
    size_t ReadUpTo(uint64_t offset, void* out, size_t n) const override;
    std::optional<std::span<const uint8_t>> View(uint64_t, uint64_t) const override { return std::nullopt; }

    static constexpr size_t kPageSize = 4096;
    // Reads of many pages go to the file in pieces of this size, the cancel flag checked
    // before each, so that a read of hundreds of megabytes can be stopped.
    static constexpr size_t kDirectReadPiece = size_t{4} << 20;
    // Pages kept; older ones are read again when asked for (headers and tables sit together).
    static constexpr size_t kKeptPages = 6;

private:
    struct TPage {
        uint64_t Index = UINT64_MAX;
        size_t Valid = 0;  // bytes of the page the file holds
        std::array<uint8_t, kPageSize> Bytes;
    };
    const TPage* Page(uint64_t index) const;
    size_t ReadDirect(uint64_t offset, uint8_t* out, size_t n) const;

    int FFd = -1;
    mutable bool FUnreadable = false;
    mutable bool FSizeKnown = false;
    mutable uint64_t FSize = 0;
    mutable std::array<TPage, kKeptPages> FPages;
    mutable size_t FNext = 0;  // the slot the next page read goes to
};

// The most bytes of one file read into memory in one piece: a whole .ico or NE file, the
// whole of a PE file whose resources overlap, or one resource. Real icon files, libraries and
// resources stay far below it.
inline constexpr uint64_t kMaxWholeFileRead = uint64_t{512} << 20;
// Raises EReadError ("文件太大, 无法读入内存 (超过 512 MB)").
[[noreturn]] void RaiseFileTooLarge();

// The whole source in one buffer: the bytes it holds when read, fewer than its size when it
// shrank meanwhile. Raises EReadError (RaiseFileTooLarge) past kMaxWholeFileRead.
// The buffer shares `budget` for the pixels decoded from it when one is given.
std::shared_ptr<const TByteBuffer> ReadWhole(const TByteSource& source,
                                             std::shared_ptr<TDecodeBudget> budget = nullptr);

// Ranges of a source handed out as shared bytes, for what outlives the reader (the images of a
// module). The source is read in chunks of at least kChunkSize from the first range that no
// chunk holds yet, and every range a chunk holds is cut from it: resources stored one after the
// other cost one read and one buffer per chunk, and a range asked again is never read again.
// Chunks are read while they stay within twice the source's size; past that the ranges can only
// be scattered or overlapping, and one buffer holding the whole source serves every range from
// then on. Whatever a file's ranges claim, they cost at most about three times its size.
class TSharedRanges {
public:
    explicit TSharedRanges(const TByteSource& source) : FSource(&source) {}
    // Up to n bytes at offset: fewer where the source ends (also when it shrank since it was
    // measured), none past its end. Raises EReadError past kMaxWholeFileRead.
    TSharedBytes Get(uint64_t offset, uint64_t n);

    static constexpr uint64_t kChunkSize = 256 * 1024;
    // Charged per chunk besides its bytes, for the buffer's own bookkeeping.
    static constexpr uint64_t kChunkOverhead = 256;

private:
    const TByteSource* FSource;
    // The chunks read so far, by their offset in the source.
    std::map<uint64_t, std::shared_ptr<const TByteBuffer>> FChunks;
    uint64_t FRead = 0;
    std::shared_ptr<const TByteBuffer> FWhole;
    // Every buffer of the source shares one budget for the pixels decoded from it.
    std::shared_ptr<TDecodeBudget> FBudget = std::make_shared<TDecodeBudget>();
};

}  // namespace pictavo
