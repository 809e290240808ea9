#include "base/ByteBuffer.h"

#include <algorithm>
#include <utility>

#include <cstring>

namespace pictavo {

bool TDecodeBudget::Reserve(uint64_t n) {
    uint64_t used = FInUse.load(std::memory_order_relaxed);
    do {
        if (n > FLimit || used > FLimit - n) return false;
    } while (!FInUse.compare_exchange_weak(used, used + n, std::memory_order_relaxed));
    return true;
}

namespace {
std::mutex gListenersLock;
std::vector<std::pair<int, std::function<void()>>> gListeners;
int gLastListener = 0;
std::atomic<uint64_t> gReleases{0};
std::atomic<uint64_t> gLastSerial{0};
}  // namespace

uint64_t DecodeReleases() { return gReleases.load(); }

uint64_t TByteBuffer::NextSerial() { return ++gLastSerial; }

void TDecodeBudget::Release(uint64_t n) {
    FInUse.fetch_sub(n, std::memory_order_relaxed);
    ++gReleases;
    std::lock_guard<std::mutex> lock(gListenersLock);
    for (const auto& [id, listener] : gListeners) listener();
}

int AddDecodeReleaseListener(std::function<void()> listener) {
    std::lock_guard<std::mutex> lock(gListenersLock);
    gListeners.emplace_back(++gLastListener, std::move(listener));
    return gLastListener;
}

void RemoveDecodeReleaseListener(int id) {
    std::function<void()> removed;  // freed after the lock is let go
    std::lock_guard<std::mutex> lock(gListenersLock);
    const auto found =
        std::find_if(gListeners.begin(), gListeners.end(), [id](const auto& entry) { return entry.first == id; });
    if (found == gListeners.end()) return;
    removed = std::move(found->second);
    gListeners.erase(found);
}

TByteBuffer::TByteBuffer(std::span<const uint8_t> bytes, std::shared_ptr<TDecodeBudget> budget)
    : FBytes(new uint8_t[bytes.size() ? bytes.size() : 1]),
      FSize(bytes.size()),
      FBudget(budget ? std::move(budget) : std::make_shared<TDecodeBudget>()) {
    if (FSize) std::memcpy(FBytes.get(), bytes.data(), FSize);
}

std::shared_ptr<const void> TByteBuffer::Derived(const Key& key,
                                                 const std::function<std::shared_ptr<const void>()>& make) const {
    {
        std::lock_guard<std::mutex> lock(FLock);
        auto it = FDerived.find(key);
        if (it != FDerived.end()) {
            if (auto value = it->second.lock()) return value;
        }
    }
    std::shared_ptr<const void> value = make();  // outside the lock: decoding takes a while
    if (!value) return nullptr;
    std::lock_guard<std::mutex> lock(FLock);
    auto& slot = FDerived[key];
    if (auto existing = slot.lock()) return existing;
    slot = value;
    return value;
}

}  // namespace pictavo
