// The layout of the executable headers this program reads and writes: the DOS header every
// executable begins with, the PE (32- and 64-bit) headers and the NE (16-bit) header. Offsets
// are in bytes from the start of the header they belong to; words are little-endian.
#pragma once

#include <cstdint>

namespace pictavo::exe {

// DOS header.
inline constexpr uint16_t kDosSignature = 0x5A4D;     // "MZ"
inline constexpr uint64_t kDosNewHeaderField = 0x3C;  // the new header's file offset (60)
inline constexpr uint64_t kDosHeaderSize = 0x40;

// PE: the signature, the file header after it and the optional header after that.
inline constexpr uint32_t kPESignature = 0x00004550;  // "PE\0\0"
inline constexpr uint16_t kPESignatureWord = 0x4550;  // "PE", the signature's low word
inline constexpr uint64_t kPESignatureSize = 4;
inline constexpr uint64_t kPESectionCountField = 2;   // in the file header
inline constexpr uint64_t kPEOptionalSizeField = 16;  // in the file header
inline constexpr uint64_t kPEFileHeaderSize = 20;
inline constexpr uint16_t kPE32Magic = 0x10B;  // the optional header's first word
inline constexpr uint16_t kPE32PlusMagic = 0x20B;
// The count of data directories and the directories themselves, in the optional header.
inline constexpr uint64_t kPE32DirectoryCountField = 92;
inline constexpr uint64_t kPE32DirectoriesField = 96;
inline constexpr uint64_t kPE32PlusDirectoryCountField = 108;
inline constexpr uint64_t kPE32PlusDirectoriesField = 112;
inline constexpr uint64_t kPEDataDirectorySize = 8;  // address and size
inline constexpr uint32_t kPEResourceDirectoryIndex = 2;
// A section header: the sizes, address and file offset of one section.
inline constexpr uint64_t kPESectionHeaderSize = 40;
inline constexpr uint64_t kPESectionVirtualSizeField = 8;
inline constexpr uint64_t kPESectionVirtualAddressField = 12;
inline constexpr uint64_t kPESectionRawSizeField = 16;
inline constexpr uint64_t kPESectionRawOffsetField = 20;
// The resource directory: a header with the counts of named and of identified entries, then
// the entries (name field, offset field); data entries hold an address and a size.
inline constexpr uint64_t kPEResourceNamedCountField = 12;
inline constexpr uint64_t kPEResourceIdCountField = 14;
inline constexpr uint64_t kPEResourceDirectoryHeaderSize = 16;
inline constexpr uint64_t kPEResourceEntrySize = 8;
inline constexpr uint32_t kPEResourceHighBit = 0x80000000u;  // a string name / a subdirectory

// NE header.
inline constexpr uint16_t kNESignature = 0x454E;  // "NE"
inline constexpr uint64_t kNESegmentTableField = 0x22;
inline constexpr uint64_t kNEResourceTableField = 0x24;  // from the NE header
inline constexpr uint64_t kNEResidentNamesField = 0x26;  // from the NE header
inline constexpr uint64_t kNETargetOSField = 0x36;
inline constexpr uint64_t kNEExpectedVersionField = 0x3F;
inline constexpr uint64_t kNEHeaderSize = 0x40;
// The NE resource table: the alignment shift, then per type a type word, a count, 4 reserved
// bytes and that many 12-byte records; a type word 0 ends the list.
inline constexpr uint16_t kNEIntegerBit = 0x8000;  // an integer type or identifier
inline constexpr uint64_t kNETypeInfoReserved = 4;
inline constexpr uint64_t kNEResourceRecordSize = 12;

}  // namespace pictavo::exe
