#include "base/Streams.h"
#include "icons/IconTypes.h"
#include "library/IconLibrary.h"
#include "support/Catalog.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <png.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace pictavo::test;

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `program` (pictavo-cli or a copy of it). shellPrefix: shell commands run before the
// program in the same shell (e.g. "ulimit -n 9; ").
Result RunProgram(const std::string& program, const TempDir& dir, const std::vector<std::string>& args,
                  const std::string& shellPrefix) {
    std::string cmd = shellPrefix + ShellQuote(program);
    for (const auto& a : args) cmd += " " + ShellQuote(a);
    cmd += " 2>" + ShellQuote(dir.File("stderr.txt"));
    Result r;
    FILE* pipe = popen(cmd.c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream err(dir.File("stderr.txt"));
    std::stringstream ss;
    ss << err.rdbuf();
    r.err = ss.str();
    return r;
}

Result RunCli(const TempDir& dir, const std::vector<std::string>& args, const std::string& shellPrefix = "") {
    return RunProgram(PICTAVO_CLI, dir, args, shellPrefix);
}

std::vector<uint8_t> TwoImageIco() {
    const auto a = MakeDib(MakePicture(16, 16, 16), 4);
    const auto b = MakePng(MakePicture(48, 48, 0, true));
    return MakeIco({{InfoFor(16, 4, a.size()), a}, {InfoFor(48, 32, b.size()), b}});
}

}  // namespace

TEST(CliList, TextAndJson) {
    TempDir dir;
    WriteBytes(dir.File("app.icon.ico"), TwoImageIco());
    WriteBytes(dir.File("plain.txt"), {'h', 'i'});

    const Result text = RunCli(dir, {"list", dir.File("app.icon.ico")});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("[0] app.icon  (2 个图像)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("16 x 16 - 4bit"), std::string::npos);
    EXPECT_NE(text.out.find("48 x 48 - 32bit"), std::string::npos);

    const Result json =
        RunCli(dir, {"list", "--json", dir.File("app.icon.ico"), dir.File("plain.txt"), dir.File("missing.ico")});
    EXPECT_EQ(json.status, 1);
    const auto a = MakeDib(MakePicture(16, 16, 16), 4);
    const auto b = MakePng(MakePicture(48, 48, 0, true));
    const std::string expected = "[{\"file\": \"" + dir.File("app.icon.ico") +
                                 "\", \"icons\": [{\"index\": 0, \"name\": \"app.icon\", \"images\": ["
                                 "{\"width\": 16, \"height\": 16, \"bits\": 4, \"bytes\": " +
                                 std::to_string(a.size()) +
                                 ", \"png\": false}, "
                                 "{\"width\": 48, \"height\": 48, \"bits\": 32, \"bytes\": " +
                                 std::to_string(b.size()) +
                                 ", \"png\": true}]}]}, "
                                 "{\"file\": \"" +
                                 dir.File("plain.txt") +
                                 "\", \"error\": \"不是图标文件、可执行文件或图标库\"}, "
                                 "{\"file\": \"" +
                                 dir.File("missing.ico") + "\", \"error\": \"无法打开文件 \\\"" +
                                 dir.File("missing.ico") + "\\\". No such file or directory\"}]\n";
    EXPECT_EQ(json.out, expected);
    EXPECT_NE(json.err.find("missing.ico"), std::string::npos);
    EXPECT_EQ(std::count(json.err.begin(), json.err.end(), '\n'), 2);
}

TEST(CliExtract, WritesUniqueNamesAcrossTheRun) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.File("one").c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(dir.File("two").c_str(), 0777), 0);
    WriteBytes(dir.File("one/Icon.ico"), TwoImageIco());
    WriteBytes(dir.File("two/icon.ico"), TwoImageIco());
    WriteBytes(dir.File("two/ICON_1.ico"), TwoImageIco());
    const Result r = RunCli(dir, {"extract", "-o", dir.File("out/sub"), dir.File("one/Icon.ico"),
                                  dir.File("two/icon.ico"), dir.File("two/ICON_1.ico")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir.File("out/sub/Icon.ico") + "\n" + dir.File("out/sub/icon_1.ico") + "\n" +
                         dir.File("out/sub/ICON_1_1.ico") + "\n");
    EXPECT_EQ(ReadBytes(dir.File("out/sub/icon_1.ico")), TwoImageIco());
}

