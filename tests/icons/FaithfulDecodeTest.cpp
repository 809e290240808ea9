// Image samples come out as stored: PNG of every colour type, depth and interlace with or
// without gamma, truecolour bitmaps that carry a colour table or alpha masks, large PNG
// entries, and bitmaps whose mask is cut short or left out.
#include "base/ByteBuffer.h"
#include "base/ByteReader.h"
#include "icons/IconImage.h"
#include "icons/IconRaster.h"
#include "support/IconFixtures.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <array>
#include <stdexcept>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// A PNG written with libpng's full writer: samples given per channel as stored (up to 16
// bits), optional tRNS entries, gAMA and interlace.
struct PngLayout {
    int ColourType = PNG_COLOR_TYPE_RGB;
    int Depth = 8;
    bool Interlaced = false;
    bool Gamma = false;  // gAMA of 1.0, which a converting decoder would brighten
    int Width = 13, Height = 7;
};

int Channels(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
        return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return 4;
    default:
        return 1;  // palette index
    }
}

// Deterministic samples of `depth` bits.
uint32_t Sample(int x, int y, int c, int depth) {
    const uint32_t v = static_cast<uint32_t>(x * 2654435761u ^ y * 40503u ^ c * 977u) * 2246822519u;
    return (v >> 7) & ((1u << depth) - 1);
}

struct BuiltPng {
    std::vector<uint8_t> Bytes;
    std::vector<uint32_t> Expected;  // 0xAARRGGBB as the samples say, 16 bits rounded to 8
};

void WriteToVector(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

BuiltPng BuildPng(const PngLayout& s) {
    BuiltPng built;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) throw std::runtime_error("png write");
    png_set_write_fn(png, &built.Bytes, WriteToVector, nullptr);
    png_set_IHDR(png, info, s.Width, s.Height, s.Depth, s.ColourType,
                 s.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    const int channels = Channels(s.ColourType);
    const uint32_t max = (1u << s.Depth) - 1;
    auto to8 = [&](uint32_t v) -> uint32_t {
        if (s.Depth == 16) return (v * 255 + 32895) >> 16;
        return v * 255 / max;  // bit replication of 1, 2 and 4 bits gives exactly this
    };
    // Palette: distinct colours, the first three partly or wholly transparent.
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha = {0, 128, 200};
    if (s.ColourType == PNG_COLOR_TYPE_PALETTE) {
        for (uint32_t i = 0; i <= max; ++i)
            palette.push_back(
                {static_cast<png_byte>(i * 37 + 5), static_cast<png_byte>(255 - i * 11), static_cast<png_byte>(i * 3)});
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
        paletteAlpha.resize(std::min<size_t>(paletteAlpha.size(), palette.size()));
        png_set_tRNS(png, info, paletteAlpha.data(), static_cast<int>(paletteAlpha.size()), nullptr);
    }
    // Grey and RGB: the sample values of pixel (0, 0) are the transparent colour.
    png_color_16 key{};
    const bool keyed = s.ColourType == PNG_COLOR_TYPE_GRAY || s.ColourType == PNG_COLOR_TYPE_RGB;
    if (keyed) {
        key.gray = static_cast<png_uint_16>(Sample(0, 0, 0, s.Depth));
        key.red = static_cast<png_uint_16>(Sample(0, 0, 0, s.Depth));
        key.green = static_cast<png_uint_16>(Sample(0, 0, 1, s.Depth));
        key.blue = static_cast<png_uint_16>(Sample(0, 0, 2, s.Depth));
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    if (s.Gamma) png_set_gAMA_fixed(png, info, PNG_FP_1);
    png_write_info(png, info);

    const size_t rowBytes = (static_cast<size_t>(s.Width) * channels * s.Depth + 7) / 8;
    std::vector<std::vector<png_byte>> rows(s.Height, std::vector<png_byte>(rowBytes, 0));
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x) {
            uint32_t v[4];
            for (int c = 0; c < channels; ++c) {
                v[c] = Sample(x, y, c, s.Depth);
                const size_t bit = (static_cast<size_t>(x) * channels + c) * s.Depth;
                if (s.Depth == 16) {
                    rows[y][bit / 8] = static_cast<png_byte>(v[c] >> 8);
                    rows[y][bit / 8 + 1] = static_cast<png_byte>(v[c]);
                } else {
                    rows[y][bit / 8] |= static_cast<png_byte>(v[c] << (8 - s.Depth - bit % 8));
                }
            }
            uint32_t a = 255, r, g, b;
            switch (s.ColourType) {
            case PNG_COLOR_TYPE_PALETTE:
                r = palette[v[0]].red, g = palette[v[0]].green, b = palette[v[0]].blue;
                if (v[0] < paletteAlpha.size()) a = paletteAlpha[v[0]];
                break;
            case PNG_COLOR_TYPE_GRAY:
            case PNG_COLOR_TYPE_GRAY_ALPHA:
                r = g = b = to8(v[0]);
                if (s.ColourType == PNG_COLOR_TYPE_GRAY_ALPHA)
                    a = to8(v[1]);
                else if (v[0] == key.gray)
                    a = 0;
                break;
            default:
                r = to8(v[0]), g = to8(v[1]), b = to8(v[2]);
                if (s.ColourType == PNG_COLOR_TYPE_RGB_ALPHA)
                    a = to8(v[3]);
                else if (v[0] == key.red && v[1] == key.green && v[2] == key.blue)
                    a = 0;
            }
            built.Expected.push_back(a << 24 | r << 16 | g << 8 | b);
        }
    std::vector<png_bytep> pointers;
    for (auto& row : rows) pointers.push_back(row.data());
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return built;
}

void ExpectPixels(const TIconRaster& r, int width, int height, const std::vector<uint32_t>& expected) {
    ASSERT_EQ(r.Width, width);
    ASSERT_EQ(r.Height, height);
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(r.Colour[i], expected[i]) << "pixel " << i;
        ASSERT_EQ(r.Mask[i], (expected[i] >> 24) == 0) << "mask " << i;
    }
}

}  // namespace

