#include "base/ByteReader.h"
#include "base/Errors.h"
#include "base/Streams.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconTools.h"
#include "support/IconFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <typeinfo>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// An image made the way a file reader makes one: an entry and the bytes it points to.
std::unique_ptr<TIconImage> ImageFrom(const TIconEntryInfo& info, const std::vector<uint8_t>& bytes) {
    const auto file = std::make_shared<const TByteBuffer>(MakeIco({{info, bytes}}));
    ByteCursor cursor(file->Bytes(), TIconDir::Size);
    return std::make_unique<TFileIconImage>(TIconDirEntry::Read(cursor), file);
}

std::vector<uint8_t> Header(int32_t width, uint32_t height, size_t total = 40) {
    std::vector<uint8_t> b(total, 0);
    PutU32le(&b[0], 40);
    PutU32le(&b[4], static_cast<uint32_t>(width));
    PutU32le(&b[8], height);
    return b;
}

// An image of the given width and bit count for sorting tests (only the header matters).
std::unique_ptr<TIconImage> Sized(int width, int bits) {
    auto bytes = Header(width, static_cast<uint32_t>(width * 2));
    return ImageFrom(InfoFor(width, bits, bytes.size()), bytes);
}

}  // namespace

TEST(IconImageSize, DerivedFromTheBitmapHeader) {
    struct Case {
        int32_t w;
        uint32_t h;
        int expected;
        uint8_t sizeByte;
    } cases[] = {
        {32, 64, 32, 32},           // the height covers colour bitmap and mask
        {48, 64, 32, 32},           // the smaller of width and half-height
        {256, 512, 256, 0},         // a 256-pixel image has size bytes of 0
        {-5, 64, -5, 0xFB},         // the comparison is signed
        {32, 0xFFFFFFFEu, 32, 32},  // the halving treats the height as unsigned
    };
    for (const auto& c : cases) {
        auto bytes = Header(c.w, c.h);
        auto image = ImageFrom(InfoFor(7, 8, bytes.size()), bytes);
        EXPECT_EQ(image->Width(), c.expected) << c.w << "x" << c.h;
        EXPECT_EQ(image->Height(), c.expected);
        EXPECT_EQ(image->Info().Width, c.sizeByte);
        EXPECT_EQ(image->Info().Height, c.sizeByte);
    }
}

TEST(IconImageSize, PngTakesItsSizeFromIhdr) {
    auto png = MakePng(MakePicture(256, 256, 0, true));
    auto image = ImageFrom(InfoFor(0, 32, png.size()), png);
    EXPECT_TRUE(image->IsPng());
    EXPECT_EQ(image->Width(), 256);
    EXPECT_EQ(image->Height(), 256);
    EXPECT_EQ(image->Info().Width, 0);
    EXPECT_EQ(image->Label(), "256 x 256 - 32bit");

    auto wide = MakePng(MakePicture(48, 20));
    EXPECT_EQ(ImageFrom(InfoFor(48, 32, wide.size()), wide)->Width(), 20);
}

TEST(IconImageSize, ShortBytesGiveSizeZero) {
    for (size_t n : {0u, 4u, 11u}) {
        auto bytes = Header(32, 64);
        bytes.resize(n);
        auto image = ImageFrom(InfoFor(32, 8, n), bytes);
        EXPECT_EQ(image->Width(), 0) << n;
        EXPECT_EQ(image->GetHandle(), nullptr);
    }
    auto png = MakePng(MakePicture(16, 16));
    png.resize(20);  // signature and part of IHDR
    auto image = ImageFrom(InfoFor(16, 32, png.size()), png);
    EXPECT_EQ(image->Width(), 0);
    EXPECT_EQ(image->GetHandle(), nullptr);
}

TEST(IconImageLabel, AZeroEntryBitCountShowsTheHeaders) {
    auto bytes = MakeDib(MakePicture(16, 16, 2), 1);
    auto image = ImageFrom(InfoFor(16, 0, bytes.size()), bytes);
    EXPECT_EQ(image->Label(), "16 x 16 - 1bit");
}

TEST(IconImageList, CountCapacityAndRanges) {
    TIconImageList list;
    EXPECT_EQ(list.GetItem(0), nullptr);
    list.Add(Sized(16, 4));
    list.Add(Sized(32, 8));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Capacity(), 2);  // grows by exactly one per Add
    EXPECT_EQ(list.GetItem(2), nullptr);
    EXPECT_EQ(list.GetItem(-1), nullptr);
    list.RemoveAt(2, true);  // index equal to the count: nothing
    EXPECT_EQ(list.Count(), 2);

    list.SetCapacity(1);  // never below the count
    EXPECT_EQ(list.Capacity(), 2);
    list.SetCapacity(10);
    EXPECT_EQ(list.Capacity(), 10);

    auto kept = list.RemoveAt(0, false);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->Width(), 16);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.GetItem(0)->Width(), 32);
    EXPECT_EQ(list.Capacity(), 10);  // unchanged by removal
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 0);
}

