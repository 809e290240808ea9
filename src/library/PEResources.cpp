#include "library/PEResources.h"

#include "base/ByteReader.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "library/ExeFormat.h"

#include <algorithm>

namespace pictavo {

namespace {
using namespace exe;
constexpr uint32_t kHighBit = kPEResourceHighBit;
constexpr uint64_t kDirectoryHeaderSize = kPEResourceDirectoryHeaderSize;
constexpr uint64_t kDirectoryEntrySize = kPEResourceEntrySize;
}  // namespace

bool TPEResourceReader::Open(std::span<const uint8_t> file) {
    FOwnSource = std::make_unique<TSpanSource>(file);
    return Open(*FOwnSource);
}

bool TPEResourceReader::Open(const TByteSource& source) {
    FSource = &source;
    FRanges.emplace(source);
    FSections.clear();
    FTypeDirectories.clear();
    FNameTexts.clear();
    FIdIndex.clear();
    FTextIndex.clear();
    FHasResources = false;
    FCursor = ByteCursor(source);
    const ByteCursor& rd = FCursor;
    if (rd.U16At(0) != kDosSignature) return false;
    const auto newHeader = rd.U32At(kDosNewHeaderField);
    if (!newHeader || rd.U32At(*newHeader) != kPESignature) return false;
    const uint64_t coff = static_cast<uint64_t>(*newHeader) + kPESignatureSize;
    const auto sectionCount = rd.U16At(coff + kPESectionCountField);
    const auto optionalSize = rd.U16At(coff + kPEOptionalSizeField);
    const uint64_t optional = coff + kPEFileHeaderSize;
    const auto magic = rd.U16At(optional);
    if (!sectionCount || !optionalSize || !magic) return false;
    uint64_t directories, rvaCountAt;
    if (*magic == kPE32Magic) {
        FIs64 = false;
        rvaCountAt = optional + kPE32DirectoryCountField;
        directories = optional + kPE32DirectoriesField;
    } else if (*magic == kPE32PlusMagic) {
        FIs64 = true;
        rvaCountAt = optional + kPE32PlusDirectoryCountField;
        directories = optional + kPE32PlusDirectoriesField;
    } else {
        return false;
    }

    const uint64_t sectionTable = optional + *optionalSize;
    // The sections the table holds, no more than the file has room for.
    uint64_t count = std::min<uint64_t>(*sectionCount, kMaxPESections);
    std::vector<uint8_t> table(static_cast<size_t>(count * kPESectionHeaderSize));
    if (!rd.ReadAt(sectionTable, table.data(), table.size())) {
        const uint64_t fitting = sectionTable < rd.Size() ? (rd.Size() - sectionTable) / kPESectionHeaderSize : 0;
        count = std::min(count, fitting);
        table.resize(static_cast<size_t>(count * kPESectionHeaderSize));
        if (!rd.ReadAt(sectionTable, table.data(), table.size())) return false;
    }
    const ByteReader sections(table);
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t s = i * kPESectionHeaderSize;
        FSections.push_back(
            Section{*sections.u32le(s + kPESectionVirtualAddressField), *sections.u32le(s + kPESectionVirtualSizeField),
                    *sections.u32le(s + kPESectionRawSizeField), *sections.u32le(s + kPESectionRawOffsetField)});
    }

    const auto rvaCount = rd.U32At(rvaCountAt);
    const uint64_t directoryEnd = directories + (kPEResourceDirectoryIndex + 1) * kPEDataDirectorySize;
    if (rvaCount && *rvaCount > kPEResourceDirectoryIndex && directoryEnd <= optional + *optionalSize) {
        const auto rva = rd.U32At(directories + kPEResourceDirectoryIndex * kPEDataDirectorySize);
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
        return offset;
    }
    return std::nullopt;
}

std::optional<uint64_t> TPEResourceReader::DirectoryOffset(uint32_t dirOffset) const {
    const uint64_t rva = static_cast<uint64_t>(FResourceRva) + dirOffset;
    if (rva > 0xFFFFFFFFu) return std::nullopt;
    return RvaToOffset(static_cast<uint32_t>(rva));
}

std::vector<TPEResourceReader::Entry> TPEResourceReader::DirectoryEntries(uint32_t dirOffset) const {
    std::vector<Entry> entries;
    const auto offset = DirectoryOffset(dirOffset);
    if (!offset) return entries;
    const auto named = FCursor.U16At(*offset + kPEResourceNamedCountField),
               ids = FCursor.U16At(*offset + kPEResourceIdCountField);
    if (!named || !ids) return entries;
    // Never more entries than the bytes after the header can hold.
    const uint64_t first = *offset + kDirectoryHeaderSize;
    uint64_t count = uint64_t{*named} + *ids;
    // A directory larger than a page is measured against the file before anything is allocated.
    if (count * kDirectoryEntrySize > 4096) {
        const uint64_t fitting = first < FCursor.Size() ? (FCursor.Size() - first) / kDirectoryEntrySize : 0;
        count = std::min(count, fitting);
    }
    std::vector<uint8_t> raw(static_cast<size_t>(count * kDirectoryEntrySize));
    // Only whole entries are taken; the file may end (or have shrunk) before the last one.
    count = FSource->ReadUpTo(first, raw.data(), raw.size()) / kDirectoryEntrySize;
    const ByteReader rd(raw);
    entries.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i)
        entries.push_back(Entry{*rd.u32le(i * kDirectoryEntrySize), *rd.u32le(i * kDirectoryEntrySize + 4)});
    return entries;
}

