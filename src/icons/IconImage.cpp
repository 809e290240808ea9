#include "icons/IconImage.h"

#include "base/ByteReader.h"
#include "base/Errors.h"
#include "base/Streams.h"
#include "icons/IconTools.h"
#include "icons/ResourceModule.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace pictavo {

std::shared_ptr<const TIconRaster> DecodeWithinBudget(std::span<const uint8_t> bytes, int width, int height,
                                                      const std::shared_ptr<TDecodeBudget>& budget, bool& overBudget) {
    overBudget = false;
    const auto header = ReadImageHeader(bytes);
    const auto own = header ? ImagePixelSize(*header) : std::nullopt;
    if (!own) return nullptr;
    // While decoding, the picture at its own size and the scaled one are both held; afterwards
    // only the result, whose bytes go back to the budget when the last holder lets it go.
    const uint64_t working =
        RasterBytes(own->Width, own->Height) + (width > 0 && height > 0 ? RasterBytes(width, height) : 0);
    if (!budget->Reserve(working)) {
        // Refused for the pixels held elsewhere, it may be made once they are let go; one
        // larger than the whole budget never can be.
        overBudget = budget->CouldFit(working);
        return nullptr;
    }
    std::unique_ptr<TIconRaster> raster;
    try {
        raster = DecodeIconImage(bytes, width, height);
    } catch (...) {
        budget->Release(working);
        throw;
    }
    const uint64_t kept = raster ? RasterBytes(raster->Width, raster->Height) : 0;
    budget->Release(working - std::min(working, kept));
    if (!raster) return nullptr;
    const uint64_t held = std::min(working, kept);
    return std::shared_ptr<const TIconRaster>(raster.release(), [budget, held](const TIconRaster* r) {
        budget->Release(held);
        delete r;
    });
}

size_t ImageBytesUsed(std::span<const uint8_t> bytes) {
    if (!IsPngData(bytes)) return bytes.size();
    const ByteReader reader(bytes);
    uint64_t at = 8;  // past the signature
    for (int chunk = 0; chunk < kMaxPngChunksWalked; ++chunk) {
        // Length, type, the data and its checksum.
        const auto length = reader.u32be(at);
        if (!length || !reader.has(at, uint64_t{12} + *length)) break;
        const bool end = reader.u32be(at + 4) == 0x49454E44u;  // "IEND"
        at += uint64_t{12} + *length;
        if (end) return static_cast<size_t>(at);
    }
    return bytes.size();
}

std::unique_ptr<TIconImage> TIconImage::CreateCopy(const TIconImage& Source) {
    auto copy = std::make_unique<TIconImage>();
    copy->FInfo = Source.FInfo;
    copy->FBuffer = Source.FBuffer;
    copy->FOffset = Source.FOffset;
    // Nothing is decoded for the copy, and pixels the source holds are not held by it: it
    // decodes lazily like any image, sharing a picture still held over the same bytes. Only a
    // refusal of the bytes themselves carries over, as it would be met again.
    copy->FDecodeFailed = Source.FDecodeFailed;
    copy->UpdateSize();
    return copy;
}

void TIconImage::SetContent(const TIconEntryInfo& Info, std::span<const uint8_t> Data) {
    SetContent(Info, std::make_shared<const TByteBuffer>(Data), 0);
}

void TIconImage::SetContent(const TIconEntryInfo& Info, std::shared_ptr<const TByteBuffer> Buffer, size_t Offset,
                            size_t Available) {
    FInfo = Info;
    const size_t size = Buffer ? Buffer->Bytes().size() : 0;
    if (Offset > size) Offset = size;
    const size_t limit = std::min(Available, size - Offset);
    if (FInfo.BytesInRes > limit) FInfo.BytesInRes = static_cast<uint32_t>(limit);
    FBuffer = std::move(Buffer);
    FOffset = Offset;
}

void TIconImage::Rebase(std::shared_ptr<const TByteBuffer> Buffer, size_t Offset) {
    const auto old = Data();
    if (!Buffer || Offset > Buffer->Bytes().size() || Buffer->Bytes().size() - Offset < old.size() ||
        !std::equal(old.begin(), old.end(), Buffer->Bytes().begin() + static_cast<std::ptrdiff_t>(Offset)))
        throw std::logic_error("Rebase: the bytes differ");
    FBuffer = std::move(Buffer);
    FOffset = Offset;
}

std::shared_ptr<const TIconRaster> TPixelSource::Decode(bool& overBudget) const {
    overBudget = false;
    if (!Buffer || Size == 0) return nullptr;
    const auto bytes = Buffer->Bytes().subspan(Offset, Size);
    const TByteBuffer::Key key{Offset, Size, static_cast<uint64_t>(Width), static_cast<uint64_t>(Height)};
    return std::static_pointer_cast<const TIconRaster>(Buffer->Derived(key, [&]() -> std::shared_ptr<const void> {
        return DecodeWithinBudget(bytes, Width, Height, Buffer->SharedBudget(), overBudget);
    }));
}

