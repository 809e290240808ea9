// pictavo-cli thumbnail as file managers run it: through the installed thumbnailer entry's
// Exec line, with its usage errors and with files it cannot draw.
#include "support/IconFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <png.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace pictavo::test;

namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command line; the exit status, and what it wrote to stderr in `err`.
int Shell(const std::string& command, const TempDir& dir, std::string& err) {
    const int raw = std::system((command + " 2>" + Quote(dir.File("stderr.txt"))).c_str());
    std::ifstream in(dir.File("stderr.txt"));
    std::stringstream ss;
    ss << in.rdbuf();
    err = ss.str();
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

int Thumbnail(const std::vector<std::string>& args, const TempDir& dir, std::string& err) {
    std::string command = Quote(PICTAVO_CLI) + " thumbnail";
    for (const auto& a : args) command += " " + Quote(a);
    return Shell(command, dir, err);
}

// The keys of a key file's first group, which must be `group`.
std::map<std::string, std::string> KeyFileGroup(const std::string& path, const std::string& group) {
    std::map<std::string, std::string> keys;
    std::ifstream in(path);
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            if (inGroup || line != "[" + group + "]") break;
            inGroup = true;
        } else if (const size_t eq = line.find('='); inGroup && eq != std::string::npos) {
            keys[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return keys;
}

// The RGBA pixels of a PNG file; empty when it is not one.
std::vector<uint32_t> ReadPng(const std::string& path, unsigned& width, unsigned& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> pixels(PNG_IMAGE_SIZE(image) / 4);
    const bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    png_image_free(&image);
    width = image.width;
    height = image.height;
    return ok ? pixels : std::vector<uint32_t>{};
}

std::vector<std::string> FolderEntries(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* d = opendir(path.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// An .ico file of a 16-pixel image and an opaque 64-pixel one of a single colour.
std::vector<uint8_t> IconFile(uint32_t colour) {
    Picture big{64, 64, std::vector<uint32_t>(64 * 64, colour), std::vector<uint8_t>(64 * 64, 0)};
    const auto small = MakeDib(MakePicture(16, 16, 16), 4), large = MakePng(big);
    return MakeIco({{InfoFor(16, 4, small.size()), small}, {InfoFor(64, 32, large.size()), large}});
}

}  // namespace

TEST(CliThumbnail, TheThumbnailerEntryRunAsFileManagersFillIt) {
    const auto keys = KeyFileGroup(PICTAVO_SOURCE_DIR "/packaging/pictavo.thumbnailer", "Thumbnailer Entry");
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys.at("TryExec"), "pictavo-cli");
    for (const char* type : {"image/vnd.microsoft.icon;", "application/x-ms-dos-executable;"})
        EXPECT_NE(keys.at("MimeType").find(type), std::string::npos) << type;
    // %s the size, %i the input path, %o the output path, each passed as one argument; the
    // program named is this build's.
    std::string exec = keys.at("Exec");
    ASSERT_EQ(exec.rfind("pictavo-cli ", 0), 0u) << exec;
    exec.replace(0, std::string("pictavo-cli").size(), Quote(PICTAVO_CLI));
    TempDir dir;
    WriteBytes(dir.File("my icon's.ico"), IconFile(0xFF3366CC));
    const std::map<char, std::string> fields = {
        {'s', "48"}, {'i', Quote(dir.File("my icon's.ico"))}, {'o', Quote(dir.File("out 1.png"))}, {'%', "%"}};
    std::string command;
    for (size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] == '%' && i + 1 < exec.size() && fields.count(exec[i + 1])) command += fields.at(exec[++i]);
        else command += exec[i];
    }
    std::string err;
    ASSERT_EQ(Shell(command, dir, err), 0) << command << '\n' << err;
    unsigned width = 0, height = 0;
    const auto pixels = ReadPng(dir.File("out 1.png"), width, height);
    ASSERT_EQ(pixels.size(), 48u * 48u);
    EXPECT_EQ(width, 48u);
    EXPECT_EQ(height, 48u);
    EXPECT_EQ(pixels[24 * 48 + 24], 0xFF3366CCu);  // the 64-pixel image scaled down
}

TEST(CliThumbnail, FileUriAndDefaultSize) {
    TempDir dir;
    WriteBytes(dir.File("a b.ico"), IconFile(0xFF00AA00));
    std::string err;
    ASSERT_EQ(Thumbnail({"file://" + dir.Path() + "/a%20b.ico", dir.File("t.png")}, dir, err), 0) << err;
    unsigned width = 0, height = 0;
    const auto pixels = ReadPng(dir.File("t.png"), width, height);
    EXPECT_EQ(width, 128u);
    ASSERT_EQ(pixels.size(), 128u * 128u);
    EXPECT_EQ(pixels[64 * 128 + 64], 0xFF00AA00u);
}

TEST(CliThumbnail, UsageErrors) {
    TempDir dir;
    WriteBytes(dir.File("a.ico"), IconFile(0xFF000000));
    std::string err;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-s", "0", dir.File("a.ico"), dir.File("t.png")},
          {"-s", "1025", dir.File("a.ico"), dir.File("t.png")},
          {"-s", "12x", dir.File("a.ico"), dir.File("t.png")},
          {"-s", "", dir.File("a.ico"), dir.File("t.png")},
          {dir.File("a.ico")},
          {"--bogus", dir.File("a.ico"), dir.File("t.png")}}) {
        EXPECT_EQ(Thumbnail(args, dir, err), 2) << args[0];
        EXPECT_NE(err.find("thumbnail"), std::string::npos);
    }
    EXPECT_FALSE(FileExists(dir.File("t.png")));
    EXPECT_EQ(Thumbnail({"-s", "1024", dir.File("a.ico"), dir.File("t.png")}, dir, err), 0) << err;
}

TEST(CliThumbnail, NothingWrittenForFilesItCannotDraw) {
    TempDir dir;
    const auto ico = IconFile(0xFF000000);
    WriteBytes(dir.File("cut.ico"), std::vector<uint8_t>(ico.begin(), ico.begin() + ico.size() / 2));
    WriteBytes(dir.File("plain.txt"), {'h', 'i'});
    WriteBytes(dir.File("empty.ico"), {0, 0, 1, 0, 0, 0});
    const std::string out = dir.File("out");
    ASSERT_EQ(::mkdir(out.c_str(), 0777), 0);
    for (const std::string& input : {dir.File("cut.ico"), dir.File("plain.txt"), dir.File("empty.ico"),
                                     dir.File("missing.ico"), dir.Path(), std::string("http://example.org/a.ico")}) {
        std::string err;
        EXPECT_EQ(Thumbnail({input, out + "/t.png"}, dir, err), 1) << input;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.rfind(input + ": ", 0), 0u) << err;
        EXPECT_TRUE(FolderEntries(out).empty()) << input;  // no output, no temporary file
    }
}
