// The one place where file bytes are read: every offset and length is checked against
// the bytes that exist. Nothing else does pointer arithmetic on untrusted data.
//
// ByteReader looks at offsets of bytes in memory (an image's bytes, a table read whole);
// ByteCursor reads records one after the other from any source of bytes (a buffer, or a file
// read in pages), and at offsets of it, decoding what it reads through ByteReader.
#pragma once

#include "base/ByteSource.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace pictavo {

// Little-endian values of bytes already known to be there (a fixed-size record, a row of
// pixels inside a checked range).
inline uint16_t LoadU16le(std::span<const uint8_t, 2> b) { return static_cast<uint16_t>(b[0] | (b[1] << 8)); }
inline uint32_t LoadU32le(std::span<const uint8_t, 4> b) {
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
}

class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::span<const uint8_t> bytes) : FBytes(bytes) {}

    size_t size() const { return FBytes.size(); }
    std::span<const uint8_t> all() const { return FBytes; }

    // True when [offset, offset + n) lies inside the bytes.
    bool has(uint64_t offset, uint64_t n) const { return offset <= FBytes.size() && n <= FBytes.size() - offset; }

    std::optional<uint8_t> u8(uint64_t offset) const {
        if (!has(offset, 1)) return std::nullopt;
        return FBytes[offset];
    }
    std::optional<uint16_t> u16le(uint64_t offset) const {
        if (!has(offset, 2)) return std::nullopt;
        return LoadU16le(FBytes.subspan(static_cast<size_t>(offset)).first<2>());
    }
    std::optional<uint32_t> u32le(uint64_t offset) const {
        if (!has(offset, 4)) return std::nullopt;
        return LoadU32le(FBytes.subspan(static_cast<size_t>(offset)).first<4>());
    }
    std::optional<int32_t> i32le(uint64_t offset) const {
        auto v = u32le(offset);
        if (!v) return std::nullopt;
        return static_cast<int32_t>(*v);
    }
    std::optional<uint32_t> u32be(uint64_t offset) const {
        if (!has(offset, 4)) return std::nullopt;
        return (static_cast<uint32_t>(FBytes[offset]) << 24) | (static_cast<uint32_t>(FBytes[offset + 1]) << 16) |
               (static_cast<uint32_t>(FBytes[offset + 2]) << 8) | static_cast<uint32_t>(FBytes[offset + 3]);
    }
    // The n bytes at offset, or nothing when they are not all there.
    std::optional<std::span<const uint8_t>> bytes(uint64_t offset, uint64_t n) const {
        if (!has(offset, n)) return std::nullopt;
        return FBytes.subspan(static_cast<size_t>(offset), static_cast<size_t>(n));
    }
    // The bytes from offset to the end (empty when offset is past the end).
    std::span<const uint8_t> tail(uint64_t offset) const {
        if (offset >= FBytes.size()) return {};
        return FBytes.subspan(static_cast<size_t>(offset));
    }

private:
    std::span<const uint8_t> FBytes;
};

// Raises EReadError ("流读取错误"): a record that must be whole is not all there.
[[noreturn]] void RaiseStreamReadError();

// A position in a source of bytes, read record by record. The reads that advance raise
// RaiseStreamReadError() when the record is not all there and then consume nothing; the reads
// at an offset give nothing instead. A source that holds its bytes in memory is read straight
// from them; a file is read through its pages (its size is asked for only by Size() and
// Remaining()).
class ByteCursor {
public:
    ByteCursor() = default;
    explicit ByteCursor(std::span<const uint8_t> bytes, uint64_t position = 0)
        : FMemory(bytes), FInMemory(true), FPosition(position) {}
    // The source must outlive the cursor.
    explicit ByteCursor(const TByteSource& source, uint64_t position = 0) : FSource(&source), FPosition(position) {
        if (const auto all = source.Memory()) {
            FMemory = *all;
            FInMemory = true;
        }
    }

    uint64_t Size() const { return FInMemory ? FMemory.size() : FSource->Size(); }
    uint64_t Position() const { return FPosition; }
    // Positions past the end are allowed; reading there raises.
    void Seek(uint64_t position) { FPosition = position; }
    // Bytes between the position and the end.
    uint64_t Remaining() const {
        const uint64_t size = Size();
        return FPosition < size ? size - FPosition : 0;
    }

    // Copies n bytes at offset; false when they are not all there.
    bool ReadAt(uint64_t offset, void* out, size_t n) const;
    std::optional<uint8_t> U8At(uint64_t offset) const { return At<uint8_t, 1>(offset); }
    std::optional<uint16_t> U16At(uint64_t offset) const { return At<uint16_t, 2>(offset); }
    std::optional<uint32_t> U32At(uint64_t offset) const { return At<uint32_t, 4>(offset); }

    // Reads n bytes at the position and moves past them.
    void Read(void* out, size_t n) {
        if (!ReadAt(FPosition, out, n)) RaiseStreamReadError();
        FPosition += n;
    }
    // The next N bytes, for a fixed-size record.
    template <size_t N>
    std::array<uint8_t, N> Record() {
        std::array<uint8_t, N> raw;
        Read(raw.data(), N);
        return raw;
    }
    uint8_t U8() { return Record<1>()[0]; }
    uint16_t U16() { return LoadU16le(Record<2>()); }
    uint32_t U32() { return LoadU32le(Record<4>()); }

private:
    template <typename T, size_t N>
    std::optional<T> At(uint64_t offset) const {
        std::array<uint8_t, N> raw;
        if (!ReadAt(offset, raw.data(), N)) return std::nullopt;
        if constexpr (N == 1)
            return raw[0];
        else if constexpr (N == 2)
            return LoadU16le(raw);
        else
            return LoadU32le(raw);
    }

    std::span<const uint8_t> FMemory;
    bool FInMemory = false;
    const TByteSource* FSource = nullptr;
    uint64_t FPosition = 0;
};

inline bool ByteCursor::ReadAt(uint64_t offset, void* out, size_t n) const {
    if (!FInMemory) return FSource && FSource->Read(offset, out, n);
    const auto bytes = ByteReader(FMemory).bytes(offset, n);
    if (!bytes) return false;
    if (n) std::memcpy(out, bytes->data(), n);
    return true;
}

// Little-endian stores into a caller's buffer (the writers' counterpart).
inline void PutU16le(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32le(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace pictavo
