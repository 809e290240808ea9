#include "icons/IconImage.h"

#include "base/ByteReader.h"
#include "base/Errors.h"
#include "base/Streams.h"
#include "icons/IconTools.h"
#include "icons/ResourceModule.h"

#include <utility>

namespace pictavo {

std::unique_ptr<TIconImage> TIconImage::CreateCopy(const TIconImage& Source) {
    auto copy = std::make_unique<TIconImage>();
    const auto bytes = Source.Data();
    copy->SetContent(Source.FInfo, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    if (const TIconRaster* handle = Source.GetHandle()) copy->FHandle = std::make_unique<TIconRaster>(*handle);
    copy->UpdateSize();
    return copy;
}

void TIconImage::SetContent(const TIconEntryInfo& Info, std::vector<uint8_t> Data) {
    FInfo = Info;
    if (FInfo.BytesInRes > Data.size()) FInfo.BytesInRes = static_cast<uint32_t>(Data.size());
    FData = std::move(Data);
}

const TIconRaster* TIconImage::GetHandle() const {
    if (!FHandle && !FData.empty() && !FDecodeFailed) {
        FHandle = DecodeIconImage(Data(), FInfo.Width, FInfo.Height);
        FDecodeFailed = FHandle == nullptr;
    }
    return FHandle.get();
}

std::unique_ptr<THiResIcon> TIconImage::CreateGraphic() const {
    auto graphic = std::make_unique<THiResIcon>();
    graphic->SetHandle(GetHandle());
    return graphic;
}

void TIconImage::UpdateSize() {
    const ByteReader rd(Data());
    int32_t size = 0;
    if (IsPngData(Data())) {
        // PNG: width and height are the big-endian words of the IHDR chunk that follows the
        // signature; the smaller of the two, as for bitmaps.
        const auto tag = rd.u32be(12), w = rd.u32be(16), h = rd.u32be(20);
        if (tag && *tag == 0x49484452u && w && h) {
            const int32_t sw = static_cast<int32_t>(*w), sh = static_cast<int32_t>(*h);
            size = sw < sh ? sw : sh;
        }
    } else {
        // Bitmap header: the signed width at 4 and the height at 8, which covers the colour
        // bitmap and the mask and so is halved (as an unsigned value).
        const auto w = rd.i32le(4);
        const auto h = rd.u32le(8);
        if (w && h) {
            const int32_t half = static_cast<int32_t>(*h >> 1);
            size = *w < half ? *w : half;
        }
    }
    FWidth = size;
    FHeight = size;
    FInfo.Width = static_cast<uint8_t>(size);
    FInfo.Height = static_cast<uint8_t>(size);
}

void TIconImage::WriteData(TStream& Stream) const {
    if (!FData.empty()) Stream.Write(FData.data(), FInfo.BytesInRes);
}

void TIconImage::Draw(TRasterCanvas& Canvas, int X, int Y) const {
    DrawIconRaster(Canvas, X, Y, GetHandle(), FInfo.Height, FInfo.Width);
}

std::string TIconImage::Label() const {
    return Format("%d x %d - %dbit", FWidth, FHeight, static_cast<int>(FInfo.BitCount));
}

TFileIconImage::TFileIconImage(TStream& Stream) {
    uint8_t raw[TIconDirEntry::Size];
    Stream.ReadBuffer(raw, sizeof raw);
    const uint64_t after = Stream.Position();
    const TIconDirEntry entry = TIconDirEntry::Read(std::span<const uint8_t, TIconDirEntry::Size>(raw));
    // Only the bytes that exist are taken: a length beyond the end of the file never
    // allocates more than the file holds.
    Stream.Seek(entry.ImageOffset);
    std::vector<uint8_t> data = Stream.ReadVector(entry.Info.BytesInRes);
    Stream.Seek(after);
    SetContent(entry.Info, std::move(data));
    UpdateSize();
}

TResourceIconImage::TResourceIconImage(TStream& Stream, const TResourceModule& Instance) {
    uint8_t raw[TGroupIconDirEntry::Size];
    Stream.ReadBuffer(raw, sizeof raw);
    const TGroupIconDirEntry entry = TGroupIconDirEntry::Read(std::span<const uint8_t, TGroupIconDirEntry::Size>(raw));
    const auto bytes = Instance.FindResource(RT_ICON, TResourceName::FromId(entry.IconId));
    if (!bytes) throw EResNotFound(Format("找不到资源 %d", static_cast<int>(entry.IconId)));
    SetContent(entry.Info, std::vector<uint8_t>(bytes->begin(), bytes->end()));
    UpdateSize();
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
        throw EListError(Format("一个图标中的图像不能超过 %d 个", static_cast<int>(kMaxCount)));
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
    return Sign(a->BitCount(), b->BitCount());
}

int CompareByDepth(const TIconImage* a, const TIconImage* b) {
    if (int c = Sign(a->BitCount(), b->BitCount())) return c;
    return Sign(a->Width(), b->Width());
}

}  // namespace

void TIconImageList::QuickSort(Compare compare) {
    if (FItems.size() < 2) return;
    // The classic partitioning quicksort (middle pivot, Hoare-style scans); its order for
    // equal keys is what users see, so it is kept exactly. Sub-ranges are disjoint, so a
    // work list replaces the recursion without changing the result and bounds the stack.
    std::vector<std::pair<int, int>> work;
    work.emplace_back(0, static_cast<int>(FItems.size()) - 1);
    while (!work.empty()) {
        auto [L, R] = work.back();
        work.pop_back();
        int I;
        do {
            I = L;
            int J = R;
            const TIconImage* pivot = FItems[static_cast<size_t>((L + R) >> 1)].get();
            do {
                while (compare(FItems[static_cast<size_t>(I)].get(), pivot) < 0) ++I;
                while (compare(FItems[static_cast<size_t>(J)].get(), pivot) > 0) --J;
                if (I <= J) {
                    std::swap(FItems[static_cast<size_t>(I)], FItems[static_cast<size_t>(J)]);
                    ++I;
                    --J;
                }
            } while (I <= J);
            if (L < J) work.emplace_back(L, J);
            L = I;
        } while (I < R);
    }
}

void TIconImageList::SortBySize() { QuickSort(CompareBySize); }
void TIconImageList::SortByDepth() { QuickSort(CompareByDepth); }

}  // namespace pictavo
