#include "library/PEResources.h"

#include "base/ByteReader.h"
#include "base/Paths.h"
#include "base/Text.h"

#include <algorithm>

namespace pictavo {

namespace {
constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint16_t kPE32Magic = 0x10B;
constexpr uint16_t kPE32PlusMagic = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint64_t kDirectoryHeaderSize = 16;
constexpr uint64_t kDirectoryEntrySize = 8;
constexpr uint64_t kSectionHeaderSize = 40;
}  // namespace

bool TPEResourceReader::Open(std::span<const uint8_t> file) {
    FFile = file;
    FSections.clear();
    FIdIndex.clear();
    FTextIndex.clear();
    FHasResources = false;
    const ByteReader rd(file);
    if (rd.u16le(0) != 0x5A4D) return false;  // "MZ"
    const auto newHeader = rd.u32le(0x3C);
    if (!newHeader || rd.u32le(*newHeader) != 0x00004550u) return false;  // "PE\0\0"
    const uint64_t coff = static_cast<uint64_t>(*newHeader) + 4;
    const auto sectionCount = rd.u16le(coff + 2);
    const auto optionalSize = rd.u16le(coff + 16);
    const uint64_t optional = coff + 20;
    const auto magic = rd.u16le(optional);
    if (!sectionCount || !optionalSize || !magic) return false;
    uint64_t directories, rvaCountAt;
    if (*magic == kPE32Magic) {
        FIs64 = false;
        rvaCountAt = optional + 92;
        directories = optional + 96;
    } else if (*magic == kPE32PlusMagic) {
        FIs64 = true;
        rvaCountAt = optional + 108;
        directories = optional + 112;
    } else {
        return false;
    }

    const uint64_t sectionTable = optional + *optionalSize;
    const uint64_t fitting = rd.tail(sectionTable).size() / kSectionHeaderSize;
    const uint64_t count = std::min<uint64_t>({*sectionCount, kMaxPESections, fitting});
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t s = sectionTable + i * kSectionHeaderSize;
        FSections.push_back(Section{*rd.u32le(s + 12), *rd.u32le(s + 8), *rd.u32le(s + 16), *rd.u32le(s + 20)});
    }

    const auto rvaCount = rd.u32le(rvaCountAt);
    const uint64_t directoryEnd = directories + (kResourceDirectoryIndex + 1) * 8;
    if (rvaCount && *rvaCount > kResourceDirectoryIndex && directoryEnd <= optional + *optionalSize) {
        const auto rva = rd.u32le(directories + kResourceDirectoryIndex * 8);
        if (rva && *rva != 0) {
            FResourceRva = *rva;
            FHasResources = true;
        }
    }
    return true;
}

std::optional<uint64_t> TPEResourceReader::RvaToOffset(uint32_t rva) const {
    for (const Section& s : FSections) {
        const uint64_t extent = std::max(s.VirtualSize, s.RawSize);
        if (rva < s.VirtualAddress || rva - s.VirtualAddress >= extent) continue;
        const uint64_t delta = rva - s.VirtualAddress;
        if (delta >= s.RawSize) return std::nullopt;  // zero-filled memory the file does not hold
        const uint64_t offset = static_cast<uint64_t>(s.RawOffset) + delta;
        if (offset >= FFile.size()) return std::nullopt;
        return offset;
    }
    return std::nullopt;
}

std::vector<TPEResourceReader::Entry> TPEResourceReader::DirectoryEntries(uint32_t dirOffset) const {
    std::vector<Entry> entries;
    const uint64_t rva = static_cast<uint64_t>(FResourceRva) + dirOffset;
    if (rva > 0xFFFFFFFFu) return entries;
    const auto offset = RvaToOffset(static_cast<uint32_t>(rva));
    if (!offset) return entries;
    const ByteReader rd(FFile);
    const auto named = rd.u16le(*offset + 12), ids = rd.u16le(*offset + 14);
    if (!named || !ids) return entries;
    // Never more entries than the bytes after the header can hold.
    const uint64_t fitting = rd.tail(*offset + kDirectoryHeaderSize).size() / kDirectoryEntrySize;
    const uint64_t count = std::min<uint64_t>(uint64_t{*named} + *ids, fitting);
    entries.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t e = *offset + kDirectoryHeaderSize + i * kDirectoryEntrySize;
        entries.push_back(Entry{*rd.u32le(e), *rd.u32le(e + 4)});
    }
    return entries;
}

