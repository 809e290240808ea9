#include "library/Thumbnail.h"

#include "base/ByteReader.h"
#include "base/Errors.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "library/PEResources.h"
#include "library/Reader16.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace pictavo {

namespace {

// Bytes of an image that hold every header field its size and depth come from.
constexpr size_t kImageHeadBytes = 64;

uint64_t Available(uint64_t offset, uint64_t size, uint64_t fileSize) {
    return offset < fileSize ? std::min(size, fileSize - offset) : 0;
}

// The images of an .ico file, from its directory alone.
std::vector<TImageRange> IcoImages(const TByteSource& file) {
    ByteCursor cursor(file);
    TAdvancedIcon header;
    uint16_t count = 0;
    if (!header.ReadHeader(cursor, count)) return {};
    const uint64_t fileSize = file.Size();
    std::vector<TImageRange> images;
    for (uint16_t i = 0; i < count; ++i) {
        const auto entry = TIconDirEntry::Read(cursor);  // a directory cut short is an error
        images.push_back(
            {entry.Info, entry.ImageOffset, Available(entry.ImageOffset, entry.Info.BytesInRes, fileSize)});
    }
    return images;
}

// The images of a PE file's first group icon, located through the resource directory.
std::vector<TImageRange> PeFirstGroupImages(const TByteSource& file) {
    TPEResourceReader resources;
    if (!resources.Open(file)) throw EICLReadError(Message("不是一个有效的可执行文件"));
    const auto names = resources.Names(RT_GROUP_ICON);
    if (names.empty()) return {};
    const auto group = resources.Locate(RT_GROUP_ICON, names.front());
    if (!group) throw EResNotFound(FormatMessage("找不到资源 %s", names.front().Display().c_str()));
    std::vector<uint8_t> bytes(static_cast<size_t>(std::min(group->Size, kMaxGroupBytes)));
    bytes.resize(file.ReadUpTo(group->Offset, bytes.data(), bytes.size()));
    return GroupImages(bytes, [&](uint16_t id) {
        const auto icon = resources.Locate(RT_ICON, TResourceName::FromId(id));
        if (!icon) throw EResNotFound(FormatMessage("找不到资源 %d", static_cast<int>(id)));
        return TResourceSpan{icon->Offset, icon->Size};
    });
}

}  // namespace

std::vector<TImageRange> FirstIconImages(const TByteSource& File) {
    switch (IconFileKind(File)) {
    case TIconFileKind::Ico:
        return IcoImages(File);
    case TIconFileKind::PE:
        return PeFirstGroupImages(File);
    case TIconFileKind::NE:
        if (T16BitReader::CountGroupIcons(File) == 0) return {};
        return T16BitReader::FirstGroupImages(File);
    case TIconFileKind::None:
        break;
    }
    throw EPictavoError(Message("不是图标文件、可执行文件或图标库"));
}

int ChooseThumbnailImage(const std::vector<TThumbnailCandidate>& Candidates, int Size) {
    // Rank: exactly Size first, then larger ones from the smallest, then smaller ones from the
    // largest; within a rank the deepest; the first listed keeps a tie.
    auto rank = [Size](const TThumbnailCandidate& c) {
        const int size = std::max(c.Size.Width, c.Size.Height);
        if (size == Size) return std::make_pair(0, 0);
        return size > Size ? std::make_pair(1, size) : std::make_pair(2, -size);
    };
    int best = -1;
    for (size_t i = 0; i < Candidates.size(); ++i) {
        if (best < 0) {
            best = static_cast<int>(i);
            continue;
        }
        const TThumbnailCandidate& c = Candidates[i];
        const TThumbnailCandidate& b = Candidates[static_cast<size_t>(best)];
        const auto rc = rank(c), rb = rank(b);
        if (rc < rb || (rc == rb && c.Depth > b.Depth)) best = static_cast<int>(i);
    }
    return best;
}

std::unique_ptr<TIconRaster> MakeThumbnail(const std::string& FileName, int Size) {
    if (Size < kMinThumbnailSize || Size > kMaxThumbnailSize)
        throw EPictavoError(FormatMessage("缩略图尺寸无效: %d", Size));
    const TFileSource file(FileName);
    file.RequireRegular(FileName);
    return MakeThumbnail(file, Size);
}

std::unique_ptr<TIconRaster> MakeThumbnail(const TByteSource& File, int Size) {
    if (Size < kMinThumbnailSize || Size > kMaxThumbnailSize)
        throw EPictavoError(FormatMessage("缩略图尺寸无效: %d", Size));
    const std::vector<TImageRange> images = FirstIconImages(File);
    if (images.empty()) throw EPictavoError(Message("文件中没有图标"));
    // Each image's size and depth from the first bytes of it; images without a readable
    // header cannot be drawn and are passed over.
    std::vector<TThumbnailCandidate> candidates;
    for (const TImageRange& range : images) {
        std::array<uint8_t, kImageHeadBytes> head;
        const size_t n =
            File.ReadUpTo(range.Offset, head.data(), static_cast<size_t>(std::min<uint64_t>(range.Size, head.size())));
        const auto header = ReadImageHeader(std::span<const uint8_t>(head.data(), n));
        const auto size = header ? ImagePixelSize(*header) : std::nullopt;
        if (size) candidates.push_back({range, *size, ImageDepth(range.Info.BitCount, header)});
    }
    if (candidates.empty()) throw EPictavoError(Message("图标中没有可以显示的图像"));
    // The best image that decodes: when the chosen one cannot be, the next best is tried, and
    // the first failure is what is reported when none can. Entries over bytes already tried
    // are dropped with them, and only a few images are tried, so a group naming one broken
    // picture thousands of times costs no more than a few decodes.
    std::unique_ptr<TIconRaster> raster;
    TMessage failure;
    for (int attempt = 0; !raster && !candidates.empty() && attempt < kMaxThumbnailAttempts; ++attempt) {
        const auto chosen = static_cast<size_t>(ChooseThumbnailImage(candidates, Size));
        const TThumbnailCandidate image = candidates[chosen];
        std::vector<uint8_t> bytes(static_cast<size_t>(std::min(image.Range.Size, kMaxThumbnailImageBytes)));
        bytes.resize(File.ReadUpTo(image.Range.Offset, bytes.data(), bytes.size()));
        raster = DecodeIconImage(bytes);
        if (!raster && failure.Source.empty())
            failure = FormatMessage("图像 %d x %d - %dbit 无法解码", image.Size.Width, image.Size.Height,
                                    static_cast<int>(image.Depth));
        std::erase_if(candidates, [&](const TThumbnailCandidate& c) {
            return c.Range.Offset == image.Range.Offset && c.Range.Size == image.Range.Size;
        });
    }
    if (!raster) throw EPictavoError(failure);
    // An image without alpha already carries alpha 0 where its mask lets the background
    // through and 255 elsewhere: taken as alpha, scaling blends its edges like any other.
    raster->HasAlpha = true;
    const int longer = std::max(raster->Width, raster->Height);
    if (longer == Size) return raster;
    auto side = [&](int length) {
        return std::max(1, static_cast<int>(std::lround(static_cast<double>(length) * Size / longer)));
    };
    auto scaled = ScaleRaster(*raster, side(raster->Width), side(raster->Height));
    if (!scaled) throw EPictavoError(Message("无法缩放图像"));
    return scaled;
}

}  // namespace pictavo
