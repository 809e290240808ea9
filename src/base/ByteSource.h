// Bytes at offsets, from memory or straight from a file, for readers that look at a few
// scattered places of a possibly large file (headers and tables) and want nothing else read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace pictavo {

class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Copies n bytes at offset; false when they are not all there.
    virtual bool Read(uint64_t offset, void* out, size_t n) const = 0;
    // The bytes themselves when the source holds them in memory; nothing otherwise, or when
    // they are not all there.
    virtual std::optional<std::span<const uint8_t>> View(uint64_t offset, uint64_t n) const = 0;

    std::optional<uint16_t> U16(uint64_t offset) const;
    std::optional<uint32_t> U32(uint64_t offset) const;
};

class TSpanSource : public TByteSource {
public:
    explicit TSpanSource(std::span<const uint8_t> bytes) : FBytes(bytes) {}
    uint64_t Size() const override { return FBytes.size(); }
    bool Read(uint64_t offset, void* out, size_t n) const override;
    std::optional<std::span<const uint8_t>> View(uint64_t offset, uint64_t n) const override;

private:
    std::span<const uint8_t> FBytes;
};

// A file read in 4 KB pages on demand, the last few kept (no allocation at all). Its size
// is learnt from the reads themselves where they reach its end, and asked of the system only
// when a reader wants it first; anything that cannot be read at an offset (a pipe, a folder)
// is simply not there.
class TFileSource : public TByteSource {
public:
    // Raises EFOpenError when the file cannot be opened.
    explicit TFileSource(const std::string& fileName);
    ~TFileSource() override;
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;

    // False when the file's first bytes cannot be read at an offset (a pipe, a folder).
    bool Valid() const;
    uint64_t Size() const override;
    bool Read(uint64_t offset, void* out, size_t n) const override;
    std::optional<std::span<const uint8_t>> View(uint64_t, uint64_t) const override { return std::nullopt; }

    static constexpr size_t kPageSize = 4096;
    // Pages kept; older ones are read again when asked for (headers and tables sit together).
    static constexpr size_t kKeptPages = 6;

private:
    struct TPage {
        uint64_t Index = UINT64_MAX;
        size_t Valid = 0;  // bytes of the page the file holds
        std::array<uint8_t, kPageSize> Bytes;
    };
    const TPage* Page(uint64_t index) const;

    int FFd = -1;
    mutable bool FUnreadable = false;
    mutable bool FSizeKnown = false;
    mutable uint64_t FSize = 0;
    mutable std::array<TPage, kKeptPages> FPages;
    mutable size_t FNext = 0;  // the slot the next page read goes to
};

}  // namespace pictavo
