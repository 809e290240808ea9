// 16-bit (NE) files that name their types and resources by strings, that make many images from
// few bytes, and libraries past the size where the resident-name table can follow the
// resource table.
#include "base/ByteReader.h"
#include "base/Errors.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "library/Reader16.h"
#include "library/Writer16.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <string>

using namespace pictavo;
using namespace pictavo::test;

namespace {

std::vector<uint8_t> Bytes(std::span<const uint8_t> s) { return {s.begin(), s.end()}; }

const std::vector<uint8_t>& Dib16() {
    static const auto dib = MakeDib(MakePicture(16, 16, 16), 4);
    return dib;
}

// Reads through the file and through the bytes; both readers must agree.
struct Read {
    bool ok = false;
    std::string error;
    TIconList icons;
};
Read ReadNe(const std::vector<uint8_t>& bytes, const std::string& name) {
    TempDir dir;
    WriteBytes(dir.File(name), bytes);
    T16BitReader file(dir.File(name));
    T16BitReader memory(name, bytes);
    Read out;
    out.ok = file.ReadIcons();
    out.error = file.LastError();
    EXPECT_EQ(memory.ReadIcons(), out.ok);
    EXPECT_EQ(memory.LastError(), out.error);
    EXPECT_EQ(memory.Icons().Count(), file.Icons().Count());
    out.icons.Assign(file.Icons());
    return out;
}

}  // namespace