TEST(IconImageList, RefusesTheImageAfter65535) {
    TIconImageList list;
    for (int i = 0; i < 65535; ++i) list.Add(std::make_unique<TIconImage>());
    EXPECT_EQ(list.Count(), 65535);
    EXPECT_THROW(list.Add(std::make_unique<TIconImage>()), EListError);
    EXPECT_EQ(list.Count(), 65535);
}

TEST(IconImageSort, DepthThenWidth) {
    TIconImageList list;
    list.SortByDepth();  // empty: nothing happens
    list.Add(Sized(32, 8));
    list.SortBySize();
    EXPECT_EQ(list.Count(), 1);
    list.Add(Sized(16, 8));
    list.Add(Sized(32, 4));
    list.SortByDepth();
    EXPECT_EQ(list.GetItem(0)->Label(), "32 x 32 - 4bit");
    EXPECT_EQ(list.GetItem(1)->Label(), "16 x 16 - 8bit");
    EXPECT_EQ(list.GetItem(2)->Label(), "32 x 32 - 8bit");
    list.SortBySize();
    EXPECT_EQ(list.GetItem(0)->Label(), "16 x 16 - 8bit");
    EXPECT_EQ(list.GetItem(1)->Label(), "32 x 32 - 4bit");
    EXPECT_EQ(list.GetItem(2)->Label(), "32 x 32 - 8bit");
}

// The order of images with equal keys is what users see. It must be the one the textbook
// recursive middle-pivot quicksort gives; this reference is that quicksort, written
// recursively as it is usually described.
TEST(IconImageSort, EqualKeysLandWhereTheRecursiveQuicksortPutsThem) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const int n = 2 + static_cast<int>(rng() % 40);
        std::vector<std::pair<int, int>> keys;  // (width, bits)
        TIconImageList list;
        for (int i = 0; i < n; ++i) {
            const int w = 16 * (1 + static_cast<int>(rng() % 3));
            const int bits = (rng() % 2) ? 8 : 32;
            keys.push_back({w, bits});
            list.Add(Sized(w, bits));
        }
        // Tag each image by its position so equal keys can be told apart.
        std::vector<const TIconImage*> ref;
        for (int i = 0; i < n; ++i) ref.push_back(list.GetItem(i));
        auto cmp = [](const TIconImage* a, const TIconImage* b) {
            if (a->Width() != b->Width()) return a->Width() > b->Width() ? 1 : -1;
            if (a->BitCount() != b->BitCount()) return a->BitCount() > b->BitCount() ? 1 : -1;
            return 0;
        };
        std::function<void(int, int)> qs = [&](int L, int R) {
            int I;
            do {
                I = L;
                int J = R;
                const TIconImage* p = ref[static_cast<size_t>((L + R) >> 1)];
                do {
                    while (cmp(ref[I], p) < 0) ++I;
                    while (cmp(ref[J], p) > 0) --J;
                    if (I <= J) {
                        std::swap(ref[I], ref[J]);
                        ++I;
                        --J;
                    }
                } while (I <= J);
                if (L < J) qs(L, J);
                L = I;
            } while (I < R);
        };
        qs(0, n - 1);
        list.SortBySize();
        for (int i = 0; i < n; ++i) ASSERT_EQ(list.GetItem(i), ref[static_cast<size_t>(i)]) << "round " << round;
    }
}

TEST(AdvancedIconAssign, MakesIndependentPlainCopies) {
    TAdvancedIcon source;
    auto dib = MakeDib(MakePicture(32, 32), 24);
    auto png = MakePng(MakePicture(48, 48, 0, true));
    source.Images().Add(ImageFrom(InfoFor(32, 24, dib.size()), dib));
    source.Images().Add(ImageFrom(InfoFor(48, 32, png.size()), png));

    TAdvancedIcon copy;
    copy.Images().Add(Sized(16, 4));  // replaced
    copy.Assign(source);
    ASSERT_EQ(copy.Images().Count(), 2);
    for (int i = 0; i < 2; ++i) {
        const TIconImage* a = source.Images()[i];
        const TIconImage* b = copy.Images()[i];
        EXPECT_EQ(typeid(*b), typeid(TIconImage));
        EXPECT_EQ(a->Info(), b->Info());
        EXPECT_EQ(a->Width(), b->Width());
        EXPECT_TRUE(std::equal(a->Data().begin(), a->Data().end(), b->Data().begin(), b->Data().end()));
        ASSERT_NE(b->GetHandle(), nullptr);
        EXPECT_EQ(a->GetHandle()->Colour, b->GetHandle()->Colour);
    }
    const auto bytes = copy.Images()[0]->Data();
    const std::vector<uint8_t> before(bytes.begin(), bytes.end());
    source.Images().Clear();  // the copy lives on, bytes and pixels unchanged
    EXPECT_EQ(copy.Images()[1]->GetHandle()->Width, 48);
    EXPECT_EQ(std::vector<uint8_t>(copy.Images()[0]->Data().begin(), copy.Images()[0]->Data().end()), before);
}

