// Executables built by the mingw-w64 resource compiler and linker, and hand-built broken ones.
#include "base/ByteReader.h"
#include "base/FileIO.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "library/PEResources.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <memory>

using namespace pictavo;
using namespace pictavo::test;

namespace {

std::vector<std::string> NamesOf(const TIconLibrary& library) {
    std::vector<std::string> names;
    for (int i = 0; i < library.Icons().Count(); ++i) names.push_back(library.Icons().Name(i));
    return names;
}

std::vector<uint8_t> Bytes(std::span<const uint8_t> s) { return {s.begin(), s.end()}; }

IcoImage Dib(int size, int bits, int colours = 0) {
    const auto b = MakeDib(MakePicture(size, size, colours, bits == 32), bits);
    return {InfoFor(size, bits, b.size()), b};
}

// DLLs made once for the whole suite with the real resource compiler and linker.
class BuiltDlls : public testing::Test {
protected:
    static void SetUpTestSuite() {
        Dir = std::make_unique<TempDir>();
        Ico["one"] = {Dib(16, 4, 16)};
        Ico["three"] = {Dib(16, 4, 16), Dib(32, 8, 200), Dib(48, 32)};
        Ico["five"] = {Dib(32, 24)};
        Ico["png"] = {Dib(16, 8, 100), {InfoFor(0, 32, 0), MakePng(MakePicture(256, 256, 0, true))}};
        Ico["png"][1].Info.BytesInRes = static_cast<uint32_t>(Ico["png"][1].Bytes.size());
        Ico["en"] = {Dib(16, 1, 1)};
        Ico["cn"] = {Dib(32, 1, 1)};
        for (auto& [name, images] : Ico) WriteBytes(Dir->File(name + ".ico"), MakeIco(images));
        WriteBytes(Dir->File("badgroup.bin"), GroupData({999}));
        Write("icons.rc", "1 ICON \"one.ico\"\n5 ICON \"five.ico\"\n32512 ICON \"png.ico\"\n"
                          "MAINICON ICON \"one.ico\"\nAPP ICON \"three.ico\"\n");
        Write("lang.rc", "LANGUAGE 0x04, 0x02\n7 ICON \"cn.ico\"\nLANGUAGE 0x09, 0x01\n7 ICON \"en.ico\"\n");
        Write("missing.rc", "1 ICON \"one.ico\"\n99 14 \"badgroup.bin\"\n");
        Write("empty.s", "");
        for (const char* arch : {"x86_64", "i686"}) {
            const std::string tools = std::string(arch) + "-w64-mingw32-";
            for (const char* rc : {"icons", "lang", "missing"}) {
                const std::string base = Dir->File(std::string(rc) + "-" + arch);
                Run("cd '" + Dir->Path() + "' && " + tools + "windres --preprocessor=cpp " + rc + ".rc -O coff -o '" +
                    base + ".o' && " + tools + "ld -shared -e 0 -o '" + base + ".dll' '" + base + ".o'");
            }
            const std::string base = Dir->File(std::string("empty-") + arch);
            Run("cd '" + Dir->Path() + "' && " + tools + "as -o '" + base + ".o' empty.s && " + tools +
                "ld -shared -e 0 -o '" + base + ".dll' '" + base + ".o'");
        }
    }
    static void TearDownTestSuite() { Dir.reset(); }

    static void Write(const std::string& name, const std::string& text) { std::ofstream(Dir->File(name)) << text; }
    static void Run(const std::string& cmd) {
        if (std::system(cmd.c_str()) != 0) Failed = "fixture build failed (mingw-w64 binutils needed): " + cmd;
    }
    void SetUp() override { ASSERT_TRUE(Failed.empty()) << Failed; }

    static std::unique_ptr<TempDir> Dir;
    static std::map<std::string, std::vector<IcoImage>> Ico;
    static std::string Failed;
};
std::unique_ptr<TempDir> BuiltDlls::Dir;
std::map<std::string, std::vector<IcoImage>> BuiltDlls::Ico;
std::string BuiltDlls::Failed;

}  // namespace

