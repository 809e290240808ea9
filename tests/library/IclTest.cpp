// Writing .icl libraries and reading 16-bit NE files and libraries back.
#include "base/ByteReader.h"
#include "base/Text.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "library/Reader16.h"
#include "library/Writer16.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace pictavo;
using namespace pictavo::test;

namespace {

IcoImage Dib(int size, int bits, int colours = 0) {
    const auto b = MakeDib(MakePicture(size, size, colours, bits == 32), bits);
    return {InfoFor(size, bits, b.size()), b};
}

std::vector<uint8_t> Bytes(std::span<const uint8_t> s) { return {s.begin(), s.end()}; }

// Same names, order, entry fields and image bytes.
void ExpectSameLibrary(const TIconLibrary& a, const TIconLibrary& b) {
    ASSERT_EQ(a.Icons().Count(), b.Icons().Count());
    for (int i = 0; i < a.Icons().Count(); ++i) {
        EXPECT_EQ(a.Icons().Name(i), b.Icons().Name(i));
        const auto& x = a.Icons().Icon(i)->Images();
        const auto& y = b.Icons().Icon(i)->Images();
        ASSERT_EQ(x.Count(), y.Count()) << i;
        for (int k = 0; k < x.Count(); ++k) {
            EXPECT_EQ(x[k]->Info(), y[k]->Info()) << i << "/" << k;
            EXPECT_EQ(Bytes(x[k]->Data()), Bytes(y[k]->Data())) << i << "/" << k;
        }
    }
}

TIconLibrary ReadBack(const std::string& path) {
    TIconLibrary library;
    library.LoadFromFile(path);
    return library;
}

}  // namespace

TEST(IclWriter, TheSmallestLibraryByteForByte) {
    const IcoImage image = Dib(32, 4, 16);
    ASSERT_EQ(image.Bytes.size(), 744u);
    TIconLibrary library;
    library.Icons().AddIcon("A", IconOf({image}));
    T16BitWriter writer(library);
    const std::vector<uint8_t> file = writer.Build();

    std::vector<uint8_t> expected(1009, 0);
    expected[0] = 'M';
    expected[1] = 'Z';
    expected[60] = 128;
    expected[126] = 0x49;
    expected[127] = 0x4D;
    expected[128] = 'N';
    expected[129] = 'E';
    expected[128 + 0x22] = 0x40;
    expected[128 + 0x24] = 0x40;
    expected[128 + 0x26] = 108;  // P - 128 with P = 236
    expected[128 + 0x36] = 2;
    expected[128 + 0x3F] = 3;
    const uint8_t table[] = {0,    0,                                  // shift 0
                             0x0E, 0x80, 1,    0,   0,    0,    0, 0,  // group type, one record
                             243,  0,    20,   0,   0x30, 0x1C, 1, 0x80, 0, 0, 0, 0,
                             0x03, 0x80, 1,    0,   0,    0,    0, 0,                 // icon type, one record
                             7,    1,    0xE8, 2,   0x30, 0x1C, 1, 0x80, 0, 0, 0, 0,  // 263, 744
                             0,    0,    3,    'I', 'C',  'L',  1, 'A',  0};
    std::copy(std::begin(table), std::end(table), expected.begin() + 192);
    const uint8_t group[] = {0, 0, 1, 0, 1, 0, 32, 32, 16, 0, 1, 0, 4, 0, 0xE8, 2, 0, 0, 1, 0};
    std::copy(std::begin(group), std::end(group), expected.begin() + 243);
    std::copy(image.Bytes.begin(), image.Bytes.end(), expected.begin() + 263);
    EXPECT_EQ(writer.AlignShift(), 0);
    EXPECT_EQ(file, expected);
}

