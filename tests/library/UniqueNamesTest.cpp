#include "base/Errors.h"
#include "base/FileIO.h"
#include "base/Text.h"
#include "library/IconLibrary.h"
#include "library/UniqueNames.h"
#include "support/IconFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <set>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pictavo;
using namespace pictavo::test;

namespace {

std::vector<std::string> TakeAll(const std::vector<std::string>& names, size_t maxBytes = SIZE_MAX) {
    TUniqueNames set;
    std::vector<std::string> out;
    for (const auto& n : names) {
        out.push_back(set.MakeUnique(n, maxBytes));
        set.Add(out.back());
    }
    return out;
}

}  // namespace

TEST(UniqueNames, SuffixesAsBeforeWithUnicodeCaseFolding) {
    const struct {
        std::vector<std::string> in, out;
    } cases[] = {
        {{"A", "a", "A_1", "A"}, {"A", "a_1", "A_1_1", "A_1_1_1"}},
        {{"Ω", "ω", "Σ", "ς", "σ"}, {"Ω", "ω_1", "Σ", "ς_1", "σ_1_1"}},
        {{"图标", "图标", "Straße", "STRASSE"}, {"图标", "图标_1", "Straße", "STRASSE"}},
    };
    for (const auto& c : cases) EXPECT_EQ(TakeAll(c.in), c.out);
    EXPECT_EQ(FoldCase("ÀÉÎ Ab"), "àéî ab");
    EXPECT_EQ(FoldCase("caf\xE9"), "caf\xE9");  // not UTF-8: kept as it is
}

TEST(UniqueNames, ManyEqualNamesStayDistinctAndResumeAfterRemoval) {
    // 127 repeats of "_1" at most, then the attempt's number: names stay short.
    const std::vector<std::string> names = TakeAll(std::vector<std::string>(3000, "A"));
    EXPECT_EQ(names[2], "A_1_1");
    EXPECT_EQ(names[127].size(), 1 + 2 * 127u);
    EXPECT_EQ(names[128], "A_128");
    EXPECT_EQ(names[2999], "A_2999");
    // Each name resumes where the last search for its base ended: n equal names taken in a
    // folder cost about n look-ups there, not n².
    TUniqueNames set;
    std::set<std::string> folder;
    size_t lookups = 0;
    for (int i = 0; i < 2000; ++i)
        folder.insert(set.MakeUnique("B", SIZE_MAX, [&](const std::string& name) {
            ++lookups;
            return folder.count(name) > 0;
        }));
    EXPECT_EQ(folder.size(), 2000u);
    EXPECT_LE(lookups, 2 * 2000u);
    // Under a byte limit each name is cut so that it and its suffix fit, never splitting a
    // character, and past the longest "_1" run the suffix is numbered.
    const std::vector<std::string> cut = TakeAll(std::vector<std::string>(300, std::string(40, 'x') + "图标"), 20);
    std::set<std::string> folded;
    for (const auto& n : cut) {
        EXPECT_LE(n.size(), 20u) << n;
        EXPECT_EQ(CutUtf8(n, n.size()), n);
        EXPECT_TRUE(folded.insert(FoldCase(n)).second) << n;
    }
    EXPECT_EQ(cut[0], std::string(20, 'x'));
    EXPECT_EQ(cut[299], std::string(16, 'x') + "_299");
    EXPECT_EQ(std::string(CutUtf8("a图", 3)), "a");

    TIconList list;
    for (const char* n : {"A", "A_1", "B"}) list.AddIcon(n, std::make_unique<TAdvancedIcon>());
    list.Delete(0);
    EXPECT_EQ(list.UniqueName("a"), "a");  // free again
    EXPECT_EQ(list.UniqueName("b"), "b_1");
    EXPECT_EQ(list.IndexOf("ω"), -1);
}

TEST(SaveTargets, OnlyRegularFilesAreReplacedAndLinksInFoldersNeverFollowed) {
    TempDir dir;
    const std::vector<uint8_t> bytes = {1, 2, 3};
    WriteBytes(dir.File("real"), {9});
    ASSERT_EQ(::symlink(dir.File("real").c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0666), 0);
    ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0777), 0);

    // A path the user chose leads through the link; the link stays a link.
    WriteFileAtomically(dir.File("link"), bytes);
    EXPECT_EQ(ReadBytes(dir.File("real")), bytes);
    struct stat st {};
    ASSERT_EQ(::lstat(dir.File("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // A name in a folder replaces the link itself; what it pointed at is untouched.
    WriteBytes(dir.File("real"), {9});
    WriteFileAtomically(dir.File("link"), bytes, TSaveTarget::NameInFolder);
    EXPECT_EQ(ReadBytes(dir.File("real")), std::vector<uint8_t>{9});
    ASSERT_EQ(::lstat(dir.File("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));

    for (const char* name : {"fifo", "folder", "/dev/null"}) {
        const std::string path = name[0] == '/' ? std::string(name) : dir.File(name);
        for (TSaveTarget how : {TSaveTarget::FollowLinks, TSaveTarget::NameInFolder}) {
            EXPECT_THROW(WriteFileAtomically(path, bytes, how), EFCreateError) << path;
        }
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_FALSE(S_ISREG(st.st_mode)) << path;
    }
}

TEST(SaveTargets, AWriteThatFailsIsTheStreamWriteErrorAndLeavesNothing) {
    TempDir dir;
    WriteBytes(dir.File("old.ico"), {7});
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::vector<uint8_t> big(5000, 1);
    std::string message;
    try {
        WriteFileAtomically(dir.File("old.ico"), big);
    } catch (const EWriteError& e) {
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message, "流写入错误");
    EXPECT_EQ(ReadBytes(dir.File("old.ico")), std::vector<uint8_t>{7});
    // No temporary file is left beside it.
    DIR* d = ::opendir(dir.Path().c_str());
    int entries = 0;
    while (dirent* e = ::readdir(d)) entries += std::string(e->d_name) != "." && std::string(e->d_name) != "..";
    ::closedir(d);
    EXPECT_EQ(entries, 1);
}
