// Reading files whole into memory and replacing files atomically.
#pragma once

#include "base/ByteBuffer.h"
#include "base/ByteSource.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace pictavo {

// A regular file's bytes, read whole into one buffer for the object's lifetime: the file's
// length at open time, or what it still held when read (a file that shrinks meanwhile gives
// fewer bytes, never a fault). Raises EFOpenError ("无法打开文件 ...") when the file cannot be
// opened or is not a regular file, and EReadError (RaiseFileTooLarge) for a file larger than
// kReadWholeLimit.
class TFileBytes {
public:
    explicit TFileBytes(const std::string& fileName);
    // Reads the file whole only when `accept` approves its first `prefix` bytes (fewer when the
    // file is shorter); otherwise holds no bytes and Accepted() is false. For files worth
    // reading only when their header says so.
    TFileBytes(const std::string& fileName, size_t prefix, const std::function<bool(std::span<const uint8_t>)>& accept);
    bool Accepted() const { return FAccepted; }
    TFileBytes(const TFileBytes&) = delete;
    TFileBytes& operator=(const TFileBytes&) = delete;

    std::span<const uint8_t> Bytes() const { return FOwned ? FOwned->Bytes() : std::span<const uint8_t>(); }
    // The bytes as a shared buffer, for what is cut from them; null when there are none.
    const std::shared_ptr<const TByteBuffer>& Shared() const { return FOwned; }
    uint64_t Size() const { return Bytes().size(); }

    // The largest file read.
    static constexpr uint64_t kReadWholeLimit = kMaxWholeFileRead;

private:
    void Open(const std::string& fileName, size_t prefix, const std::function<bool(std::span<const uint8_t>)>* accept);

    bool FAccepted = true;
    std::shared_ptr<const TByteBuffer> FOwned;
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

// Writes bytes into the empty file of that name itself, keeping its inode, so that a process
// holding it open (a thumbnailer service that created it and reads it back through its
// descriptor) sees the new bytes. Only an empty regular file with a single name, opened without
// following a link, is written so; for anything else (no such file, a file that holds bytes, a
// link, a folder, a device or pipe, a file with other hard links, one that cannot be opened for
// writing) nothing is touched and the result is false. Raises EWriteError ("流写入错误") when
// the bytes cannot all be written; the file is then left empty, as it was.
bool WriteFileInPlace(const std::string& fileName, std::span<const uint8_t> bytes);

}  // namespace pictavo
