// The one place where file bytes are read: every offset and length is checked against
// the bytes that exist. Nothing else does pointer arithmetic on untrusted data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace pictavo {

class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::span<const uint8_t> bytes) : FBytes(bytes) {}

    size_t size() const { return FBytes.size(); }
    std::span<const uint8_t> all() const { return FBytes; }

    // True when [offset, offset + n) lies inside the bytes.
    bool has(uint64_t offset, uint64_t n) const {
        return offset <= FBytes.size() && n <= FBytes.size() - offset;
    }

    std::optional<uint8_t> u8(uint64_t offset) const {
        if (!has(offset, 1)) return std::nullopt;
        return FBytes[offset];
    }
    std::optional<uint16_t> u16le(uint64_t offset) const {
        if (!has(offset, 2)) return std::nullopt;
        return static_cast<uint16_t>(FBytes[offset] | (FBytes[offset + 1] << 8));
    }
    std::optional<uint32_t> u32le(uint64_t offset) const {
        if (!has(offset, 4)) return std::nullopt;
        return static_cast<uint32_t>(FBytes[offset]) | (static_cast<uint32_t>(FBytes[offset + 1]) << 8) |
               (static_cast<uint32_t>(FBytes[offset + 2]) << 16) |
               (static_cast<uint32_t>(FBytes[offset + 3]) << 24);
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
