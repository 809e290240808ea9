// Reader of the resource directory of PE32 and PE32+ executables, over bytes that exist
// (a read-only map of the file). Resources are found through the data directory and the
// section table, never by a section's name.
#pragma once

#include "base/ByteSource.h"
#include "icons/ResourceModule.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace pictavo {

// Sections beyond this are ignored: the format's own loader refuses more than 96.
inline constexpr uint32_t kMaxPESections = 96;

class TPEResourceReader : public TResourceModule {
public:
    // Parses the headers. Open fails (false) when the bytes are not a PE image; a PE image
    // without resources opens and lists nothing.
    bool Open(std::span<const uint8_t> file);
    // The same over any source of bytes (for counting straight from a file); the source must
    // outlive the reader. FindResource finds data only in sources that hold their bytes.
    bool Open(const TByteSource& source);

    bool Is64Bit() const { return FIs64; }

    // The names under an integer resource type, in the order the directory stores them
    // (string names, then identifiers). Entries whose name cannot be read are passed over.
    std::vector<TResourceName> Names(uint16_t Type) const;

    // The number of names under an integer type, reading no more than the directory.
    size_t CountNames(uint16_t Type) const;

    // The first language version of a resource by type and name. The bytes are cut to what
    // the file holds; nothing when the name is absent or its data lies outside the file.
    std::optional<std::span<const uint8_t>> FindResource(uint16_t Type, const TResourceName& Name) const override;

private:
    struct Section {
        uint32_t VirtualAddress, VirtualSize, RawSize, RawOffset;
    };
    struct Entry {
        uint32_t NameField;
        uint32_t OffsetField;
    };

    std::optional<uint64_t> RvaToOffset(uint32_t rva) const;
    // The entries of the directory at an offset from the resource root.
    std::vector<Entry> DirectoryEntries(uint32_t dirOffset) const;
    std::optional<TResourceName> EntryName(const Entry& e) const;
    std::optional<uint32_t> TypeDirectory(uint16_t Type) const;
    std::optional<std::span<const uint8_t>> FirstLanguageData(const Entry& nameEntry) const;

    std::unique_ptr<TSpanSource> FOwnSource;
    const TByteSource* FSource = nullptr;
    std::vector<Section> FSections;
    bool FIs64 = false;
    bool FHasResources = false;
    uint32_t FResourceRva = 0;
    // Identifier -> name entry, per type, built on first look-up by identifier.
    mutable std::unordered_map<uint16_t, std::unordered_map<uint16_t, Entry>> FIdIndex;
    // ASCII-lowered text -> name entry, per type, built on first look-up by text.
    mutable std::unordered_map<uint16_t, std::unordered_map<std::string, Entry>> FTextIndex;
};

}  // namespace pictavo
