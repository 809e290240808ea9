#include "search/SearchCriteria.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <ctime>

using namespace pictavo;
using namespace pictavo::test;

namespace {
using Pieces = std::vector<std::string>;

// A file time for a local calendar time in the test's fixed zone.
int64_t LocalFileTime(int y, int mo, int d, int h, int mi, int s = 0) {
    struct tm t {};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_isdst = -1;
    return (static_cast<int64_t>(mktime(&t)) * 10000000) + 116444736000000000LL;
}

class FixedZone : public testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        saved = tz ? tz : "";
        hadTz = tz != nullptr;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz)
            setenv("TZ", saved.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::string saved;
    bool hadTz = false;
};
}  // namespace

TEST(SearchLists, SplittingAndPrefixes) {
    EXPECT_EQ(SplitList(""), Pieces{});
    EXPECT_EQ(SplitList("a;;b"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(SplitList("a;b;"), (Pieces{"a", "b"}));
    EXPECT_EQ(SplitList(";a"), (Pieces{"", "a"}));
    EXPECT_EQ(SplitList(" a ; b"), (Pieces{" a ", " b"}));
    EXPECT_EQ(SplitList(";"), (Pieces{""}));

    bool sub = false;
    EXPECT_EQ(ParseSubfolderPrefix(">/tmp", false, sub), "/tmp");
    EXPECT_TRUE(sub);
    EXPECT_EQ(ParseSubfolderPrefix("</tmp", true, sub), "/tmp");
    EXPECT_FALSE(sub);
    EXPECT_EQ(ParseSubfolderPrefix("/tmp", true, sub), "/tmp");
    EXPECT_TRUE(sub);
    EXPECT_EQ(ParseSubfolderPrefix("/tmp", false, sub), "/tmp");
    EXPECT_FALSE(sub);
}

TEST(SearchLists, FolderNormalisation) {
    EXPECT_EQ(NormalizeFolder(""), "");
    EXPECT_EQ(NormalizeFolder("/a/b/../c/./d"), "/a/c/d/");
    EXPECT_EQ(NormalizeFolder("/a/b/"), "/a/b/");
    EXPECT_EQ(NormalizeFolder("/"), "/");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(NormalizeFolder("x"), std::string(cwd) + "/x/");
    EXPECT_EQ(NormalizeFolder("."), std::string(cwd) + "/");
}

TEST(SearchTests, AttributesDefaultsAndExactMatch) {
    TAttributeCriteria a;
    EXPECT_EQ(a.Mask(), 0x27u);
    EXPECT_EQ(a.Attributes(), AttrSet({ffArchive, ffReadonly, ffHidden, ffSystem}));
    EXPECT_TRUE(a.Matches(0));
    EXPECT_TRUE(a.Matches(faReadOnly | faHidden));
    EXPECT_TRUE(a.Matches(faArchive | 0x80 | 0x800));  // bits outside 0x37 are ignored
    EXPECT_FALSE(a.Matches(faDirectory));
    a.ExactMatch = true;
    EXPECT_FALSE(a.Matches(faArchive));
    EXPECT_TRUE(a.Matches(faArchive | faReadOnly | faHidden | faSysFile));
    a.SetAttributes(AttrSet({ffDirectory}));
    EXPECT_EQ(a.Mask(), 0x10u);
    EXPECT_TRUE(a.Matches(faDirectory | 0x100));
}

TEST(SearchTests, SizeBoundsUseTheWholeSize) {
    TSizeCriteria s;
    EXPECT_TRUE(s.Matches(0));
    s.Min = 1;
    EXPECT_FALSE(s.Matches(0));
    EXPECT_TRUE(s.Matches(1));
    EXPECT_TRUE(s.Matches(5ull << 32));
    s.Min = s.Max = 100;
    EXPECT_TRUE(s.Matches(100));
    EXPECT_FALSE(s.Matches(99));
    EXPECT_FALSE(s.Matches(101));
    EXPECT_FALSE(s.Matches((5ull << 32) + 100));  // a 5 GB file is not 100 bytes
}

TEST_F(FixedZone, DateOnlyAndTimeOnlyBounds) {
    TDateTimeCriteria c;
    const int64_t lateEvening = LocalFileTime(2024, 3, 10, 23, 59);
    const int64_t nextMorning = LocalFileTime(2024, 3, 11, 9, 0);
    const int64_t afternoon = LocalFileTime(2019, 7, 1, 15, 30);
    EXPECT_TRUE(c.Matches(0, lateEvening, 0));       // no bounds
    c.ModifiedBefore = EncodeDateTime(2024, 3, 10);  // a date: the whole day is included
    EXPECT_TRUE(c.Matches(0, lateEvening, 0));
    EXPECT_FALSE(c.Matches(0, nextMorning, 0));
    c.ModifiedBefore = 0;
    c.ModifiedAfter = 0.5;  // noon of any day
    EXPECT_TRUE(c.Matches(0, afternoon, 0));
    EXPECT_FALSE(c.Matches(0, nextMorning, 0));
    c.ModifiedAfter = EncodeDateTime(2024, 3, 10, 12, 0);  // a full date and time
    EXPECT_TRUE(c.Matches(0, lateEvening, 0));
    EXPECT_FALSE(c.Matches(0, afternoon, 0));
    // The pairs are tried in order; the creation pair refuses first.
    c.CreatedAfter = EncodeDateTime(2030, 1, 1);
    EXPECT_FALSE(c.Matches(LocalFileTime(2024, 1, 1, 0, 0), lateEvening, 0));
    // Local time in the fixed zone (summer time at the file's own date).
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(LocalFileTime(2024, 7, 1, 14, 0)), EncodeDateTime(2024, 7, 1, 14, 0));
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1, 18), 2.75);
}