TEST(IclWriter, RoundTripOfIconsFromIcoFilesAndExecutables) {
    TempDir dir;
    std::vector<PeResource> res;
    const IcoImage png = {InfoFor(0, 32, 0), MakePng(MakePicture(256, 256, 0, true))};
    res.push_back({RT_ICON, true, 1, {}, 1033, Dib(48, 32).Bytes});
    res.push_back({RT_ICON, true, 2, {}, 1033, png.Bytes});
    auto group = GroupData({1, 2});
    PutU32le(&group[6 + 8], static_cast<uint32_t>(Dib(48, 32).Bytes.size()));
    PutU32le(&group[6 + 14 + 8], static_cast<uint32_t>(png.Bytes.size()));
    res.push_back({RT_GROUP_ICON, false, 0, u"\u5E94\u7528", 1033, group});  // 应用
    WriteBytes(dir.File("app.dll"), BuildPe(res).Bytes);
    WriteBytes(dir.File("three.ico"), MakeIco({Dib(16, 4, 16), Dib(32, 8, 200), Dib(24, 24)}));
    WriteBytes(dir.File("两个.ico"), MakeIco({Dib(16, 1, 1), Dib(32, 24)}));

    TIconLibrary library;
    EXPECT_EQ(LoadIcons(dir.File("three.ico"), library), 1);
    EXPECT_EQ(LoadIcons(dir.File("app.dll"), library), 1);
    EXPECT_EQ(LoadIcons(dir.File("两个.ico"), library), 1);
    EXPECT_EQ(LoadIcons(dir.File("three.ico"), library), 1);
    library.SaveToFile(dir.File("lib.icl"));

    const TIconLibrary back = ReadBack(dir.File("lib.icl"));
    EXPECT_EQ(back.FileName(), dir.File("lib.icl"));
    ExpectSameLibrary(library, back);
    EXPECT_EQ(back.Icons().Name(1), "应用");
    EXPECT_EQ(back.Icons().Name(2), "两个");
    EXPECT_EQ(back.Icons().Name(3), "three_1");
    EXPECT_EQ(CountIcons(dir.File("lib.icl")), 4);

    // Names are stored as GB18030 bytes.
    const auto raw = ReadBytes(dir.File("lib.icl"));
    const std::string gb = Utf8ToGb18030("应用");
    EXPECT_EQ(gb, "\xD3\xA6\xD3\xC3");
    const std::vector<uint8_t> gbBytes(gb.begin(), gb.end());
    EXPECT_NE(std::search(raw.begin(), raw.end(), gbBytes.begin(), gbBytes.end()), raw.end());

    // Image numbering runs on through the library: the second icon's entries are 4 and 5.
    const ByteReader rd(raw);
    const uint64_t groupTwo = uint64_t{*rd.u16le(192 + 2 + 8 + 12)} << *rd.u16le(192);
    EXPECT_EQ(*rd.u16le(groupTwo + 6 + 12), 4);
    EXPECT_EQ(*rd.u16le(groupTwo + 6 + 14 + 12), 5);
}

TEST(IclWriter, ShiftGrowsWithTheDataAndPaddingNeverOverflows) {
    TempDir dir;
    // Images of odd length, so that every resource gets padded once the shift is above 0;
    // sizes sweep the points where the unpadded estimate just fits and the padded one does not.
    for (int count : {2, 3, 1900, 1985, 1990, 1995, 2000, 3968, 3975, 3990}) {
        SCOPED_TRACE(count);
        TIconLibrary library;
        std::vector<uint8_t> bytes(33, 0);
        PutU32le(&bytes[0], 40);
        for (int i = 0; i < count; ++i) {
            bytes[32] = static_cast<uint8_t>(i);
            library.Icons().AddIcon(std::to_string(i), IconOf({{InfoFor(16, 8, bytes.size()), bytes}}));
        }
        T16BitWriter writer(library);
        const auto file = writer.Build();
        const uint16_t shift = writer.AlignShift();
        const ByteReader rd(file);
        // Every resource record's position is on the shift's boundary and inside the file.
        const uint64_t firstGroup = 128 + *rd.u16le(128 + 0x24) + 2 + 8;
        for (int i = 0; i < 2 * count; ++i) {
            const uint64_t rec = firstGroup + 12 * static_cast<uint64_t>(i) + (i >= count ? 8 : 0);
            const uint64_t pos = uint64_t{*rd.u16le(rec)} << shift;
            ASSERT_LT(pos, file.size());
        }
        WriteBytes(dir.File("big.icl"), file);
        const TIconLibrary back = ReadBack(dir.File("big.icl"));
        ExpectSameLibrary(library, back);
        if (file.size() > 0x1FFFE)
            EXPECT_GE(shift, 2);
        else if (file.size() > 0xFFFF)
            EXPECT_GE(shift, 1);
        else
            EXPECT_EQ(shift, 0);
    }
}

