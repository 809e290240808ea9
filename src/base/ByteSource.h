// Bytes at offsets, from memory or straight from a file, for readers that look at a few
// scattered places of a possibly large file (headers and tables) and want nothing else read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

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

// A regular file read in 4 KB pages on demand (kept while the source lives, up to a bound).
class TFileSource : public TByteSource {
public:
    // Raises EFOpenError when the file cannot be opened; Valid() is false for anything but a
    // regular file.
    explicit TFileSource(const std::string& fileName);
    ~TFileSource() override;
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;

    bool Valid() const { return FValid; }
    uint64_t Size() const override { return FSize; }
    bool Read(uint64_t offset, void* out, size_t n) const override;
    std::optional<std::span<const uint8_t>> View(uint64_t, uint64_t) const override { return std::nullopt; }

    static constexpr size_t kPageSize = 4096;
    // Pages kept at most; past it the cache starts over (a crafted file cannot grow it).
    static constexpr size_t kMaxPages = 256;

private:
    const std::array<uint8_t, kPageSize>* Page(uint64_t index) const;

    int FFd = -1;
    bool FValid = false;
    uint64_t FSize = 0;
    mutable std::unordered_map<uint64_t, std::array<uint8_t, kPageSize>> FPages;
};

}  // namespace pictavo