// Strings that name a type, or a resource of another type, are no icon's name; a group named by
// a string of its own takes it.
TEST(NeNames, OnlyGroupIconNamesNameIcons) {
    const uint16_t groupType = 0x800E, iconType = 0x8003, dialogType = 0x8005;
    struct Case {
        const char* what;
        std::vector<std::string> strings;
        uint16_t oemType;   // the string-named type (index into strings), or 0x8000|n
        uint16_t dialogId;  // a dialog's name (index into strings), or an integer
        std::vector<uint16_t> groupIds;
        std::vector<std::string> expected;
    } cases[] = {
        {"a driver's string-named type", {"OEMBIN"}, 0, 0x8001, {0x8001}, {"driver 001"}},
        {"a named type and a named group", {"OEMBIN", "APPICON"}, 0, 0x8001, {1}, {"APPICON"}},
        {"a named dialog before the group's name", {"ABOUT", "APPICON"}, 0x8010, 0, {1}, {"APPICON"}},
        {"groups take their own names", {"A", "B"}, 0x8010, 0x8001, {1, 0}, {"B", "A"}},
        {"unreferenced names go in order", {"X", "Y"}, 0x8010, 0x8001, {0x8001, 0x8002}, {"X", "Y"}},
        {"two groups naming one string", {"A"}, 0x8010, 0x8001, {0, 0}, {"driver 001", "driver 002"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<NeRecord> groups;
        for (uint16_t g : c.groupIds) groups.push_back({g, 1});
        const auto file =
            BuildNe({{c.oemType, {{0x8001, 2}}},
                     {dialogType, {{c.dialogId, 2}}},
                     {groupType, groups},
                     {iconType, {{0x8001, 0}}}},
                    c.strings, {Dib16(), GroupData({1}, static_cast<uint32_t>(Dib16().size())), {1, 2, 3}});
        const Read read = ReadNe(file, "driver.drv");
        ASSERT_TRUE(read.ok) << read.error;
        ASSERT_EQ(read.icons.Count(), static_cast<int>(c.expected.size()));
        for (int i = 0; i < read.icons.Count(); ++i) {
            EXPECT_EQ(read.icons.Name(i), c.expected[static_cast<size_t>(i)]);
            EXPECT_EQ(read.icons.Icon(i)->Images().Count(), 1);
        }
        EXPECT_EQ(T16BitReader::CountGroupIcons(TSpanSource(file)), read.icons.Count());
    }
}

// Of two group-icon type records, the later one is the one read: neither the first nor both.
TEST(NeImages, ALaterGroupTypeRecordReplacesAnEarlierOne) {
    const auto group = GroupData({1}, static_cast<uint32_t>(Dib16().size()));
    const NeType icons{0x8003, {{0x8001, 0}}};
    const Read read =
        ReadNe(BuildNe({{0x800E, {{0x8001, 1}, {0x8002, 1}, {0x8003, 1}}}, {0x800E, {{0x8004, 1}, {0x8005, 1}}}, icons},
                       {}, {Dib16(), group}),
               "driver.drv");
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.icons.Count(), 2);
}

// Names a library already holds get "_1" appended until they are new, however often a name
// comes (a names area may repeat one).
TEST(NeNames, RepeatedNamesAreMadeUniqueInTheLibrary) {
    TempDir dir;
    std::vector<NeRecord> groups = {{0x8001, 1}, {0x8002, 1}, {0x8003, 1}};
    WriteBytes(dir.File("same.dll"), BuildNe({{0x800E, groups}, {0x8003, {{0x8001, 0}}}}, {"A", "a", "A"},
                                             {Dib16(), GroupData({1}, static_cast<uint32_t>(Dib16().size()))}));
    TIconLibrary library;
    ASSERT_EQ(LoadIcons(dir.File("same.dll"), library), 3);
    ASSERT_EQ(LoadIcons(dir.File("same.dll"), library), 3);
    const char* expected[] = {"A", "a_1", "A_1_1", "A_1_1_1", "a_1_1_1_1", "A_1_1_1_1_1"};
    ASSERT_EQ(library.Icons().Count(), 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(library.Icons().Name(i), expected[i]);
}

// Group records that all name one group: its data is read where it lies, and the images made
// from it are counted against the bound for one file.
TEST(NeImages, ManyRecordsOverOneGroup) {
    const auto dibSize = static_cast<uint32_t>(Dib16().size());
    // A 1.7 MB file: 65535 group records over one group whose data is padded to about 900 KB.
    auto padded = GroupData({1}, dibSize);
    padded.resize(900000, 0);
    std::vector<NeRecord> records(65535, NeRecord{0x8001, 1});
    Read read = ReadNe(BuildNe({{0x800E, records}, {0x8003, {{0x8001, 0}}}}, {}, {Dib16(), padded}), "many.icl");
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.icons.Count(), 65535);
    const TIconImage* first = read.icons.Icon(0)->Images()[0];
    const TIconImage* last = read.icons.Icon(65534)->Images()[0];
    EXPECT_EQ(first->Data().data(), last->Data().data());  // one copy of the bytes for all
    EXPECT_EQ(first->Data().size(), Dib16().size());

    // A group of 65535 entries: four records over it make 262,140 images, five pass the bound.
    const auto big = GroupData(std::vector<uint16_t>(65535, 1), dibSize);
    for (size_t groups : {size_t{4}, size_t{5}}) {
        SCOPED_TRACE(groups);
        read = ReadNe(BuildNe({{0x800E, std::vector<NeRecord>(groups, NeRecord{0x8001, 1})}, {0x8003, {{0x8001, 0}}}},
                              {}, {Dib16(), big}),
                      "big.icl");
        if (groups == 4) {
            ASSERT_TRUE(read.ok) << read.error;
            EXPECT_EQ(read.icons.Icon(3)->Images().Count(), 65535);
        } else {
            EXPECT_FALSE(read.ok);
            EXPECT_EQ(read.error, "文件中的图像太多 (超过 262144 个)");
            EXPECT_EQ(read.icons.Count(), 0);
        }
    }
}

// The resident-name table's offset from the NE header is 16 bits. Up to kMaxICLResources
// resources it follows the resource table as always; past that a table holding only the
// module name goes in front of the resource table, and the icon names stay after the type
// list. 16,377 resources put today's offset at exactly 0x10000, which used to be written as 0.
TEST(IclLimits, TheNamesTableOffsetIsNeverWrapped) {
    TempDir dir;
    const auto& dib = Dib16();
    struct Case {
        int icons;
        int images;  // of each icon
    } cases[] = {{2727, 1}, {1, 5454}, {1, 16376}};
    for (const auto& c : cases) {
        const uint32_t resources = static_cast<uint32_t>(c.icons * (1 + c.images));
        SCOPED_TRACE(resources);
        TIconLibrary library;
        const auto ico =
            MakeIco(std::vector<IcoImage>(static_cast<size_t>(c.images), {InfoFor(16, 4, dib.size()), dib}));
        for (int i = 0; i < c.icons; ++i) {
            auto icon = std::make_unique<TAdvancedIcon>();
            TSpanStream stream(ico);
            ASSERT_TRUE(icon->LoadFromStream(stream));
            library.Icons().AddIcon(std::to_string(i), std::move(icon));
        }
        library.SaveToFile(dir.File("lib.icl"));
        const auto bytes = ReadBytes(dir.File("lib.icl"));
        const ByteReader rd(bytes);
        const uint16_t table = *rd.u16le(128 + 0x24), names = *rd.u16le(128 + 0x26);
        if (resources <= kMaxICLResources) {
            EXPECT_EQ(table, 0x40);
            EXPECT_EQ(names, 0x40 + 20 + 12 * resources);
        } else {
            EXPECT_EQ(table, 0x47);
            EXPECT_EQ(names, 0x40);
            EXPECT_EQ(Bytes(*rd.bytes(192, 7)), (std::vector<uint8_t>{3, 'I', 'C', 'L', 0, 0, 0}));
        }
        EXPECT_EQ(Bytes(*rd.bytes(128 + names, 4)), (std::vector<uint8_t>{3, 'I', 'C', 'L'}));

        TIconLibrary back;
        back.LoadFromFile(dir.File("lib.icl"));
        ASSERT_EQ(back.Icons().Count(), c.icons);
        EXPECT_EQ(back.Icons().Name(c.icons - 1), std::to_string(c.icons - 1));
        const auto& last = back.Icons().Icon(c.icons - 1)->Images();
        ASSERT_EQ(last.Count(), c.images);
        EXPECT_EQ(Bytes(last[c.images - 1]->Data()), dib);

        // A peer reads the resource table only when the resident-name table follows it.
        if (resources <= kMaxICLResources) {
            ASSERT_EQ(std::system("command -v wrestool >/dev/null"), 0)
                << "wrestool (Debian package icoutils) is needed";
            const std::string cmd = "wrestool -l '" + dir.File("lib.icl") + "' > '" + dir.File("list.txt") + "'";
            ASSERT_EQ(std::system(cmd.c_str()), 0);
            const auto listing = ReadBytes(dir.File("list.txt"));
            const std::string text(listing.begin(), listing.end());
            for (const std::string& id : {"--type=14 --name=" + std::to_string(c.icons) + " ",
                                          "--type=3 --name=" + std::to_string(c.icons * c.images) + " "})
                EXPECT_NE(text.find(id), std::string::npos) << id;
        }
    }
}
