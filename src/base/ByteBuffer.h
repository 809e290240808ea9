// Immutable bytes shared by everything cut from them (the images of one file read whole),
// with a small cache of values derived from ranges of them (decoded pixels), so that entries
// pointing at the same bytes share one decode.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace pictavo {

class TByteBuffer {
public:
    TByteBuffer(std::unique_ptr<uint8_t[]> bytes, size_t size) : FBytes(std::move(bytes)), FSize(size) {}
    explicit TByteBuffer(std::span<const uint8_t> bytes);
    TByteBuffer(const TByteBuffer&) = delete;
    TByteBuffer& operator=(const TByteBuffer&) = delete;

    std::span<const uint8_t> Bytes() const { return {FBytes.get(), FSize}; }

    // A value derived from the bytes under a key, made by `make` on first use and shared while
    // anyone holds it. `make` may return null (nothing is cached then).
    using Key = std::array<uint64_t, 4>;
    std::shared_ptr<const void> Derived(const Key& key,
                                        const std::function<std::shared_ptr<const void>()>& make) const;

private:
    std::unique_ptr<uint8_t[]> FBytes;
    size_t FSize = 0;
    mutable std::mutex FLock;
    mutable std::map<Key, std::weak_ptr<const void>> FDerived;
};

// Size bytes from Offset of a buffer that others may share (a resource of a module read from a
// file): the bytes stay valid while anyone holds the buffer.
struct TSharedBytes {
    std::shared_ptr<const TByteBuffer> Buffer;
    size_t Offset = 0;
    size_t Size = 0;

    std::span<const uint8_t> Bytes() const {
        return Buffer ? Buffer->Bytes().subspan(Offset, Size) : std::span<const uint8_t>();
    }
};

}  // namespace pictavo