TEST(DecodePngSamples, EveryColourTypeDepthInterlaceAndGammaAsStored) {
    const std::pair<int, std::vector<int>> types[] = {
        {PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}}, {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}},   {PNG_COLOR_TYPE_RGB, {8, 16}},
        {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}},     {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}},
    };
    for (const auto& [type, depths] : types)
        for (int depth : depths)
            for (bool interlaced : {false, true})
                for (bool gamma : {false, true}) {
                    SCOPED_TRACE(testing::Message() << "type " << type << " depth " << depth << " interlaced "
                                                    << interlaced << " gamma " << gamma);
                    const PngLayout layout{type, depth, interlaced, gamma};
                    const BuiltPng png = BuildPng(layout);
                    const auto r = DecodeIconImage(png.Bytes);
                    ASSERT_NE(r, nullptr);
                    EXPECT_TRUE(r->HasAlpha);
                    ExpectPixels(*r, layout.Width, layout.Height, png.Expected);
                }
}

TEST(DecodePngSamples, InterlacedSixteenBitMatchesItsPlainTwinAtAwkwardSizes) {
    // Sizes where some of the seven passes are empty.
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 9}, {9, 1}, {3, 3}, {8, 8}, {33, 17}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const auto plain = DecodeIconImage(BuildPng({PNG_COLOR_TYPE_RGB_ALPHA, 16, false, false, w, h}).Bytes);
        // The end chunk damaged: the picture is whole once its last row is in.
        auto lacedBytes = BuildPng({PNG_COLOR_TYPE_RGB_ALPHA, 16, true, false, w, h}).Bytes;
        lacedBytes.back() ^= 0xFF;
        const auto laced = DecodeIconImage(lacedBytes);
        ASSERT_NE(plain, nullptr);
        ASSERT_NE(laced, nullptr);
        EXPECT_EQ(laced->Colour, plain->Colour);
    }
}

