// Reader of the resource directory of PE32 and PE32+ executables, over bytes that exist (in
// memory, or read from the file in pages). Resources are found through the data directory and
// the section table, never by a section's name.
#pragma once

#include "base/ByteReader.h"
#include "base/ByteSource.h"
#include "icons/ResourceModule.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pictavo {

// Sections beyond this are ignored: the format's own loader refuses more than 96.
inline constexpr uint32_t kMaxPESections = 96;

class TPEResourceReader : public TResourceModule {
public:
    // Parses the headers. Open fails (false) when the bytes are not a PE image; a PE image
    // without resources opens and lists nothing.
    bool Open(std::span<const uint8_t> file);
    // The same over any source of bytes (a file read in pages); the source must outlive the
    // reader.
    bool Open(const TByteSource& source);

    bool Is64Bit() const { return FIs64; }

    // The names under an integer resource type, in the order the directory stores them
    // (string names, then identifiers). Entries whose name cannot be read are passed over; a
    // string name that several entries point at is read once. Raises EReadError when the names
    // listed add up to more characters than the file has bytes: the file can then only name
    // the same bytes again and again.
    std::vector<TResourceName> Names(uint16_t Type) const;

    // The number of names under an integer type: identifiers, and string names whose length
    // word and characters lie in the file. Reads the directory and the length words only, never
    // a name's characters.
    size_t CountNames(uint16_t Type) const;

    // Where the first language version of a resource by type and name lies in the file, cut to
    // the bytes the file holds; nothing when the name is absent or its data lies outside the file.
    struct TRange {
        uint64_t Offset = 0;
        uint64_t Size = 0;
    };
    std::optional<TRange> Locate(uint16_t Type, const TResourceName& Name) const;
    // The bytes of that range, shared with every resource over the same bytes (TSharedRanges).
    std::optional<TSharedBytes> FindResource(uint16_t Type, const TResourceName& Name) const override;

private:
    struct Section {
        uint32_t VirtualAddress, VirtualSize, RawSize, RawOffset;
    };
    struct Entry {
        uint32_t NameField;
        uint32_t OffsetField;
    };
    // Where a string name lies: the file offset of its characters and their number.
    struct NamePlace {
        uint64_t Offset;
        uint16_t Length;
    };

    std::optional<uint64_t> RvaToOffset(uint32_t rva) const;
    // The file offset of the directory at an offset from the resource root.
    std::optional<uint64_t> DirectoryOffset(uint32_t dirOffset) const;
    // The entries of the directory at an offset from the resource root.
    std::vector<Entry> DirectoryEntries(uint32_t dirOffset) const;
    // The string name of an entry, when its length word and characters lie in the file.
    std::optional<NamePlace> StringName(const Entry& e) const;
    // The names of a directory's entries beside the entries, as Names() lists them.
    std::vector<std::pair<Entry, TResourceName>> NamedEntries(uint32_t dirOffset) const;
    std::optional<uint32_t> TypeDirectory(uint16_t Type) const;
    std::optional<TRange> FirstLanguageData(const Entry& nameEntry) const;

    std::unique_ptr<TSpanSource> FOwnSource;
    const TByteSource* FSource = nullptr;
    ByteCursor FCursor;
    std::vector<Section> FSections;
    bool FIs64 = false;
    bool FHasResources = false;
    uint32_t FResourceRva = 0;
    // The resources' bytes as handed out, one buffer per range.
    mutable std::optional<TSharedRanges> FRanges;
    // Type -> its name directory, found on first use.
    mutable std::unordered_map<uint16_t, std::optional<uint32_t>> FTypeDirectories;
    // The text of each string name read so far, by the file offset of its characters.
    mutable std::unordered_map<uint64_t, std::string> FNameTexts;
    // Identifier -> name entry, per type, built on first look-up by identifier.
    mutable std::unordered_map<uint16_t, std::unordered_map<uint16_t, Entry>> FIdIndex;
    // ASCII-lowered text -> name entry, per type, built on first look-up by text.
    mutable std::unordered_map<uint16_t, std::unordered_map<std::string, Entry>> FTextIndex;
};

}  // namespace pictavo
