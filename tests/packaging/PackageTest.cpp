// The Debian package CPack makes of this build: what `cmake --build BUILD --target package`
// runs, into a temporary folder. Its files with their modes and owner, its control fields with
// the Depends dpkg-shlibdeps worked out, and lintian's verdict where lintian is installed.
#include "packaging/PackagingFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace pictavo::test;

namespace {

// "-rwxr-xr-x" -> 0755.
unsigned ModeOf(const std::string& text) {
    unsigned mode = 0;
    for (size_t i = 1; i < text.size() && i < 10; ++i) mode = (mode << 1) | (text[i] != '-');
    return mode;
}

class PackageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!HaveProgram("dpkg-deb") || !HaveProgram("dpkg-shlibdeps")) return;
        Dir = new TempDir;
        std::string arch;
        RunShell("dpkg --print-architecture", arch);
        while (!arch.empty() && arch.back() == '\n') arch.pop_back();
        Deb = Dir->File("pictavo_" PICTAVO_VERSION "_" + arch + ".deb");
        KdeDeb = Dir->File("pictavo-kde-thumbnailer_" PICTAVO_VERSION "_" + arch + ".deb");
        Status = RunShell("cd " + ShellQuote(Dir->Path()) + " && " + ShellQuote(PICTAVO_CPACK) + " -G DEB --config " +
                              ShellQuote(PICTAVO_BUILD_DIR "/CPackConfig.cmake") + " -B " + ShellQuote(Dir->Path()),
                          Log);
    }
    static void TearDownTestSuite() {
        delete Dir;
        Dir = nullptr;
    }
    void SetUp() override {
        if (!Dir) GTEST_SKIP() << "dpkg-deb or dpkg-shlibdeps (dpkg-dev) is not installed";
        ASSERT_EQ(Status, 0) << Log;
        ASSERT_TRUE(FileExists(Deb)) << Log;
    }
    static std::string Field(const std::string& name, const std::string& deb = Deb) {
        std::string out;
        RunShell("dpkg-deb -f " + ShellQuote(deb) + " " + name, out);
        while (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }

    static inline TempDir* Dir = nullptr;
    static inline std::string Deb, KdeDeb, Log;
    static inline int Status = -1;
};

// The files and folders of a package with their modes, checking that root owns them and that
// they are plain files and folders.
std::map<std::string, unsigned> Contents(const std::string& deb) {
    std::string listing;
    EXPECT_EQ(RunShell("dpkg-deb -c " + ShellQuote(deb), listing), 0) << listing;
    std::map<std::string, unsigned> found;
    std::stringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        std::stringstream fields(line);
        std::string perms, owner, size, date, time, path;
        fields >> perms >> owner >> size >> date >> time >> path;
        EXPECT_EQ(owner, "root/root") << line;
        EXPECT_TRUE(perms[0] == '-' || perms[0] == 'd') << line;  // no links, no devices
        found[path] = ModeOf(perms);
    }
    return found;
}

// The files given (relative to /usr) with every folder on their way, as a package lists them.
std::map<std::string, unsigned> UnderUsr(const std::map<std::string, unsigned>& files) {
    std::map<std::string, unsigned> expected;
    for (const auto& [path, mode] : files) {
        expected["./usr/" + path] = mode;
        for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
            expected["./usr/" + path.substr(0, slash + 1)] = 0755;
    }
    expected["./usr/"] = 0755;
    return expected;
}

}  // namespace

TEST_F(PackageTest, ProgramsInUsrBinDataInUsrShare) {
    EXPECT_EQ(Contents(Deb), UnderUsr(ExpectedInstalledFiles(PICTAVO_INSTALLS_WINDOW)));
}

TEST_F(PackageTest, KdeThumbnailPluginInAPackageOfItsOwn) {
    const std::string pluginDir = PICTAVO_KDE_PLUGIN_DIR;
    if (pluginDir.empty()) {
        EXPECT_FALSE(FileExists(KdeDeb));
        GTEST_SKIP() << "the KDE thumbnail plugin is not built (no libkf5kio-dev)";
    }
    ASSERT_TRUE(FileExists(KdeDeb)) << Log;
    EXPECT_EQ(Contents(KdeDeb), UnderUsr(ExpectedKdePluginFiles(pluginDir)));
    EXPECT_EQ(Field("Package", KdeDeb), "pictavo-kde-thumbnailer");
    EXPECT_EQ(Field("Version", KdeDeb), PICTAVO_VERSION);
    EXPECT_EQ(Field("Enhances", KdeDeb), "dolphin");
    // KDE's and Qt 5's libraries are its Depends alone; pictavo needs none of them.
    const std::string depends = Field("Depends", KdeDeb);
    for (const char* library : {"libkf5kiogui5 (>=", "libqt5gui5 (>=", "libkf5coreaddons5 (>="})
        EXPECT_NE(depends.find(library), std::string::npos) << depends;
    for (const char* library : {"kf5", "qt5"}) EXPECT_EQ(Field("Depends").find(library), std::string::npos);
    // It draws no text: no font among its Depends. Its summary is its own.
    EXPECT_EQ(depends.find("fonts-"), std::string::npos) << depends;
    const std::string summary = Field("Description", KdeDeb), ownSummary = Field("Description");
    EXPECT_NE(summary.substr(0, summary.find('\n')), ownSummary.substr(0, ownSummary.find('\n')));
    if (HaveProgram("lintian")) {
        std::string out;
        RunShell("lintian --tag-display-limit 0 " + ShellQuote(KdeDeb), out);
        EXPECT_EQ(out.find("E: "), std::string::npos) << out;
        if (!out.empty()) std::cout << "lintian:\n" << out;
    }
}

TEST_F(PackageTest, ControlFieldsAndDependsFromTheBinaries) {
    EXPECT_EQ(Field("Package"), "pictavo");
    EXPECT_EQ(Field("Version"), PICTAVO_VERSION);
    EXPECT_EQ(Field("Section"), "graphics");
    EXPECT_NE(Field("Description").find("icons"), std::string::npos);
    const std::string depends = Field("Depends");
    std::vector<std::string> needed = {"libc6 (>=", "libpng16-16 (>="};
    if (PICTAVO_INSTALLS_WINDOW)
        for (const char* qt : {"libqt6core6 (>=", "libqt6gui6 (>=", "libqt6widgets6 (>="}) needed.push_back(qt);
    for (const auto& package : needed) EXPECT_NE(depends.find(package), std::string::npos) << depends;
    // The window is Chinese: a font that has it is needed, not only recommended.
    EXPECT_NE(depends.find("fonts-wqy-zenhei | fonts-noto-cjk"), std::string::npos) << depends;
    EXPECT_EQ(Field("Recommends").find("fonts-"), std::string::npos);
}

TEST_F(PackageTest, LintianFindsNoErrors) {
    if (!HaveProgram("lintian")) GTEST_SKIP() << "lintian is not installed";
    std::string out;
    RunShell("lintian --tag-display-limit 0 " + ShellQuote(Deb), out);
    EXPECT_EQ(out.find("E: "), std::string::npos) << out;
    if (!out.empty()) std::cout << "lintian:\n" << out;  // the warnings left, for the log
}