TEST(CliUsage, HelpAndBadUsage) {
    TempDir dir;
    const Result help = RunCli(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"list", "--json", "extract", "-o"}) EXPECT_NE(help.out.find(word), std::string::npos);
    EXPECT_EQ(RunCli(dir, {}).status, 2);
    EXPECT_EQ(RunCli(dir, {"frobnicate"}).status, 2);
    EXPECT_EQ(RunCli(dir, {"list"}).status, 2);
    EXPECT_EQ(RunCli(dir, {"list", "--bogus", "x"}).status, 2);
    EXPECT_EQ(RunCli(dir, {"extract", "x.ico"}).status, 2);
}

// After "--" every argument is a file, one named "-h" too; before it "-h" asks for help.
TEST(CliUsage, DoubleDashEndsTheOptions) {
    TempDir dir;
    WriteBytes(dir.File("-h"), TwoImageIco());
    const std::string here = "cd " + ShellQuote(dir.Path()) + " && ";
    struct Case {
        std::vector<std::string> args;
        std::string written;  // a file the command must have written, or empty
    };
    for (const Case& c : {Case{{"list", "--", "-h"}, ""}, Case{{"count", "--", "-h"}, ""},
                          Case{{"extract", "--png", "-o", "png", "--", "-h"}, "png/-h_48x48_32bit.png"},
                          Case{{"extract", "-o", "ico", "--", "-h"}, "ico/-h.ico"},
                          Case{{"icl", "-o", "lib.icl", "--", "-h"}, "lib.icl"},
                          Case{{"bmp", "--", "-h", "0", "0", "-h.bmp"}, "-h.bmp"},
                          Case{{"thumbnail", "--", "-h", "out.png"}, "out.png"},
                          Case{{"thumbnail", "-s", "16", "--", "-h", "--"}, "--"}}) {
        const Result r = RunCli(dir, c.args, here);
        EXPECT_EQ(r.status, 0) << c.args[0] << r.err;
        EXPECT_EQ(r.out.find("用法"), std::string::npos) << c.args[0];
        if (c.written.empty())
            EXPECT_NE(r.out.find("-h"), std::string::npos) << c.args[0] << r.out;
        else
            EXPECT_TRUE(FileExists(dir.File(c.written))) << c.written;
    }
    const Result help = RunCli(dir, {"list", "-h", "--", "x"}, here);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("用法"), std::string::npos);
}

TEST(CliCount, ExecutablesIconFilesAndOthers) {
    TempDir dir;
    const auto dib = MakeDib(MakePicture(16, 16, 16), 4);
    std::vector<PeResource> res;
    res.push_back({pictavo::RT_ICON, true, 1, {}, 1033, dib});
    res.push_back({pictavo::RT_GROUP_ICON, true, 9, {}, 1033, GroupData({1}, static_cast<uint32_t>(dib.size()))});
    res.push_back({pictavo::RT_GROUP_ICON, false, 0, u"APP", 1033, GroupData({1}, static_cast<uint32_t>(dib.size()))});
    WriteBytes(dir.File("lib.dll"), BuildPe(res, true).Bytes);
    WriteBytes(dir.File("a.ico"), TwoImageIco());
    WriteBytes(dir.File("b.txt"), {'x'});
    const Result r =
        RunCli(dir, {"count", dir.File("lib.dll"), dir.File("a.ico"), dir.File("b.txt"), dir.File("none")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "2\t" + dir.File("lib.dll") + "\n1\t" + dir.File("a.ico") + "\n0\t" + dir.File("b.txt") + "\n");
    EXPECT_NE(r.err.find(dir.File("none") + ": 无法打开文件"), std::string::npos) << r.err;

    const Result list = RunCli(dir, {"list", "--json", dir.File("lib.dll")});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("{\"index\": 0, \"name\": \"APP\", \"images\": [{\"width\": 16"), std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("{\"index\": 1, \"name\": \"9\""), std::string::npos);

    const Result extract = RunCli(dir, {"extract", "-o", dir.File("out"), dir.File("lib.dll"), dir.File("lib.dll")});
    EXPECT_EQ(extract.status, 0);
    EXPECT_EQ(extract.out, dir.File("out/APP.ico") + "\n" + dir.File("out/9.ico") + "\n" + dir.File("out/APP_1.ico") +
                               "\n" + dir.File("out/9_1.ico") + "\n");
}

