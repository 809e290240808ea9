#include "base/ByteReader.h"
#include "icons/IconRaster.h"
#include "support/IconFixtures.h"

#include <gtest/gtest.h>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// What a colour looks like after storing it at a depth that drops low bits.
uint32_t Quantise(uint32_t c, int bits, bool bitfields) {
    if (bits != 16) return c & 0x00FFFFFF;
    auto widen = [](uint32_t v, int n) { return (v * 255 + ((1u << n) - 1) / 2) / ((1u << n) - 1); };
    const uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    const int gbits = bitfields ? 6 : 5;
    return widen(r >> 3, 5) << 16 | widen(g >> (8 - gbits), gbits) << 8 | widen(b >> 3, 5);
}

void ExpectMatches(const TIconRaster& r, const Picture& p, int bits, bool bitfields, bool alpha) {
    ASSERT_EQ(r.Width, p.Width);
    ASSERT_EQ(r.Height, p.Height);
    EXPECT_EQ(r.HasAlpha, alpha);
    for (int y = 0; y < p.Height; ++y)
        for (int x = 0; x < p.Width; ++x) {
            const size_t i = static_cast<size_t>(y) * p.Width + x;
            ASSERT_EQ(r.MaskBit(x, y), p.Mask[i] != 0) << x << "," << y;
            if (alpha) {
                ASSERT_EQ(r.Pixel(x, y), p.Colour[i]) << x << "," << y;
            } else {
                const uint32_t a = p.Mask[i] ? 0u : 0xFF000000u;
                ASSERT_EQ(r.Pixel(x, y), a | Quantise(p.Colour[i], bits, bitfields)) << bits << "bit " << x << "," << y;
            }
        }
}

}  // namespace

TEST(DecodeDib, EveryDepthGivesThePixelsAndMask) {
    struct Case {
        int bits, colours, w, h;
        DibOptions options;
    } cases[] = {
        {1, 2, 16, 16, {}},
        {1, 2, 37, 5, {}},  // rows padded to 32 bits, width not a multiple of 8
        {4, 16, 32, 32, {}},
        {4, 11, 13, 7, {}},
        {8, 200, 48, 48, {}},
        {8, 30, 24, 24, {.TopDown = true}},
        {8, 30, 16, 16, {.CoreHeader = true}},
        {16, 0, 32, 32, {}},
        {16, 0, 17, 9, {.Bitfields = true}},
        {24, 0, 32, 32, {}},
        {24, 0, 31, 3, {}},
        {32, 0, 16, 16, {.ZeroAlpha = true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bit " << c.w << "x" << c.h);
        const Picture p = MakePicture(c.w, c.h, c.colours);
        auto r = DecodeIconImage(MakeDib(p, c.bits, c.options));
        ASSERT_NE(r, nullptr);
        ExpectMatches(*r, p, c.bits, c.options.Bitfields, false);
    }
}

TEST(DecodeDib, ThirtyTwoBitAlphaIsKept) {
    const Picture p = MakePicture(24, 24, 0, true);
    auto r = DecodeIconImage(MakeDib(p, 32));
    ASSERT_NE(r, nullptr);
    ExpectMatches(*r, p, 32, false, true);
    // Without a mask the alpha stands in for it.
    auto noMask = DecodeIconImage(MakeDib(p, 32, {.OmitMask = true}));
    ASSERT_NE(noMask, nullptr);
    ExpectMatches(*noMask, p, 32, false, true);
    auto bitfields = DecodeIconImage(MakeDib(p, 32, {.Bitfields = true, .ZeroAlpha = true}));
    ASSERT_NE(bitfields, nullptr);
    ExpectMatches(*bitfields, p, 32, true, false);
}

TEST(DecodePng, GivesColourAlphaAndMask) {
    const Picture p = MakePicture(40, 40, 0, true);
    auto r = DecodeIconImage(MakePng(p));
    ASSERT_NE(r, nullptr);
    ExpectMatches(*r, p, 32, false, true);
}

TEST(DecodeMalformed, RefusedWithoutReadingPastTheBytes) {
    const Picture p = MakePicture(32, 32, 16);
    const auto good = MakeDib(p, 4);
    auto cut = [&](size_t n) { return std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(n)); };
    EXPECT_EQ(DecodeIconImage(cut(20)), nullptr);             // inside the header
    EXPECT_EQ(DecodeIconImage(cut(40 + 30)), nullptr);        // inside the colour table
    EXPECT_EQ(DecodeIconImage(cut(40 + 64 + 100)), nullptr);  // inside the colour bits

    auto patched = [&](size_t at, uint32_t v) {
        auto b = good;
        PutU32le(&b[at], v);
        return b;
    };
    EXPECT_EQ(DecodeIconImage(patched(16, 1)), nullptr);           // RLE compression
    EXPECT_EQ(DecodeIconImage(patched(4, 0x7FFFFFFF)), nullptr);   // absurd width
    EXPECT_EQ(DecodeIconImage(patched(8, 0x80000000u)), nullptr);  // absurd negative height
    EXPECT_EQ(DecodeIconImage(patched(8, 1)), nullptr);            // half a row high
    EXPECT_EQ(DecodeIconImage(patched(0, 30)), nullptr);           // unknown header size
    EXPECT_EQ(DecodeIconImage(patched(0, 0xFFFFFFF0u)), nullptr);  // header longer than the bytes
    auto depth = good;
    PutU16le(&depth[14], 7);
    EXPECT_EQ(DecodeIconImage(depth), nullptr);
    // A palette index past ColorsUsed reads as black rather than past the table.
    auto fewColours = patched(32, 1);
    fewColours.erase(fewColours.begin() + 44, fewColours.begin() + 40 + 64);
    auto r = DecodeIconImage(fewColours);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Width, 32);

    auto png = MakePng(MakePicture(32, 32, 0, true));
    EXPECT_EQ(DecodeIconImage(std::vector<uint8_t>(png.begin(), png.begin() + static_cast<long>(png.size() / 2))),
              nullptr);
    auto huge = png;  // IHDR claiming 60000 x 60000 (the chunk's CRC is not the concern here)
    huge[16] = 0;
    huge[17] = 0;
    huge[18] = 0xEA;
    huge[19] = 0x60;
    EXPECT_EQ(DecodeIconImage(huge), nullptr);
}