TPixelSource TIconImage::HandleSource() const {
    const auto [w, h] = EntrySize();
    return {FBuffer, FOffset, HasData() ? FInfo.BytesInRes : 0, w, h};
}

TPixelSource TIconImage::OwnSizeSource() const { return {FBuffer, FOffset, HasData() ? FInfo.BytesInRes : 0, 0, 0}; }

const TIconRaster* TIconImage::GetHandle() const {
    if (!FHandle && HasData() && !FDecodeFailed) {
        bool overBudget = false;
        FHandle = HandleSource().Decode(overBudget);
        // The bytes never change, so neither does a refusal of them; a decode refused for the
        // budget may succeed once other pixels are released.
        FDecodeFailed = FHandle == nullptr && !overBudget;
    }
    return FHandle.get();
}

std::shared_ptr<const TIconRaster> TIconImage::OwnSizePixels() const {
    if (FDecodeFailed) return nullptr;
    bool overBudget = false;
    return OwnSizeSource().Decode(overBudget);
}

std::unique_ptr<THiResIcon> TIconImage::CreateGraphic() const {
    auto graphic = std::make_unique<THiResIcon>();
    graphic->SetHandle(GetHandle());
    return graphic;
}

void TIconImage::UpdateSize() {
    // The size is the smaller of width and height, where a bitmap's height covers the colour
    // rows and the mask rows and so is halved (as an unsigned value; the old 12-byte header's
    // width is unsigned too, a newer header's signed).
    int32_t size = 0;
    const auto header = ReadImageHeader(Data());
    if (header) {
        const auto w = static_cast<int32_t>(header->RawWidth);
        const int32_t h =
            header->Png ? static_cast<int32_t>(header->RawHeight) : static_cast<int32_t>(header->RawHeight >> 1);
        size = w < h ? w : h;
    }
    FWidth = size;
    FHeight = size;
    FInfo.Width = static_cast<uint8_t>(size);
    FInfo.Height = static_cast<uint8_t>(size);
    FDepth = ImageDepth(FInfo.BitCount, header);
}

void TIconImage::WriteData(TStream& Stream) const {
    const auto bytes = Data();
    if (!bytes.empty()) Stream.Write(bytes.data(), bytes.size());
}

std::pair<int, int> TIconImage::EntrySize() const {
    // The entry's size bytes (0: the image's own size). An image of more than 255 pixels keeps
    // only the low 8 bits of its size there; it uses its own size rather than that remainder.
    if (FWidth > 255) return {0, 0};
    return {FInfo.Width, FInfo.Height};
}

void TIconImage::Draw(TRasterCanvas& Canvas, int X, int Y) const {
    // Width from the height byte and height from the width byte; the two are equal once
    // UpdateSize has run.
    const auto [w, h] = EntrySize();
    DrawIconRaster(Canvas, X, Y, GetHandle(), h, w);
}

std::string TIconImage::Label() const { return Format("%d x %d - %dbit", FWidth, FHeight, static_cast<int>(FDepth)); }

TFileIconImage::TFileIconImage(const TIconDirEntry& Entry, std::shared_ptr<const TByteBuffer> File) {
    // Only the bytes that exist are taken, shared with the file's other images: a length
    // beyond the end of the file never reaches past it.
    SetContent(Entry.Info, std::move(File), Entry.ImageOffset);
    UpdateSize();
}

std::optional<TSharedBytes> TResourceModule::SharedIcon(uint16_t Id) const {
    const auto [slot, fresh] = FSharedIcons.try_emplace(Id);
    if (fresh) slot->second = FindResource(RT_ICON, TResourceName::FromId(Id));
    return slot->second;
}

void TResourceModule::CountImage() const {
    if (FImagesMade >= kMaxImagesPerFile) RaiseTooManyImages();
    ++FImagesMade;
}

TResourceIconImage::TResourceIconImage(const TGroupIconDirEntry& entry, const TResourceModule& Instance) {
    Instance.CountImage();
    auto bytes = Instance.SharedIcon(entry.IconId);
    if (!bytes) throw EResNotFound(FormatMessage("找不到资源 %d", static_cast<int>(entry.IconId)));
    SetContent(entry.Info, std::move(bytes->Buffer), bytes->Offset, bytes->Size);
    UpdateSize();
}

void RaiseTooManyImages() {
    throw EPictavoError(FormatMessage("文件中的图像太多 (超过 %d 个)", static_cast<int>(kMaxImagesPerFile)));
}

