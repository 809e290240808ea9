#include "icons/AdvancedIcon.h"

#include "base/ByteReader.h"
#include "base/Errors.h"
#include "base/FileIO.h"
#include "base/Streams.h"

#include <map>
#include <set>

namespace pictavo {

void TAdvancedIcon::Assign(const TAdvancedIcon& Source) {
    FImages.Clear();
    FImages.SetCapacity(Source.Images().Count());
    for (int i = 0; i < Source.Images().Count(); ++i)
        if (const TIconImage* image = Source.Images().GetItem(i)) FImages.Add(TIconImage::CreateCopy(*image));
}

std::unique_ptr<TAdvancedIcon> CopyWithOneImage(const TAdvancedIcon& Icon, int Index) {
    const TIconImage* image = Icon.Images().GetItem(Index);
    if (!image) return nullptr;
    std::unique_ptr<TAdvancedIcon> copy = Icon.Create();
    copy->Images().Add(TIconImage::CreateCopy(*image));
    return copy;
}

bool TAdvancedIcon::ReadHeader(ByteCursor& Cursor, uint16_t& Count) {
    if (Cursor.Remaining() < TIconDir::Size) return false;
    const TIconDir dir = TIconDir::Read(Cursor);
    if (dir.Reserved != 0 || dir.Type != 1) return false;
    Count = dir.Count;
    // Room for the announced entries, but never more than the remaining bytes could describe.
    const uint64_t describable = Cursor.Remaining() / TIconEntryInfo::Size;
    FImages.SetCapacity(static_cast<uint16_t>(Count < describable ? Count : describable));
    return true;
}

bool TAdvancedIcon::LoadFromFile(const std::string& FileName) {
    FImages.Clear();
    // Only a file whose header is an icon header is read, whole, into one buffer that every
    // image shares: entries pointing anywhere cost no more than the file.
    const TFileBytes file(FileName, TIconDir::Size, [](std::span<const uint8_t> head) {
        const ByteReader rd(head);
        return rd.u16le(0) == 0 && rd.u16le(2) == 1;
    });
    if (!file.Accepted()) return false;
    return LoadFromBytes(file.Shared());
}

bool TAdvancedIcon::LoadFromStream(TStream& Stream) {
    const auto file = Stream.SharedBytes();
    ByteCursor cursor(file->Bytes(), Stream.Position());
    const bool loaded = Load(cursor, file);
    Stream.Seek(cursor.Position());
    return loaded;
}

bool TAdvancedIcon::LoadFromBytes(std::shared_ptr<const TByteBuffer> File) {
    const auto file = File ? std::move(File) : std::make_shared<const TByteBuffer>(std::span<const uint8_t>());
    ByteCursor cursor(file->Bytes());
    return Load(cursor, file);
}

bool TAdvancedIcon::Load(ByteCursor& Cursor, const std::shared_ptr<const TByteBuffer>& File) {
    FImages.Clear();
    uint16_t count = 0;
    if (!ReadHeader(Cursor, count)) return false;
    for (uint16_t i = 0; i < count; ++i)
        FImages.Add(std::make_unique<TFileIconImage>(TIconDirEntry::Read(Cursor), File));
    return true;
}

bool TAdvancedIcon::LoadFromResource(const TResourceModule& Instance, const TResourceName& ResName) {
    const auto group = Instance.FindResource(RT_GROUP_ICON, ResName);
    if (!group) throw EResNotFound(FormatMessage("找不到资源 %s", ResName.Display().c_str()));
    ByteCursor cursor(group->Bytes());
    uint16_t count = 0;
    if (!ReadHeader(cursor, count)) return false;
    for (uint16_t i = 0; i < count; ++i)
        FImages.Add(std::make_unique<TResourceIconImage>(TGroupIconDirEntry::Read(cursor), Instance));
    return true;
}

uint64_t TAdvancedIcon::ImageBytes() const {
    std::set<std::pair<const uint8_t*, size_t>> distinct;
    uint64_t bytes = 0;
    for (int i = 0; i < FImages.Count(); ++i) {
        const TIconImage* image = FImages.GetItem(i);
        if (distinct.emplace(image->Data().data(), image->Data().size()).second) bytes += image->Info().BytesInRes;
    }
    return bytes;
}

void TAdvancedIcon::SaveToStream(TStream& Stream) const {
    const uint16_t count = FImages.Count();
    if (count == 0) return;
    // Images over the very same bytes (entries of one file that named one image several times)
    // are written once and their entries point at that one copy; distinct images are written
    // back to back in image order.
    std::map<std::pair<const uint8_t*, size_t>, uint64_t> written;
    auto key = [](const TIconImage* image) { return std::make_pair(image->Data().data(), image->Data().size()); };
    const uint64_t imageBytes = ImageBytes();
    std::vector<const TIconImage*> images;
    for (int i = 0; i < count; ++i) images.push_back(FImages.GetItem(i));
    CheckSaveSize(images, imageBytes);
    const uint64_t total = TIconDir::Size + uint64_t{TIconDirEntry::Size} * count + imageBytes;
    Stream.Reserve(static_cast<size_t>(total));
    uint8_t raw[TIconDirEntry::Size];
    TIconDir{0, 1, count}.Write(std::span<uint8_t, TIconDir::Size>(raw, TIconDir::Size));
    Stream.Write(raw, TIconDir::Size);
    for (int i = 0; i < count; ++i) {
        TIconDirEntry entry{FImages.GetItem(i)->Info(), 0};
        entry.Write(std::span<uint8_t, TIconDirEntry::Size>(raw));
        Stream.Write(raw, sizeof raw);
    }
    for (int i = 0; i < count; ++i) {
        const TIconImage* image = FImages.GetItem(i);
        const bool shared = image->HasData() && written.count(key(image));
        const uint64_t offset = shared ? written[key(image)] : Stream.Position();
        if (offset > 0xFFFFFFFFu) throw EPictavoError(Message("图标太大, 无法写成图标文件"));
        uint8_t field[4];
        PutU32le(field, static_cast<uint32_t>(offset));
        const uint64_t end = Stream.Position();
        Stream.Seek(TIconDir::Size + TIconDirEntry::Size * static_cast<uint64_t>(i) + 12);
        Stream.Write(field, sizeof field);
        Stream.Seek(end);
        if (shared) continue;
        if (image->HasData()) written[key(image)] = offset;
        image->WriteData(Stream);
    }
}

void TAdvancedIcon::SaveToFile(const std::string& FileName, TSaveTarget How) const {
    TMemoryStream stream;
    SaveToStream(stream);
    if (stream.Size() > 0) WriteFileAtomically(FileName, stream.Data(), How);
}

}  // namespace pictavo
