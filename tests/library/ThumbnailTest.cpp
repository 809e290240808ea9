// Thumbnails: which image of a file's first icon is drawn, at what size, and that only the
// bytes needed are read.
#include "base/ByteReader.h"
#include "base/Paths.h"
#include "icons/IconRaster.h"
#include "icons/IconTypes.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "library/Thumbnail.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// One colour all over, opaque.
Picture Solid(int width, int height, uint32_t colour) {
    return Picture{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, colour),
                   std::vector<uint8_t>(static_cast<size_t>(width) * height, 0)};
}

// A solid square image: PNG when bits is 0 (its entry says 32), else a DIB of that depth. An
// entry size of 0 stands for 256.
IcoImage Square(int size, int bits, uint32_t colour) {
    const auto bytes = bits ? MakeDib(Solid(size, size, colour), bits) : MakePng(Solid(size, size, colour));
    return {InfoFor(size, bits ? bits : 32, bytes.size()), bytes};
}

// The same image with a bit count of 0 in its entry, as many real files have.
IcoImage Unstated(IcoImage image) {
    image.Info.BitCount = 0;
    return image;
}

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kGrey = 0xFF808080;

}  // namespace

TEST(ThumbnailPick, ImageAndSizeByTheRules) {
    struct Case {
        const char* what;
        std::vector<IcoImage> images;
        int size;
        int expectedSide;
        uint32_t expectedColour;
    };
    const std::vector<Case> cases = {
        {"exact size", {Square(16, 8, kRed), Square(32, 8, kGreen), Square(48, 8, kBlue)}, 32, 32, kGreen},
        {"smallest larger, scaled down",
         {Square(16, 8, kRed), Square(64, 8, kGreen), Square(48, 8, kBlue)},
         32,
         32,
         kBlue},
        {"largest smaller, scaled up", {Square(24, 8, kGreen), Square(16, 8, kRed)}, 32, 32, kGreen},
        {"equal sizes: deepest", {Square(32, 4, kRed), Square(32, 32, kGreen), Square(32, 24, kBlue)}, 32, 32, kGreen},
        {"PNG deeper than DIB", {Square(32, 8, kRed), Square(32, 0, kBlue)}, 32, 32, kBlue},
        {"same size and depth: first", {Square(48, 0, kRed), Square(48, 32, kGrey)}, 48, 48, kRed},
        {"depth 0 in the entry: the header's", {Square(48, 8, kRed), Unstated(Square(48, 24, kGrey))}, 48, 48, kGrey},
        {"0 in the entry is 256", {Square(48, 32, kRed), Square(256, 0, kGreen)}, 256, 256, kGreen},
        {"256 scaled down to 128", {Square(256, 0, kGreen), Square(48, 32, kRed)}, 128, 128, kGreen},
        {"1 pixel", {Square(16, 24, kBlue)}, 1, 1, kBlue},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteBytes(dir.File("t.ico"), MakeIco(c.images));
        const auto before = DecodedRasterCount();
        const auto raster = MakeThumbnail(dir.File("t.ico"), c.size);
        EXPECT_EQ(DecodedRasterCount() - before, 1u) << c.what;  // only the chosen image
        ASSERT_EQ(raster->Width, c.expectedSide) << c.what;
        ASSERT_EQ(raster->Height, c.expectedSide) << c.what;
        EXPECT_EQ(raster->Pixel(c.expectedSide / 2, c.expectedSide / 2), c.expectedColour) << c.what;
    }
}

