// Immutable bytes shared by everything cut from them (the images of one file read whole),
// with a small cache of values derived from ranges of them (decoded pixels), so that entries
// pointing at the same bytes share one decode.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace pictavo {

// Decoded pixels that the images of one file may hold at once. Every image decodes lazily, but
// a small file can name thousands of images whose pictures are each megabytes large; past the
// budget a decode is refused (and may succeed later, once other pixels are released).
inline constexpr uint64_t kMaxDecodedBytesPerFile = uint64_t{512} << 20;

class TDecodeBudget {
public:
    explicit TDecodeBudget(uint64_t limit = kMaxDecodedBytesPerFile) : FLimit(limit) {}
    // Takes n bytes of the budget; false (and nothing taken) when they are not left.
    bool Reserve(uint64_t n);
    // Gives n bytes back, and tells the release listeners.
    void Release(uint64_t n);
    uint64_t InUse() const { return FInUse.load(std::memory_order_relaxed); }
    // Whether n bytes could ever be reserved (once everything else is released).
    bool CouldFit(uint64_t n) const { return n <= FLimit; }

private:
    const uint64_t FLimit;
    std::atomic<uint64_t> FInUse{0};
};

// Whoever waits for decoded bytes to go back to a budget (decodes refused for want of them):
// each listener is called on the thread that released them, whatever the budget, and must
// not release bytes itself. The id removes it again; removal waits for a call under way.
int AddDecodeReleaseListener(std::function<void()> listener);
void RemoveDecodeReleaseListener(int id);
// How many times bytes went back to any budget so far: a decode refused when it was N may be
// tried again at once once it is no longer N.
uint64_t DecodeReleases();

class TByteBuffer {
public:
    // A buffer gets a decode budget of its own unless it shares the one of the file it is cut
    // from (the chunks of one file read piece by piece).
    TByteBuffer(std::unique_ptr<uint8_t[]> bytes, size_t size, std::shared_ptr<TDecodeBudget> budget = nullptr)
        : FBytes(std::move(bytes)),
          FSize(size),
          FBudget(budget ? std::move(budget) : std::make_shared<TDecodeBudget>()) {}
    explicit TByteBuffer(std::span<const uint8_t> bytes, std::shared_ptr<TDecodeBudget> budget = nullptr);
    TByteBuffer(const TByteBuffer&) = delete;
    TByteBuffer& operator=(const TByteBuffer&) = delete;

    std::span<const uint8_t> Bytes() const { return {FBytes.get(), FSize}; }
    // A number no other buffer of the process has had or will have: what is derived from these
    // bytes is kept under it, never under an address that another buffer may take later.
    uint64_t Serial() const { return FSerial; }
    const std::shared_ptr<TDecodeBudget>& SharedBudget() const { return FBudget; }

    // A value derived from the bytes under a key, made by `make` on first use and shared while
    // anyone holds it. `make` may return null (nothing is cached then).
    using Key = std::array<uint64_t, 4>;
    std::shared_ptr<const void> Derived(const Key& key, const std::function<std::shared_ptr<const void>()>& make) const;

private:
    static uint64_t NextSerial();
    std::unique_ptr<uint8_t[]> FBytes;
    size_t FSize = 0;
    const uint64_t FSerial = NextSerial();
    std::shared_ptr<TDecodeBudget> FBudget;
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
