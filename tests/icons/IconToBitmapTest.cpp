#include "base/ByteReader.h"
#include "icons/BmpWriter.h"
#include "icons/IconImage.h"
#include "icons/IconTools.h"
#include "support/IconFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace pictavo;
using namespace pictavo::test;

namespace {

std::unique_ptr<TIconImage> ImageFrom(const std::vector<uint8_t>& bytes, int size, int bits) {
    const auto file = std::make_shared<const TByteBuffer>(MakeIco({{InfoFor(size, bits, bytes.size()), bytes}}));
    ByteCursor cursor(file->Bytes(), TIconDir::Size);
    return std::make_unique<TFileIconImage>(TIconDirEntry::Read(cursor), file);
}

constexpr uint32_t kBack = 0x00123456;        // 0x00BBGGRR
constexpr uint32_t kBackPixel = 0xFF563412u;  // the same as a canvas pixel

}  // namespace

TEST(IconImageDraw, DrawsAtTheImagesOwnSize) {
    struct Case {
        int size;
        bool png;
    };
    for (const Case c : {Case{48, false}, Case{256, true}, Case{300, true}}) {
        SCOPED_TRACE(c.size);
        const Picture picture = MakePicture(c.size, c.size);
        const auto image = ImageFrom(c.png ? MakePng(picture) : MakeDib(picture, 24), c.size, c.png ? 32 : 24);
        TRasterCanvas canvas(c.size + 3, c.size + 4, 0xFF00FF00u);
        image->Draw(canvas, 2, 3);
        const int last = c.size - 1;  // an opaque pixel of the picture
        ASSERT_EQ(picture.Mask[static_cast<size_t>(last) * c.size + last], 0);
        EXPECT_EQ(canvas.Pixel(2 + last, 3 + last), picture.Colour[static_cast<size_t>(last) * c.size + last]);
        EXPECT_EQ(canvas.Pixel(2 + c.size, 3 + c.size), 0xFF00FF00u);
        EXPECT_EQ(canvas.Pixel(1, 2), 0xFF00FF00u);
        EXPECT_EQ(canvas.Pixel(2 + 3, 3), 0xFF00FF00u);  // pixel 3 of the picture is transparent
    }
}

TEST(IconToBitmap, TransparentRunsAndTheExtraRowTakeTheBackground) {
    Picture picture = MakePicture(32, 32);
    auto setRow = [&](int y, auto transparent) {
        for (int x = 0; x < 32; ++x) {
            const size_t i = static_cast<size_t>(y) * 32 + x;
            picture.Mask[i] = transparent(x) ? 1 : 0;
            picture.Colour[i] = picture.Mask[i] ? 0x00FFFFFFu : picture.Colour[i] | 0xFF000000u;
        }
    };
    setRow(0, [](int) { return true; });          // fully transparent
    setRow(1, [](int) { return false; });         // fully opaque
    setRow(2, [](int x) { return x >= 20; });     // ends in a transparent run
    setRow(3, [](int x) { return x < 5; });       // starts with one
    setRow(4, [](int x) { return x % 2 == 1; });  // single-pixel runs
    const auto image = ImageFrom(MakeDib(picture, 24), 32, 24);
    const auto graphic = image->CreateGraphic();

    TRasterCanvas bitmap;
    ASSERT_TRUE(IconToBitmap(*graphic, kBack, bitmap));
    ASSERT_EQ(bitmap.Width, 32);
    ASSERT_EQ(bitmap.Height, 33);
    for (int y = 0; y < 33; ++y)
        for (int x = 0; x < 32; ++x) {
            const size_t i = static_cast<size_t>(y) * 32 + x;
            const uint32_t expected = y == 32 || picture.Mask[i] ? kBackPixel : picture.Colour[i];
            ASSERT_EQ(bitmap.Pixel(x, y), expected) << x << "," << y;
        }
    EXPECT_EQ(bitmap.Pixel(31, 2), kBackPixel);  // the run reaches the row's last pixel
    EXPECT_EQ(bitmap.Pixel(19, 2), picture.Colour[2 * 32 + 19]);
}

TEST(IconToBitmap, PartialAlphaBlendsWithWhiteNotTheBackground) {
    Picture picture;
    picture.Width = picture.Height = 2;
    picture.Colour = {0x80FF0000u, 0x00000000u, 0xFF0000FFu, 0xFF00FF00u};
    picture.Mask = {0, 1, 0, 0};
    const auto image = ImageFrom(MakePng(picture), 2, 32);
    const auto graphic = image->CreateGraphic();
    TRasterCanvas bitmap;
    ASSERT_TRUE(IconToBitmap(*graphic, kBack, bitmap));
    EXPECT_EQ(bitmap.Pixels,
              (std::vector<uint32_t>{0xFFFF7F7Fu, kBackPixel, 0xFF0000FFu, 0xFF00FF00u, kBackPixel, kBackPixel}));

    THiResIcon empty;
    EXPECT_FALSE(IconToBitmap(empty, kBack, bitmap));
    EXPECT_TRUE(bitmap.Pixels.empty());
}

TEST(BmpWriter, HeaderPaddingAndPixelsRoundTrip) {
    TempDir dir;
    for (int width : {1, 2, 3, 4}) {
        SCOPED_TRACE(width);
        const int height = 2;
        TRasterCanvas canvas(width, height);
        for (size_t i = 0; i < canvas.Pixels.size(); ++i)
            canvas.Pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x10203 + 0x0A0B0C);
        const std::string path = dir.File("out.bmp");
        SaveBitmapToFile(canvas, path);
        const auto file = ReadBytes(path);

        const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4;
        ASSERT_EQ(file.size(), 54 + stride * height);
        auto u16 = [&](size_t at) { return LoadU16le(std::span<const uint8_t, 2>(&file[at], 2)); };
        auto u32 = [&](size_t at) { return LoadU32le(std::span<const uint8_t, 4>(&file[at], 4)); };
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(u32(2), file.size());
        EXPECT_EQ(u32(6), 0u);
        EXPECT_EQ(u32(10), 54u);
        EXPECT_EQ(u32(14), 40u);
        EXPECT_EQ(u32(18), static_cast<uint32_t>(width));
        EXPECT_EQ(u32(22), static_cast<uint32_t>(height));  // positive: bottom-up
        EXPECT_EQ(u16(26), 1);
        EXPECT_EQ(u16(28), 24);
        EXPECT_EQ(u32(30), 0u);  // BI_RGB
        EXPECT_EQ(u32(34), stride * height);

        for (int row = 0; row < height; ++row) {
            const size_t start = 54 + static_cast<size_t>(row) * stride;
            const int y = height - 1 - row;
            for (int x = 0; x < width; ++x) {
                const uint32_t px = 0xFF000000u | (uint32_t{file[start + x * 3 + 2]} << 16) |
                                    (uint32_t{file[start + x * 3 + 1]} << 8) | file[start + x * 3];
                EXPECT_EQ(px, canvas.Pixel(x, y));
            }
            for (size_t pad = static_cast<size_t>(width) * 3; pad < stride; ++pad) EXPECT_EQ(file[start + pad], 0);
        }
    }
}
