// `cmake --install` of this build: staged with DESTDIR under umask 000, as a package build
// does, and straight into a prefix under umask 077, as a user does. Every file lands with its
// own mode whatever the umask; the straight install brings "Open with" up to date, the staged
// one leaves the caches to the package; the entries validate and the binaries are hardened. A
// third install, into a prefix whose icons already have a cache, brings that cache up to date.
#include "base/LanguageConfig.h"
#include "packaging/PackagingFixtures.h"
#include "support/IconFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>

using namespace pictavo::test;
namespace fs = std::filesystem;

namespace {

const std::string kAppId = "io.github.pictavo.Pictavo";

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream ss(text);
    for (std::string item; std::getline(ss, item, ';');)
        if (!item.empty()) items.push_back(item);
    return items;
}

std::string ReadText(const std::string& path) {
    const auto bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Relative path -> permission bits of every entry below root; folders end in "/".
std::map<std::string, unsigned> Tree(const std::string& root) {
    std::map<std::string, unsigned> entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0) continue;
        std::string relative = fs::relative(it->path(), root).string();
        if (S_ISDIR(st.st_mode))
            relative += "/";
        else if (!S_ISREG(st.st_mode))
            relative += " (not a regular file)";
        entries[relative] = st.st_mode & 07777;
    }
    return entries;
}

class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Root = new TempDir;
        const std::string install = ShellQuote(PICTAVO_CMAKE) + " --install " + ShellQuote(PICTAVO_BUILD_DIR);
        StagedStatus = RunShell(
            "umask 000 && DESTDIR=" + ShellQuote(Root->File("stage")) + " " + install + " --prefix /usr", StagedLog);
        DirectStatus =
            RunShell("umask 077 && env -u DESTDIR " + install + " --prefix " + ShellQuote(Prefix()), DirectLog);
        // A prefix whose hicolor folder has a cache listing another program's icon.
        if (PICTAVO_INSTALLS_WINDOW && HaveProgram("gtk-update-icon-cache")) {
            const std::string icons = Root->File("cached/share/icons/hicolor");
            fs::create_directories(icons + "/48x48/apps");
            WriteBytes(icons + "/48x48/apps/other-program.png", MakePng(MakePicture(48, 48)));
            CachedStatus =
                RunShell("gtk-update-icon-cache -q -f -t " + ShellQuote(icons) + " && umask 077 && env -u DESTDIR " +
                             install + " --prefix " + ShellQuote(Root->File("cached")),
                         CachedLog);
        }
    }
    static void TearDownTestSuite() {
        delete Root;
        Root = nullptr;
    }
    static std::string Prefix() { return Root->File("prefix"); }
    static std::string Installed(const std::string& relative) { return Prefix() + "/" + relative; }

    static inline TempDir* Root = nullptr;
    static inline int StagedStatus = -1, DirectStatus = -1, CachedStatus = -1;
    static inline std::string StagedLog, DirectLog, CachedLog;
};

}  // namespace

