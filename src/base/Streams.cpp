#include "base/Streams.h"

#include "base/ByteReader.h"
#include "base/Errors.h"

#include <cstring>

namespace pictavo {

std::shared_ptr<const TByteBuffer> TStream::SharedBytes() {
    const uint64_t at = FPosition;
    FPosition = 0;
    std::vector<uint8_t> all = ReadVector(static_cast<size_t>(Size()));
    FPosition = at;
    return std::make_shared<const TByteBuffer>(all);
}

std::shared_ptr<const TByteBuffer> TSpanStream::SharedBytes() {
    return FOwner ? FOwner : std::make_shared<const TByteBuffer>(FBytes);
}

std::vector<uint8_t> TStream::ReadVector(size_t n) {
    const uint64_t left = Remaining();
    std::vector<uint8_t> out(static_cast<size_t>(n < left ? n : left));
    out.resize(out.empty() ? 0 : Read(out.data(), out.size()));
    return out;
}

std::vector<uint8_t> TSpanStream::ReadVector(size_t n) {
    const uint64_t left = Remaining();
    const size_t count = static_cast<size_t>(n < left ? n : left);
    std::vector<uint8_t> out(FBytes.begin() + static_cast<ptrdiff_t>(FPosition),
                             FBytes.begin() + static_cast<ptrdiff_t>(FPosition + count));
    FPosition += count;
    return out;
}

size_t TSpanStream::Read(void* buffer, size_t n) {
    const uint64_t left = Remaining();
    const size_t count = n < left ? n : static_cast<size_t>(left);
    if (count) std::memcpy(buffer, FBytes.data() + FPosition, count);
    FPosition += count;
    return count;
}

void TSpanStream::Write(const void*, size_t) { RaiseWriteError(); }

size_t TSourceStream::Read(void* buffer, size_t n) {
    const uint64_t left = Remaining();
    const size_t count = static_cast<size_t>(n < left ? n : left);
    if (count == 0 || !FSource.Read(FPosition, buffer, count)) return 0;
    FPosition += count;
    return count;
}

void TSourceStream::Write(const void*, size_t) { RaiseWriteError(); }

size_t TMemoryStream::Read(void* buffer, size_t n) {
    const uint64_t left = Remaining();
    const size_t count = n < left ? n : static_cast<size_t>(left);
    if (count) std::memcpy(buffer, FData.data() + FPosition, count);
    FPosition += count;
    return count;
}

void TMemoryStream::Write(const void* buffer, size_t n) {
    if (n == 0) return;
    const uint64_t end = FPosition + n;
    if (end > FData.size()) FData.resize(static_cast<size_t>(end));
    std::memcpy(FData.data() + FPosition, buffer, n);
    FPosition = end;
}

}  // namespace pictavo