TEST(CliExtract, PlantedLinksControlCharactersAndLongNames) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.File("out").c_str(), 0777), 0);
    WriteBytes(dir.File("victim"), {'v'});
    ASSERT_EQ(::symlink(dir.File("victim").c_str(), dir.File("out/evil.ico").c_str()), 0);
    WriteBytes(dir.File("evil.ico"), TwoImageIco());
    WriteBytes(dir.File("a\nb.ico"), TwoImageIco());
    const auto dib = MakeDib(MakePicture(16, 16, 16), 4);
    std::vector<PeResource> res;
    res.push_back({pictavo::RT_ICON, true, 1, {}, 1033, dib});
    res.push_back({pictavo::RT_GROUP_ICON, false, 0, std::u16string(300, u'图'), 1033,
                   GroupData({1}, static_cast<uint32_t>(dib.size()))});
    WriteBytes(dir.File("long.dll"), BuildPe(res).Bytes);

    const Result r = RunCli(
        dir, {"extract", "-o", dir.File("out"), dir.File("evil.ico"), dir.File("a\nb.ico"), dir.File("long.dll")});
    EXPECT_EQ(r.status, 0) << r.err;
    // The link counts as taken: the icon gets the next name, and the link's target is untouched.
    std::string cut;
    for (int i = 0; i < 83; ++i) cut += "图";  // 249 bytes: the most whole characters before ".ico"
    EXPECT_EQ(r.out, dir.File("out/evil_1.ico") + "\n" + dir.File("out/a_b.ico") + "\n" +
                         dir.File("out/" + cut + ".ico") + "\n");
    EXPECT_EQ(ReadBytes(dir.File("victim")), std::vector<uint8_t>{'v'});
    EXPECT_TRUE(FileExists(dir.File("out/" + cut + ".ico")));

    // Text output escapes what could forge a line; JSON stays JSON.
    const Result list = RunCli(dir, {"list", dir.File("a\nb.ico")});
    EXPECT_NE(list.out.find("[0] a\\nb  (2 个图像)"), std::string::npos) << list.out;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 4);
}

// Every command's error line escapes the control characters of its reason (which names the
// file), so that a file name can never forge a line of its own.
TEST(CliFailures, ErrorLinesEscapeControlCharacters) {
    TempDir dir;
    const std::string missing = dir.File("gone\nfake: line\x1b.ico");
    const std::vector<std::string> commands[] = {
        {"list", missing},
        {"extract", "-o", dir.File("out"), missing},
        {"icl", "-o", dir.File("lib.icl"), missing},
        {"count", missing},
        {"bmp", missing, "0", "0", dir.File("x.bmp")},
        {"thumbnail", missing, dir.File("x.png")},
        {"list", "--bogus\x01", missing},
    };
    for (const auto& args : commands) {
        const Result r = RunCli(dir, args);
        EXPECT_NE(r.status, 0) << args[0];
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << args[0] << ": " << r.err;
        EXPECT_EQ(r.err.find('\x01'), std::string::npos) << args[0] << ": " << r.err;
        EXPECT_EQ(r.err.find("\nfake"), std::string::npos) << args[0] << ": " << r.err;
        const bool escaped =
            r.err.find("\\nfake: line\\x1b") != std::string::npos || r.err.find("\\x01") != std::string::npos;
        EXPECT_TRUE(escaped) << args[0] << ": " << r.err;
    }
}