TEST(IclWriter, RefusesWhatTheLayoutCannotHold) {
    TempDir dir;
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    WriteBytes(dir.File("keep.icl"), old);
    auto refused = [&](const TIconLibrary& library) -> std::string {
        try {
            library.SaveToFile(dir.File("keep.icl"));
        } catch (const EICLReadError& e) {
            return e.what();
        }
        return "saved";
    };
    TIconLibrary library;
    EXPECT_EQ(refused(library), "没有任何图标可以写入图标库");
    library.Icons().AddIcon("", std::make_unique<TAdvancedIcon>());
    EXPECT_NE(refused(library), "saved");  // icons without a single image could not be read back
    library.Icons().Clear();

    // 32767 icons pass the count check. Of one image each they are 65534 resources, and with the
    // tables in front of them no alignment lets every position fit 16 bits: refused as too
    // large rather than written with wrapped positions. One more icon fails the count.
    const IcoImage image = Dib(16, 4, 16);
    for (int i = 0; i < 32767; ++i) library.Icons().AddIcon("", IconOf({image}));
    EXPECT_EQ(refused(library), "图标库中的图标和图像太多, 无法写成一个图标库文件");
    library.Icons().AddIcon("", IconOf({image}));
    EXPECT_EQ(refused(library), "图标库中的文件不能超过 32767 个");

    // More than 32767 distinct images in all: identifiers would wrap.
    TIconLibrary manyImages;
    for (int i = 0; i < 2; ++i) {
        std::vector<IcoImage> small;
        for (int k = 0; k < 20000; ++k) {
            std::vector<uint8_t> bytes(8, static_cast<uint8_t>(i));
            PutU32le(&bytes[4], static_cast<uint32_t>(k));
            small.push_back({InfoFor(16, 8, bytes.size()), bytes});
        }
        manyImages.Icons().AddIcon("big", IconOf(small));
    }
    EXPECT_EQ(refused(manyImages), "图标库中的图像不能超过 32767 个");

    // Copies of one image (the same bytes) are one icon resource however often they appear.
    TIconLibrary copies;
    auto icon = std::make_unique<TAdvancedIcon>();
    for (int k = 0; k < 40000; ++k) icon->Images().Add(TIconImage::CreateCopy(*library.Icons().Icon(0)->Images()[0]));
    copies.Icons().AddIcon("copies", std::move(icon));
    copies.SaveToFile(dir.File("copies.icl"));
    const TIconLibrary back = ReadBack(dir.File("copies.icl"));
    ASSERT_EQ(back.Icons().Count(), 1);
    EXPECT_EQ(back.Icons().Icon(0)->Images().Count(), 40000);
    EXPECT_EQ(Bytes(back.Icons().Icon(0)->Images()[39999]->Data()), image.Bytes);
    EXPECT_LT(ReadBytes(dir.File("copies.icl")).size(), 40000u * 14 + 2 * image.Bytes.size() + 4096);

    TIconLibrary noData;
    noData.Icons().AddIcon("e", IconOf({image}));
    noData.Icons().Icon(0)->Images().Add(std::make_unique<TIconImage>());
    EXPECT_EQ(refused(noData), "图标 \"e\" 中有没有数据的图像, 无法写入图标库");
    EXPECT_EQ(ReadBytes(dir.File("keep.icl")), old);  // untouched by every refusal
}