std::optional<TPEResourceReader::NamePlace> TPEResourceReader::StringName(const Entry& e) const {
    const uint64_t rva = static_cast<uint64_t>(FResourceRva) + (e.NameField & ~kHighBit);
    if (rva > 0xFFFFFFFFu) return std::nullopt;
    const auto offset = RvaToOffset(static_cast<uint32_t>(rva));
    if (!offset) return std::nullopt;
    const auto length = FCursor.U16At(*offset);
    if (!length || *offset + 2 + uint64_t{*length} * 2 > FCursor.Size()) return std::nullopt;  // runs past the end
    return NamePlace{*offset + 2, *length};
}

std::vector<std::pair<TPEResourceReader::Entry, TResourceName>> TPEResourceReader::NamedEntries(
    uint32_t dirOffset) const {
    std::vector<std::pair<Entry, TResourceName>> named;
    // Every name listed is a string of its own, however many entries share its bytes; their
    // characters together are held to the file's size.
    uint64_t characters = 0;
    for (const Entry& e : DirectoryEntries(dirOffset)) {
        if (!(e.NameField & kHighBit)) {
            named.emplace_back(e, TResourceName::FromId(static_cast<uint16_t>(e.NameField)));
            continue;
        }
        const auto place = StringName(e);
        if (!place) continue;
        characters += place->Length;
        if (characters > FCursor.Size()) throw EReadError(Message("资源名称的总长度超过了文件的大小"));
        auto [text, fresh] = FNameTexts.try_emplace(place->Offset);
        if (fresh) {
            std::vector<uint8_t> chars(size_t{place->Length} * 2);
            if (!FCursor.ReadAt(place->Offset, chars.data(), chars.size())) {  // the file shrank
                FNameTexts.erase(text);
                continue;
            }
            text->second = Utf16leToUtf8(chars);
            const size_t nul = text->second.find('\0');
            if (nul != std::string::npos) text->second.resize(nul);
        }
        named.emplace_back(e, TResourceName::FromText(text->second));
    }
    return named;
}

std::optional<uint32_t> TPEResourceReader::TypeDirectory(uint16_t Type) const {
    if (!FHasResources) return std::nullopt;
    const auto [found, fresh] = FTypeDirectories.try_emplace(Type);
    if (fresh)
        for (const Entry& e : DirectoryEntries(0))
            if (!(e.NameField & kHighBit) && static_cast<uint16_t>(e.NameField) == Type && (e.OffsetField & kHighBit)) {
                found->second = e.OffsetField & ~kHighBit;
                break;
            }
    return found->second;
}

std::vector<TResourceName> TPEResourceReader::Names(uint16_t Type) const {
    std::vector<TResourceName> names;
    const auto dir = TypeDirectory(Type);
    if (!dir) return names;
    for (auto& [entry, name] : NamedEntries(*dir)) names.push_back(std::move(name));
    return names;
}

size_t TPEResourceReader::CountNames(uint16_t Type) const {
    const auto dir = TypeDirectory(Type);
    if (!dir) return 0;
    size_t n = 0;
    for (const Entry& e : DirectoryEntries(*dir)) n += !(e.NameField & kHighBit) || StringName(e).has_value();
    return n;
}

std::optional<TPEResourceReader::TRange> TPEResourceReader::FirstLanguageData(const Entry& nameEntry) const {
    uint32_t dataEntry;
    if (nameEntry.OffsetField & kHighBit) {
        // Only the first entry of the language directory is read, however many it claims.
        const auto dir = DirectoryOffset(nameEntry.OffsetField & ~kHighBit);
        if (!dir) return std::nullopt;
        const auto named = FCursor.U16At(*dir + kPEResourceNamedCountField),
                   ids = FCursor.U16At(*dir + kPEResourceIdCountField);
        const auto first = FCursor.U32At(*dir + kDirectoryHeaderSize + 4);
        if (!named || !ids || uint32_t{*named} + *ids == 0 || !first || (*first & kHighBit)) return std::nullopt;
        dataEntry = *first;
    } else {
        dataEntry = nameEntry.OffsetField;  // data straight under the name: no language level
    }
    const uint64_t rva = static_cast<uint64_t>(FResourceRva) + dataEntry;
    if (rva > 0xFFFFFFFFu) return std::nullopt;
    const auto offset = RvaToOffset(static_cast<uint32_t>(rva));
    if (!offset) return std::nullopt;
    const auto dataRva = FCursor.U32At(*offset), size = FCursor.U32At(*offset + 4);
    if (!dataRva || !size) return std::nullopt;
    if (*size == 0) return TRange{};  // an empty resource: found, without bytes
    const auto at = RvaToOffset(*dataRva);
    if (!at) return std::nullopt;
    // Cut to the bytes of the section that the file holds.
    uint64_t limit = FCursor.Size();
    for (const Section& s : FSections)
        if (*dataRva >= s.VirtualAddress && *dataRva - s.VirtualAddress < s.RawSize)
            limit = std::min<uint64_t>(limit, uint64_t{s.RawOffset} + s.RawSize);
    if (*at > limit) return std::nullopt;
    return TRange{*at, std::min<uint64_t>(*size, limit - *at)};
}

std::optional<TPEResourceReader::TRange> TPEResourceReader::Locate(uint16_t Type, const TResourceName& Name) const {
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
        for (const auto& [entry, name] : NamedEntries(*dir))
            if (!name.IsId) it->second.try_emplace(LowerAscii(name.Text), entry);
    const auto found = it->second.find(LowerAscii(Name.Text));
    if (found == it->second.end()) return std::nullopt;
    return FirstLanguageData(found->second);
}

std::optional<TSharedBytes> TPEResourceReader::FindResource(uint16_t Type, const TResourceName& Name) const {
    const auto range = Locate(Type, Name);
    if (!range) return std::nullopt;
    return FRanges->Get(range->Offset, range->Size);
}

}  // namespace pictavo
