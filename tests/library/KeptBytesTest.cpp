// Icons gathered into a library keep only their own bytes, not the buffers of the files (or
// file pieces) they were read from.
#include "base/ByteReader.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace pictavo;
using namespace pictavo::test;

namespace {

std::vector<const TIconImage*> Images(const TIconLibrary& library) {
    std::vector<const TIconImage*> images;
    for (int i = 0; i < library.Icons().Count(); ++i)
        for (int j = 0; j < library.Icons().Icon(i)->Images().Count(); ++j)
            images.push_back(library.Icons().Icon(i)->Images()[j]);
    return images;
}

}  // namespace

TEST(KeptBytes, IconsFromAFileHoldTheirImagesOnly) {
    TempDir dir;
    // Two groups naming one icon, each icon between 200 KB of other resources.
    const auto image = MakeDib(MakePicture(16, 16, 16), 4);
    auto group = GroupData({1});
    PutU32le(&group[6 + 8], static_cast<uint32_t>(image.size()));
    const std::vector<uint8_t> other(200 * 1024, 0x90);
    WriteBytes(dir.File("app.dll"), BuildPe({{RT_ICON, true, 1, {}, 1033, image},
                                             {RT_GROUP_ICON, true, 1, {}, 1033, group},
                                             {RT_GROUP_ICON, true, 2, {}, 1033, group},
                                             {10, true, 1, {}, 1033, other},
                                             {10, true, 2, {}, 1033, other}})
                                        .Bytes);
    const auto small = MakeDib(MakePicture(16, 16, 16), 4), large = MakePng(MakePicture(48, 48, 0, true));
    WriteBytes(dir.File("a.ico"),
               MakeIco({{InfoFor(16, 4, small.size()), small}, {InfoFor(48, 32, large.size()), large}}));
    TIconLibrary library;
    ASSERT_EQ(LoadIcons(dir.File("app.dll"), library), 2);
    ASSERT_EQ(LoadIcons(dir.File("a.ico"), library), 1);
    const auto images = Images(library);
    ASSERT_EQ(images.size(), 4u);
    for (const TIconImage* im : images) {
        EXPECT_EQ(im->Buffer()->Bytes().size(), im->Data().size());
        ASSERT_NE(im->GetHandle(), nullptr);
    }
    EXPECT_EQ(images[0]->Buffer(), images[1]->Buffer());  // one copy of the bytes both groups name
    EXPECT_TRUE(std::equal(image.begin(), image.end(), images[0]->Data().begin()));
}

TEST(KeptBytes, OverlappingRangesKeepTheFileInsteadOfCopies) {
    // Twenty entries, each from a point further into one image to the end of the file: copies
    // of every range would cost ten times the file.
    const auto png = MakePng(MakePicture(64, 64, 0, true));
    std::vector<IcoImage> entries(20, IcoImage{InfoFor(64, 32, png.size()), png});
    auto file = MakeIco(entries);
    const size_t start = 6 + 16 * 20;
    file.resize(start + png.size());
    for (uint32_t i = 0; i < 20; ++i) {
        PutU32le(&file[6 + 16 * i + 8], static_cast<uint32_t>(png.size() - i));
        PutU32le(&file[6 + 16 * i + 12], static_cast<uint32_t>(start + i));
    }
    TempDir dir;
    WriteBytes(dir.File("overlap.ico"), file);
    TIconLibrary library;
    ASSERT_EQ(LoadIcons(dir.File("overlap.ico"), library), 1);
    for (const TIconImage* im : Images(library)) EXPECT_EQ(im->Buffer()->Bytes().size(), file.size());
}

TEST(KeptBytes, ImagesWithoutBytesHoldNothingOfTheFile) {
    // Found by fuzzing: the first entry points past the end of the file (no bytes), the second
    // holds the last 55 bytes. The empty image kept the buffer of the whole file.
    TIconLibrary library;
    ASSERT_EQ(LoadIcons(std::string(PICTAVO_TEST_DATA) + "/fuzz/ico-entry-past-the-end-beside-an-image.ico", library),
              1);
    const auto images = Images(library);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_TRUE(images[0]->Data().empty());
    EXPECT_EQ(images[1]->Data().size(), 55u);
    for (const TIconImage* im : images) EXPECT_EQ(im->Buffer()->Bytes().size(), im->Data().size());
}
