#include "base/ByteReader.h"
#include "base/Errors.h"
#include "icons/AdvancedIcon.h"
#include "support/IconFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

using namespace pictavo;
using namespace pictavo::test;

namespace {

std::vector<IcoImage> ThreeImages() {
    const auto a = MakeDib(MakePicture(16, 16, 16), 4);
    const auto b = MakeDib(MakePicture(32, 32, 200), 8);
    const auto c = MakePng(MakePicture(256, 256, 0, true));
    return {{InfoFor(16, 4, a.size()), a}, {InfoFor(32, 8, b.size()), b}, {InfoFor(0, 32, c.size()), c}};
}

int CountEntries(const std::string& dir) {
    int n = 0;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") ++n;
    closedir(d);
    return n;
}

}  // namespace

TEST(IcoFile, ReadsEveryEntryInOrderWhateverTheOffsets) {
    TempDir dir;
    const auto images = ThreeImages();
    for (bool reverse : {false, true}) {
        const std::string path = dir.File(reverse ? "rev.ico" : "fwd.ico");
        WriteBytes(path, MakeIco(images, reverse));
        TAdvancedIcon icon;
        ASSERT_TRUE(icon.LoadFromFile(path));
        ASSERT_EQ(icon.Images().Count(), 3);
        for (int i = 0; i < 3; ++i) {
            const auto data = icon.Images()[i]->Data();
            EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), images[static_cast<size_t>(i)].Bytes);
        }
        EXPECT_EQ(icon.Images()[0]->Label(), "16 x 16 - 4bit");
        EXPECT_EQ(icon.Images()[1]->Label(), "32 x 32 - 8bit");
        EXPECT_EQ(icon.Images()[2]->Label(), "256 x 256 - 32bit");
    }
}

TEST(IcoFile, SaveWritesTheDirectoryThenPackedImages) {
    TempDir dir;
    const auto images = ThreeImages();
    auto in = images;
    in[1].Info.Width = 99;  // a wrong size byte is replaced by the derived size
    WriteBytes(dir.File("a.ico"), MakeIco(in, true));
    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromFile(dir.File("a.ico")));
    icon.SaveToFile(dir.File("b.ico"));

    const auto out = ReadBytes(dir.File("b.ico"));
    const ByteReader rd(out);
    EXPECT_EQ(*rd.u16le(0), 0);
    EXPECT_EQ(*rd.u16le(2), 1);
    EXPECT_EQ(*rd.u16le(4), 3);
    uint32_t expectedOffset = 6 + 16 * 3;  // 54
    for (size_t i = 0; i < 3; ++i) {
        const size_t e = 6 + 16 * i;
        EXPECT_EQ(*rd.u32le(e + 12), expectedOffset) << i;
        EXPECT_EQ(*rd.u32le(e + 8), images[i].Bytes.size());
        EXPECT_EQ(*rd.u16le(e + 6), images[i].Info.BitCount);
        const auto body = rd.bytes(expectedOffset, images[i].Bytes.size());
        ASSERT_TRUE(body);
        EXPECT_TRUE(std::equal(body->begin(), body->end(), images[i].Bytes.begin()));
        expectedOffset += static_cast<uint32_t>(images[i].Bytes.size());
    }
    EXPECT_EQ(out.size(), expectedOffset);
    EXPECT_EQ(out[6 + 16], 32);  // derived size, not 99
    EXPECT_EQ(out[6 + 32], 0);   // 256 is written as 0
    EXPECT_EQ(out[6 + 32 + 1], 0);

    // Saving what was read back gives the same file again.
    TAdvancedIcon again;
    ASSERT_TRUE(again.LoadFromFile(dir.File("b.ico")));
    again.SaveToFile(dir.File("c.ico"));
    EXPECT_EQ(ReadBytes(dir.File("c.ico")), out);
}

TEST(IcoFile, HeadersThatAreNotIcons) {
    TempDir dir;
    auto cursor = MakeIco(ThreeImages());
    cursor[2] = 2;
    WriteBytes(dir.File("c.cur"), cursor);
    WriteBytes(dir.File("short"), {0, 0, 1, 0});
    WriteBytes(dir.File("empty"), {});
    auto reserved = MakeIco(ThreeImages());
    reserved[0] = 1;
    WriteBytes(dir.File("reserved"), reserved);
    for (const char* name : {"c.cur", "short", "empty", "reserved"}) {
        TAdvancedIcon icon;
        icon.Images().Add(std::make_unique<TIconImage>());
        EXPECT_FALSE(icon.LoadFromFile(dir.File(name))) << name;
        EXPECT_EQ(icon.Images().Count(), 0) << name;
    }
}

