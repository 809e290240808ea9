#include "library/Reader16.h"

#include "base/ByteReader.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "icons/IconTypes.h"
#include "library/ExeFormat.h"

#include <algorithm>
#include <unordered_set>

namespace pictavo {

namespace {

using exe::kNEIntegerBit;
// Shifts beyond this would put every resource past any file; they are refused.
constexpr uint16_t kMaxAlignShift = 47;

bool IsType(uint16_t type, uint8_t kind) { return (type & kNEIntegerBit) && (type & 0xFF) == kind; }

// The file name without folder, with up to 30 characters from its last dot removed.
std::string ModuleNameOf(const std::string& fileName) {
    std::string name = ExtractFileName(fileName);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return name;
    size_t end = std::min(name.size(), dot + 30);
    while (end < name.size() && IsUtf8Continuation(name[end])) ++end;
    return name.erase(dot, end - dot);
}

// Reads the type list at the cursor (just after the shift word) into the icon and group
// records. Stops with a read error when the file ends before the terminating 0. With
// otherNames, also collects the string offsets that name a type or a resource of a type other
// than the group icon (a record's identifier or a type's without bit 15 is such an offset).
void ReadTypeList(ByteCursor& s, std::optional<std::vector<TNEResourceRecord>>& icons,
                  std::optional<std::vector<TNEResourceRecord>>& groups, std::vector<uint16_t>* otherNames = nullptr) {
    for (uint16_t type = s.U16(); type != 0; type = s.U16()) {
        const uint16_t count = s.U16();
        s.Record<exe::kNETypeInfoReserved>();
        const uint64_t size = uint64_t{count} * exe::kNEResourceRecordSize;
        if (s.Remaining() < size) RaiseStreamReadError();  // before allocating for it
        const bool group = IsType(type, RT_GROUP_ICON);
        const bool wanted = group || IsType(type, RT_ICON);
        if (otherNames && !(type & kNEIntegerBit)) otherNames->push_back(type);
        if (!wanted && !otherNames) {
            s.Seek(s.Position() + size);
            continue;
        }
        std::vector<TNEResourceRecord> records(count);
        for (auto& r : records) {
            const auto raw = s.Record<exe::kNEResourceRecordSize>();
            const ByteReader rd(raw);
            r = TNEResourceRecord{*rd.u16le(0), *rd.u16le(2), *rd.u16le(4), *rd.u16le(6)};
            if (otherNames && !group && !(r.Id & kNEIntegerBit)) otherNames->push_back(r.Id);
        }
        if (!wanted) continue;
        // A later record of the same kind replaces an earlier one; an empty one counts as none.
        auto& target = group ? groups : icons;
        if (count)
            target = std::move(records);
        else
            target.reset();
    }
}

}  // namespace

TICL16IconImage::TICL16IconImage(const TIconEntryInfo& Entry, std::vector<uint8_t> Data) {
    SetContent(Entry, Data);
    UpdateSize();
}

TICL16IconImage::TICL16IconImage(const TIconEntryInfo& Entry, std::shared_ptr<const TByteBuffer> File, size_t Offset,
                                 size_t Length) {
    SetContent(Entry, std::move(File), Offset, Length);
    UpdateSize();
}

T16BitReader::T16BitReader(std::string FileName) : TICLReader(std::move(FileName)) {
    FFile = std::make_unique<TFileBytes>(FFileName);
    FBytes = FFile->Bytes();
    FShared = FFile->Shared();
    FCursor = ByteCursor(FBytes);
    FModuleName = ModuleNameOf(FFileName);
}

T16BitReader::T16BitReader(std::string FileName, std::span<const uint8_t> Bytes)
    : TICLReader(std::move(FileName)), FBytes(Bytes), FCursor(Bytes) {
    FModuleName = ModuleNameOf(FFileName);
}

T16BitReader::T16BitReader(std::string FileName, std::shared_ptr<const TByteBuffer> File)
    : T16BitReader(std::move(FileName), File ? File->Bytes() : std::span<const uint8_t>()) {
    FShared = std::move(File);
}

T16BitReader::T16BitReader(const TByteSource& Source) : TICLReader({}), FCursor(Source) {}

void T16BitReader::ReadNEHeader() {
    ByteCursor& s = FCursor;
    s.Seek(0);
    if (s.U16() != exe::kDosSignature) throw EICLReadError(Message("不是一个有效的 ICL"));
    s.Seek(exe::kDosNewHeaderField);
    FHeaderOffset = s.U16();
    if (FHeaderOffset < exe::kDosNewHeaderField) throw EICLReadError("Invalid Windows 16 Offset");
    s.Seek(FHeaderOffset);
    if (s.U16() != exe::kNESignature) throw EICLReadError("Invalid Windows 16 Header");
    s.Seek(FHeaderOffset + exe::kNEResourceTableField);
    const uint16_t resTable = s.U16();
    if (resTable == 0) throw EICLReadError(Message("文件中没有资源"));
    FResTableOffset = uint32_t{resTable} + FHeaderOffset;
    s.Seek(FHeaderOffset + exe::kNEResidentNamesField);
    const uint16_t names = s.U16();
    if (names == 0) throw EICLReadError("Names Table not found");
    FNamesOffset = uint32_t{names} + FHeaderOffset;
}

void T16BitReader::ReadResourceTable() {
    ByteCursor& s = FCursor;
    s.Seek(FResTableOffset);
    FAlignShift = s.U16();
    ReadTypeList(s, FIconEntries, FGroupEntries, &FOtherNames);
    if (!FGroupEntries || !FIconEntries) throw EICLReadError("ResourceTable has an Error");
    if (FAlignShift > kMaxAlignShift) throw EICLReadError("ResourceTable has an Error");
}

std::vector<std::string> T16BitReader::ReadNames() {
    // The strings directly after the type list, each with its offset from the resource table:
    // records and types name a string by that offset.
    ByteCursor& s = FCursor;
    std::vector<std::pair<uint64_t, std::string>> strings;
    for (;;) {
        const uint64_t offset = s.Position() - FResTableOffset;
        const uint8_t length = s.U8();
        if (length == 0) break;
        std::string bytes(length, '\0');
        s.Read(bytes.data(), length);
        strings.emplace_back(offset, std::move(bytes));
    }
    auto decoded = [](const std::string& bytes) {
        return Gb18030ToUtf8(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    };
    std::vector<std::string> names;
    // Groups that are all named by strings of this area, each by one of its own, take them, in
    // whatever order the area holds them.
    std::unordered_map<uint64_t, size_t> byOffset;
    for (size_t i = 0; i < strings.size(); ++i) byOffset.emplace(strings[i].first, i);
    for (const TNEResourceRecord& group : *FGroupEntries) {
        const auto found = (group.Id & kNEIntegerBit) ? byOffset.end() : byOffset.find(group.Id);
        if (found == byOffset.end()) break;
        names.push_back(decoded(strings[found->second].second));
        byOffset.erase(found);  // a second group naming the same string is no name of its own
    }
    if (names.size() == FGroupEntries->size()) return names;
    // Otherwise the strings that name no type and no resource of another type, in order, after
    // any leading "ICL" (the module name of our own libraries), when they are as many as the
    // groups.
    names.clear();
    const std::unordered_set<uint64_t> other(FOtherNames.begin(), FOtherNames.end());
    for (const auto& [offset, bytes] : strings) {
        if (other.count(offset)) continue;
        if (names.empty() && bytes == "ICL") continue;
        names.push_back(decoded(bytes));
    }
    if (names.size() != FGroupEntries->size()) names.clear();
    return names;
}

size_t T16BitReader::FindEntry(uint16_t Id) {
    if (FIconIndex.empty())
        for (size_t i = 0; i < FIconEntries->size(); ++i)
            FIconIndex.try_emplace(static_cast<uint16_t>((*FIconEntries)[i].Id ^ kNEIntegerBit), i);
    const auto found = FIconIndex.find(Id);
    if (found == FIconIndex.end()) throw EICLReadError(Message("没有找到图标资源"));
    return found->second;
}

const std::shared_ptr<const TByteBuffer>& T16BitReader::SharedBytes() {
    if (!FShared) FShared = std::make_shared<const TByteBuffer>(FBytes);
    return FShared;
}

void T16BitReader::LoadGroup(TICL16Icon& Icon, size_t Index) {
    Icon.Name = Format("%s %.3d", FModuleName.c_str(), static_cast<int>(Index + 1));
    // The group's data is read where it lies: many records may name the same large group.
    const TNEResourceRecord& record = (*FGroupEntries)[Index];
    const auto group =
        ByteReader(FBytes).bytes(uint64_t{record.Position} << FAlignShift, uint64_t{record.Length} << FAlignShift);
    if (!group) RaiseStreamReadError();  // a group must be whole
    ByteCursor cursor(*group);
    uint16_t count = 0;
    if (!Icon.ReadHeader(cursor, count)) return;  // listed without images
    for (uint16_t i = 0; i < count; ++i) {
        const auto entry = TGroupIconDirEntry::Read(cursor);  // never past the group's data
        const TNEResourceRecord& icon = (*FIconEntries)[FindEntry(entry.IconId)];
        const uint64_t offset = uint64_t{icon.Position} << FAlignShift;
        const uint64_t length = uint64_t{icon.Length} << FAlignShift;
        // No bitmap to build an image from.
        if (offset >= FBytes.size() || length == 0) throw EICLReadError(Message("没有找到图标资源"));
        if (++FImagesMade > kMaxImagesPerFile) RaiseTooManyImages();
        // The image shares the file's bytes, cut to the resource (as far as the file holds it).
        Icon.Images().Add(
            std::make_unique<TICL16IconImage>(entry.Info, SharedBytes(), static_cast<size_t>(offset),
                                              static_cast<size_t>(std::min<uint64_t>(length, FBytes.size() - offset))));
    }
}

bool T16BitReader::ReadIcons() {
    try {
        FIconEntries.reset();
        FGroupEntries.reset();
        FIconIndex.clear();
        FOtherNames.clear();
        FImagesMade = 0;
        FIcons.Clear();
        ReadNEHeader();
        ReadResourceTable();
        const std::vector<std::string> names = ReadNames();
        TIconList result;
        for (size_t i = 0; i < FGroupEntries->size(); ++i) {
            auto icon = std::make_unique<TICL16Icon>();
            LoadGroup(*icon, i);
            std::string name = names.empty() ? icon->Name : names[i];
            result.AddIcon(std::move(name), std::move(icon));
        }
        FIcons.Assign(result);
        FLastError = {};
        return true;
    } catch (const std::exception& e) {
        FIcons.Clear();
        FLastError = {SourceText(e), e.what()};
        return false;
    } catch (...) {
        FIcons.Clear();
        FLastError = {"?", "?"};
        return false;
    }
}

std::vector<TImageRange> T16BitReader::FirstGroupImages(const TByteSource& File) {
    T16BitReader reader(File);
    reader.ReadNEHeader();
    reader.ReadResourceTable();
    const uint64_t shift = reader.FAlignShift, fileSize = File.Size();
    // A group must be whole, as when every group is read; only the bytes its entries can take
    // are read of it.
    const TNEResourceRecord& record = reader.FGroupEntries->front();
    const uint64_t groupOffset = uint64_t{record.Position} << shift, groupLength = uint64_t{record.Length} << shift;
    if (groupOffset > fileSize || groupLength > fileSize - groupOffset) RaiseStreamReadError();
    std::vector<uint8_t> group(static_cast<size_t>(std::min(groupLength, kMaxGroupBytes)));
    if (!File.Read(groupOffset, group.data(), group.size())) RaiseStreamReadError();  // the file shrank
    return GroupImages(group, [&](uint16_t id) {
        const TNEResourceRecord& icon = (*reader.FIconEntries)[reader.FindEntry(id)];
        const uint64_t offset = uint64_t{icon.Position} << shift, length = uint64_t{icon.Length} << shift;
        if (offset >= fileSize || length == 0) throw EICLReadError(Message("没有找到图标资源"));
        return TResourceSpan{offset, std::min(length, fileSize - offset)};
    });
}

int T16BitReader::CountGroupIcons(const TByteSource& File) {
    try {
        ByteCursor s(File);
        if (s.U16At(0) != exe::kDosSignature) return 0;
        const auto header = s.U16At(exe::kDosNewHeaderField);
        if (!header || *header < exe::kDosNewHeaderField || s.U16At(*header) != exe::kNESignature) return 0;
        const auto resTable = s.U16At(*header + exe::kNEResourceTableField);
        if (!resTable || *resTable == 0) return 0;
        s.Seek(uint64_t{*resTable} + *header + 2);  // past the shift word
        std::optional<std::vector<TNEResourceRecord>> icons, groups;
        ReadTypeList(s, icons, groups);
        return groups ? static_cast<int>(groups->size()) : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace pictavo
