#include "library/Writer16.h"

#include "base/ByteReader.h"
#include "base/FileIO.h"
#include "base/Text.h"
#include "icons/IconTypes.h"
#include "library/ExeFormat.h"

#include <algorithm>
#include <map>

namespace pictavo {

namespace {

constexpr uint16_t kResourceFlags = 0x1C30;  // movable, pure, preloaded, discardable
constexpr uint64_t kNEHeaderAt = 128;
constexpr uint16_t kMaxNameBytes = 255;
// Beyond this shift a file would pass 4 GB; no library gets there.
constexpr uint16_t kMaxWriterShift = 16;

void Put16(TStream& s, uint16_t v) {
    uint8_t b[2];
    PutU16le(b, v);
    s.Write(b, 2);
}

void Put32(TStream& s, uint32_t v) {
    uint8_t b[4];
    PutU32le(b, v);
    s.Write(b, 4);
}

uint64_t AlignUp(uint64_t v, uint16_t shift) {
    const uint64_t unit = uint64_t{1} << shift;
    return (v + unit - 1) & ~(unit - 1);
}

// The name as stored: GB18030 bytes, at most 255 of them, never cut inside a character.
std::string StoredName(const std::string& name, int index) {
    std::string bytes = Utf8ToGb18030(name, kMaxNameBytes);
    if (bytes.empty()) bytes = Utf8ToGb18030(Format("图标 %d", index + 1));  // a length of 0 would end the list
    return bytes;
}

}  // namespace

T16BitWriter::T16BitWriter(const TIconLibrary& Library) : FSourceLibrary(Library) {
    // Images are numbered through the library in order. Images over the very same bytes (one
    // image that a file's group named several times) become one icon resource that all their
    // group entries name; for any other library every image is its own resource.
    std::map<std::pair<const uint8_t*, size_t>, uint16_t> numbers;
    for (int i = 0; i < Library.Icons().Count(); ++i) {
        const auto& images = Library.Icons().Icon(i)->Images();
        for (int k = 0; k < images.Count(); ++k) {
            const TIconImage* image = images[k];
            const auto key = std::make_pair(image->Data().data(), image->Data().size());
            const auto found = image->HasData() ? numbers.find(key) : numbers.end();
            if (found != numbers.end()) {
                FImageNumbers.push_back(found->second);
                continue;
            }
            FDistinct.push_back(image);
            const auto number = static_cast<uint16_t>(std::min<size_t>(FDistinct.size(), 0xFFFF));
            if (image->HasData()) numbers.emplace(key, number);
            FImageNumbers.push_back(number);
        }
    }
    FImageCount = static_cast<uint32_t>(FDistinct.size());
}

void T16BitWriter::Check() const {
    if (FImageCount > kMaxICLImages)
        throw EICLReadError(FormatMessage("图标库中的图像不能超过 %d 个", static_cast<int>(kMaxICLImages)));
    if (FImageCount == 0) throw EICLReadError(Message("图标库中的图标没有任何图像, 无法写入图标库"));
    const TIconList& icons = FSourceLibrary.Icons();
    for (int i = 0; i < icons.Count(); ++i) {
        const auto& images = icons.Icon(i)->Images();
        for (int k = 0; k < images.Count(); ++k)
            if (images[k]->Info().BytesInRes == 0)
                throw EICLReadError(
                    FormatMessage("图标 \"%s\" 中有没有数据的图像, 无法写入图标库", icons.Name(i).c_str()));
    }
    uint64_t bytes = 0;
    for (const TIconImage* image : FDistinct) bytes += image->Info().BytesInRes;
    CheckSaveSize(FDistinct, bytes);
}

bool T16BitWriter::NamesFirst() const {
    return uint64_t(FSourceLibrary.Icons().Count()) + FImageCount > kMaxICLResources;
}

void T16BitWriter::WriteHeaders() {
    std::vector<uint8_t> head(kNEHeaderAt + 64, 0);
    PutU16le(&head[0], exe::kDosSignature);
    PutU32le(&head[exe::kDosNewHeaderField], static_cast<uint32_t>(kNEHeaderAt));
    PutU16le(&head[126], 0x4D49);
    uint8_t* ne = &head[kNEHeaderAt];
    PutU16le(ne, exe::kNESignature);
    PutU16le(ne + exe::kNESegmentTableField, exe::kNEHeaderSize);
    PutU16le(ne + exe::kNEResourceTableField, exe::kNEHeaderSize);
    ne[exe::kNETargetOSField] = 2;
    ne[exe::kNEExpectedVersionField] = 3;
    FNamesFieldPos = kNEHeaderAt + exe::kNEResidentNamesField;
    // The resident-name table right after the header: the module name "ICL" with ordinal 0,
    // then the end of the table; the resource table follows it.
    static const uint8_t kResidentNames[] = {3, 'I', 'C', 'L', 0, 0, 0};
    if (NamesFirst()) {
        PutU16le(ne + exe::kNEResidentNamesField, exe::kNEHeaderSize);
        PutU16le(ne + exe::kNEResourceTableField, exe::kNEHeaderSize + sizeof kResidentNames);
    }
    FStream.Write(head.data(), head.size());
    if (NamesFirst()) FStream.Write(kResidentNames, sizeof kResidentNames);
}

void T16BitWriter::WriteResourceTable() {
    FResTablePos = FStream.Position();
    Put16(FStream, 0);
    const int groups = FSourceLibrary.Icons().Count();
    Put16(FStream, 0x800E);
    Put16(FStream, static_cast<uint16_t>(groups));
    Put32(FStream, 0);
    for (int i = 1; i <= groups; ++i) {
        FGroupEntryPos.push_back(FStream.Position());
        Put32(FStream, 0);  // position and length, patched later
        Put16(FStream, kResourceFlags);
        Put16(FStream, static_cast<uint16_t>(0x8000 | i));
        Put32(FStream, 0);
    }
    Put16(FStream, 0x8003);
    Put16(FStream, static_cast<uint16_t>(FImageCount));
    Put32(FStream, 0);
    for (uint32_t k = 1; k <= FImageCount; ++k) {
        FIconEntryPos.push_back(FStream.Position());
        Put32(FStream, 0);
        Put16(FStream, kResourceFlags);
        Put16(FStream, static_cast<uint16_t>(0x8000 | k));
        Put32(FStream, 0);
    }
    Put16(FStream, 0);
}

void T16BitWriter::WriteNames() {
    // These strings are the resident-name table too, unless it stands in front of the resource
    // table; then their offset would not fit 16 bits.
    const uint64_t p = FStream.Position();
    if (!NamesFirst()) {
        FStream.Seek(FNamesFieldPos);
        Put16(FStream, static_cast<uint16_t>(p - kNEHeaderAt));
        FStream.Seek(p);
    }
    const uint8_t module[4] = {3, 'I', 'C', 'L'};
    FStream.Write(module, sizeof module);
    const TIconList& icons = FSourceLibrary.Icons();
    for (int i = 0; i < icons.Count(); ++i) {
        const std::string name = StoredName(icons.Name(i), i);
        const uint8_t length = static_cast<uint8_t>(name.size());
        FStream.Write(&length, 1);
        FStream.Write(name.data(), name.size());
    }
    const uint8_t end = 0;
    FStream.Write(&end, 1);
}

void T16BitWriter::ComputeAlignShift() {
    // First the shift that makes the unpadded end of the file fit 16 bits of units; then, as
    // padding can push positions past that, the smallest shift from there for which every
    // padded position and length fits its 16-bit field.
    const TIconList& icons = FSourceLibrary.Icons();
    uint64_t estimate = FStream.Position();
    for (int i = 0; i < icons.Count(); ++i) {
        const auto& images = icons.Icon(i)->Images();
        estimate += 6;
        estimate += 14 * uint64_t{images.Count()};
    }
    for (const TIconImage* image : FDistinct) estimate += image->Info().BytesInRes;
    uint16_t first = 0;
    while (estimate > (uint64_t{0xFFFF} << first)) ++first;
    for (uint16_t shift = first;; ++shift) {
        if (shift > kMaxWriterShift) throw EICLReadError(Message("图标库中的图标和图像太多, 无法写成一个图标库文件"));
        const uint64_t limit = uint64_t{0xFFFF} << shift;
        uint64_t pos = AlignUp(FStream.Position(), shift);
        bool fits = true;
        auto place = [&](uint64_t length) {
            const uint64_t end = AlignUp(pos + length, shift);
            if (pos > limit || end - pos > limit) fits = false;
            pos = end;
        };
        for (int i = 0; i < icons.Count() && fits; ++i) place(6 + 14 * uint64_t{icons.Icon(i)->Images().Count()});
        for (size_t k = 0; k < FDistinct.size() && fits; ++k) place(FDistinct[k]->Info().BytesInRes);
        if (fits) {
            FAlignShift = shift;
            FStream.Reserve(static_cast<size_t>(pos + 2));  // the whole file, built in one buffer
            break;
        }
    }
    const uint64_t end = FStream.Position();
    FStream.Seek(FResTablePos);
    Put16(FStream, FAlignShift);
    FStream.Seek(end);
}

void T16BitWriter::PadToAlignment() {
    static const uint8_t zeros[256] = {};
    uint64_t missing = AlignUp(FStream.Position(), FAlignShift) - FStream.Position();
    while (missing > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(missing, sizeof zeros));
        FStream.Write(zeros, n);
        missing -= n;
    }
}