TEST_F(BuiltDlls, GroupsInDirectoryOrderWithTheirImages) {
    for (const char* arch : {"x86_64", "i686"}) {
        SCOPED_TRACE(arch);
        const std::string dll = Dir->File(std::string("icons-") + arch + ".dll");
        TIconLibrary library;
        library.LoadFromFile(dll);
        EXPECT_EQ(library.FileName(), dll);
        ASSERT_EQ(NamesOf(library), (std::vector<std::string>{"APP", "MAINICON", "1", "5", "32512"}));
        const char* sources[] = {"three", "one", "one", "five", "png"};
        for (int i = 0; i < 5; ++i) {
            const auto& expected = Ico[sources[i]];
            const auto& images = library.Icons().Icon(i)->Images();
            ASSERT_EQ(images.Count(), expected.size()) << i;
            for (int k = 0; k < images.Count(); ++k) {
                EXPECT_EQ(Bytes(images[k]->Data()), expected[static_cast<size_t>(k)].Bytes) << i << "/" << k;
                EXPECT_EQ(images[k]->BitCount(), expected[static_cast<size_t>(k)].Info.BitCount);
                EXPECT_NE(images[k]->GetHandle(), nullptr);
            }
        }
        EXPECT_EQ(library.Icons().Icon(4)->Images()[1]->Label(), "256 x 256 - 32bit");
        EXPECT_EQ(CountIcons(dll), 5);

        TPEResourceReader reader;
        const TFileBytes file(dll);
        ASSERT_TRUE(reader.Open(file.Bytes()));
        EXPECT_EQ(reader.Is64Bit(), std::string(arch) == "x86_64");
    }
}

TEST_F(BuiltDlls, AGroupInTwoLanguagesIsListedOnceWithTheFirstLanguage) {
    TIconLibrary library;
    library.LoadFromFile(Dir->File("lang-x86_64.dll"));
    ASSERT_EQ(NamesOf(library), std::vector<std::string>{"7"});
    // Language 0x0409 sorts before 0x0804: its 16-pixel image is the one read.
    EXPECT_EQ(library.Icons().Icon(0)->Images()[0]->Width(), 16);
    EXPECT_EQ(CountIcons(Dir->File("lang-x86_64.dll")), 1);
}

TEST_F(BuiltDlls, AMissingIconResourceFailsTheWholeLoad) {
    TIconLibrary library;
    library.LoadFromFile(Dir->File("icons-i686.dll"));
    ASSERT_EQ(library.Icons().Count(), 5);
    try {
        library.LoadFromFile(Dir->File("missing-i686.dll"));
        FAIL() << "no error";
    } catch (const EResNotFound& e) {
        EXPECT_STREQ(e.what(), "找不到资源 999");
    }
    EXPECT_EQ(library.Icons().Count(), 5);  // what was shown before stays
    EXPECT_EQ(CountIcons(Dir->File("missing-i686.dll")), 2);
}

TEST_F(BuiltDlls, ADllWithoutResources) {
    for (const char* arch : {"x86_64", "i686"}) {
        const std::string dll = Dir->File(std::string("empty-") + arch + ".dll");
        EXPECT_EQ(CountIcons(dll), 0);
        TIconLibrary library;
        EXPECT_EQ(LoadIcons(dll, library), 0);
        EXPECT_EQ(library.Icons().Count(), 0);
    }
}

TEST_F(BuiltDlls, LoadIconsMakesNamesUniqueAcrossFiles) {
    TIconLibrary target;
    WriteBytes(Dir->File("App.ico"), MakeIco(Ico["five"]));
    EXPECT_EQ(LoadIcons(Dir->File("App.ico"), target), 1);
    EXPECT_EQ(LoadIcons(Dir->File("icons-x86_64.dll"), target), 5);
    EXPECT_EQ(LoadIcons(Dir->File("icons-i686.dll"), target), 5);
    EXPECT_EQ(NamesOf(target), (std::vector<std::string>{"App", "APP_1", "MAINICON", "1", "5", "32512", "APP_1_1",
                                                         "MAINICON_1", "1_1", "5_1", "32512_1"}));
    EXPECT_EQ(target.Icons().Icon(1)->Images().Count(), 3);
}

