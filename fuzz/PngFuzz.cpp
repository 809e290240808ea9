// libFuzzer target for the PNG writer: a picture made from the input written with WritePng in
// each of its modes (Small, at libpng's thorough defaults up to 256 x 256 pixels and unfiltered
// at zlib level 2 above; Fast, unfiltered at level 1), and read back by the program's own
// decoder.
//
// The input:
//   bytes 0-1  the width (little-endian; 0 and more than 4096 are refused);
//   bytes 2-3  the height;
//   byte 4     bit 0: the picture has real alpha (else alpha is 0 where its mask is set and 255
//              elsewhere, the mask taken from the top bit of each value's alpha); bit 1: every
//              value is mixed with a number made from its position, so that large pictures do
//              not compress to nothing; bit 2: the picture holds fewer colour values than
//              pixels (as a broken caller could hand over);
//   the rest   colour values, 4 bytes each (0xAARRGGBB, little-endian), repeated over the rows.
//
// Pictures of more than kMaxFuzzPixels pixels are passed over (unless their values are too few:
// those are refused before anything is written).
//
// Besides the sanitizers it checks, and traps when one breaks:
//   - WritePng raises EPictavoError exactly for a picture without pixels, wider or taller than
//     4096, or with fewer values than pixels;
//   - otherwise every mode gives a PNG whose header the core reads as the picture's size, and
//     which decodes to the same colour values (the modes are all lossless: alpha and the colour
//     under transparent pixels are kept) and the same mask.

#include "FuzzCommon.h"
#include "base/Errors.h"
#include "icons/IconRaster.h"
#include "icons/PngWriter.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace pictavo;
using namespace pictavo::fuzz;

namespace {

// A number made from a position (splitmix64's finaliser).
uint32_t Noise(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>(x ^ (x >> 31));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const int width = data[0] | (data[1] << 8);
    const int height = data[2] | (data[3] << 8);
    const bool alpha = data[4] & 1, noisy = data[4] & 2, broken = data[4] & 4;
    std::vector<uint32_t> values((size - 5) / 4);
    if (!values.empty()) std::memcpy(values.data(), data + 5, values.size() * 4);
    if (values.empty()) values.push_back(0);

    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    TIconRaster raster;
    raster.Width = width;
    raster.Height = height;
    raster.HasAlpha = alpha;
    if (broken) {
        // Fewer values than pixels (none for a picture without pixels).
        raster.Colour.assign(values.begin(), values.begin() + static_cast<long>(std::min<uint64_t>(
                                                                  values.size(), pixels ? pixels - 1 : 0)));
    } else {
        if (pixels > kMaxFuzzPixels) return 0;
        raster.Colour.resize(pixels);
        for (size_t i = 0; i < pixels; ++i) {
            uint32_t v = values[i % values.size()];
            if (noisy) v ^= Noise(i);
            // Without real alpha a pixel is either transparent or opaque.
            if (!alpha) v = (v & 0x00FFFFFFu) | ((v >> 31) ? 0u : 0xFF000000u);
            raster.Colour[i] = v;
        }
    }
    raster.Mask.resize(raster.Colour.size());
    for (size_t i = 0; i < raster.Colour.size(); ++i) raster.Mask[i] = (raster.Colour[i] >> 24) == 0;

    const bool refused = broken || width == 0 || height == 0 || width > kMaxIconDimension || height > kMaxIconDimension;
    for (const TPngCompression mode : {TPngCompression::Small, TPngCompression::Fast}) {
        std::vector<uint8_t> png;
        try {
            png = WritePng(raster, mode);
        } catch (const EPictavoError&) {
            FUZZ_CHECK(refused);
            continue;
        }
        FUZZ_CHECK(!refused);
        FUZZ_CHECK(IsPngData(png));
        const auto header = ReadImageHeader(png);
        FUZZ_CHECK(header && header->Png && header->BitCount == 32);
        const auto own = ImagePixelSize(*header);
        FUZZ_CHECK(own && own->Width == width && own->Height == height);
        const auto back = DecodeIconImage(png);
        FUZZ_CHECK(back && back->Width == width && back->Height == height);
        FUZZ_CHECK(back->Colour == raster.Colour);
        FUZZ_CHECK(back->Mask == raster.Mask);
    }
    return 0;
}
