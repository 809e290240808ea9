// libFuzzer target for the thumbnail path a file manager runs on every file: the first two
// bytes choose the size (1 + v mod 1024), the rest is the file (.ico, PE or NE). It draws the
// thumbnail with the same core call as `pictavo-cli thumbnail` and checks:
//   - the longer side is the size asked, the shorter at least 1 and at most that;
//   - the aspect ratio is one of the file's images' (the shorter side rounded);
//   - the PNG written of it reads back to the same pixels.
// A file that cannot be drawn raises EPictavoError (or a descendant) with its reason; any
// other exception escapes and is reported as a crash.
// Files whose first icon declares more than kMaxFuzzPixels pixels are passed over.

#include "FuzzCommon.h"
#include "base/ByteReader.h"
#include "base/ByteSource.h"
#include "base/Errors.h"
#include "icons/IconRaster.h"
#include "icons/PngWriter.h"
#include "library/Thumbnail.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

using namespace pictavo;

namespace {

// Whether some image of the file's first icon, of its own width and height, scales to w x h
// when its longer side becomes `size`.
bool SomeImageHasTheAspect(const TByteSource& file, int size, int w, int h) {
    for (const TImageRange& range : FirstIconImages(file)) {
        uint8_t head[64];
        const size_t n =
            file.ReadUpTo(range.Offset, head, static_cast<size_t>(std::min<uint64_t>(range.Size, sizeof head)));
        const auto header = ReadImageHeader(std::span<const uint8_t>(head, n));
        const auto own = header ? ImagePixelSize(*header) : std::nullopt;
        if (!own) continue;
        const int longer = std::max(own->Width, own->Height);
        auto side = [&](int length) {
            return longer == size
                       ? length
                       : std::max(1, static_cast<int>(std::lround(static_cast<double>(length) * size / longer)));
        };
        if (side(own->Width) == w && side(own->Height) == h) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int side = 1 + static_cast<int>(LoadU16le(std::span<const uint8_t, 2>(data, 2)) % kMaxThumbnailSize);
    const TSpanSource file(std::span<const uint8_t>(data + 2, size - 2));
    if (fuzz::FirstIconDeclaresTooManyPixels(file)) return 0;
    std::unique_ptr<TIconRaster> thumbnail;
    try {
        thumbnail = MakeThumbnail(file, side);
    } catch (const EPictavoError&) {
        return 0;
    }
    FUZZ_CHECK(thumbnail != nullptr);
    const int w = thumbnail->Width, h = thumbnail->Height;
    FUZZ_CHECK(std::max(w, h) == side);
    FUZZ_CHECK(std::min(w, h) >= 1);
    FUZZ_CHECK(thumbnail->Colour.size() == static_cast<size_t>(w) * static_cast<size_t>(h));
    FUZZ_CHECK(SomeImageHasTheAspect(file, side, w, h));

    const std::vector<uint8_t> png = WritePng(*thumbnail, TPngCompression::Fast);
    const auto back = DecodeIconImage(png);
    FUZZ_CHECK(back != nullptr);
    FUZZ_CHECK(back->Width == w && back->Height == h);
    FUZZ_CHECK(back->Colour == thumbnail->Colour);
    return 0;
}