TEST(PEResourceReader, HandBuiltDirectoryOrder) {
    std::vector<PeResource> res;
    res.push_back({RT_ICON, true, 2, {}, 1033, MakeDib(MakePicture(16, 16, 16), 4)});
    res.push_back({RT_GROUP_ICON, true, 300, {}, 1033, GroupData({2})});
    res.push_back({RT_GROUP_ICON, false, 0, u"ZED", 1033, GroupData({2})});
    res.push_back({RT_GROUP_ICON, false, 0, u"Ab\u4E2D", 1033, GroupData({2})});
    res.push_back({RT_GROUP_ICON, true, 4, {}, 2052, GroupData({2})});
    for (bool pe64 : {false, true}) {
        const PeImage pe = BuildPe(res, pe64);
        TPEResourceReader reader;
        ASSERT_TRUE(reader.Open(pe.Bytes));
        std::vector<std::string> names;
        for (const auto& n : reader.Names(RT_GROUP_ICON)) names.push_back(n.Display());
        EXPECT_EQ(names, (std::vector<std::string>{"Ab中", "ZED", "4", "300"}));
        EXPECT_EQ(reader.CountNames(RT_GROUP_ICON), 4u);
        EXPECT_EQ(reader.CountNames(RT_ICON), 1u);
        EXPECT_EQ(reader.CountNames(99), 0u);
        ASSERT_TRUE(reader.FindResource(RT_GROUP_ICON, TResourceName::FromText("zed")));
        EXPECT_FALSE(reader.FindResource(RT_ICON, TResourceName::FromId(3)));
    }
}

// Every way the directory can lie ends in a clear result, never a crash or a hang.
class BrokenPe : public testing::Test {
protected:
    void SetUp() override {
        res.push_back({RT_ICON, true, 1, {}, 1033, MakeDib(MakePicture(16, 16, 16), 4)});
        res.push_back({RT_GROUP_ICON, false, 0, u"MAIN", 1033, GroupData({1}, 296)});
    }
    // Loads the bytes through the library; returns the error text or "" and the library.
    std::string Load(const std::vector<uint8_t>& bytes, TIconLibrary& library) {
        WriteBytes(dir.File("x.dll"), bytes);
        try {
            library.LoadFromFile(dir.File("x.dll"));
        } catch (const std::exception& e) {
            return e.what();
        }
        return "";
    }
    // The resource root's entry i of the directory at file offset dir.
    static size_t EntryAt(const PeImage& pe, uint32_t dirOffsetInSection, int i) {
        return pe.ResourceFileOffset + dirOffsetInSection + 16 + 8 * static_cast<size_t>(i);
    }
    TempDir dir;
    std::vector<PeResource> res;
};

TEST_F(BrokenPe, WellFormedBaseline) {
    TIconLibrary library;
    EXPECT_EQ(Load(BuildPe(res).Bytes, library), "");
    ASSERT_EQ(library.Icons().Count(), 1);
    EXPECT_EQ(library.Icons().Icon(0)->Images()[0]->Info().BytesInRes, 296u);
}

TEST_F(BrokenPe, ASubdirectoryPointingBackAtTheRoot) {
    PeImage pe = BuildPe(res);
    const ByteReader rd(pe.Bytes);
    // root -> type 14 -> name MAIN: make the name's subdirectory the root itself.
    const uint32_t groupTypeDir = *rd.u32le(EntryAt(pe, 0, 1) + 4) & 0x7FFFFFFF;
    PutU32le(&pe.Bytes[EntryAt(pe, groupTypeDir, 0) + 4], 0x80000000u);
    TIconLibrary library;
    EXPECT_EQ(Load(pe.Bytes, library), "找不到资源 MAIN");
    // And a type whose name directory is the root: the root's two type entries read as names,
    // and looking one up ends at a directory where data should be.
    PutU32le(&pe.Bytes[EntryAt(pe, 0, 1) + 4], 0x80000000u);
    EXPECT_EQ(Load(pe.Bytes, library), "找不到资源 3");
    EXPECT_EQ(CountIcons(dir.File("x.dll")), 2);
}

TEST_F(BrokenPe, AbsurdCountsAreBoundedByTheFile) {
    PeImage pe = BuildPe(res);
    PutU16le(&pe.Bytes[pe.ResourceFileOffset + 12], 0xFFFF);
    PutU16le(&pe.Bytes[pe.ResourceFileOffset + 14], 0xFFFF);
    TIconLibrary library;
    Load(pe.Bytes, library);  // garbage entries, but a bounded walk
    PeImage sections = BuildPe(res);
    PutU16le(&sections.Bytes[0x80 + 6], 0xFFFF);  // section count
    EXPECT_EQ(Load(sections.Bytes, library), "");
    EXPECT_EQ(library.Icons().Count(), 1);
}