TEST_F(InstallTest, EveryFileWithItsModeWhateverTheUmask) {
    ASSERT_EQ(StagedStatus, 0) << StagedLog;
    ASSERT_EQ(DirectStatus, 0) << DirectLog;
    const auto files = ExpectedInstalledFiles(PICTAVO_INSTALLS_WINDOW, PICTAVO_KDE_PLUGIN_DIR);
    struct Install {
        std::string root;
        std::map<std::string, unsigned> expected;
    };
    Install staged{Root->File("stage"), {}}, direct{Prefix(), files};
    for (const auto& [path, mode] : files) staged.expected["usr/" + path] = mode;
    // Only the straight install updates "Open with", where its tool exists. It makes no icon
    // cache, which GTK would trust over the folders ever after.
    if (PICTAVO_INSTALLS_WINDOW && HaveProgram("update-desktop-database"))
        direct.expected["share/applications/mimeinfo.cache"] = 0644;
    for (Install* install : {&staged, &direct}) {
        // Every folder on the way is 0755: never writable by others (umask 000), never hidden
        // from them (umask 077).
        for (const auto& [path, mode] : std::map<std::string, unsigned>(install->expected))
            for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
                install->expected[path.substr(0, slash + 1)] = 0755;
        const auto tree = Tree(install->root);
        for (const auto& [path, mode] : install->expected) {
            const auto found = tree.find(path);
            if (found == tree.end())
                ADD_FAILURE() << install->root << ": missing " << path;
            else if (found->second != mode)
                ADD_FAILURE() << install->root << ": " << path << " has mode " << std::oct << found->second << ", not "
                              << mode;
        }
        for (const auto& [path, mode] : tree)
            EXPECT_TRUE(install->expected.count(path)) << install->root << ": unexpected " << path;
    }
    std::string out;
    EXPECT_EQ(RunShell(ShellQuote(Installed("bin/pictavo-cli")) + " --version", out), 0);
    EXPECT_EQ(out, "pictavo-cli " PICTAVO_VERSION "\n");
    // The installed program reads its catalog from the install folders the build was configured
    // for, never from beside itself: under another prefix, the English catalog installed there
    // is not read.
    EXPECT_EQ(RunShell("env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG=en_US.UTF-8 " +
                           ShellQuote(Installed("bin/pictavo-cli")) + " frobnicate",
                       out),
              2);
    ASSERT_TRUE(FileExists(Installed("share/locale/en/LC_MESSAGES/pictavo.mo")));
    const bool configuredHasEnglish = FileExists(PICTAVO_LOCALEDIR "/en/LC_MESSAGES/pictavo.mo") ||
                                      FileExists(PICTAVO_PACKAGE_LOCALEDIR "/en/LC_MESSAGES/pictavo.mo");
    EXPECT_EQ(out.rfind(configuredHasEnglish ? "pictavo-cli: Unknown command frobnicate\n"
                                             : "pictavo-cli: 未知命令 frobnicate\n",
                        0),
              0u)
        << out;
}

TEST_F(InstallTest, DesktopEntryOpensWhatTheThumbnailerDraws) {
    if (!PICTAVO_INSTALLS_WINDOW) GTEST_SKIP() << "built without the window";
    ASSERT_EQ(DirectStatus, 0) << DirectLog;
    auto keys = ReadKeyFileGroup(Installed("share/applications/" + kAppId + ".desktop"), "Desktop Entry");
    ASSERT_FALSE(keys.empty());
    const std::map<std::string, std::string> exact = {
        {"Type", "Application"},
        {"Name", "Pictavo"},
        {"Exec", "pictavo %f"},
        {"Icon", "pictavo"},
        {"Terminal", "false"},
        {"Categories", "Graphics;Viewer;"},
        // The class of the window's WM_CLASS (the application's name), which docks and
        // launchers match the running window to its entry by; Qt ends startup notification.
        {"StartupWMClass", "Quarn Pictavo"},
        {"StartupNotify", "true"},
    };
    for (const auto& [key, value] : exact) EXPECT_EQ(keys[key], value) << key;
    for (const char* key : {"Name[zh_CN]", "GenericName", "GenericName[zh_CN]", "Comment", "Comment[zh_CN]"})
        EXPECT_FALSE(keys[key].empty()) << key;
    // "Open with" offers Pictavo for every file it draws thumbnails of.
    const auto thumbnailer = ReadKeyFileGroup(Installed("share/thumbnailers/pictavo.thumbnailer"), "Thumbnailer Entry");
    EXPECT_EQ(SplitList(keys["MimeType"]), SplitList(thumbnailer.at("MimeType")));
    // The type file(1), and so xdg-mime outside a desktop, gives 16-bit executables and .icl
    // libraries.
    const auto types = SplitList(keys["MimeType"]);
    EXPECT_NE(std::find(types.begin(), types.end(), "image/x-ms-icl"), types.end());
    EXPECT_EQ(ReadBytes(Installed("share/thumbnailers/pictavo.thumbnailer")),
              ReadBytes(PICTAVO_SOURCE_DIR "/packaging/pictavo.thumbnailer"));
}

TEST_F(InstallTest, IconAtEveryThemeSize) {
    if (!PICTAVO_INSTALLS_WINDOW) GTEST_SKIP() << "built without the window";
    ASSERT_EQ(DirectStatus, 0) << DirectLog;
    for (unsigned size : {16u, 22u, 24u, 32u, 48u, 64u, 128u, 256u}) {
        const std::string dim = std::to_string(size) + "x" + std::to_string(size);
        const Picture icon = ReadPngFile(Installed("share/icons/hicolor/" + dim + "/apps/pictavo.png"));
        EXPECT_EQ(icon.Width, static_cast<int>(size)) << dim;
        EXPECT_EQ(icon.Height, static_cast<int>(size)) << dim;
    }
    EXPECT_NE(ReadText(Installed("share/icons/hicolor/scalable/apps/pictavo.svg")).find("<svg "), std::string::npos);
}

