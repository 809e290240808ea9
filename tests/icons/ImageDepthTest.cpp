// The depth shown and sorted by: the entry's bit count, or the image header's where that is 0.
#include "base/ByteReader.h"
#include "base/Errors.h"
#include "base/Streams.h"
#include "icons/AdvancedIcon.h"
#include "support/IconFixtures.h"

#include <gtest/gtest.h>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// PNG bytes whose IHDR says the given bit depth and colour type (only the header is read).
std::vector<uint8_t> PngHeader(uint8_t bitDepth, uint8_t colourType) {
    auto png = MakePng(MakePicture(24, 24, 0, true));
    png[24] = bitDepth;
    png[25] = colourType;
    return png;
}

}  // namespace

TEST(ImageDepth, TheHeaderStandsInForAZeroEntry) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint16_t entryBits;
        uint16_t depth;
    } cases[] = {
        {"24-bit bitmap", MakeDib(MakePicture(48, 48), 24), 0, 24},
        {"entry wins", MakeDib(MakePicture(48, 48), 24), 8, 8},
        {"old header", MakeDib(MakePicture(16, 16, 16), 4, {.CoreHeader = true}), 0, 4},
        {"grey", PngHeader(16, 0), 0, 16},
        {"rgb", PngHeader(8, 2), 0, 24},
        {"palette", PngHeader(4, 3), 0, 4},
        {"grey alpha", PngHeader(8, 4), 0, 16},
        {"rgba", PngHeader(8, 6), 0, 32},
        {"no such colour type", PngHeader(8, 5), 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto icon = IconOf({{InfoFor(0, c.entryBits, c.bytes.size()), c.bytes}});
        const TIconImage& image = *icon->Images()[0];
        EXPECT_EQ(image.Depth(), c.depth);
        EXPECT_EQ(image.BitCount(), c.entryBits);  // the stored entry is untouched
        EXPECT_EQ(image.Label(), Format("%d x %d - %dbit", image.Width(), image.Width(), static_cast<int>(c.depth)));
        EXPECT_EQ(TIconImage::CreateCopy(image)->Depth(), c.depth);
    }

    // A saved icon carries the entry's 0 back.
    const auto dib = MakeDib(MakePicture(48, 48), 24);
    const auto icon = IconOf({{InfoFor(48, 0, dib.size()), dib}});
    TMemoryStream saved;
    icon->SaveToStream(saved);
    EXPECT_EQ(ByteReader(saved.Data()).u16le(6 + 6), 0);
}

TEST(ImageDepth, SortsUseTheDepth) {
    const auto deep = MakeDib(MakePicture(32, 32), 24);
    const auto shallow = MakeDib(MakePicture(32, 32, 16), 4);
    const auto small = MakeDib(MakePicture(16, 16), 32);
    auto icon = IconOf({{InfoFor(32, 0, deep.size()), deep},
                        {InfoFor(32, 8, shallow.size()), shallow},  // the entry says 8
                        {InfoFor(16, 0, small.size()), small}});
    auto& images = icon->Images();
    images.SortByDepth();
    EXPECT_EQ(images[0]->Label(), "32 x 32 - 8bit");
    EXPECT_EQ(images[1]->Label(), "32 x 32 - 24bit");
    EXPECT_EQ(images[2]->Label(), "16 x 16 - 32bit");
    images.SortBySize();
    EXPECT_EQ(images[0]->Label(), "16 x 16 - 32bit");
    EXPECT_EQ(images[1]->Label(), "32 x 32 - 8bit");
    EXPECT_EQ(images[2]->Label(), "32 x 32 - 24bit");
}