// The enumeration rule: a "*" may stand for nothing, at the end of the mask too.
TEST(SearchNames, EnumerationStarsMatchNothingToo) {
    const struct {
        const char* name;
        const char* mask;
        bool match;
    } cases[] = {
        {"readme", "readme*", true},  {"readme", "*readme", true},
        {"readme", "read*me", true},  {"readme", "readme**", true},
        {"READMEs", "readme*", true}, {"readm", "readme*", false},
        {"readme", "readme?", false}, {"", "*", true},
    };
    for (const auto& c : cases) EXPECT_EQ(EnumerationMatch(c.name, c.mask), c.match) << c.name << " / " << c.mask;
}

TEST(SearchNames, WildcardAndFileNameMasks) {
    EXPECT_TRUE(WildcardMatch("abc", "a*c"));
    EXPECT_TRUE(WildcardMatch("axyz", "a*c"));  // "*" ends the test
    EXPECT_FALSE(WildcardMatch("bxc", "a*c"));
    EXPECT_TRUE(WildcardMatch("ab", "ab??"));
    EXPECT_TRUE(WildcardMatch("ABC", "abc"));
    EXPECT_FALSE(WildcardMatch("abcd", "abc"));
    EXPECT_TRUE(WildcardMatch("", ""));
    EXPECT_FALSE(WildcardMatch("a", ""));
    EXPECT_TRUE(WildcardMatch("", "*?"));

    EXPECT_TRUE(FileNameMatch("readme", "*.*"));
    EXPECT_FALSE(FileNameMatch("readme", "*.txt"));
    EXPECT_TRUE(FileNameMatch("readme.txt", "readme"));  // mask without extension
    EXPECT_TRUE(FileNameMatch("a.b.ICO", "*.ico"));
    EXPECT_FALSE(FileNameMatch("a.ico.bak", "*.ico"));
    EXPECT_TRUE(FileNameMatch("x", "x.?"));
}

