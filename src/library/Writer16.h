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
// Group and icon resources up to which the resident-name table follows the resource table.
// Its offset from the NE header is 16 bits, and the table of 12-byte records (after 64 bytes of
// NE header, the shift, two type records and the terminator) must end within 0xFFFF bytes of
// that header. A library with more resources gets a resident-name table of its own, holding
// only the module name, in front of the resource table; the icon names stay in the resource
// name strings after the type list, where the reader takes them from.
inline constexpr uint32_t kMaxICLResources = (0xFFFF - 0x40 - 2 - 8 - 8 - 2) / 12;

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
    // Whether the resource table ends too far from the NE header for the resident-name table
    // to follow it (more than kMaxICLResources resources).
    bool NamesFirst() const;
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
