#include "library/IconFileSearch.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "support/IconFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

using namespace pictavo;
using namespace pictavo::test;

TEST(IconFileSearch, CountsEveryFileListsThoseWithIconsAndSkipsNamesMetBefore) {
    TempDir dir;
    const auto dib = MakeDib(MakePicture(16, 16, 16), 4);
    WriteBytes(dir.File("Ω.ico"), MakeIco({{InfoFor(16, 4, dib.size()), dib}}));
    WriteBytes(dir.File("note.txt"), {'x'});
    const auto entry = [](const std::string& name, int64_t size) {
        TSearchRec rec;
        rec.Name = name;
        rec.Size = size;
        rec.Time = (46u << 25) | (12u << 21) | (7u << 16) | (11u << 11) | (13u << 5) | 4u;
        return rec;
    };
    for (const bool skip : {true, false}) {
        TIconFileSearch search;
        search.SkipDuplicates = skip;
        search.Begin();
        search.FolderEntered();
        TIconFileRow row;
        ASSERT_TRUE(search.FileFound(dir.Path(), entry("Ω.ico", 1025), row));
        EXPECT_EQ(row.Path, dir.File("Ω.ico"));
        EXPECT_EQ(row.SizeKB, 2);
        EXPECT_EQ(DosTimeText(row.Time), "2026-12-07 11:13:08");
        EXPECT_FALSE(search.FileFound(dir.Path() + "/", entry("note.txt", 1), row));
        // "ω.ico" is the same name without regard to case: skipped, or counted (and, there being
        // no such file, not listed).
        EXPECT_FALSE(search.FileFound(dir.Path(), entry("ω.ico", 1), row));
        EXPECT_EQ(search.Counters().Text(), skip ? "文件夹: 1   文件: 2   图标: 1" : "文件夹: 1   文件: 3   图标: 1");
    }
    for (const auto& [size, kb] : std::vector<std::pair<int64_t, int64_t>>{{0, 0}, {1, 1}, {1024, 1}, {1025, 2}})
        EXPECT_EQ(SizeInKB(size), kb);
}

TEST(IconFileSearch, CountsFilesBelowPathsLongerThanTheSystemTakesInOnePiece) {
    TempDir dir;
    std::string path = dir.Path();
    int fd = ::open(path.c_str(), O_PATH | O_DIRECTORY);
    for (int level = 0; level < 25; ++level) {  // 25 x 201 bytes: past PATH_MAX
        const std::string name(200, static_cast<char>('a' + level % 26));
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0777), 0);
        const int next = ::openat(fd, name.c_str(), O_PATH | O_DIRECTORY);
        ::close(fd);
        fd = next;
        path += "/" + name;
    }
    const auto dib = MakeDib(MakePicture(16, 16, 16), 4);
    const auto ico = MakeIco({{InfoFor(16, 4, dib.size()), dib}});
    const int out = ::openat(fd, "deep.ico", O_WRONLY | O_CREAT, 0666);
    ASSERT_EQ(::write(out, ico.data(), ico.size()), static_cast<ssize_t>(ico.size()));
    ::close(out);
    ::close(fd);
    ASSERT_GT(path.size(), size_t{PATH_MAX});
    EXPECT_EQ(CountIcons(path + "/deep.ico"), 1);
    EXPECT_EQ(CountIcons(path + "/missing.ico"), 0);
    TIconLibrary library;
    EXPECT_EQ(LoadIcons(path + "/deep.ico", library), 1);
    // The tree is removed by the shell: its paths are too long for the fixture's own cleanup.
    EXPECT_EQ(std::system(("rm -rf '" + dir.Path() + "'/*").c_str()), 0);
}
