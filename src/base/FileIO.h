// Reading files through a read-only memory map and replacing files atomically.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pictavo {

// A regular file mapped read-only for the object's lifetime. The bytes are exactly the
// file's length at open time. Raises EFOpenError ("无法打开文件 ...") when the file cannot
// be opened or is not a regular file.
class TMappedFile {
public:
    explicit TMappedFile(const std::string& fileName);
    ~TMappedFile();
    TMappedFile(const TMappedFile&) = delete;
    TMappedFile& operator=(const TMappedFile&) = delete;

    std::span<const uint8_t> Bytes() const { return {FData, FSize}; }
    uint64_t Size() const { return FSize; }

private:
    const uint8_t* FData = nullptr;
    size_t FSize = 0;
    void* FMap = nullptr;
};

// Writes bytes to a temporary file in the target's folder and renames it over the target,
// so an existing file is intact after any failure. Raises EFCreateError
// ("无法创建文件 ...") when the file cannot be created or written.
void WriteFileAtomically(const std::string& fileName, std::span<const uint8_t> bytes);

}  // namespace pictavo