TEST(IclNames, LongNamesAreCutWithoutSplittingACharacter) {
    const std::string chinese = std::string(126, 'a') + "图标图标图标";  // 126 + 2*6 bytes in GB18030
    EXPECT_EQ(Utf8ToGb18030(chinese, 130).size(), 130u);
    EXPECT_EQ(Utf8ToGb18030(chinese, 131).size(), 130u);
    EXPECT_EQ(Gb18030ToUtf8(std::vector<uint8_t>{0xD6, 0xD0, 'x', 0xFF}), "中x\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToGb18030("\xF0\x9F\x98\x80"), "\x94\x39\xFC\x36");  // four-byte form

    TempDir dir;
    TIconLibrary library;
    std::string name;
    for (int i = 0; i < 200; ++i) name += "图";
    library.Icons().AddIcon(name, IconOf({Dib(16, 4, 16)}));
    library.SaveToFile(dir.File("n.icl"));
    const auto back = ReadBack(dir.File("n.icl"));
    ASSERT_EQ(back.Icons().Count(), 1);
    EXPECT_EQ(back.Icons().Name(0), name.substr(0, 127 * 3));  // 127 characters = 254 bytes
}

TEST(IclReader, AFirstIconNamedIclGivesGeneratedNames) {
    TempDir dir;
    TIconLibrary library;
    library.Icons().AddIcon("ICL", IconOf({Dib(16, 4, 16)}));
    library.Icons().AddIcon("two", IconOf({Dib(16, 4, 16)}));
    library.SaveToFile(dir.File("moricons.dll"));
    const auto back = ReadBack(dir.File("moricons.dll"));
    ASSERT_EQ(back.Icons().Count(), 2);
    EXPECT_EQ(back.Icons().Name(0), "moricons 001");
    EXPECT_EQ(back.Icons().Name(1), "moricons 002");
}

// Hand-made NE files for the reader's checks.
class NeFile : public testing::Test {
protected:
    // A library written by the writer, then patched by the test.
    void SetUp() override {
        TIconLibrary library;
        library.Icons().AddIcon("one", IconOf({Dib(16, 4, 16), Dib(32, 8, 200)}));
        library.Icons().AddIcon("two", IconOf({Dib(16, 1, 1)}));
        T16BitWriter writer(library);
        file = writer.Build();
    }
    bool Read(const std::vector<uint8_t>& bytes, TIconLibrary& out, const std::string& name = "x.icl") {
        WriteBytes(dir.File(name), bytes);
        T16BitReader reader(dir.File(name));
        const bool ok = reader.ReadIcons();
        error = reader.LastError();
        if (ok) out.Icons().Assign(reader.Icons());
        return ok;
    }
    std::string error;
    // File offset of resource record i (groups first, then icons).
    uint64_t Record(int i) const { return 192 + 2 + 8 + 12 * static_cast<uint64_t>(i) + (i >= 2 ? 8 : 0); }
    TempDir dir;
    std::vector<uint8_t> file;
};

TEST_F(NeFile, HeaderChecks) {
    TIconLibrary out;
    EXPECT_TRUE(Read(file, out));
    EXPECT_EQ(error, "");
    struct Case {
        size_t at;
        uint16_t value;
        const char* message;
    } cases[] = {
        {0, 0x5A5A, "不是一个有效的 ICL"},
        {60, 59, "Invalid Windows 16 Offset"},
        // 60 passes the offset check; the header would then overlap its own offset field.
        {60, 60, "Invalid Windows 16 Header"},
        {128, 0x454C, "Invalid Windows 16 Header"},
        {128 + 0x24, 0, "文件中没有资源"},
        {128 + 0x26, 0, "Names Table not found"},
        {192 + 2 + 8 + 24, 0x8005, "ResourceTable has an Error"},  // no icon type
        {192 + 2, 0x8006, "ResourceTable has an Error"},           // no group type
    };
    for (const auto& c : cases) {
        auto b = file;
        PutU16le(&b[c.at], c.value);
        EXPECT_FALSE(Read(b, out)) << c.message;
        EXPECT_EQ(error, c.message);
    }
}

TEST_F(NeFile, TablesThatRunPastTheEnd) {
    TIconLibrary out;
    const size_t names = 192 + 2 + 8 + 24 + 8 + 36 + 2;
    for (size_t cut : {size_t{193}, size_t{200}, size_t{230}, names + 2, names + 6}) {
        std::vector<uint8_t> b(file.begin(), file.begin() + static_cast<long>(cut));
        EXPECT_FALSE(Read(b, out)) << cut;
    }
    auto b = file;
    PutU16le(&b[192 + 2 + 2], 0xFFFF);  // 65535 group records promised
    EXPECT_FALSE(Read(b, out));
    EXPECT_EQ(T16BitReader::CountGroupIcons(TSpanSource(b)), 0);
}

TEST_F(NeFile, GroupsAndImagesThatPromiseMore) {
    TIconLibrary out;
    const ByteReader rd(file);
    // Group one claims three entries but holds two.
    auto b = file;
    const uint64_t group = *rd.u16le(Record(0));
    PutU16le(&b[group + 4], 3);
    EXPECT_FALSE(Read(b, out));
    // An entry's bytes-in-resource far beyond its icon resource: the image keeps only its bytes.
    b = file;
    PutU32le(&b[group + 6 + 8], 0x00FFFFFF);
    ASSERT_TRUE(Read(b, out));
    const TIconImage* image = out.Icons().Icon(0)->Images()[0];
    EXPECT_EQ(image->Info().BytesInRes, uint64_t{*rd.u16le(Record(2) + 2)});
    EXPECT_NE(image->GetHandle(), nullptr);
    // An icon resource that starts past the end of the file.
    b = file;
    PutU16le(&b[Record(2)], 0xFFF0);
    EXPECT_FALSE(Read(b, out));
}

TEST_F(NeFile, ZeroLengthRecordsAndMissingTypes) {
    TIconLibrary out;
    auto b = file;
    PutU16le(&b[Record(1) + 2], 0);  // group two has no data: listed without images
    ASSERT_TRUE(Read(b, out));
    ASSERT_EQ(out.Icons().Count(), 2);
    EXPECT_EQ(out.Icons().Name(1), "two");
    EXPECT_EQ(out.Icons().Icon(1)->Images().Count(), 0);

    b = file;
    PutU16le(&b[Record(4) + 2], 0);  // the image of group two has no data: the read fails
    EXPECT_FALSE(Read(b, out));

    b = file;
    PutU16le(&b[Record(1) + 6], 0x8009);  // group two names icon 9, which no record has
    b = file;
    const uint64_t groupTwo = *ByteReader(file).u16le(Record(1));
    PutU16le(&b[groupTwo + 6 + 12], 9);
    EXPECT_FALSE(Read(b, out));

    b = file;
    PutU16le(&b[192 + 2 + 8 + 24], 0x8005);  // the icon type becomes another type
    EXPECT_FALSE(Read(b, out));
    EXPECT_EQ(T16BitReader::CountGroupIcons(TSpanSource(b)), 2);
}

TEST_F(NeFile, NamesThatDoNotMatchTheGroupsAndTheAlignmentShift) {
    // Three name strings for two groups: every icon is named after the file.
    const size_t names = 192 + 2 + 8 + 24 + 8 + 36 + 2;
    auto b = file;
    const std::vector<uint8_t> extra = {1, 'z'};
    b.insert(b.begin() + static_cast<long>(names + 4), extra.begin(), extra.end());
    for (int i = 0; i < 5; ++i) PutU16le(&b[Record(i)], static_cast<uint16_t>(*ByteReader(b).u16le(Record(i)) + 2));
    TIconLibrary out;
    ASSERT_TRUE(Read(b, out, "moricons.dll")) << error;
    ASSERT_EQ(out.Icons().Count(), 2);
    EXPECT_EQ(out.Icons().Name(0), "moricons 001");
    EXPECT_EQ(out.Icons().Name(1), "moricons 002");

    // With a shift of 4 every position counts 16-byte units: copy each resource to a 16-byte
    // boundary after the file's end and point its record there in those units.
    b = file;
    const ByteReader rd(file);
    for (int i = 0; i < 5; ++i) {
        b.resize((b.size() + 15) & ~size_t{15}, 0);
        const uint64_t at = b.size();
        const uint64_t pos = *rd.u16le(Record(i)), len = *rd.u16le(Record(i) + 2);
        b.insert(b.end(), file.begin() + static_cast<long>(pos), file.begin() + static_cast<long>(pos + len));
        PutU16le(&b[Record(i)], static_cast<uint16_t>(at >> 4));
        PutU16le(&b[Record(i) + 2], static_cast<uint16_t>((len + 15) >> 4));
    }
    b.resize(b.size() + 16, 0);
    PutU16le(&b[192], 4);
    ASSERT_TRUE(Read(b, out)) << error;
    TIconLibrary original;
    WriteBytes(dir.File("orig.icl"), file);
    original.LoadFromFile(dir.File("orig.icl"));
    ExpectSameLibrary(original, out);
}

TEST(IclPeer, IcoutilsReadsOurLibraries) {
    ASSERT_EQ(std::system("command -v wrestool >/dev/null"), 0) << "wrestool (Debian package icoutils) is needed";
    TempDir dir;
    TIconLibrary library;
    library.Icons().AddIcon("甲", IconOf({Dib(16, 4, 16), Dib(32, 8, 200), Dib(48, 32)}));
    const auto png = MakePng(MakePicture(64, 64, 0, true));
    library.Icons().AddIcon("B", IconOf({Dib(24, 24), {InfoFor(64, 32, png.size()), png}}));
    library.Icons().AddIcon("C", IconOf({Dib(16, 1, 1)}));
    library.SaveToFile(dir.File("lib.icl"));

    const std::string cmd = "wrestool -l '" + dir.File("lib.icl") + "' > '" + dir.File("list.txt") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const auto listing = ReadBytes(dir.File("list.txt"));
    const std::string text(listing.begin(), listing.end());
    for (int i = 1; i <= 3; ++i)
        EXPECT_NE(text.find("--type=14 --name=" + std::to_string(i) + " "), std::string::npos) << text;
    for (int k = 1; k <= 6; ++k)
        EXPECT_NE(text.find("--type=3 --name=" + std::to_string(k) + " "), std::string::npos) << text;

    ASSERT_EQ(std::system(("mkdir '" + dir.File("x") + "' && wrestool -x -t14 -o '" + dir.File("x") + "' '" +
                           dir.File("lib.icl") + "'")
                              .c_str()),
              0);
    for (int i = 0; i < 3; ++i) {
        TAdvancedIcon extracted;
        ASSERT_TRUE(extracted.LoadFromFile(dir.File("x/lib.icl_14_" + std::to_string(i + 1) + ".ico"))) << i;
        const auto& ours = library.Icons().Icon(i)->Images();
        ASSERT_EQ(extracted.Images().Count(), ours.Count());
        for (int k = 0; k < ours.Count(); ++k)
            EXPECT_EQ(Bytes(extracted.Images()[k]->Data()), Bytes(ours[k]->Data())) << i << "/" << k;
    }
}
