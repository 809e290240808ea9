// Hand-built PE images with a resource section, for tests that need exact control over every
// field (including broken ones).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pictavo::test {

struct PeResource {
    uint16_t Type = 0;
    bool NameIsId = true;
    uint16_t Id = 0;
    std::u16string Text;
    uint16_t Language = 1033;
    std::vector<uint8_t> Data;
};

struct PeImage {
    std::vector<uint8_t> Bytes;
    uint32_t SectionTableOffset = 0;  // file offset of the first section header
    uint32_t ResourceFileOffset = 0;  // file offset of the resource root directory
    uint32_t ResourceRva = 0;
    uint32_t ResourceDirectoryField = 0;  // file offset of the data directory's resource RVA
    // Per resource, in the order given: the file offset of its name's entry in its type's
    // directory, and of its data entry (the RVA and size of its bytes). For pointing several
    // resources at the same name or bytes.
    std::vector<uint32_t> NameEntries;
    std::vector<uint32_t> DataEntries;
};

// A PE32 (or PE32+) DLL image whose only section holds the given resources, with the
// directory ordered as the format asks: types by id; names with strings first (ascending),
// then ids ascending; languages ascending.
PeImage BuildPe(const std::vector<PeResource>& resources, bool pe64 = false);

// A group-icon resource (type 14) listing the given icon ids with entries for 16 px images.
std::vector<uint8_t> GroupData(const std::vector<uint16_t>& iconIds, uint32_t bytesInRes = 40);

}  // namespace pictavo::test