TEST(DecodePngSamples, LargeEntriesUpToTheLimit) {
    // A flat 1024 x 1024 entry compresses to a few kilobytes and is a legitimate icon image.
    Picture flat;
    flat.Width = flat.Height = 1024;
    flat.Colour.assign(size_t{1024} * 1024, 0xFF336699u);
    const auto bytes = MakePng(flat);
    EXPECT_LT(bytes.size(), 16u * 1024);
    const auto r = DecodeIconImage(bytes);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Width, 1024);
    EXPECT_EQ(r->Pixel(1023, 1023), 0xFF336699u);
    // One pixel past the limit is refused.
    const PngLayout tooWide{PNG_COLOR_TYPE_GRAY, 1, false, false, kMaxIconDimension + 1, 1};
    EXPECT_EQ(DecodeIconImage(BuildPng(tooWide).Bytes), nullptr);
}

TEST(DecodePngSamples, WhatFollowsThePictureIsNotInflated) {
    // A 16 x 16 grey picture whose compressed stream goes on after the last row with 1 GB of
    // zeros, behind text chunks far larger than any chunk kept: the picture is read, the rest
    // skipped (the time it takes is measured by bench/hostile; inflating it all took seconds).
    std::vector<uint8_t> rows;
    for (int y = 0; y < 16; ++y) {
        rows.push_back(0);
        for (int x = 0; x < 16; ++x) rows.push_back(static_cast<uint8_t>(x * 16 + y));
    }
    z_stream z{};
    ASSERT_EQ(deflateInit(&z, 9), Z_OK);
    auto deflateSome = [&](const uint8_t* in, size_t n, int flush) {
        std::vector<uint8_t> out(n + 1024);
        z.next_in = const_cast<Bytef*>(in);
        z.avail_in = static_cast<uInt>(n);
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        EXPECT_NE(deflate(&z, flush), Z_STREAM_ERROR);
        out.resize(out.size() - z.avail_out);
        return out;
    };
    std::vector<uint8_t> idat = deflateSome(rows.data(), rows.size(), Z_FULL_FLUSH);
    // After a full flush the compressor starts afresh, so a megabyte of zeros compresses to
    // the same bytes each time: repeated, they stand for a gigabyte.
    const std::vector<uint8_t> zeros(1 << 20, 0);
    const std::vector<uint8_t> piece = deflateSome(zeros.data(), zeros.size(), Z_FULL_FLUSH);
    deflateEnd(&z);
    for (int i = 0; i < 1024; ++i) idat.insert(idat.end(), piece.begin(), piece.end());
    std::vector<uint8_t> ihdr(13, 0);
    png_save_uint_32(&ihdr[0], 16);
    png_save_uint_32(&ihdr[4], 16);
    ihdr[8] = 8;  // grey, 8 bits
    std::vector<uint8_t> text(200 * 1024, 'x');
    text[7] = 0;  // keyword "xxxxxxx"
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const auto& chunk : {PngChunk("IHDR", ihdr), PngChunk("tEXt", text), PngChunk("zTXt", {'k', 0, 0, 0x78, 0xFF}),
                              PngChunk("IDAT", idat), PngChunk("IEND", {})})
        png.insert(png.end(), chunk.begin(), chunk.end());
    const auto r = DecodeIconImage(png);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Pixel(5, 3), 0xFF535353u);
    EXPECT_EQ(r->Pixel(15, 15), 0xFFFFFFFFu);
}