TEST_F(BrokenPe, NamesAndDataOutsideTheFile) {
    PeImage pe = BuildPe(res);
    const ByteReader rd(pe.Bytes);
    const uint32_t groupTypeDir = *rd.u32le(EntryAt(pe, 0, 1) + 4) & 0x7FFFFFFF;
    auto broken = pe.Bytes;
    PutU32le(&broken[EntryAt(pe, groupTypeDir, 0)],
             0x80000000u | static_cast<uint32_t>(broken.size() - pe.ResourceFileOffset - 4));
    PutU16le(&broken[broken.size() - 4], 500);  // a name that runs past the end
    TIconLibrary library;
    EXPECT_EQ(Load(broken, library), "");
    EXPECT_EQ(library.Icons().Count(), 0);
    EXPECT_EQ(CountIcons(dir.File("x.dll")), 0);

    // The icon's data entry points far outside every section.
    auto far = pe.Bytes;
    const uint32_t iconTypeDir = *rd.u32le(EntryAt(pe, 0, 0) + 4) & 0x7FFFFFFF;
    const uint32_t iconLangDir = *rd.u32le(EntryAt(pe, iconTypeDir, 0) + 4) & 0x7FFFFFFF;
    const uint32_t iconData = *rd.u32le(EntryAt(pe, iconLangDir, 0) + 4);
    PutU32le(&far[pe.ResourceFileOffset + iconData], 0x7FFFFFF0u);
    EXPECT_EQ(Load(far, library), "找不到资源 1");

    // The resource directory lies in no section: a module without resources.
    auto nowhere = pe.Bytes;
    PutU32le(&nowhere[pe.ResourceDirectoryField], 0x00900000u);
    WriteBytes(dir.File("x.dll"), nowhere);
    EXPECT_EQ(CountIcons(dir.File("x.dll")), 0);
    TIconLibrary empty;
    EXPECT_EQ(LoadIcons(dir.File("x.dll"), empty), 0);

    // An icon resource and its group entry claiming far more than the section holds: the image
    // keeps the bytes up to the end of the section's data, no more.
    res[1].Data = GroupData({1}, 0xFFFFFFFFu);
    PeImage huge = BuildPe(res);
    PutU32le(&huge.Bytes[huge.ResourceFileOffset + iconData + 4], 0x7FFFFFFFu);
    const uint32_t iconAt = huge.ResourceFileOffset + *rd.u32le(pe.ResourceFileOffset + iconData) - pe.ResourceRva;
    EXPECT_EQ(Load(huge.Bytes, library), "");
    ASSERT_EQ(library.Icons().Count(), 1);
    EXPECT_EQ(library.Icons().Icon(0)->Images()[0]->Info().BytesInRes, huge.Bytes.size() - iconAt);
    EXPECT_NE(library.Icons().Icon(0)->Images()[0]->GetHandle(), nullptr);
}

TEST_F(BrokenPe, GroupsThatPromiseMoreThanTheyHold) {
    res[0].Data.clear();  // a zero-length icon resource
    auto group = GroupData({1, 1});
    group.resize(6 + 14 + 5);  // count 2, one and a bit entries
    res.push_back({RT_GROUP_ICON, false, 0, u"SHORT", 1033, group});
    res.push_back({RT_GROUP_ICON, false, 0, u"AZERO", 1033, GroupData({1})});
    PeImage pe = BuildPe(res);
    TIconLibrary library;
    EXPECT_EQ(Load(pe.Bytes, library), "流读取错误");
    res.pop_back();
    res.pop_back();
    res.push_back({RT_GROUP_ICON, false, 0, u"AZERO", 1033, GroupData({1})});
    res.push_back({RT_GROUP_ICON, false, 0, u"NOTICON", 1033, std::vector<uint8_t>{0, 0, 2, 0, 1, 0}});
    EXPECT_EQ(Load(BuildPe(res).Bytes, library), "");
    ASSERT_EQ(NamesOf(library), (std::vector<std::string>{"AZERO", "MAIN", "NOTICON"}));
    const TIconImage* zero = library.Icons().Icon(0)->Images()[0];
    EXPECT_EQ(zero->Info().BytesInRes, 0u);
    EXPECT_EQ(zero->Width(), 0);
    EXPECT_EQ(zero->GetHandle(), nullptr);
    EXPECT_EQ(library.Icons().Icon(2)->Images().Count(), 0);  // not an icon header: empty, still listed
}