TEST(SearchNames, ExclusionPatterns) {
    const std::string folder = "/home/u/Temp/";
    EXPECT_TRUE(MatchesExclusion(folder, "a.txt", ""));  // an empty line excludes everything
    EXPECT_TRUE(MatchesExclusion(folder, "a.txt", "/Temp/"));
    EXPECT_TRUE(MatchesExclusion(folder, "a.txt", "/temp/*.TXT"));
    EXPECT_FALSE(MatchesExclusion(folder, "a.ico", "/temp/*.txt"));
    EXPECT_FALSE(MatchesExclusion("/home/u/Other/", "a.txt", "/Temp/"));
    EXPECT_TRUE(MatchesExclusion("/x/Temp/", "a", "u/Temp/") == false);
    EXPECT_TRUE(MatchesExclusion(folder, "a", "u/Temp/"));
    EXPECT_FALSE(MatchesExclusion("/Temp/", "a", "/home/u/Temp/"));  // pattern longer than the folder
    // Drives: folders here have none, so a concrete drive letter never matches; "?" or "*" does.
    EXPECT_FALSE(MatchesExclusion(folder, "a", "C:/Temp/"));
    EXPECT_TRUE(MatchesExclusion(folder, "a", "?:/Temp/"));
    EXPECT_TRUE(MatchesExclusion(folder, "a", "*:/Temp/"));
    EXPECT_TRUE(MatchesExclusion("C:/Temp/", "a", "c:/Temp/"));
    EXPECT_FALSE(MatchesExclusion("D:/Temp/", "a", "C:/Temp/"));
    EXPECT_TRUE(MatchesExclusion(folder, "core", "core"));  // a name alone: in every folder
}

TEST(SearchContent, PhrasesAcrossChunksAndCase) {
    TempDir dir;
    std::vector<uint8_t> big(600000, 'x');
    const std::string phrase = "Needle-Phrase";
    // Straddling the first 256 KB chunk boundary, and the 61,440-byte one.
    std::copy(phrase.begin(), phrase.end(), big.begin() + 262144 - 5);
    WriteBytes(dir.File("big"), big);
    EXPECT_TRUE(FileContains(dir.File("big"), "needle-phrase", true));
    EXPECT_FALSE(FileContains(dir.File("big"), "Needle-Phrase-", false));
    EXPECT_TRUE(FileContains(dir.File("big"), "Needle-Phrase", false));
    EXPECT_FALSE(FileContains(dir.File("big"), "needle-phrase", false));
    std::vector<uint8_t> other(200000, 'y');
    std::copy(phrase.begin(), phrase.end(), other.begin() + 61440 - 3);
    WriteBytes(dir.File("other"), other);
    EXPECT_TRUE(FileContains(dir.File("other"), "needle-phrase", true));
    // A partial match that fails and restarts inside itself.
    WriteBytes(dir.File("restart"), {'a', 'a', 'a', 'b'});
    EXPECT_TRUE(FileContains(dir.File("restart"), "aab", true));
    WriteBytes(dir.File("short"), {'a', 'b'});
    EXPECT_FALSE(FileContains(dir.File("short"), "abc", true));
    EXPECT_FALSE(FileContains(dir.File("missing"), "abc", true));
    EXPECT_FALSE(FileContains(dir.Path(), "abc", true));  // a folder has no content

    TContentCriteria c;
    EXPECT_TRUE(c.Matches(dir.File("missing")));  // no phrase: accepted unopened
    c.SetPhrase("NEEDLE");
    EXPECT_EQ(c.PhraseLen(), 6);
    EXPECT_TRUE(c.Matches(dir.File("big")));
    c.SetIgnoreCase(false);
    EXPECT_FALSE(c.Matches(dir.File("big")));
}

TEST(SearchCopies, AssignCopiesAndRefusesOtherClasses) {
    TSearchCriteria a;
    a.Files.FileName = "*.ico";
    a.Files.Excluded = {"/tmp/"};
    a.Size.Max = 7;
    a.Content.SetPhrase("Abc");
    a.Attribute.ExactMatch = true;
    TSearchCriteria b;
    b.Assign(a);
    EXPECT_EQ(b.Files.FileName, "*.ico");
    EXPECT_EQ(b.Files.Excluded, Pieces{"/tmp/"});
    EXPECT_EQ(b.Size.Max, 7u);
    EXPECT_EQ(b.Content.Phrase(), "Abc");
    EXPECT_TRUE(b.Attribute.ExactMatch);
    a.Files.FileName = "changed";
    EXPECT_EQ(b.Files.FileName, "*.ico");
    try {
        b.Size.Assign(a.Files);
        FAIL();
    } catch (const EAssignError& e) {
        EXPECT_STREQ(e.what(), "无法赋值 TFileCriteria 到 TSizeCriteria");
    }
    EXPECT_EQ(b.Size.Max, 7u);
}