TEST(ThumbnailPick, NonSquareKeepsItsAspectAndTransparencyStays) {
    TempDir dir;
    Picture wide = Solid(64, 32, kBlue);
    wide.Mask[0] = 1;  // the top-left pixel lets the background through
    const auto bytes = MakeDib(wide, 24);
    WriteBytes(dir.File("wide.ico"), MakeIco({{InfoFor(64, 24, bytes.size()), bytes}}));
    for (const auto& [size, w, h] : {std::tuple{64, 64, 32}, {32, 32, 16}, {128, 128, 64}, {3, 3, 2}}) {
        const auto raster = MakeThumbnail(dir.File("wide.ico"), size);
        EXPECT_EQ(raster->Width, w);
        EXPECT_EQ(raster->Height, h);
        EXPECT_EQ(raster->Pixel(w - 1, h - 1), kBlue) << size;
    }
    EXPECT_EQ(MakeThumbnail(dir.File("wide.ico"), 64)->Pixel(0, 0) >> 24, 0u);
    // An image whose mask lets the background through on its left half: scaled, its edge is
    // blended (alpha between the two) and stays blue, never darkened by the black beneath.
    Picture half = Solid(64, 32, kBlue);
    for (size_t i = 0; i < half.Mask.size(); ++i)
        if (i % 64 < 32) half.Mask[i] = 1, half.Colour[i] = 0;
    const auto halfBytes = MakeDib(half, 24);
    WriteBytes(dir.File("half.ico"), MakeIco({{InfoFor(64, 24, halfBytes.size()), halfBytes}}));
    const auto scaled = MakeThumbnail(dir.File("half.ico"), 128);
    int blended = 0;
    for (int x = 0; x < 128; ++x) {
        const uint32_t px = scaled->Pixel(x, 20);
        if (px >> 24 != 0) EXPECT_EQ(px & 0xFFFFFFu, kBlue & 0xFFFFFFu) << x;
        blended += (px >> 24) > 0 && (px >> 24) < 255;
    }
    EXPECT_GT(blended, 0);
}

TEST(ThumbnailPick, AnImageThatCannotBeDecodedGivesWayToTheNextBest) {
    // The 32-pixel image would be chosen, but its colour bits are cut short, or its PNG data
    // ends properly after 10 rows.
    IcoImage broken = Square(32, 24, kRed);
    broken.Bytes.resize(40 + 100);
    broken.Info.BytesInRes = static_cast<uint32_t>(broken.Bytes.size());
    const auto endingEarly = MakePngEndingEarly(Solid(32, 32, kRed), false, 10);
    for (const IcoImage& chosen : {broken, IcoImage{InfoFor(32, 32, endingEarly.size()), endingEarly}}) {
        const auto raster =
            MakeThumbnail(TSpanSource(MakeIco({Square(16, 8, kBlue), chosen, Square(48, 8, kGreen)})), 32);
        EXPECT_EQ(raster->Width, 32);
        EXPECT_EQ(raster->Pixel(16, 16), kGreen) << chosen.Info.BitCount;  // the smallest larger one, scaled down
    }
    // Entries over the same broken bytes are tried once; only a few images are tried at all.
    auto repeated = MakeIco(std::vector<IcoImage>(50, broken));
    for (uint32_t i = 1; i < 50; ++i) std::copy_n(&repeated[6 + 12], 4, &repeated[6 + 16 * i + 12]);
    const uint64_t before = DecodedRasterCount();
    EXPECT_THROW(MakeThumbnail(TSpanSource(repeated), 32), std::exception);
    EXPECT_EQ(DecodedRasterCount() - before, 1u);
    std::vector<IcoImage> distinct;
    for (int i = 0; i < 10; ++i) distinct.push_back(broken);
    const auto many = MakeIco(distinct);
    const uint64_t start = DecodedRasterCount();
    EXPECT_THROW(MakeThumbnail(TSpanSource(many), 32), std::exception);
    EXPECT_EQ(DecodedRasterCount() - start, static_cast<uint64_t>(kMaxThumbnailAttempts));
    // When none decodes, the failure of the best one is reported, not the last one tried.
    IcoImage brokenSmall = Square(16, 24, kRed);
    brokenSmall.Bytes.resize(40 + 100);
    brokenSmall.Info.BytesInRes = static_cast<uint32_t>(brokenSmall.Bytes.size());
    const auto none = MakeIco({brokenSmall, broken});
    try {
        MakeThumbnail(TSpanSource(none), 32);
        FAIL() << "no image decodes";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "图像 32 x 32 - 24bit 无法解码");
    }
}