// An icon cache that was there lists Pictavo's icon beside what it listed before, readable by all.
TEST_F(InstallTest, AnExistingIconCacheIsBroughtUpToDate) {
    if (!PICTAVO_INSTALLS_WINDOW) GTEST_SKIP() << "built without the window";
    if (!HaveProgram("gtk-update-icon-cache")) GTEST_SKIP() << "gtk-update-icon-cache is not installed";
    ASSERT_EQ(CachedStatus, 0) << CachedLog;
    const std::string cache = Root->File("cached/share/icons/hicolor/icon-theme.cache");
    const std::string text = ReadText(cache);
    for (const char* icon : {"pictavo", "other-program"}) EXPECT_NE(text.find(icon), std::string::npos) << icon;
    struct stat st {};
    ASSERT_EQ(::stat(cache.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

// Without DESTDIR the install maps each type to the entry in mimeinfo.cache, which is all GIO
// and xdg-open consult.
TEST_F(InstallTest, OpenWithRegisteredByAStraightInstall) {
    if (!PICTAVO_INSTALLS_WINDOW) GTEST_SKIP() << "built without the window";
    if (!HaveProgram("update-desktop-database")) GTEST_SKIP() << "update-desktop-database is not installed";
    ASSERT_EQ(DirectStatus, 0) << DirectLog;
    auto cache = ReadKeyFileGroup(Installed("share/applications/mimeinfo.cache"), "MIME Cache");
    const auto entry = ReadKeyFileGroup(Installed("share/applications/" + kAppId + ".desktop"), "Desktop Entry");
    ASSERT_FALSE(entry.at("MimeType").empty());
    for (const auto& type : SplitList(entry.at("MimeType"))) {
        const auto apps = SplitList(cache[type]);
        EXPECT_NE(std::find(apps.begin(), apps.end(), kAppId + ".desktop"), apps.end()) << type;
    }
}

TEST_F(InstallTest, MetainfoNamesTheEntryBothProgramsAndTheTypes) {
    if (!PICTAVO_INSTALLS_WINDOW) GTEST_SKIP() << "built without the window";
    ASSERT_EQ(DirectStatus, 0) << DirectLog;
    const std::string xml = ReadText(Installed("share/metainfo/" + kAppId + ".metainfo.xml"));
    const auto entry = ReadKeyFileGroup(Installed("share/applications/" + kAppId + ".desktop"), "Desktop Entry");
    std::vector<std::string> wanted = {"<id>" + kAppId + "</id>",
                                       "<launchable type=\"desktop-id\">" + kAppId + ".desktop</launchable>",
                                       "<project_license>MIT</project_license>",
                                       "<binary>pictavo</binary>",
                                       "<binary>pictavo-cli</binary>",
                                       "<release version=\"" PICTAVO_VERSION "\"",
                                       "<summary xml:lang=\"zh-CN\">",
                                       "<content_rating type=\"oars-1.1\"/>",
                                       "docs/screenshot-main.png</image>"};
    for (const auto& type : SplitList(entry.at("MimeType"))) wanted.push_back("<mediatype>" + type + "</mediatype>");
    for (const auto& text : wanted) EXPECT_NE(xml.find(text), std::string::npos) << text;
}

// The validators distributions run, where they are installed (the README's test command
// installs them).
TEST_F(InstallTest, ValidatorsAcceptTheEntriesAndManualPages) {
    ASSERT_EQ(DirectStatus, 0) << DirectLog;
    struct Check {
        bool window;
        const char* program;
        std::string command;  // run when `program` is installed; must print nothing on stderr
    };
    const std::string man = "LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l ";
    int ran = 0;
    for (const Check& check :
         {Check{true, "desktop-file-validate",
                "desktop-file-validate " + ShellQuote(Installed("share/applications/" + kAppId + ".desktop"))},
          Check{true, "appstreamcli",
                "appstreamcli validate --no-net " +
                    ShellQuote(Installed("share/metainfo/" + kAppId + ".metainfo.xml")) + " >/dev/null"},
          Check{false, "man", man + ShellQuote(Installed("share/man/man1/pictavo-cli.1.gz")) + " >/dev/null"},
          Check{true, "man", man + ShellQuote(Installed("share/man/man1/pictavo.1.gz")) + " >/dev/null"}}) {
        if ((check.window && !PICTAVO_INSTALLS_WINDOW) || !HaveProgram(check.program)) continue;
        std::string out;
        EXPECT_EQ(RunShell(check.command, out), 0) << check.command << '\n' << out;
        EXPECT_EQ(out, "") << check.command;
        ++ran;
    }
    if (ran == 0) GTEST_SKIP() << "no validator installed";
}

TEST_F(InstallTest, BashCompletionOffersCommandsOptionsAndFiles) {
    ASSERT_EQ(DirectStatus, 0) << DirectLog;
    TempDir dir;
    WriteBytes(dir.File("-h.ico"), {0});
    WriteBytes(dir.File("a.dll"), {0});
    ASSERT_EQ(::mkdir(dir.File("sub").c_str(), 0755), 0);
    const std::map<std::string, std::string> cases = {
        {"pictavo-cli ex", "extract"},
        {"pictavo-cli thumbnail -", "-s --size -- --help"},
        {"pictavo-cli search --m", "--mask"},
        {"pictavo-cli list a", "a.dll"},
        {"pictavo-cli thumbnail -- -", "-h.ico"},  // after "--" a word is a file
        {"pictavo-cli search ''", "sub"},          // folders only
        {"pictavo-cli extract -o ''", "sub"},
    };
    for (const auto& [line, expected] : cases) {
        const std::string script = "cd " + ShellQuote(dir.Path()) + " && . " +
                                   ShellQuote(Installed("share/bash-completion/completions/pictavo-cli")) +
                                   " && COMP_WORDS=(" + line + ") && COMP_CWORD=$((${#COMP_WORDS[@]} - 1))" +
                                   " && _pictavo_cli && echo \"${COMPREPLY[*]}\"";
        std::string out;
        EXPECT_EQ(RunShell("bash -c " + ShellQuote(script), out), 0) << line << out;
        EXPECT_EQ(out, expected + "\n") << line;
    }
}

// zsh and fish load the completion from the folders their Debian packages read (zsh's $fpath
// holds share/zsh/vendor-completions, fish reads share/fish/vendor_completions.d below each of
// XDG_DATA_DIRS for a command on the PATH), each in the real shell, where installed.
TEST_F(InstallTest, ZshAndFishCompletionOfferCommandsOptionsAndFiles) {
    ASSERT_EQ(DirectStatus, 0) << DirectLog;
    TempDir dir;
    WriteBytes(dir.File("-h.ico"), {0});
    WriteBytes(dir.File("a.dll"), {0});
    ASSERT_EQ(::mkdir(dir.File("sub").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.File("home").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.File("count").c_str(), 0755), 0);  // a folder named as a command
    struct Case {
        std::string line;
        std::vector<std::string> offered, notOffered;
        std::string shell = "";  // the one shell the case is for; both when empty
    };
    const std::vector<Case> cases = {
        {"pictavo-cli ", {"list", "extract", "bmp", "count", "icl", "search", "thumbnail"}, {"a.dll"}},
        {"pictavo-cli ex", {"extract"}, {"list"}},
        {"pictavo-cli -", {"-V", "--version", "--help"}, {"-s"}},
        {"pictavo-cli thumbnail -", {"-s", "--size", "--help"}, {"--json"}},
        {"pictavo-cli search --m", {"--mask"}, {"--json"}},
        {"pictavo-cli list a", {"a.dll"}, {}},
        {"pictavo-cli thumbnail -- -", {"-h.ico"}, {"--size"}},  // after "--" a word is a file
        {"pictavo-cli search ", {"sub"}, {"a.dll"}},             // folders only
        {"pictavo-cli search -r ", {"sub"}, {"a.dll"}},
        {"pictavo-cli search count ", {"sub"}, {"a.dll"}},  // a folder's name is no command
        {"pictavo-cli extract -o ", {"sub"}, {"a.dll"}},
        {"pictavo-cli extract --output=", {"sub"}, {"a.dll"}, "zsh"},
        {"pictavo-cli extract --output=", {"--output=sub"}, {"--output=a.dll", "--output=--output=sub"}, "fish"},
        // The program takes "-s 128" and "-o DIR", never "-s128" or "-oDIR": the word is the option.
        {"pictavo-cli thumbnail -s", {"-s"}, {}, "zsh"},
        {"pictavo-cli extract -o", {"-o"}, {"sub"}, "zsh"},
    };
    const std::string env = "cd " + ShellQuote(dir.Path()) + " && HOME=" + ShellQuote(dir.File("home")) +
                            " XDG_CONFIG_HOME=" + ShellQuote(dir.File("home")) + " ";
    // Each prints "== LINE" and then the matches, one a line, for every line appended.
    const std::string fish = "for line; do echo \"== $line\"; fish -c \"complete -C '$line'\" | cut -f1; done";
    const std::map<std::string, std::string> shells = {
        {"zsh", env + "zsh -f " + ShellQuote(PICTAVO_SOURCE_DIR "/tests/packaging/zsh-complete.zsh") + " " +
                    ShellQuote(Installed("share/zsh/vendor-completions"))},
        {"fish", env + "PATH=" + ShellQuote(Installed("bin")) + ":\"$PATH\" XDG_DATA_DIRS=" +
                     ShellQuote(Installed("share")) + " bash -c " + ShellQuote(fish) + " -"},
    };
    int ran = 0;
    for (const auto& [shell, start] : shells) {
        if (!HaveProgram(shell)) continue;
        ++ran;
        std::string command = start;
        for (const Case& c : cases)
            if (c.shell.empty() || c.shell == shell) command += " " + ShellQuote(c.line);
        std::string out;
        ASSERT_EQ(RunShell(command, out), 0) << shell << '\n' << out;
        // The matches of each line, folders without their trailing "/".
        std::map<std::string, std::set<std::string>> offered;
        std::stringstream lines(out);
        std::string line;
        for (std::string text; std::getline(lines, text);) {
            if (text.rfind("== ", 0) == 0)
                line = text.substr(3);
            else if (!text.empty())
                offered[line].insert(text.back() == '/' ? text.substr(0, text.size() - 1) : text);
        }
        for (const Case& c : cases) {
            if (!c.shell.empty() && c.shell != shell) continue;
            const auto& found = offered[c.line];
            for (const auto& word : c.offered)
                EXPECT_TRUE(found.count(word)) << shell << ": " << c.line << " -> " << word;
            for (const auto& word : c.notOffered)
                EXPECT_FALSE(found.count(word)) << shell << ": " << c.line << " -> " << word;
        }
    }
    if (ran == 0) GTEST_SKIP() << "neither zsh nor fish is installed";
}

// The licence by its DEP-5 name; the changelog in Debian's form, dated by SOURCE_DATE_EPOCH, or
// where that is not set by the commit built, never by the time it is written.
TEST_F(InstallTest, CopyrightAndChangelogAsDebianReadsThem) {
    ASSERT_EQ(DirectStatus, 0) << DirectLog;
    const std::string copyright = ReadText(Installed("share/doc/pictavo/copyright"));
    EXPECT_NE(copyright.find("\nLicense: Expat\n"), std::string::npos) << copyright;
    TempDir dir;
    // The changelog the build writes with the environment given, of the sources in source.
    auto changelog = [&](const std::string& environment, const std::string& source) {
        std::string out;
        EXPECT_EQ(RunShell("cd " + ShellQuote(dir.Path()) + " && env -u SOURCE_DATE_EPOCH " + environment + " " +
                               ShellQuote(PICTAVO_CMAKE) +
                               " -DIN=" + ShellQuote(PICTAVO_SOURCE_DIR "/packaging/changelog.in") +
                               " -DOUT=changelog -DPROJECT_VERSION=9.9 '-DPICTAVO_PACKAGE_MAINTAINER=A B <a@b.c>'" +
                               " -DPICTAVO_SOURCE_DIR=" + ShellQuote(source) + " -P " +
                               ShellQuote(PICTAVO_SOURCE_DIR "/packaging/Changelog.cmake"),
                           out),
                  0)
            << out;
        return ReadText(dir.File("changelog"));
    };
    const std::string dated = changelog("SOURCE_DATE_EPOCH=86400", PICTAVO_SOURCE_DIR);
    EXPECT_EQ(dated.rfind("pictavo (9.9) unstable; urgency=medium\n", 0), 0u) << dated;
    EXPECT_NE(dated.find("\n -- A B <a@b.c>  Fri, 02 Jan 1970 00:00:00 +0000\n"), std::string::npos) << dated;

    if (!HaveProgram("git")) GTEST_SKIP() << "git is not installed";
    const std::string repository = dir.File("sources");
    std::string out;
    ASSERT_EQ(
        RunShell("git init -q " + ShellQuote(repository) + " && cd " + ShellQuote(repository) +
                     " && GIT_AUTHOR_DATE='@1600000000 +0000' GIT_COMMITTER_DATE='@1600000000 +0000'" +
                     " git -c user.name=A -c user.email=a@b.c -c commit.gpgsign=false -c core.hooksPath=/dev/null" +
                     " commit -q --no-verify --allow-empty -m sources",
                 out),
        0)
        << out;
    const std::string committed = changelog("", repository);
    EXPECT_NE(committed.find("\n -- A B <a@b.c>  Sun, 13 Sep 2020 12:26:40 +0000\n"), std::string::npos) << committed;
}

// Release builds are hardened as distributions build them: full RELRO bound at start, the
// stack protector and checked string and memory functions.
TEST_F(InstallTest, ReleaseBinariesAreHardened) {
    if (!PICTAVO_HARDENED) GTEST_SKIP() << "not a release build";
    if (!HaveProgram("readelf")) GTEST_SKIP() << "readelf is not installed";
    ASSERT_EQ(DirectStatus, 0) << DirectLog;
    std::vector<std::string> programs = {"bin/pictavo-cli"};
    if (PICTAVO_INSTALLS_WINDOW) programs.push_back("bin/pictavo");
    for (const auto& program : programs) {
        std::string headers, dynamic, symbols;
        const std::string file = ShellQuote(Installed(program));
        ASSERT_EQ(RunShell("readelf -lW " + file, headers), 0);
        ASSERT_EQ(RunShell("readelf -dW " + file, dynamic), 0);
        ASSERT_EQ(RunShell("readelf --dyn-syms -W " + file, symbols), 0);
        EXPECT_NE(headers.find("GNU_RELRO"), std::string::npos) << program;
        EXPECT_NE(dynamic.find("BIND_NOW"), std::string::npos) << program;
        EXPECT_NE(symbols.find("__stack_chk_fail"), std::string::npos) << program;
        std::stringstream lines(symbols);
        int checked = 0;
        for (std::string line; std::getline(lines, line);)
            checked += line.find("_chk@") != std::string::npos && line.find("__stack_chk_fail") == std::string::npos;
        EXPECT_GT(checked, 0) << program << ": no checked string or memory function";
        // The system's C++ runtime, shared, as Debian's policy on static linking asks.
        for (const char* library : {"[libstdc++.so.6]", "[libgcc_s.so.1]"})
            EXPECT_NE(dynamic.find(library), std::string::npos) << program << " does not load " << library;
    }
}

// Optimised builds compile every source of the programs with the flags dpkg-buildflags gives a
// package build (what blhc checks a package's build log for).
TEST_F(InstallTest, OptimisedBuildsCompileWithDpkgBuildflags) {
    if (!PICTAVO_DPKG_BUILDFLAGS) GTEST_SKIP() << "not an optimised build, or dpkg-buildflags is not installed";
    std::string flags;
    ASSERT_EQ(RunShell("cd " + ShellQuote(PICTAVO_SOURCE_DIR) +
                           " && export DEB_BUILD_MAINT_OPTIONS=hardening=+all && dpkg-buildflags --get CPPFLAGS" +
                           " && dpkg-buildflags --get CXXFLAGS",
                       flags),
              0)
        << flags;
    std::vector<std::string> wanted;
    std::stringstream words(flags);
    for (std::string word; words >> word;) wanted.push_back(word);
    for (const char* flag : {"-g", "-Wformat", "-Werror=format-security"})
        EXPECT_NE(std::find(wanted.begin(), wanted.end(), flag), wanted.end()) << flag;
    // compile_commands.json: each entry's "command" comes before its "file".
    const std::string commands = ReadText(PICTAVO_BUILD_DIR "/compile_commands.json");
    const std::string sources = "\"file\": \"" PICTAVO_SOURCE_DIR "/src/";
    int checked = 0;
    for (size_t file = commands.find(sources); file != std::string::npos; file = commands.find(sources, file + 1)) {
        const size_t start = commands.rfind("\"command\": ", file);
        ASSERT_NE(start, std::string::npos);
        const std::string command = commands.substr(start, commands.find('\n', start) - start) + " ";
        const std::string source = commands.substr(file + 9, commands.find('"', file + 9) - file - 9);
        for (const auto& flag : wanted)
            EXPECT_NE(command.find(" " + flag + " "), std::string::npos) << source << " is compiled without " << flag;
        // The build type's own -O3 would follow and win over dpkg-buildflags' -O2.
        EXPECT_EQ(command.find(" -O3 "), std::string::npos) << source;
        ++checked;
    }
    EXPECT_GT(checked, 0) << "no source of the programs in compile_commands.json";
}
