// Inputs found while fuzzing the .ico reader, each with the behaviour it must keep.
#include "base/Streams.h"
#include "icons/AdvancedIcon.h"
#include "library/IconLibrary.h"
#include "support/IconFixtures.h"

#include <gtest/gtest.h>

#include <set>

using namespace pictavo;
using namespace pictavo::test;

namespace {
std::string Data(const std::string& name) { return std::string(PICTAVO_TEST_DATA) + "/fuzz/" + name; }
}  // namespace

TEST(FuzzRegression, ManyEntriesSharingOneCompressedPngDecodeNothingHuge) {
    // 64 entries point at one 590-byte PNG of 2048 x 2048 pixels: one decode serves them all.
    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromFile(Data("png-bomb-shared-by-entries.ico")));
    ASSERT_EQ(icon.Images().Count(), 64);
    const uint64_t before = DecodedRasterCount();
    const TIconRaster* first = icon.Images()[0]->GetHandle();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Width, 2048);
    for (int i = 1; i < icon.Images().Count(); ++i) EXPECT_EQ(icon.Images()[i]->GetHandle(), first);
    EXPECT_EQ(DecodedRasterCount() - before, 1u);
    TAdvancedIcon copy;
    copy.Assign(icon);
    EXPECT_EQ(copy.Images().Count(), 64);
}

TEST(FuzzRegression, EntriesOverTheSameBytesShareOneDecode) {
    const auto png = MakePng(MakePicture(64, 64, 0, true));
    std::vector<IcoImage> images(20, IcoImage{InfoFor(64, 32, png.size()), png});
    auto file = MakeIco(images);
    // Point every entry at the first image's bytes.
    for (int i = 1; i < 20; ++i) std::copy_n(&file[6 + 12], 4, &file[6 + 16 * static_cast<size_t>(i) + 12]);
    file.resize(6 + 16 * 20 + png.size());
    TSpanStream view(std::make_shared<const TByteBuffer>(file));
    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromStream(view));
    std::set<const TIconRaster*> rasters;
    for (int i = 0; i < icon.Images().Count(); ++i) rasters.insert(icon.Images()[i]->GetHandle());
    EXPECT_EQ(rasters.size(), 1u);
    EXPECT_NE(*rasters.begin(), nullptr);
}

TEST(FuzzRegression, TheOldBitmapHeaderGivesItsRealSize) {
    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromFile(Data("core-header-label-size.ico")));
    ASSERT_EQ(icon.Images().Count(), 1);
    EXPECT_EQ(icon.Images()[0]->Label(), "8 x 8 - 4bit");
    ASSERT_NE(icon.Images()[0]->GetHandle(), nullptr);
    EXPECT_EQ(icon.Images()[0]->GetHandle()->Width, 8);
}

TEST(FuzzRegression, ImagesOverTwoHundredFiftyFivePixelsDecodeAtTheirOwnSize) {
    // A flat 300-pixel PNG of 139 bytes: labelled at its size, never drawn at the 44 pixels its
    // entry's size byte keeps.
    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromFile(Data("png-300px-decoded-at-44px.ico")));
    ASSERT_EQ(icon.Images().Count(), 1);
    EXPECT_EQ(icon.Images()[0]->Label(), "300 x 300 - 32bit");
    EXPECT_EQ(icon.Images()[0]->Info().Width, 44);  // the entry still carries the low 8 bits
    ASSERT_NE(icon.Images()[0]->GetHandle(), nullptr);
    EXPECT_EQ(icon.Images()[0]->GetHandle()->Width, 300);

    // A 300-pixel PNG with real content is decoded at 300 x 300.
    const auto png = MakePng(MakePicture(300, 300, 0, true));
    const auto file = MakeIco({{InfoFor(44, 32, png.size()), png}});
    TSpanStream stream(file);
    ASSERT_TRUE(icon.LoadFromStream(stream));
    ASSERT_NE(icon.Images()[0]->GetHandle(), nullptr);
    EXPECT_EQ(icon.Images()[0]->GetHandle()->Width, 300);
}

TEST(FuzzRegression, AGroupNamingOneIconThousandsOfTimesHoldsItOnce) {
    // One 65,024-byte icon resource named by 4,600 entries of one group, in a 64 KB file.
    TIconLibrary library;
    library.LoadFromFile(Data("pe-group-repeats-one-icon-4600-times.dll"));
    ASSERT_EQ(library.Icons().Count(), 1);
    const auto& images = library.Icons().Icon(0)->Images();
    ASSERT_EQ(images.Count(), 4600);
    for (int i = 1; i < images.Count(); ++i) ASSERT_EQ(images[i]->Data().data(), images[0]->Data().data());
    TMemoryStream ico;
    library.Icons().Icon(0)->SaveToStream(ico);
    EXPECT_EQ(ico.Size(), 6 + 16 * 4600 + images[0]->Data().size());  // the bytes once
    TSpanStream back(ico.Data());
    TAdvancedIcon reread;
    ASSERT_TRUE(reread.LoadFromStream(back));
    ASSERT_EQ(reread.Images().Count(), 4600);
    EXPECT_TRUE(std::equal(reread.Images()[4599]->Data().begin(), reread.Images()[4599]->Data().end(),
                           images[0]->Data().begin(), images[0]->Data().end()));
}

TEST(FuzzRegression, ALibraryWhoseFirstIconIsNamedIclReadsBackWithGeneratedNames) {
    // The module name "ICL" and a first icon named "ICL" are both dropped; the names no longer
    // match the groups, so every icon is named after the file.
    TIconLibrary library;
    library.LoadFromFile(Data("icl-first-icon-named-ICL.icl"));
    ASSERT_EQ(library.Icons().Count(), 2);
    EXPECT_EQ(library.Icons().Name(0), "icl-first-icon-named-ICL 001");
    EXPECT_EQ(library.Icons().Name(1), "icl-first-icon-named-ICL 002");
}
