// Smooth scaling of a raster, pixel by pixel: colours are averaged weighted by their alpha, so
// a transparent pixel lends no colour to its neighbours.
#include "icons/IconRaster.h"

#include <gtest/gtest.h>

using namespace pictavo;

namespace {

TIconRaster Raster(int width, int height, std::vector<uint32_t> colour) {
    TIconRaster r;
    r.Width = width;
    r.Height = height;
    r.Colour = std::move(colour);
    r.Mask.assign(r.Colour.size(), 0);
    r.HasAlpha = true;
    return r;
}

}  // namespace

TEST(ScaleRaster, AveragesWithPremultipliedAlpha) {
    const struct {
        const char* what;
        TIconRaster source;
        uint32_t expected;  // the one pixel of the 1 x 1 result
    } cases[] = {
        {"opaque red beside transparent white", Raster(2, 1, {0xFFFF0000u, 0x00FFFFFFu}), 0x80FF0000u},
        {"transparent black beside opaque blue", Raster(1, 2, {0x00000000u, 0xFF0000FFu}), 0x800000FFu},
        {"two opaque colours", Raster(2, 1, {0xFFFF0000u, 0xFF0000FFu}), 0xFF800080u},
        {"all transparent", Raster(2, 2, {0x00FFFFFFu, 0x00FF0000u, 0x0000FF00u, 0x000000FFu}), 0x00000000u},
    };
    for (const auto& c : cases) {
        const auto scaled = ScaleRaster(c.source, 1, 1);
        ASSERT_TRUE(scaled) << c.what;
        ASSERT_EQ(scaled->Width, 1);
        ASSERT_EQ(scaled->Height, 1);
        const uint32_t pixel = scaled->Pixel(0, 0);
        // Alpha and colour within one step of the exact average.
        for (int shift : {24, 16, 8, 0}) {
            const int got = static_cast<int>((pixel >> shift) & 0xFF),
                      want = static_cast<int>((c.expected >> shift) & 0xFF);
            EXPECT_LE(std::abs(got - want), 1) << c.what << std::hex << ": " << pixel;
        }
    }
}
