// Byte streams: a read-only view over bytes that exist (a file read into memory, a resource) and a
// growable memory stream for writing. Reads never go past the end of what exists.
#pragma once

#include "base/ByteBuffer.h"
#include "base/ByteSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace pictavo {

class TStream {
public:
    virtual ~TStream() = default;
    // Reads up to n bytes at the position; returns how many were read.
    virtual size_t Read(void* buffer, size_t n) = 0;
    // Writes n bytes at the position, growing the stream when needed.
    virtual void Write(const void* buffer, size_t n) = 0;
    virtual uint64_t Size() const = 0;
    uint64_t Position() const { return FPosition; }
    // Positions past the end are allowed; reading there yields nothing.
    void Seek(uint64_t position) { FPosition = position; }

    // Reads up to n bytes at the position into a new buffer (fewer when the stream ends first).
    virtual std::vector<uint8_t> ReadVector(size_t n);
    // Bytes that remain between the position and the end.
    uint64_t Remaining() const { return FPosition < Size() ? Size() - FPosition : 0; }
    // All the stream's bytes, from its first, as one buffer that what is read from them may
    // share: the buffer the stream views, or else a copy of what it holds.
    virtual std::shared_ptr<const TByteBuffer> SharedBytes();
    // Makes room for a stream of n bytes ahead of writing them (where that helps).
    virtual void Reserve(size_t) {}

protected:
    uint64_t FPosition = 0;
};

// A read-only stream over bytes owned by someone else.
class TSpanStream : public TStream {
public:
    explicit TSpanStream(std::span<const uint8_t> bytes) : FBytes(bytes) {}
    // A view of the whole of a shared buffer: what is read from it may share the buffer.
    explicit TSpanStream(std::shared_ptr<const TByteBuffer> owner)
        : FBytes(owner ? owner->Bytes() : std::span<const uint8_t>()), FOwner(std::move(owner)) {}
    size_t Read(void* buffer, size_t n) override;
    void Write(const void* buffer, size_t n) override;  // raises: the view is read-only
    uint64_t Size() const override { return FBytes.size(); }
    std::vector<uint8_t> ReadVector(size_t n) override;  // copies straight from the view
    std::shared_ptr<const TByteBuffer> SharedBytes() override;
    std::span<const uint8_t> Bytes() const { return FBytes; }

private:
    std::span<const uint8_t> FBytes;
    std::shared_ptr<const TByteBuffer> FOwner;
};

// A read-only stream over any source of bytes.
class TSourceStream : public TStream {
public:
    explicit TSourceStream(const TByteSource& source) : FSource(source) {}
    size_t Read(void* buffer, size_t n) override;
    void Write(const void* buffer, size_t n) override;  // raises: read-only
    uint64_t Size() const override { return FSource.Size(); }

private:
    const TByteSource& FSource;
};

// A growable in-memory stream.
class TMemoryStream : public TStream {
public:
    size_t Read(void* buffer, size_t n) override;
    void Write(const void* buffer, size_t n) override;
    uint64_t Size() const override { return FData.size(); }
    const std::vector<uint8_t>& Data() const { return FData; }
    void Reserve(size_t n) override { FData.reserve(n); }

private:
    std::vector<uint8_t> FData;
};

}  // namespace pictavo
