// Two builds of one commit give the same Debian packages, byte for byte. The sources of this
// checkout (with any change not yet committed) are committed into a repository of their own,
// which is then built as a user builds it (the README's release configuration, without the
// tests, benchmarks and KDE plugin, which change nothing in the packages compared here) and
// packaged:
//  - once, then again in the same build folder after the files compiled into the program's
//    resources (the icons, the window's translations) were touched: the changelog written again
//    at a later time and the resources compiled again from newer files change nothing;
//  - once more from a second clone, in folders of other names and lengths, the build folder
//    outside the sources, later, with SOURCE_DATE_EPOCH set to the commit's date: neither the
//    folders nor the way the date is given change anything.
// No compiler cache is used: one would hand the second build the first one's objects.
#include "packaging/PackagingFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace pictavo::test;
namespace fs = std::filesystem;

namespace {

// The commit's date: 2020-09-13 12:26:40 UTC.
const std::string kCommitTime = "1600000000";

// The end of a long log, enough to see why a step failed.
std::string Tail(const std::string& log) {
    const size_t keep = 6000;
    return log.size() > keep ? "...\n" + log.substr(log.size() - keep) : log;
}

// A command run without the caller's compiler launchers, date or staging folder.
std::string Clean(const std::string& command) {
    return "env -u CMAKE_C_COMPILER_LAUNCHER -u CMAKE_CXX_COMPILER_LAUNCHER -u SOURCE_DATE_EPOCH -u DESTDIR " + command;
}

// Configures SOURCE into BUILD as the README's release build, without tests, benchmarks and the
// KDE plugin, with the compilers and generator of this build.
std::string Configure(const std::string& source, const std::string& build) {
    return Clean(ShellQuote(PICTAVO_CMAKE) + " -S " + ShellQuote(source) + " -B " + ShellQuote(build) + " -G " +
                 ShellQuote(PICTAVO_GENERATOR) + " -DCMAKE_MAKE_PROGRAM=" + ShellQuote(PICTAVO_MAKE_PROGRAM) +
                 " -DCMAKE_C_COMPILER=" + ShellQuote(PICTAVO_C_COMPILER) +
                 " -DCMAKE_CXX_COMPILER=" + ShellQuote(PICTAVO_CXX_COMPILER) +
                 " -DCMAKE_BUILD_TYPE=Release -DPICTAVO_BUILD_TESTS=OFF -DPICTAVO_BUILD_BENCH=OFF" +
                 " -DPICTAVO_BUILD_KDE=OFF -DPICTAVO_BUILD_GUI=" + (PICTAVO_INSTALLS_WINDOW ? "ON" : "OFF") +
                 " -DCMAKE_C_COMPILER_LAUNCHER= -DCMAKE_CXX_COMPILER_LAUNCHER=");
}

std::string Package(const std::string& build, const std::string& environment = "") {
    return Clean(environment + " " + ShellQuote(PICTAVO_CMAKE) + " --build " + ShellQuote(build) + " --target package");
}

// What differs between two packages: their file lists and their files' checksums.
std::string Differences(const std::string& one, const std::string& other) {
    std::string out;
    const std::string a = ShellQuote(one), b = ShellQuote(other);
    RunShell(
        "bash -c " + ShellQuote("diff <(dpkg-deb -c " + a + ") <(dpkg-deb -c " + b + "); diff <(dpkg-deb -I " + a +
                                ") <(dpkg-deb -I " + b + "); diff <(dpkg-deb --ctrl-tarfile " + a +
                                " | tar -xOf - ./md5sums) <(dpkg-deb --ctrl-tarfile " + b + " | tar -xOf - ./md5sums)"),
        out);
    return out;
}

void ExpectSamePackage(const std::string& one, const std::string& other, const std::string& what) {
    ASSERT_TRUE(FileExists(one)) << one;
    ASSERT_TRUE(FileExists(other)) << other;
    EXPECT_TRUE(ReadBytes(one) == ReadBytes(other)) << what << ":\n" << Differences(one, other);
}

}  // namespace

TEST(ReproducibleTest, TwoBuildsOfOneCommitGiveTheSamePackage) {
    for (const char* program : {"git", "tar", "dpkg-deb", "dpkg-shlibdeps"})
        if (!HaveProgram(program)) GTEST_SKIP() << program << " is not installed";
    std::string out;
    if (RunShell("git -C " + ShellQuote(PICTAVO_SOURCE_DIR) + " rev-parse --show-toplevel", out) != 0)
        GTEST_SKIP() << "the sources are not a git checkout";
    std::string arch;
    ASSERT_EQ(RunShell("dpkg --print-architecture", arch), 0) << arch;
    while (!arch.empty() && arch.back() == '\n') arch.pop_back();
    const std::string deb = "pictavo_" PICTAVO_VERSION "_" + arch + ".deb";

    TempDir root;
    // The checkout's files as they are, committed at a known date.
    const std::string origin = root.File("origin/pictavo");
    fs::create_directories(origin);
    const std::string git = "git -c user.name=Pictavo -c user.email=pictavo@example.org -c commit.gpgsign=false "
                            "-c core.hooksPath=/dev/null";
    ASSERT_EQ(
        RunShell("cd " + ShellQuote(PICTAVO_SOURCE_DIR) +
                     " && git ls-files -z -c -o --exclude-standard | tar --null -T - --ignore-failed-read -cf -" +
                     " | tar -C " + ShellQuote(origin) + " -xf - && cd " + ShellQuote(origin) + " && git init -q && " +
                     git + " add -A && GIT_AUTHOR_DATE='@" + kCommitTime + " +0000' GIT_COMMITTER_DATE='@" +
                     kCommitTime + " +0000' " + git + " commit -q --no-verify -m sources",
                 out),
        0)
        << out;

    // The first clone, built in a folder inside it, packaged.
    const std::string first = root.File("first/pictavo"), firstBuild = first + "/build-release";
    ASSERT_EQ(RunShell("git clone -q " + ShellQuote(origin) + " " + ShellQuote(first), out), 0) << out;
    ASSERT_EQ(RunShell(Configure(first, firstBuild), out), 0) << Tail(out);
    ASSERT_EQ(RunShell(Package(firstBuild), out), 0) << Tail(out);
    const std::string firstDeb = root.File("first.deb");
    fs::copy_file(firstBuild + "/" + deb, firstDeb);

    // The same build folder after the resources' files changed time: the build makes the
    // resources and the changelog again, later.
    ASSERT_EQ(RunShell("cd " + ShellQuote(first) + " && touch packaging/icons/*.png translations/*.ts", out), 0) << out;
    ASSERT_EQ(RunShell(Package(firstBuild), out), 0) << Tail(out);
    ExpectSamePackage(firstDeb, firstBuild + "/" + deb, "packaged again after the resources' files were touched");

    // A second clone in other folders, its build folder outside it, the date given by the build.
    const std::string second = root.File("second/elsewhere/the-sources"), secondBuild = root.File("second/b");
    ASSERT_EQ(RunShell("git clone -q " + ShellQuote(origin) + " " + ShellQuote(second), out), 0) << out;
    ASSERT_EQ(RunShell(Configure(second, secondBuild), out), 0) << Tail(out);
    ASSERT_EQ(RunShell(Package(secondBuild, "SOURCE_DATE_EPOCH=" + kCommitTime), out), 0) << Tail(out);
    ExpectSamePackage(firstDeb, secondBuild + "/" + deb, "a second clone built in other folders");
}