TEST(IcoFile, CountZeroLoadsAndSavesNothing) {
    TempDir dir;
    WriteBytes(dir.File("zero.ico"), {0, 0, 1, 0, 0, 0});
    TAdvancedIcon icon;
    EXPECT_TRUE(icon.LoadFromFile(dir.File("zero.ico")));
    EXPECT_EQ(icon.Images().Count(), 0);
    icon.SaveToFile(dir.File("out.ico"));
    EXPECT_FALSE(FileExists(dir.File("out.ico")));
}

TEST(IcoFile, ImageBytesPastTheEndAreShortenedNeverInvented) {
    TempDir dir;
    const auto images = ThreeImages();
    auto file = MakeIco(images);
    const ByteReader rd(file);
    const uint32_t lastOffset = *rd.u32le(6 + 32 + 12);
    PutU32le(&file[6 + 32 + 8], 0xFFFFFFF0u);                                 // 4 GB claimed by the last image
    PutU32le(&file[6 + 16 + 12], static_cast<uint32_t>(file.size() + 1000));  // second image past the end
    WriteBytes(dir.File("bad.ico"), file);

    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromFile(dir.File("bad.ico")));
    ASSERT_EQ(icon.Images().Count(), 3);
    EXPECT_EQ(icon.Images()[1]->Info().BytesInRes, 0u);
    EXPECT_EQ(icon.Images()[1]->Width(), 0);
    EXPECT_EQ(icon.Images()[1]->GetHandle(), nullptr);
    EXPECT_EQ(icon.Images()[2]->Info().BytesInRes, file.size() - lastOffset);
    EXPECT_NE(icon.Images()[2]->GetHandle(), nullptr);  // the PNG is whole; the claim was not

    icon.SaveToFile(dir.File("out.ico"));
    TAdvancedIcon back;
    ASSERT_TRUE(back.LoadFromFile(dir.File("out.ico")));
    EXPECT_EQ(back.Images()[2]->Info().BytesInRes, file.size() - lastOffset);
}

TEST(IcoFile, TruncatedDirectoryRaisesAndKeepsWhatWasRead) {
    TempDir dir;
    auto file = MakeIco(ThreeImages());
    PutU16le(&file[4], 60000);  // far more entries than the file holds
    file.resize(6 + 16 * 2 + 8);
    WriteBytes(dir.File("t.ico"), file);
    TAdvancedIcon icon;
    EXPECT_THROW(icon.LoadFromFile(dir.File("t.ico")), EReadError);
    EXPECT_EQ(icon.Images().Count(), 2);
    EXPECT_LE(icon.Images().Capacity(), 60000);
}

TEST(IcoFile, OpenAndCreateErrorsCarryPathAndReason) {
    TempDir dir;
    TAdvancedIcon icon;
    try {
        icon.LoadFromFile(dir.File("missing.ico"));
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "无法打开文件 \"" + dir.File("missing.ico") + "\". No such file or directory");
    }
    EXPECT_THROW(icon.LoadFromFile(dir.Path()), EFOpenError);

    WriteBytes(dir.File("a.ico"), MakeIco(ThreeImages()));
    ASSERT_TRUE(icon.LoadFromFile(dir.File("a.ico")));
    try {
        icon.SaveToFile(dir.File("no/such/folder/x.ico"));
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("无法创建文件 \"" + dir.File("no/such/folder/x.ico") + "\". ", 0), 0u)
            << e.what();
    }
    // A folder in the way is left as it is.
    ASSERT_EQ(::mkdir(dir.File("folder.ico").c_str(), 0777), 0);
    EXPECT_THROW(icon.SaveToFile(dir.File("folder.ico")), EFCreateError);
    EXPECT_EQ(CountEntries(dir.Path()), 2);  // a.ico and the folder: no temporary file left
}

TEST(IcoFile, SaveReplacesAWholeFileAndKeepsLinks) {
    TempDir dir;
    WriteBytes(dir.File("big.ico"), std::vector<uint8_t>(100000, 0xAB));
    ASSERT_EQ(::symlink("big.ico", dir.File("link.ico").c_str()), 0);
    TAdvancedIcon icon;
    WriteBytes(dir.File("src.ico"), MakeIco(ThreeImages()));
    ASSERT_TRUE(icon.LoadFromFile(dir.File("src.ico")));
    icon.SaveToFile(dir.File("link.ico"));
    EXPECT_EQ(ReadBytes(dir.File("big.ico")), ReadBytes(dir.File("src.ico")));  // no stale tail
    char target[64] = {};
    ASSERT_GT(::readlink(dir.File("link.ico").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "big.ico");
    EXPECT_EQ(CountEntries(dir.Path()), 3);
}