TEST(DecodePngSamples, PixelDataEndingBeforeTheLastRowIsNoPicture) {
    // Compressed streams that end properly, IEND after them, before every stored row is in:
    // what arrived would draw as a picture mostly transparent, so nothing is decoded.
    struct Case {
        const char* what;
        int size;
        bool interlaced;
        size_t scanlines;
        bool whole;
        bool damagedChecksum = false;
    } cases[] = {
        {"plain, 10 rows", 256, false, 10, false},
        {"plain, all but the last row", 256, false, 255, false},
        {"interlaced, the first pass alone", 256, true, Adam7Scanlines(256, 256, 1), false},
        {"interlaced, 5 of 7 passes", 256, true, Adam7Scanlines(256, 256, 5), false},
        {"interlaced, all but the last row", 256, true, Adam7Scanlines(256, 256, 7) - 1, false},
        {"interlaced 9 x 9, all but the last row", 9, true, Adam7Scanlines(9, 9, 7) - 1, false},
        {"plain, whole", 256, false, SIZE_MAX, true},
        {"interlaced, whole", 256, true, SIZE_MAX, true},
        {"interlaced 9 x 9, whole", 9, true, SIZE_MAX, true},
        // The stream's own checksum is not what makes a picture whole (the chunk's CRC is).
        {"whole, Adler-32 damaged", 256, false, SIZE_MAX, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Picture p = MakePicture(c.size, c.size, 0, true);
        const auto r = DecodeIconImage(MakePngEndingEarly(p, c.interlaced, c.scanlines, c.damagedChecksum));
        if (!c.whole) {
            EXPECT_EQ(r, nullptr);
            continue;
        }
        ASSERT_NE(r, nullptr);
        ExpectPixels(*r, c.size, c.size, p.Colour);
    }
}

TEST(DecodeBudget, PixelsHeldAtOnceAreBoundedAndReturned) {
    const auto png = BuildPng({PNG_COLOR_TYPE_RGB, 8, false, false, 64, 64}).Bytes;
    const uint64_t one = RasterBytes(64, 64);
    auto budget = std::make_shared<TDecodeBudget>(one * 2);
    bool over = false;
    auto a = DecodeWithinBudget(png, 0, 0, budget, over);
    auto b = DecodeWithinBudget(png, 0, 0, budget, over);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(budget->InUse(), one * 2);
    EXPECT_EQ(DecodeWithinBudget(png, 0, 0, budget, over), nullptr);
    EXPECT_TRUE(over);
    a.reset();
    b.reset();
    EXPECT_NE(DecodeWithinBudget(png, 0, 0, budget, over), nullptr);  // released again at once
    EXPECT_EQ(budget->InUse(), 0u);
    // A scaled decode keeps only the scaled pixels.
    auto small = DecodeWithinBudget(png, 16, 16, budget, over);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(budget->InUse(), RasterBytes(16, 16));
}

namespace {

// A DIB of the fixtures with `table` bytes inserted at `at` and ColorsUsed set to `used`.
std::vector<uint8_t> WithInserted(std::vector<uint8_t> dib, size_t at, size_t table, uint32_t used) {
    std::vector<uint8_t> filler(table);
    for (size_t i = 0; i < table; ++i) filler[i] = static_cast<uint8_t>(0xA5 ^ i);
    dib.insert(dib.begin() + static_cast<long>(at), filler.begin(), filler.end());
    PutU32le(&dib[32], used);
    return dib;
}

}  // namespace

TEST(DecodeDibVariants, TruecolourColourTablesAndAlphaMasks) {
    const Picture opaque = MakePicture(19, 11);
    const Picture alpha = MakePicture(19, 11, 0, true);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::vector<uint8_t> reference;  // the same picture stored the plain way
    };
    std::vector<Case> cases;
    for (int bits : {16, 24, 32}) {
        const auto plain = MakeDib(opaque, bits, {.ZeroAlpha = bits == 32});
        cases.push_back({"colour table", WithInserted(plain, 40, 4 * 7, 7), plain});
    }
    const auto fields16 = MakeDib(opaque, 16, {.Bitfields = true});
    cases.push_back({"16-bit bitfields with a colour table", WithInserted(fields16, 52, 4 * 3, 3), fields16});
    // A 32-bit picture with alpha stored with four masks after a 40-byte header
    // (BI_ALPHABITFIELDS), and with a 124-byte header whose masks include alpha.
    const auto argb = MakeDib(alpha, 32);
    std::vector<uint8_t> masks(16);
    PutU32le(&masks[0], 0x00FF0000u);
    PutU32le(&masks[4], 0x0000FF00u);
    PutU32le(&masks[8], 0x000000FFu);
    PutU32le(&masks[12], 0xFF000000u);
    auto alphaFields = argb;
    PutU32le(&alphaFields[16], 6);
    alphaFields.insert(alphaFields.begin() + 40, masks.begin(), masks.end());
    cases.push_back({"alpha bitfields", alphaFields, argb});
    auto v5 = argb;
    PutU32le(&v5[0], 124);
    PutU32le(&v5[16], 3);
    std::vector<uint8_t> rest(84, 0);
    std::copy(masks.begin(), masks.end(), rest.begin());
    v5.insert(v5.begin() + 40, rest.begin(), rest.end());
    cases.push_back({"124-byte header with an alpha mask", v5, argb});
    cases.push_back({"124-byte header with a colour table", WithInserted(v5, 124, 4 * 2, 2), argb});

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto got = DecodeIconImage(c.bytes);
        const auto want = DecodeIconImage(c.reference);
        ASSERT_NE(want, nullptr);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->HasAlpha, want->HasAlpha);
        EXPECT_EQ(got->Colour, want->Colour);
        EXPECT_EQ(got->Mask, want->Mask);
    }
    // A colour table the bytes cannot hold is refused, never read past them.
    auto absurd = MakeDib(opaque, 24);
    PutU32le(&absurd[32], 0x40000000u);
    EXPECT_EQ(DecodeIconImage(absurd), nullptr);
}

