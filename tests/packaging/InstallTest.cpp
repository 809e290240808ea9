// `cmake --install` of this build into a fresh prefix puts the programs, the thumbnailer entry,
// the desktop entry and the icon where a desktop looks for them.
#include "support/IconFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <string>

using namespace pictavo::test;

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR);
}

class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Prefix = new TempDir;
        const std::string cmd = ShellQuote(PICTAVO_CMAKE) + " --install " + ShellQuote(PICTAVO_BUILD_DIR) +
                                " --prefix " + ShellQuote(Prefix->Path()) + " >/dev/null";
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
    auto keys = ReadKeyFileGroup(Installed("share/applications/pictavo.desktop"), "Desktop Entry");
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
        const Picture icon = ReadPngFile(Installed("share/icons/hicolor/" + dim + "/apps/pictavo.png"));
        EXPECT_EQ(icon.Width, static_cast<int>(size)) << dim;
        EXPECT_EQ(icon.Height, static_cast<int>(size)) << dim;
    }
    const auto svg = ReadBytes(Installed("share/icons/hicolor/scalable/apps/pictavo.svg"));
    EXPECT_NE(std::string(svg.begin(), svg.end()).find("<svg "), std::string::npos);
}

TEST_F(InstallTest, ThumbnailerEntryGoesWhereFileManagersLook) {
    ASSERT_EQ(Status, 0);
    const auto installed = ReadBytes(Installed("share/thumbnailers/pictavo.thumbnailer"));
    ASSERT_FALSE(installed.empty());
    EXPECT_EQ(installed, ReadBytes(PICTAVO_SOURCE_DIR "/packaging/pictavo.thumbnailer"));
    const auto keys = ReadKeyFileGroup(Installed("share/thumbnailers/pictavo.thumbnailer"), "Thumbnailer Entry");
    EXPECT_EQ(keys.count("Exec"), 1u);
}