std::optional<TResourceName> TPEResourceReader::EntryName(const Entry& e) const {
    if (!(e.NameField & kHighBit)) return TResourceName::FromId(static_cast<uint16_t>(e.NameField));
    const uint64_t rva = static_cast<uint64_t>(FResourceRva) + (e.NameField & ~kHighBit);
    if (rva > 0xFFFFFFFFu) return std::nullopt;
    const auto offset = RvaToOffset(static_cast<uint32_t>(rva));
    if (!offset) return std::nullopt;
    const ByteReader rd(FFile);
    const auto length = rd.u16le(*offset);
    if (!length) return std::nullopt;
    const auto chars = rd.bytes(*offset + 2, uint64_t{*length} * 2);
    if (!chars) return std::nullopt;  // a name that runs past the end of the file
    std::string text = Utf16leToUtf8(*chars);
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return TResourceName::FromText(std::move(text));
}

std::optional<uint32_t> TPEResourceReader::TypeDirectory(uint16_t Type) const {
    if (!FHasResources) return std::nullopt;
    for (const Entry& e : DirectoryEntries(0))
        if (!(e.NameField & kHighBit) && static_cast<uint16_t>(e.NameField) == Type && (e.OffsetField & kHighBit))
            return e.OffsetField & ~kHighBit;
    return std::nullopt;
}

std::vector<TResourceName> TPEResourceReader::Names(uint16_t Type) const {
    std::vector<TResourceName> names;
    const auto dir = TypeDirectory(Type);
    if (!dir) return names;
    for (const Entry& e : DirectoryEntries(*dir))
        if (auto name = EntryName(e)) names.push_back(std::move(*name));
    return names;
}

size_t TPEResourceReader::CountNames(uint16_t Type) const {
    const auto dir = TypeDirectory(Type);
    if (!dir) return 0;
    size_t n = 0;
    for (const Entry& e : DirectoryEntries(*dir)) n += EntryName(e).has_value();
    return n;
}

std::optional<std::span<const uint8_t>> TPEResourceReader::FirstLanguageData(const Entry& nameEntry) const {
    uint32_t dataEntry;
    if (nameEntry.OffsetField & kHighBit) {
        const auto languages = DirectoryEntries(nameEntry.OffsetField & ~kHighBit);
        if (languages.empty() || (languages.front().OffsetField & kHighBit)) return std::nullopt;
        dataEntry = languages.front().OffsetField;
    } else {
        dataEntry = nameEntry.OffsetField;  // data straight under the name: no language level
    }
    const uint64_t rva = static_cast<uint64_t>(FResourceRva) + dataEntry;
    if (rva > 0xFFFFFFFFu) return std::nullopt;
    const auto offset = RvaToOffset(static_cast<uint32_t>(rva));
    if (!offset) return std::nullopt;
    const ByteReader rd(FFile);
    const auto dataRva = rd.u32le(*offset), size = rd.u32le(*offset + 4);
    if (!dataRva || !size) return std::nullopt;
    if (*size == 0) return std::span<const uint8_t>();
    const auto at = RvaToOffset(*dataRva);
    if (!at) return std::nullopt;
    // Cut to the bytes of the section that the file holds.
    uint64_t limit = FFile.size();
    for (const Section& s : FSections)
        if (*dataRva >= s.VirtualAddress && *dataRva - s.VirtualAddress < s.RawSize)
            limit = std::min<uint64_t>(limit, uint64_t{s.RawOffset} + s.RawSize);
    const uint64_t available = limit > *at ? limit - *at : 0;
    return rd.bytes(*at, std::min<uint64_t>(*size, available));
}

std::optional<std::span<const uint8_t>> TPEResourceReader::FindResource(uint16_t Type,
                                                                        const TResourceName& Name) const {
    const auto dir = TypeDirectory(Type);
    if (!dir) return std::nullopt;
    if (Name.IsId) {
        auto [it, fresh] = FIdIndex.try_emplace(Type);
        if (fresh)
            for (const Entry& e : DirectoryEntries(*dir))
                if (!(e.NameField & kHighBit)) it->second.try_emplace(static_cast<uint16_t>(e.NameField), e);
        const auto found = it->second.find(Name.Id);
        if (found == it->second.end()) return std::nullopt;
        return FirstLanguageData(found->second);
    }
    auto [it, fresh] = FTextIndex.try_emplace(Type);
    if (fresh)
        for (const Entry& e : DirectoryEntries(*dir)) {
            if (!(e.NameField & kHighBit)) continue;
            if (auto name = EntryName(e)) it->second.try_emplace(LowerAscii(name->Text), e);
        }
    const auto found = it->second.find(LowerAscii(Name.Text));
    if (found == it->second.end()) return std::nullopt;
    return FirstLanguageData(found->second);
}

}  // namespace pictavo