TEST(CliFailures, AreReportedWithExitStatusOne) {
    TempDir dir;
    WriteBytes(dir.File("a.ico"), TwoImageIco());
    WriteBytes(dir.File("text.txt"), {'h', 'i'});
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0666), 0);
    // A group whose header is not an icon header: an icon without images.
    std::vector<PeResource> res;
    res.push_back({pictavo::RT_GROUP_ICON, true, 1, {}, 1033, {0, 0, 2, 0, 0, 0}});
    WriteBytes(dir.File("empty.dll"), BuildPe(res).Bytes);
    // A library whose table announces an icon whose image bytes are cut off.
    {
        pictavo::TIconLibrary library;
        auto icon = std::make_unique<pictavo::TAdvancedIcon>();
        const auto bytes = TwoImageIco();
        pictavo::TSpanStream ico(bytes);
        ASSERT_TRUE(icon->LoadFromStream(ico));
        library.Icons().AddIcon("x", std::move(icon));
        library.SaveToFile(dir.File("cut.icl"));
        // Cut where the first image's bytes begin.
        const auto saved = ReadBytes(dir.File("cut.icl"));
        const auto first = MakeDib(MakePicture(16, 16, 16), 4);
        const auto at = std::search(saved.begin(), saved.end(), first.begin(), first.end());
        ASSERT_NE(at, saved.end());
        WriteBytes(dir.File("cut.icl"), std::vector<uint8_t>(saved.begin(), at));
    }

    const struct {
        std::vector<std::string> args;
        std::string err;  // what standard error holds
    } cases[] = {
        {{"list", dir.File("text.txt")}, "不是图标文件、可执行文件或图标库"},
        {{"list", dir.File("cut.icl")}, "没有找到图标资源"},
        {{"icl", "-o", dir.File("lib.icl"), dir.File("cut.icl"), dir.File("a.ico")}, "没有找到图标资源"},
        {{"count", dir.File("fifo"), dir.File("missing")}, "无法打开文件"},
        {{"icl", "-o", "/dev/null", dir.File("a.ico")}, "无法创建文件 \"/dev/null\""},
        {{"icl", "-o", dir.File("fifo"), dir.File("a.ico")}, "无法创建文件"},
        {{"extract", "-o", dir.File("none"), dir.File("empty.dll")}, "没有图像, 已跳过"},
    };
    for (const auto& c : cases) {
        const Result r = RunCli(dir, c.args);
        EXPECT_EQ(r.status, 1) << c.args[0] << " " << c.args[1];
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    struct stat st {};
    EXPECT_FALSE(FileExists(dir.File("none")));  // nothing written, no folder made
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    ASSERT_EQ(::lstat(dir.File("fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // Output that cannot be written is a failure too.
    const std::string cmd =
        ShellQuote(PICTAVO_CLI) + " list " + ShellQuote(dir.File("a.ico")) + " >/dev/full 2>/dev/null";
    const int raw = std::system(cmd.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
    for (const char* option : {"--version", "-V"}) {
        const Result version = RunCli(dir, {option});
        EXPECT_EQ(version.out, "pictavo-cli " PICTAVO_VERSION "\n") << option;
        EXPECT_EQ(version.status, 0) << option;
    }
}

TEST(CliSearch, FilesThatHoldIconsWithTheirColumns) {
    TempDir dir;
    ::mkdir(dir.File("a").c_str(), 0777);
    ::mkdir(dir.File("a/b").c_str(), 0777);
    ::mkdir(dir.File("c").c_str(), 0777);
    WriteBytes(dir.File("a/one.ico"), TwoImageIco());
    WriteBytes(dir.File("a/b/One.ICO"), TwoImageIco());  // the same name ignoring case
    WriteBytes(dir.File("a/b/big.ico"), TwoImageIco());
    WriteBytes(dir.File("a/notes.txt"), std::vector<uint8_t>(3000, 'x'));
    WriteBytes(dir.File("c/x.ico"), TwoImageIco());
    const size_t kb = (TwoImageIco().size() + 1023) / 1024;

    const Result flat = RunCli(dir, {"search", dir.File("a")});
    EXPECT_EQ(flat.status, 0);
    const auto lines = [](const std::string& text) {
        std::vector<std::string> out;
        std::stringstream ss(text);
        for (std::string line; std::getline(ss, line);) out.push_back(line);
        return out;
    };
    auto rows = lines(flat.out);
    ASSERT_EQ(rows.size(), 2u) << flat.out;
    EXPECT_EQ(rows[0].substr(0, 10), "one.ico\t1\t");
    EXPECT_EQ(rows[0].substr(rows[0].size() - (std::to_string(kb).size() + 1 + dir.File("a/").size())),
              std::to_string(kb) + "\t" + dir.File("a/"));
    EXPECT_EQ(rows[1], "文件夹: 1   文件: 2   图标: 1");

    const Result deep = RunCli(dir, {"search", "-r", "--mask", "*.ico", dir.File("a"), dir.File("c")});
    rows = lines(deep.out);
    ASSERT_EQ(rows.size(), 4u) << deep.out;  // One.ICO is a duplicate of one.ico
    EXPECT_EQ(rows[0].substr(0, 8), "one.ico\t");
    EXPECT_EQ(rows[1].substr(0, 8), "big.ico\t");
    EXPECT_EQ(rows[2].substr(0, 6), "x.ico\t");
    EXPECT_EQ(rows[3], "文件夹: 3   文件: 3   图标: 3");

    const Result all =
        RunCli(dir, {"search", "-r", "--keep-duplicates", "--json", "--mask", "*.ico;*.ICO", dir.File("a")});
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.out.rfind("[{\"name\": \"one.ico\", \"icons\": 1, \"time\": \"", 0), 0u) << all.out;
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '{'), 6);  // both masks match every name
    EXPECT_NE(all.err.find("文件夹: 2   文件: 6   图标: 6"), std::string::npos);

    EXPECT_EQ(RunCli(dir, {"search", dir.File("nope")}).status, 1);
    EXPECT_EQ(RunCli(dir, {"search"}).status, 2);
}

TEST(CliSearch, FoldersThatCannotBeEnteredAreNamedAndFailTheRun) {
    TempDir dir;
    std::string deep = dir.File("a");
    for (int i = 0; i < 20; ++i, deep += "/a") ::mkdir(deep.c_str(), 0777);
    WriteBytes(dir.File("a/top.ico"), TwoImageIco());
    // So few descriptors that the walk runs out of them a few levels down.
    const Result r = RunCli(dir, {"search", "-r", dir.File("a")}, "ulimit -n 12; ");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("top.ico\t1\t", 0), 0u) << r.out;
    const std::string message = "pictavo-cli search: 无法进入文件夹 \"" + dir.File("a/a/");
    ASSERT_EQ(r.err.rfind(message, 0), 0u) << r.err;
    EXPECT_NE(r.err.find("/\". ", message.size()), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

    EXPECT_EQ(RunCli(dir, {"search", "-r", dir.File("a")}).status, 0);
}

namespace {

// An icon of a 16 x 16 4-bit and 8-bit bitmap and a 32 x 32 PNG with alpha.
std::vector<uint8_t> ThreeImageIco() {
    const auto a = MakeDib(MakePicture(16, 16, 16), 4);
    const auto b = MakeDib(MakePicture(16, 16, 200), 8);
    const auto c = MakePng(MakePicture(32, 32, 0, true));
    return MakeIco({{InfoFor(16, 4, a.size()), a}, {InfoFor(16, 8, b.size()), b}, {InfoFor(32, 32, c.size()), c}});
}

// A PNG file read back with libpng as 0xAARRGGBB pixels; empty when it cannot be read.
std::vector<uint32_t> ReadPng(const std::string& path, int& width, int& height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> pixels(static_cast<size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return pixels;
}

}  // namespace

TEST(CliBmp, ImageOnItsBackgroundWithTheExtraRow) {
    TempDir dir;
    WriteBytes(dir.File("app.ico"), ThreeImageIco());
    // Sorted by depth the 32 x 32 PNG is the third image.
    const Result r = RunCli(dir, {"bmp", "--background", "102030", dir.File("app.ico"), "0", "2", dir.File("o.bmp")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto bmp = ReadBytes(dir.File("o.bmp"));
    ASSERT_GE(bmp.size(), 54u + 96u * 33u);
    const auto u32 = [&](size_t at) {
        return bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 | uint32_t(bmp[at + 3]) << 24;
    };
    EXPECT_EQ(u32(18), 32u);
    EXPECT_EQ(u32(22), 33u);
    // Rows are stored bottom-up: the extra row comes first, blue, green, red.
    for (size_t x = 0; x < 32; ++x) {
        EXPECT_EQ(bmp[54 + x * 3], 0x30);
        EXPECT_EQ(bmp[54 + x * 3 + 1], 0x20);
        EXPECT_EQ(bmp[54 + x * 3 + 2], 0x10);
    }
    EXPECT_EQ(RunCli(dir, {"bmp", dir.File("app.ico"), "0", "3", dir.File("p.bmp")}).status, 1);
    EXPECT_EQ(RunCli(dir, {"bmp", dir.File("app.ico"), "1", "0", dir.File("p.bmp")}).status, 1);
    EXPECT_EQ(RunCli(dir, {"bmp", dir.File("missing.ico"), "0", "0", dir.File("p.bmp")}).status, 1);
    EXPECT_FALSE(FileExists(dir.File("p.bmp")));
    EXPECT_EQ(RunCli(dir, {"bmp", "--background", "red", dir.File("app.ico"), "0", "0", dir.File("p.bmp")}).status, 2);
    EXPECT_EQ(RunCli(dir, {"bmp", dir.File("app.ico"), "x", "0", dir.File("p.bmp")}).status, 2);
}

TEST(CliExtract, PngImagesWithSizeAndDepthInTheirNames) {
    TempDir dir;
    WriteBytes(dir.File("app.ico"), ThreeImageIco());
    const Result all =
        RunCli(dir, {"extract", "--png", "-o", dir.File("all"), dir.File("app.ico"), dir.File("app.ico")});
    ASSERT_EQ(all.status, 0) << all.err;
    std::string expected;
    for (const char* suffix : {"", "_1"})
        for (const char* name : {"app_16x16_4bit", "app_16x16_8bit", "app_32x32_32bit"})
            expected += dir.File("all/") + name + suffix + ".png\n";
    EXPECT_EQ(all.out, expected);

    const Result small =
        RunCli(dir, {"extract", "--png", "--size", "16", "-o", dir.File("small"), dir.File("app.ico")});
    EXPECT_EQ(small.out, dir.File("small/app_16x16_4bit.png") + "\n" + dir.File("small/app_16x16_8bit.png") + "\n");
    EXPECT_EQ(RunCli(dir, {"extract", "--size", "16", "-o", dir.File("x"), dir.File("app.ico")}).status, 2);

    // An image that cannot be decoded is named; the others are still written.
    const auto bad = std::vector<uint8_t>(64, 0xEE);
    const auto good = MakePng(MakePicture(32, 32, 0, true));
    WriteBytes(dir.File("bad.ico"), MakeIco({{InfoFor(16, 8, bad.size()), bad}, {InfoFor(32, 32, good.size()), good}}));
    const Result partial = RunCli(dir, {"extract", "--png", "-o", dir.File("bad"), dir.File("bad.ico")});
    EXPECT_EQ(partial.status, 1);
    EXPECT_NE(partial.err.find("无法解码"), std::string::npos) << partial.err;
    EXPECT_EQ(partial.out, dir.File("bad/bad_32x32_32bit.png") + "\n");

    // The PNG keeps the picture's alpha; a bitmap's mask becomes alpha 0.
    int width = 0, height = 0;
    const Picture png = MakePicture(32, 32, 0, true);
    EXPECT_EQ(ReadPng(dir.File("all/app_32x32_32bit.png"), width, height), png.Colour);
    EXPECT_EQ(width, 32);
    EXPECT_EQ(height, 32);
    const Picture dib = MakePicture(16, 16, 16);
    const auto pixels = ReadPng(dir.File("small/app_16x16_4bit.png"), width, height);
    ASSERT_EQ(pixels.size(), 256u);
    for (size_t i = 0; i < pixels.size(); ++i) EXPECT_EQ(pixels[i] >> 24, dib.Mask[i] ? 0u : 255u) << i;

    // A picture that is not square keeps its own size (the window's label squares it).
    const Picture wide = MakePicture(76, 24, 0, true);
    const auto widePng = MakePng(wide);
    WriteBytes(dir.File("wide.ico"), MakeIco({{InfoFor(24, 32, widePng.size()), widePng}}));
    const Result whole = RunCli(dir, {"extract", "--png", "-o", dir.File("wide"), dir.File("wide.ico")});
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_EQ(whole.out, dir.File("wide/wide_76x24_32bit.png") + "\n");
    EXPECT_EQ(ReadPng(dir.File("wide/wide_76x24_32bit.png"), width, height), wide.Colour);
    EXPECT_EQ(width, 76);
    EXPECT_EQ(height, 24);
}

namespace {

// The run's locale: the variables given, the others that choose the language unset.
std::string WithLocale(const std::string& variables) {
    return "env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u LANG " + variables + " ";
}

// Whether text holds a CJK character (ideographs, their punctuation, full-width forms).
bool HasCjk(const std::string& text) {
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        const auto c = [&](size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(text[i + k])); };
        if ((c(0) & 0xF0) != 0xE0) continue;
        const unsigned point = ((c(0) & 0x0F) << 12) | ((c(1) & 0x3F) << 6) | (c(2) & 0x3F);
        if ((point >= 0x2E80 && point <= 0x9FFF) || (point >= 0xF900 && point <= 0xFAFF) ||
            (point >= 0xFF00 && point <= 0xFFEF))
            return true;
    }
    return false;
}

}  // namespace

// Under a Chinese locale and the system's untranslated ones, the usage text and the error lines
// are the program's own, byte for byte as before it had translations (help.zh.txt); under any
// other language they are English, with the catalog of the build folder, also where that
// language's locale is not installed and where LANGUAGE names only a language without one.
TEST(CliLanguage, UsageAndErrorsFollowTheLocale) {
    TempDir dir;
    const std::string missing = dir.File("missing.ico");
    const auto bytes = ReadBytes(PICTAVO_SOURCE_DIR "/tests/cli/help.zh.txt");
    const std::string usage(bytes.begin(), bytes.end());
    for (const char* locale : {"LANG=zh_CN.UTF-8", "LANG=C.UTF-8", "LC_ALL=C LANGUAGE=en",
                               "LANG=zh_TW LANGUAGE=zh_CN:en", "LANG=en_US.UTF-8 LC_MESSAGES=zh_CN.UTF-8"}) {
        const std::string env = WithLocale(locale);
        EXPECT_EQ(RunCli(dir, {"--help"}, env).out, usage) << locale;
        EXPECT_EQ(RunCli(dir, {"frobnicate"}, env).err, "pictavo-cli: 未知命令 frobnicate\n" + usage) << locale;
        EXPECT_EQ(RunCli(dir, {"list", missing}, env).err,
                  missing + ": 无法打开文件 \"" + missing + "\". No such file or directory\n")
            << locale;
    }
    for (const char* locale : {"LANG=en_US.UTF-8", "LANG=fr_FR.UTF-8 LANGUAGE=fr", "LANG=zh_CN.UTF-8 LANGUAGE=de:zh_CN",
                               "LC_ALL=C.UTF-8 LANGUAGE=en"}) {
        const std::string env = WithLocale(locale);
        const Result help = RunCli(dir, {"--help"}, env);
        EXPECT_EQ(help.out.rfind("Usage: pictavo-cli COMMAND", 0), 0u) << locale << help.out;
        EXPECT_FALSE(HasCjk(help.out)) << locale << help.out;
        EXPECT_EQ(RunCli(dir, {"frobnicate"}, env).err, "pictavo-cli: Unknown command frobnicate\n" + help.out)
            << locale;
        EXPECT_EQ(RunCli(dir, {"list", missing}, env).err,
                  missing + ": Cannot open file \"" + missing + "\". No such file or directory\n")
            << locale;
        const Result usageError = RunCli(dir, {"thumbnail", "a.ico"}, env);
        EXPECT_EQ(usageError.status, 2);
        EXPECT_FALSE(HasCjk(usageError.err)) << locale << usageError.err;
    }
}

// --json writes the same bytes in every language, error texts included (the program's own);
// the lines for people carry the counts with the English plural.
TEST(CliLanguage, JsonTheSameInEveryLanguage) {
    TempDir dir;
    WriteBytes(dir.File("two.ico"), TwoImageIco());
    const auto one = MakePng(MakePicture(32, 32, 0, true));
    WriteBytes(dir.File("one.ico"), MakeIco({{InfoFor(32, 32, one.size()), one}}));
    WriteBytes(dir.File("plain.txt"), {'h', 'i'});
    const std::vector<std::string> files = {dir.File("two.ico"), dir.File("one.ico"), dir.File("plain.txt"),
                                            dir.File("missing.ico")};
    std::vector<std::string> json = {"list", "--json"};
    json.insert(json.end(), files.begin(), files.end());
    const Result chinese = RunCli(dir, json, WithLocale("LANG=zh_CN.UTF-8"));
    const Result english = RunCli(dir, json, WithLocale("LANG=en_US.UTF-8"));
    EXPECT_EQ(english.status, 1);
    EXPECT_EQ(english.out, chinese.out);
    EXPECT_NE(english.out.find("\"error\": \"不是图标文件、可执行文件或图标库\""), std::string::npos) << english.out;
    EXPECT_NE(english.out.find("\"error\": \"无法打开文件 \\\""), std::string::npos) << english.out;
    EXPECT_NE(english.err.find(dir.File("plain.txt") + ": Not an icon file, executable or icon library\n"),
              std::string::npos)
        << english.err;

    std::vector<std::string> list = {"list"};
    list.insert(list.end(), files.begin(), files.begin() + 2);
    const std::string text = RunCli(dir, list, WithLocale("LANG=en_US.UTF-8")).out;
    EXPECT_NE(text.find("[0] two  (2 images)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[0] one  (1 image)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("32 x 32 - 32bit  " + std::to_string(one.size()) + " bytes  PNG\n"), std::string::npos) << text;
    EXPECT_FALSE(HasCjk(text)) << text;
}

// A catalog made where a walk up from the program would find one (share/locale above a copy of
// the program in a folder others can write, as a build in /tmp/build has /tmp above it; locale/
// beside it or above it) is never read: the copy prints what it printed before, neither the
// catalog's well-formed translations nor those printf cannot take (sixteen %s, %n).
TEST(CliLanguage, CatalogsFoundFromTheProgramsPlaceAreNotRead) {
    TempDir dir;
    const std::string program = dir.File("bin/pictavo-cli");
    std::filesystem::create_directories(dir.File("bin"));
    std::filesystem::copy_file(PICTAVO_CLI, program);
    WriteBytes(dir.File("two.ico"), TwoImageIco());
    const std::vector<std::vector<std::string>> runs = {
        {"--help"}, {"frobnicate"}, {"list", dir.File("two.ico")}, {"list", dir.File("missing.ico")}};
    auto runAll = [&] {
        std::vector<Result> results;
        for (const auto& args : runs) results.push_back(RunProgram(program, dir, args, WithLocale("LANG=en_US.UTF-8")));
        return results;
    };
    const std::vector<Result> before = runAll();
    ASSERT_EQ(before[0].status, 0) << before[0].err;

    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += "%s";
    using namespace std::string_literals;
    const auto hostile = MakeCatalog({
        {"未知命令 %s", "Planted %s"},
        {"无法打开文件 \"%s\". %s", "Planted " + sixteen},
        {"(%d 个图像)\0(%d 个图像)"s, "Planted %n\0Planted %n"s},
        {"%u 字节\0%u 字节"s, "Planted %u\0Planted %u"s},
    });
    for (const char* folder : {"share/locale", "bin/locale", "locale"}) {
        std::filesystem::create_directories(dir.File(folder) + "/en/LC_MESSAGES");
        WriteBytes(dir.File(folder) + "/en/LC_MESSAGES/pictavo.mo", hostile);
    }
    const std::vector<Result> after = runAll();
    for (size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(after[i].status, before[i].status) << runs[i][0] << after[i].err;
        EXPECT_TRUE(after[i].out == before[i].out && after[i].err == before[i].err)
            << runs[i][0] << " prints:\n"
            << (after[i].out + after[i].err).substr(0, 300);
    }
    // The program's folder when it is a build folder of the program's owner (CMake's cache in
    // it, nobody else may write it) has its own catalogs read; not once others may write it.
    namespace fs = std::filesystem;
    WriteBytes(dir.File("bin/CMakeCache.txt"), std::vector<uint8_t>{});
    const auto unknownCommand = [&] {
        return RunProgram(program, dir, {"frobnicate"}, WithLocale("LANG=en_US.UTF-8"));
    };
    fs::permissions(dir.File("bin"), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
    EXPECT_NE(unknownCommand().err.find("Planted frobnicate"), std::string::npos);
    fs::permissions(dir.File("bin"), fs::perms::others_write, fs::perm_options::add);
    EXPECT_EQ(unknownCommand().err, before[1].err);
}