void CheckSaveSize(const std::vector<const TIconImage*>& Images, uint64_t Written) {
    std::vector<std::pair<uintptr_t, uintptr_t>> ranges;
    ranges.reserve(Images.size());
    for (const TIconImage* image : Images) {
        const auto data = image->Data();
        if (!data.empty())
            ranges.emplace_back(reinterpret_cast<uintptr_t>(data.data()),
                                reinterpret_cast<uintptr_t>(data.data()) + data.size());
    }
    std::sort(ranges.begin(), ranges.end());
    uint64_t covered = 0;
    uintptr_t reached = 0;
    for (const auto& [begin, end] : ranges) {
        const uintptr_t from = std::max(begin, reached);
        if (end > from) covered += end - from;
        reached = std::max(reached, end);
    }
    if (Written > covered * kMaxSaveRepeat + kSaveAllowance)
        throw EPictavoError(Message("图像数据互相重叠, 写出的文件会过大"));
}

void TIconImageList::SetCapacity(uint16_t N) {
    if (N < Count()) N = Count();
    if (N == 0) {
        std::vector<std::unique_ptr<TIconImage>>().swap(FItems);
    } else {
        FItems.reserve(N);
    }
    FCapacity = N;
}

void TIconImageList::Add(std::unique_ptr<TIconImage> Image) {
    if (FItems.size() >= kMaxCount)
        throw EListError(FormatMessage("一个图标中的图像不能超过 %d 个", static_cast<int>(kMaxCount)));
    FItems.push_back(std::move(Image));
    if (FCapacity < Count()) FCapacity = Count();
}

std::unique_ptr<TIconImage> TIconImageList::RemoveAt(int Index, bool FreeImage) {
    if (Index < 0 || Index >= Count()) return nullptr;
    std::unique_ptr<TIconImage> image = std::move(FItems[static_cast<size_t>(Index)]);
    FItems.erase(FItems.begin() + Index);
    if (FreeImage) image.reset();
    return image;
}

TIconImage* TIconImageList::GetItem(int Index) const {
    if (Index < 0 || Index >= Count()) return nullptr;
    return FItems[static_cast<size_t>(Index)].get();
}

void TIconImageList::Clear() {
    for (auto& image : FItems) image.reset();  // in index order
    std::vector<std::unique_ptr<TIconImage>>().swap(FItems);
    FCapacity = 0;
}

namespace {

template <typename T>
int Sign(T a, T b) {
    return a > b ? 1 : (a < b ? -1 : 0);
}

int CompareBySize(const TIconImage* a, const TIconImage* b) {
    if (int c = Sign(a->Width(), b->Width())) return c;
    return Sign(a->Depth(), b->Depth());
}

int CompareByDepth(const TIconImage* a, const TIconImage* b) {
    if (int c = Sign(a->Depth(), b->Depth())) return c;
    return Sign(a->Width(), b->Width());
}

}  // namespace

namespace {

const TIconImage* Item(const std::unique_ptr<TIconImage>& image) { return image.get(); }
const TIconImage* Item(const TIconImage* image) { return image; }

// The classic partitioning quicksort (middle pivot, Hoare-style scans); its order for equal
// keys is what users see, so it is kept exactly. Sub-ranges are disjoint, so a work list
// replaces the recursion without changing the result and bounds the stack.
template <typename T>
void QuickSortItems(std::vector<T>& items, int (*compare)(const TIconImage*, const TIconImage*)) {
    if (items.size() < 2) return;
    std::vector<std::pair<int, int>> work;
    work.emplace_back(0, static_cast<int>(items.size()) - 1);
    while (!work.empty()) {
        auto [L, R] = work.back();
        work.pop_back();
        int I;
        do {
            I = L;
            int J = R;
            const TIconImage* pivot = Item(items[static_cast<size_t>((L + R) >> 1)]);
            do {
                while (compare(Item(items[static_cast<size_t>(I)]), pivot) < 0) ++I;
                while (compare(Item(items[static_cast<size_t>(J)]), pivot) > 0) --J;
                if (I <= J) {
                    std::swap(items[static_cast<size_t>(I)], items[static_cast<size_t>(J)]);
                    ++I;
                    --J;
                }
            } while (I <= J);
            if (L < J) work.emplace_back(L, J);
            L = I;
        } while (I < R);
    }
}

}  // namespace

void TIconImageList::QuickSort(Compare compare) { QuickSortItems(FItems, compare); }

std::vector<const TIconImage*> TIconImageList::SortedBySize() const {
    std::vector<const TIconImage*> sorted;
    sorted.reserve(FItems.size());
    for (const auto& image : FItems) sorted.push_back(image.get());
    QuickSortItems(sorted, CompareBySize);
    return sorted;
}

void TIconImageList::SortBySize() { QuickSort(CompareBySize); }
void TIconImageList::SortByDepth() { QuickSort(CompareByDepth); }

}  // namespace pictavo