void T16BitWriter::PatchEntry(uint64_t RecordPos, uint64_t Start, uint64_t End) {
    const uint64_t here = FStream.Position();
    FStream.Seek(RecordPos);
    Put16(FStream, static_cast<uint16_t>(Start >> FAlignShift));
    Put16(FStream, static_cast<uint16_t>((End - Start) >> FAlignShift));
    FStream.Seek(here);
}

void T16BitWriter::WriteResourceData() {
    PadToAlignment();
    const TIconList& icons = FSourceLibrary.Icons();
    uint32_t k = 0;
    for (int i = 0; i < icons.Count(); ++i) {
        const uint64_t start = FStream.Position();
        const auto& images = icons.Icon(i)->Images();
        uint8_t dir[TIconDir::Size];
        TIconDir{0, 1, images.Count()}.Write(std::span<uint8_t, TIconDir::Size>(dir));
        FStream.Write(dir, sizeof dir);
        for (int j = 0; j < images.Count(); ++j) {
            uint8_t entry[TGroupIconDirEntry::Size];
            TGroupIconDirEntry{images[j]->Info(), FImageNumbers[k++]}.Write(
                std::span<uint8_t, TGroupIconDirEntry::Size>(entry));
            FStream.Write(entry, sizeof entry);
        }
        PadToAlignment();
        PatchEntry(FGroupEntryPos[static_cast<size_t>(i)], start, FStream.Position());
    }
    for (size_t n = 0; n < FDistinct.size(); ++n) {
        const uint64_t start = FStream.Position();
        FDistinct[n]->WriteData(FStream);
        PadToAlignment();
        PatchEntry(FIconEntryPos[n], start, FStream.Position());
    }
    Put16(FStream, 0);
}

const std::vector<uint8_t>& T16BitWriter::Build() {
    if (!FBuilt) {
        Check();
        WriteHeaders();
        WriteResourceTable();
        WriteNames();
        ComputeAlignShift();
        WriteResourceData();
        FBuilt = true;
    }
    return FStream.Data();
}

void T16BitWriter::SaveToFile(const std::string& FileName) { WriteFileAtomically(FileName, Build()); }

}  // namespace pictavo