// Copies take bytes only: a file whose pictures together pass its decode budget can still be
// copied whole and then have each of its pictures made, one at a time.
TEST(AdvancedIconAssign, CopiesDecodeNothingAndHoldNoPixels) {
    std::vector<IcoImage> images;
    for (int i = 0; i < 4; ++i) {
        auto dib = MakeDib(MakePicture(32, 32, i), 24);
        images.push_back({InfoFor(32, 24, dib.size()), dib});
    }
    const auto budget = std::make_shared<TDecodeBudget>(2 * RasterBytes(32, 32));
    TAdvancedIcon source;
    ASSERT_TRUE(source.LoadFromBytes(std::make_shared<const TByteBuffer>(MakeIco(images), budget)));
    ASSERT_NE(source.Images()[0]->GetHandle(), nullptr);  // the source holds one picture
    const uint64_t held = budget->InUse();

    TAdvancedIcon copy;
    copy.Assign(source);
    EXPECT_EQ(budget->InUse(), held);  // nothing decoded for the copy
    source.Images().Clear();
    EXPECT_EQ(budget->InUse(), 0u);  // nor any pixels kept alive by it
    for (int i = 0; i < 4; ++i) EXPECT_NE(copy.Images()[i]->OwnSizePixels(), nullptr) << i;
}

// Entries that differ only in bytes after a PNG's end make the same picture; any doubt about
// where it ends counts every byte.
TEST(ImageBytesUsed, EndsAfterThePngsEndChunk) {
    const auto png = MakePng(MakePicture(8, 8, 0, true));
    auto withTail = png;
    withTail.insert(withTail.end(), 100, 0xAB);
    const auto dib = MakeDib(MakePicture(8, 8), 24);
    // A PNG whose end lies past the chunks looked at: a text chunk repeated before its data.
    std::vector<uint8_t> manyChunks(png.begin(), png.begin() + 33);  // signature and header
    for (int i = 0; i < kMaxPngChunksWalked; ++i)
        manyChunks.insert(manyChunks.end(), {0, 0, 0, 0, 't', 'E', 'X', 't', 0, 0, 0, 0});
    manyChunks.insert(manyChunks.end(), png.begin() + 33, png.end());
    manyChunks.insert(manyChunks.end(), 10, 0xAB);
    const struct {
        const char* name;
        std::span<const uint8_t> bytes;
        size_t used;
    } cases[] = {
        {"png", png, png.size()},
        {"png and more", withTail, png.size()},
        {"png cut short", std::span(png).first(png.size() - 4), png.size() - 4},
        {"many chunks", manyChunks, manyChunks.size()},
        {"bitmap", dib, dib.size()},
    };
    for (const auto& c : cases) EXPECT_EQ(ImageBytesUsed(c.bytes), c.used) << c.name;
}

TEST(IconGraphic, ReportsTheRealSize) {
    THiResIcon empty;
    EXPECT_EQ(empty.GetWidth(), kDefaultIconSize);
    EXPECT_EQ(empty.GetHeight(), kDefaultIconSize);

    auto dib = MakeDib(MakePicture(48, 48), 32);
    auto image = ImageFrom(InfoFor(48, 32, dib.size()), dib);
    auto graphic = image->CreateGraphic();
    EXPECT_EQ(graphic->GetWidth(), 48);
    EXPECT_EQ(graphic->GetHeight(), 48);
    EXPECT_EQ(graphic->Handle(), image->GetHandle());

    TRasterCanvas canvas(100, 60, 0xFF102030u);
    graphic->Draw(canvas, TRect{10, 5, 12, 7});  // never stretched to the rectangle
    EXPECT_NE(canvas.Pixel(10 + 47, 5 + 47), 0xFF102030u);
    EXPECT_EQ(canvas.Pixel(10 + 48, 5 + 48), 0xFF102030u);
}