TEST(ThumbnailSource, FirstGroupOfExecutablesAndLibraries) {
    TempDir dir;
    // String names come first in the directory, so the group "B" is the first icon.
    const auto red = Square(32, 8, kRed), green = Square(32, 8, kGreen);
    auto group = [](uint16_t id, const IcoImage& image) {
        auto data = GroupData({id});
        PutU32le(&data[6 + 8], static_cast<uint32_t>(image.Bytes.size()));
        return data;
    };
    WriteBytes(dir.File("app.dll"), BuildPe({{RT_ICON, true, 1, {}, 1033, red.Bytes},
                                             {RT_ICON, true, 2, {}, 1033, green.Bytes},
                                             {RT_GROUP_ICON, true, 5, {}, 1033, group(1, red)},
                                             {RT_GROUP_ICON, false, 0, u"B", 1033, group(2, green)}})
                                        .Bytes);
    EXPECT_EQ(MakeThumbnail(dir.File("app.dll"), 32)->Pixel(3, 3), kGreen);

    WriteBytes(dir.File("a.ico"), MakeIco({Square(16, 8, kGrey), Square(48, 32, kBlue)}));
    WriteBytes(dir.File("b.ico"), MakeIco({Square(32, 8, kRed)}));
    TIconLibrary library;
    LoadIcons(dir.File("a.ico"), library);
    LoadIcons(dir.File("b.ico"), library);
    library.SaveToFile(dir.File("lib.icl"));
    const auto raster = MakeThumbnail(dir.File("lib.icl"), 24);
    EXPECT_EQ(raster->Width, 24);
    EXPECT_EQ(raster->Pixel(12, 12), kBlue);
}

// A group entry that claims more bytes than its icon resource holds: only the resource's own
// bytes are taken, never those of the resource after it.
TEST(ThumbnailSource, AnEntryClaimingMoreBytesThanItsResourceHolds) {
    TempDir dir;
    const auto red = Square(32, 8, kRed), green = Square(32, 8, kGreen);
    auto group = GroupData({1});
    PutU32le(&group[6 + 8], static_cast<uint32_t>(red.Bytes.size() + green.Bytes.size() + 4096));
    WriteBytes(dir.File("app.dll"), BuildPe({{RT_ICON, true, 1, {}, 1033, red.Bytes},
                                             {RT_ICON, true, 2, {}, 1033, green.Bytes},
                                             {RT_GROUP_ICON, true, 5, {}, 1033, group}})
                                        .Bytes);
    const std::vector<TImageRange> images = FirstIconImages(TFileSource(dir.File("app.dll")));
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].Size, red.Bytes.size());
    EXPECT_EQ(MakeThumbnail(dir.File("app.dll"), 32)->Pixel(3, 3), kRed);
}

TEST(ThumbnailSource, FilesLargerThanAnyWholeReadAreNotReadWhole) {
    // Files that grow past the largest whole read after their icons: reading any of them whole
    // would fail, so a thumbnail shows that only the needed bytes were read.
    TempDir dir;
    WriteBytes(dir.File("big.ico"), MakeIco({Square(16, 8, kGrey), Square(48, 32, kBlue)}));
    TIconLibrary library;
    LoadIcons(dir.File("big.ico"), library);
    library.SaveToFile(dir.File("big.icl"));
    for (const char* name : {"big.ico", "big.icl"}) {
        ASSERT_EQ(::truncate(dir.File(name).c_str(), static_cast<off_t>(kMaxWholeFileRead + 4096)), 0);
        EXPECT_EQ(MakeThumbnail(dir.File(name), 48)->Pixel(5, 5), kBlue) << name;
    }
}

TEST(FileArguments, UrisAndPaths) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"file:///tmp/a%20b.ico", "/tmp/a b.ico"},
        {"file://localhost/x/%E5%9B%BE.dll", "/x/\xE5\x9B\xBE.dll"},
        {"FILE://LocalHost/x", "/x"},
        {"/plain/a%20b.ico", "/plain/a%20b.ico"},
        {"relative.ico", "relative.ico"},
        {"file:/tmp/bad%FF.dll", "/tmp/bad\xFF.dll"},  // no authority; a byte that is not UTF-8
        {"File:/x", "/x"},
        {"file:x", "file:x"},  // not a URI of a local file: a relative path
        {"file://server/x", std::nullopt},
        {"http://example.org/x.ico", std::nullopt},
        {"file:///x%2", std::nullopt},
        {"file:///x%zz", std::nullopt},
        {"file:///x%00y", std::nullopt},
        {"file://", std::nullopt},
    };
    for (const auto& [argument, expected] : cases) EXPECT_EQ(LocalPathOfArgument(argument), expected) << argument;
}
