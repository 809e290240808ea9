// Writer of .icl icon libraries: a 16-bit NE file that holds only resources — one group icon
// per library entry, one icon resource per image, and the entry names.
#pragma once

#include "base/Streams.h"
#include "library/IconLibrary.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pictavo {

// Image identifiers are 15-bit: no more images than this fit one library file.
inline constexpr uint32_t kMaxICLImages = 0x7FFF;

class T16BitWriter {
public:
    explicit T16BitWriter(const TIconLibrary& Library);
    // Builds the whole file in memory, then replaces FileName atomically. Raises
    // EICLReadError for a library this layout cannot hold (too many images, an image
    // without data) and EFCreateError when the file cannot be written.
    void SaveToFile(const std::string& FileName);
    // The bytes of the file, built in memory (what SaveToFile writes).
    const std::vector<uint8_t>& Build();

    uint16_t AlignShift() const { return FAlignShift; }

private:
    void Check() const;
    void WriteHeaders();
    void WriteResourceTable();
    void WriteNames();
    void ComputeAlignShift();
    void WriteResourceData();
    void PadToAlignment();
    void PatchEntry(uint64_t RecordPos, uint64_t Start, uint64_t End);

    const TIconLibrary& FSourceLibrary;
    TMemoryStream FStream;
    uint32_t FImageCount = 0;                  // icon resources written
    std::vector<const TIconImage*> FDistinct;  // the image of each icon resource, in number order
    std::vector<uint16_t> FImageNumbers;       // every image's resource number, in library order
    std::vector<uint64_t> FGroupEntryPos;
    std::vector<uint64_t> FIconEntryPos;
    uint64_t FResTablePos = 0;
    uint64_t FNamesFieldPos = 0;
    uint16_t FAlignShift = 0;
    bool FBuilt = false;
};

}  // namespace pictavo