TEST(DecodeScaled, RequestedSizeIsDeliveredSmoothly) {
    Picture solid;
    solid.Width = solid.Height = 32;
    solid.Colour.assign(32 * 32, 0xFF3366CCu);
    solid.Mask.assign(32 * 32, 0);
    auto r = DecodeIconImage(MakeDib(solid, 24), 16, 16);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Width, 16);
    EXPECT_EQ(r->Height, 16);
    for (uint32_t px : r->Colour) ASSERT_EQ(px, 0xFF3366CCu);

    // A black/white split keeps intermediate greys at the edge when enlarged (not blocky).
    Picture split;
    split.Width = split.Height = 4;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) split.Colour.push_back(x < 2 ? 0xFF000000u : 0xFFFFFFFFu);
    split.Mask.assign(16, 0);
    auto big = DecodeIconImage(MakeDib(split, 24), 16, 16);
    ASSERT_NE(big, nullptr);
    bool grey = false;
    for (uint32_t px : big->Colour) grey |= (px & 0xFF) > 0x20 && (px & 0xFF) < 0xE0;
    EXPECT_TRUE(grey);
    EXPECT_EQ(big->Pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(big->Pixel(15, 15), 0xFFFFFFFFu);
}

TEST(DrawRaster, MaskAndXorAsTheIconAsks) {
    // Four pixels: opaque red; transparent (mask 1, colour black); inverting (mask 1, colour
    // white); opaque black.
    TIconRaster r;
    r.Width = 2;
    r.Height = 2;
    r.Colour = {0xFFFF0000u, 0x00000000u, 0x00FFFFFFu, 0xFF000000u};
    r.Mask = {0, 1, 1, 0};
    TRasterCanvas canvas(3, 3, 0xFF204080u);
    DrawIconRaster(canvas, 1, 1, &r);
    EXPECT_EQ(canvas.Pixel(0, 0), 0xFF204080u);
    EXPECT_EQ(canvas.Pixel(1, 1), 0xFFFF0000u);
    EXPECT_EQ(canvas.Pixel(2, 1), 0xFF204080u);
    EXPECT_EQ(canvas.Pixel(1, 2), 0xFFDFBF7Fu);
    EXPECT_EQ(canvas.Pixel(2, 2), 0xFF000000u);
    DrawIconRaster(canvas, -1, -1, &r);  // clipped, no write outside
    DrawIconRaster(canvas, 0, 0, nullptr);

    TIconRaster a;
    a.Width = a.Height = 1;
    a.HasAlpha = true;
    a.Colour = {0x80FFFFFFu};
    a.Mask = {0};
    TRasterCanvas black(1, 1, 0xFF000000u);
    DrawIconRaster(black, 0, 0, &a);
    EXPECT_EQ(black.Pixel(0, 0), 0xFF808080u);
}