TEST(DecodeDibVariants, ShortOrMissingMasksAreOpaqueWhereTheBytesEnd) {
    const Picture p = MakePicture(16, 16, 0);
    const auto full = MakeDib(p, 24);
    const size_t maskBytes = 16 * 4;  // rows of 16 bits padded to 32
    const std::vector<uint8_t> colourOnly(full.begin(), full.end() - static_cast<long>(maskBytes));
    // The rows as a writer that does not pad them stores them: 2 bytes each.
    std::vector<uint8_t> unpadded = colourOnly;
    for (size_t row = 0; row < 16; ++row)
        unpadded.insert(unpadded.end(), full.end() - static_cast<long>(maskBytes - row * 4),
                        full.end() - static_cast<long>(maskBytes - row * 4 - 2));

    for (const std::vector<uint8_t>* bytes : std::array<const std::vector<uint8_t>*, 2>{&colourOnly, &unpadded}) {
        const auto r = DecodeIconImage(*bytes);
        ASSERT_NE(r, nullptr);
        EXPECT_FALSE(r->HasAlpha);
        // Read as padded rows, 32 bytes of mask cover the 8 rows stored first (the bottom
        // half); the top half has no mask bits and is opaque.
        const int covered = bytes == &unpadded ? 8 : 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const size_t i = static_cast<size_t>(y) * 16 + x;
                ASSERT_EQ(r->Colour[i] & 0xFFFFFFu, p.Colour[i] & 0xFFFFFFu);
                if (y < 16 - covered) {
                    ASSERT_FALSE(r->MaskBit(x, y)) << x << "," << y;
                }
            }
    }
    // Bytes ending inside a mask row: the bits past the end are opaque, never read from the
    // bytes that follow (here set, as another image's would be).
    std::vector<uint8_t> allSet = colourOnly;
    allSet.resize(colourOnly.size() + maskBytes, 0xFF);
    const auto cut = DecodeIconImage(std::span(allSet).first(colourOnly.size() + 3 * 4 + 1));
    ASSERT_NE(cut, nullptr);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(cut->MaskBit(x, 12), x < 8) << x;
    EXPECT_FALSE(cut->MaskBit(0, 11));
    // A colour bitmap cut short is still refused.
    EXPECT_EQ(DecodeIconImage(std::vector<uint8_t>(colourOnly.begin(), colourOnly.end() - 1)), nullptr);
}