TEST(ExecutableSignature, ReadsTheLowHalfOfTheNewHeaderOffset) {
    TempDir dir;
    std::vector<uint8_t> b(0x200, 0);
    b[0] = 'M';
    b[1] = 'Z';
    PutU32le(&b[0x3C], 0x00010080);  // 65536 + 0x80: only 0x80 is taken
    b[0x80] = 'N';
    b[0x81] = 'E';
    WriteBytes(dir.File("ne.exe"), b);
    bool isPE = true;
    EXPECT_TRUE(IsExecutableFile(dir.File("ne.exe"), isPE));
    EXPECT_FALSE(isPE);
    b[0x80] = 'P';
    WriteBytes(dir.File("pe.exe"), b);
    EXPECT_TRUE(IsExecutableFile(dir.File("pe.exe"), isPE));
    EXPECT_TRUE(isPE);
    b[0x80] = 'L';
    WriteBytes(dir.File("le.exe"), b);
    EXPECT_FALSE(IsExecutableFile(dir.File("le.exe"), isPE));
    WriteBytes(dir.File("mz"), {'M', 'Z'});
    EXPECT_FALSE(IsExecutableFile(dir.File("mz"), isPE));
    EXPECT_THROW(IsExecutableFile(dir.File("none"), isPE), EFOpenError);
}

TEST(IconList, NamingOwnershipAndRanges) {
    TIconList list;
    for (int i = 0; i < 5; ++i) list.AddIcon("图标 6", std::make_unique<TAdvancedIcon>());
    list.AddIcon("", std::make_unique<TAdvancedIcon>());
    EXPECT_EQ(list.Name(5), "图标 6");  // generated from the count, taken or not
    list.AddIcon("x", nullptr);
    EXPECT_EQ(list.Count(), 6);
    EXPECT_EQ(list.IndexOf("图标 6"), 0);
    list.AddIcon("Main", std::make_unique<TAdvancedIcon>());
    EXPECT_EQ(list.IndexOf("mAIN"), 6);
    EXPECT_EQ(list.IndexOf("other"), -1);
    try {
        list.Delete(7);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "列表索引超出范围 (7)");
    }
    list.Delete(0);
    EXPECT_EQ(list.Count(), 6);

    TIconList other;
    other.AddIcon("kept", std::make_unique<TAdvancedIcon>());
    TAdvancedIcon* moved = other.Icon(0);
    {
        TIconList source;
        source.AddIcon("a", std::make_unique<TAdvancedIcon>());
        list.Assign(other);
    }
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Icon(0), moved);
    EXPECT_EQ(other.Count(), 0);
}

TEST(IconLibraryLoad, FilesThatAreNotModulesLeaveTheLibraryAlone) {
    TempDir dir;
    TIconLibrary library;
    library.Icons().AddIcon("old", std::make_unique<TAdvancedIcon>());
    const auto five = MakeDib(MakePicture(32, 32), 24);
    WriteBytes(dir.File("a.ico"), MakeIco({{InfoFor(32, 24, five.size()), five}}));
    WriteBytes(dir.File("a.txt"), {'h', 'e', 'l', 'l', 'o'});
    std::vector<uint8_t> mz(0x100, 0);
    mz[0] = 'M';
    mz[1] = 'Z';
    WriteBytes(dir.File("dos.exe"), mz);
    for (const char* name : {"a.ico", "a.txt", "dos.exe", "missing"}) {
        library.LoadFromFile(dir.File(name));
        EXPECT_EQ(NamesOf(library), std::vector<std::string>{"old"}) << name;
        EXPECT_EQ(library.FileName(), "");
    }
    EXPECT_EQ(CountIcons(dir.File("a.ico")), 1);
    EXPECT_EQ(CountIcons(dir.File("a.txt")), 0);
    EXPECT_EQ(CountIcons(dir.File("dos.exe")), 0);
    EXPECT_EQ(CountIcons(dir.File("missing")), 0);
    EXPECT_EQ(CountIcons(dir.Path()), 0);
    EXPECT_THROW(LoadIcons(dir.File("missing"), library), EFOpenError);
}

TEST(IconLibraryLoad, NamedPipesAndDevicesAreNeverWaitedOn) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    bool isPE = false;
    EXPECT_FALSE(IsExecutableFile(dir.File("pipe"), isPE));
    EXPECT_EQ(CountIcons(dir.File("pipe")), 0);
    EXPECT_EQ(CountIcons("/dev/zero"), 0);
    TIconLibrary library;
    EXPECT_THROW(LoadIcons(dir.File("pipe"), library), EFOpenError);
    EXPECT_EQ(library.Icons().Count(), 0);
}
