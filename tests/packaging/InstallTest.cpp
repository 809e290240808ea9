// `cmake --install` of this build into a fresh prefix puts the programs, the thumbnailer entry,
// the desktop entry and the icon where a desktop looks for them.
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <png.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

using namespace pictavo::test;

namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR);
}

// The keys of the [Desktop Entry] group; an entry whose first group is another one gives none.
std::map<std::string, std::string> DesktopEntry(const std::string& path) {
    std::map<std::string, std::string> keys;
    std::ifstream in(path);
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            if (inGroup) break;
            if (line != "[Desktop Entry]") return {};
            inGroup = true;
        } else if (const size_t eq = line.find('='); inGroup && eq != std::string::npos) {
            keys[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return keys;
}

// Decodes a whole PNG file; false when it is not one. Its size goes to width and height.
bool DecodePng(const std::string& path, unsigned& width, unsigned& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    std::string pixels(PNG_IMAGE_SIZE(image), '\0');
    const bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    png_image_free(&image);
    width = image.width;
    height = image.height;
    return ok;
}

class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Prefix = new TempDir;
        const std::string cmd = Quote(PICTAVO_CMAKE) + " --install " + Quote(PICTAVO_BUILD_DIR) +
                                " --prefix " + Quote(Prefix->Path()) + " >/dev/null";
        const int raw = std::system(cmd.c_str());
        Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    static void TearDownTestSuite() {
        delete Prefix;
        Prefix = nullptr;
    }
    static std::string Installed(const std::string& relative) { return Prefix->File(relative); }

    static inline TempDir* Prefix = nullptr;
    static inline int Status = -1;
};

}  // namespace

TEST_F(InstallTest, ProgramsGoToBin) {
    ASSERT_EQ(Status, 0);
    EXPECT_TRUE(IsExecutableFile(Installed("bin/pictavo-cli")));
    if (PICTAVO_INSTALLS_WINDOW) {
        EXPECT_TRUE(IsExecutableFile(Installed("bin/pictavo")));
    }
}

TEST_F(InstallTest, DesktopEntryNamesTheProgramItsIconAndTheFilesItOpens) {
    if (!PICTAVO_INSTALLS_WINDOW) GTEST_SKIP() << "built without the window";
    ASSERT_EQ(Status, 0);
    auto keys = DesktopEntry(Installed("share/applications/pictavo.desktop"));
    ASSERT_FALSE(keys.empty());
    const std::map<std::string, std::string> exact = {
        {"Type", "Application"}, {"Name", "Pictavo"},        {"Exec", "pictavo %f"},
        {"Icon", "pictavo"},     {"Terminal", "false"},      {"Categories", "Graphics;Viewer;Utility;"},
        {"MimeType", "image/vnd.microsoft.icon;image/x-icon;application/x-ms-dos-executable;"
                     "application/x-msdownload;application/x-ms-ne-executable;"},
    };
    for (const auto& [key, value] : exact) EXPECT_EQ(keys[key], value) << key;
    for (const char* key : {"Name[zh_CN]", "GenericName", "GenericName[zh_CN]", "Comment", "Comment[zh_CN]"})
        EXPECT_FALSE(keys[key].empty()) << key;
}

TEST_F(InstallTest, IconAtEveryThemeSize) {
    if (!PICTAVO_INSTALLS_WINDOW) GTEST_SKIP() << "built without the window";
    ASSERT_EQ(Status, 0);
    for (unsigned size : {16u, 22u, 24u, 32u, 48u, 64u, 128u, 256u}) {
        const std::string dim = std::to_string(size) + "x" + std::to_string(size);
        unsigned width = 0, height = 0;
        EXPECT_TRUE(DecodePng(Installed("share/icons/hicolor/" + dim + "/apps/pictavo.png"), width, height)) << dim;
        EXPECT_EQ(width, size) << dim;
        EXPECT_EQ(height, size) << dim;
    }
    const auto svg = ReadBytes(Installed("share/icons/hicolor/scalable/apps/pictavo.svg"));
    EXPECT_NE(std::string(svg.begin(), svg.end()).find("<svg "), std::string::npos);
}

TEST_F(InstallTest, ThumbnailerEntryGoesWhereFileManagersLook) {
    ASSERT_EQ(Status, 0);
    const auto installed = ReadBytes(Installed("share/thumbnailers/pictavo.thumbnailer"));
    ASSERT_FALSE(installed.empty());
    EXPECT_EQ(installed, ReadBytes(PICTAVO_SOURCE_DIR "/packaging/pictavo.thumbnailer"));
    const std::string text(installed.begin(), installed.end());
    EXPECT_EQ(text.rfind("[Thumbnailer Entry]\n", 0), 0u);
    EXPECT_NE(text.find("\nExec=pictavo-cli thumbnail -s %s %i %o\n"), std::string::npos);
}
