#include "icons/IconTypes.h"

#include "base/ByteReader.h"

#include <algorithm>

namespace pictavo {

namespace {
uint16_t Get16(std::span<const uint8_t> b, size_t at) { return LoadU16le(b.subspan(at).first<2>()); }
uint32_t Get32(std::span<const uint8_t> b, size_t at) { return LoadU32le(b.subspan(at).first<4>()); }
}  // namespace

TIconDir TIconDir::Read(std::span<const uint8_t, Size> b) { return TIconDir{Get16(b, 0), Get16(b, 2), Get16(b, 4)}; }

TIconDir TIconDir::Read(ByteCursor& c) { return Read(c.Record<Size>()); }

void TIconDir::Write(std::span<uint8_t, Size> b) const {
    PutU16le(&b[0], Reserved);
    PutU16le(&b[2], Type);
    PutU16le(&b[4], Count);
}

TIconEntryInfo TIconEntryInfo::Read(std::span<const uint8_t, Size> b) {
    TIconEntryInfo info;
    info.Width = b[0];
    info.Height = b[1];
    info.ColorCount = b[2];
    info.Reserved = b[3];
    info.Planes = Get16(b, 4);
    info.BitCount = Get16(b, 6);
    info.BytesInRes = Get32(b, 8);
    return info;
}

void TIconEntryInfo::Write(std::span<uint8_t, Size> b) const {
    b[0] = Width;
    b[1] = Height;
    b[2] = ColorCount;
    b[3] = Reserved;
    PutU16le(&b[4], Planes);
    PutU16le(&b[6], BitCount);
    PutU32le(&b[8], BytesInRes);
}

TIconDirEntry TIconDirEntry::Read(std::span<const uint8_t, Size> b) {
    return TIconDirEntry{TIconEntryInfo::Read(b.first<TIconEntryInfo::Size>()), Get32(b, 12)};
}

TIconDirEntry TIconDirEntry::Read(ByteCursor& c) { return Read(c.Record<Size>()); }

void TIconDirEntry::Write(std::span<uint8_t, Size> b) const {
    Info.Write(b.first<TIconEntryInfo::Size>());
    PutU32le(&b[12], ImageOffset);
}

TGroupIconDirEntry TGroupIconDirEntry::Read(std::span<const uint8_t, Size> b) {
    return TGroupIconDirEntry{TIconEntryInfo::Read(b.first<TIconEntryInfo::Size>()), Get16(b, 12)};
}

TGroupIconDirEntry TGroupIconDirEntry::Read(ByteCursor& c) { return Read(c.Record<Size>()); }

void TGroupIconDirEntry::Write(std::span<uint8_t, Size> b) const {
    Info.Write(b.first<TIconEntryInfo::Size>());
    PutU16le(&b[12], IconId);
}

std::vector<TImageRange> GroupImages(std::span<const uint8_t> Group,
                                     const std::function<TResourceSpan(uint16_t IconId)>& Locate) {
    ByteCursor cursor(Group);
    if (cursor.Remaining() < TIconDir::Size) return {};
    const TIconDir dir = TIconDir::Read(cursor);
    if (dir.Reserved != 0 || dir.Type != 1) return {};
    std::vector<TImageRange> images;
    for (uint16_t i = 0; i < dir.Count; ++i) {
        const auto entry = TGroupIconDirEntry::Read(cursor);
        const TResourceSpan icon = Locate(entry.IconId);
        images.push_back({entry.Info, icon.Offset, std::min<uint64_t>(entry.Info.BytesInRes, icon.Size)});
    }
    return images;
}

}  // namespace pictavo
