// Reading files through a read-only memory map and replacing files atomically.
#pragma once

#include "base/ByteBuffer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace pictavo {

// A regular file's bytes, read whole or mapped read-only, for the object's lifetime. The bytes
// are the file's length at open time. Raises EFOpenError ("无法打开文件 ...") when the file cannot
// be opened or is not a regular file.
class TMappedFile {
public:
    // Lazy: always map, so only the pages touched are read (for reading headers and tables
    // of possibly large files). Otherwise small files are read whole.
    enum class TAccess { ReadSmall, Lazy };
    explicit TMappedFile(const std::string& fileName, TAccess access = TAccess::ReadSmall);
    // Reads the file whole (up to kReadWholeLimit; mapped beyond) only when `accept` approves
    // its first `prefix` bytes (fewer when the file is shorter); otherwise holds no bytes and
    // Accepted() is false. For files worth reading only when their header says so.
    TMappedFile(const std::string& fileName, size_t prefix,
                const std::function<bool(std::span<const uint8_t>)>& accept);
    bool Accepted() const { return FAccepted; }
    ~TMappedFile();
    TMappedFile(const TMappedFile&) = delete;
    TMappedFile& operator=(const TMappedFile&) = delete;

    std::span<const uint8_t> Bytes() const { return {FData, FSize}; }
    // The bytes as a shared buffer when the file was read whole; null when it is mapped.
    const std::shared_ptr<const TByteBuffer>& Shared() const { return FOwned; }
    uint64_t Size() const { return FSize; }

    // Files up to this size are read into memory rather than mapped.
    static constexpr size_t kReadWholeLimit = 64 * 1024 * 1024;

private:
    void Open(const std::string& fileName, TAccess access, size_t prefix,
              const std::function<bool(std::span<const uint8_t>)>* accept);

    bool FAccepted = true;
    std::shared_ptr<const TByteBuffer> FOwned;
    const uint8_t* FData = nullptr;
    size_t FSize = 0;
    void* FMap = nullptr;
};

// How a save treats a link at the target.
enum class TSaveTarget {
    // A path the user chose: links are followed to the regular file they lead to.
    FollowLinks,
    // A name made up inside a folder: a link of that name is replaced itself, never followed.
    NameInFolder,
};

// Writes bytes to a temporary file in the target's folder and renames it over the target,
// so an existing file is intact after any failure. Only a regular file is replaced: a target
// that is a folder, device, pipe or socket is refused. Raises EFCreateError
// ("无法创建文件 ...") when the file cannot be created or put in place, and EWriteError
// ("流写入错误") when its bytes cannot all be written.
void WriteFileAtomically(const std::string& fileName, std::span<const uint8_t> bytes,
                         TSaveTarget how = TSaveTarget::FollowLinks);

}  // namespace pictavo
