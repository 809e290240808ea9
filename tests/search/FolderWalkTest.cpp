// The folder walk against awkward trees: links that reach one folder many times, paths longer
// than the system's limit, folders that cannot be entered, names with ":" or UTF-8 characters,
// and the entry records' read-only bit and size.
#include "search/FindFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

using namespace pictavo;
using namespace pictavo::test;

namespace {

struct Found {
    std::vector<std::string> folders, files;  // files as folder + name
    std::vector<std::pair<std::string, int>> errors;
};

Found Walk(TFindFile& f) {
    Found found;
    f.OnFolderChange = [&](TFindFile&, const std::string& folder, bool&) { found.folders.push_back(folder); };
    f.OnFileMatch = [&](TFindFile&, const std::string& folder, const TSearchRec& r) {
        found.files.push_back(folder + r.Name);
    };
    f.OnFolderError = [&](TFindFile&, const std::string& folder, int error) {
        found.errors.push_back({folder, error});
    };
    f.Execute();
    return found;
}

Found Search(const std::string& location, const std::string& masks) {
    TFindFile f;
    f.Criteria().Files.FileName = masks;
    f.Criteria().Files.Location = location;
    return Walk(f);
}

// A chain of nested folders made through descriptors (so it may be deeper than any path the
// system takes), one file "x.ico" holding "deep" in each; removed the same way.
class Chain {
public:
    Chain(const std::string& root, int depth, const std::string& name) : FName(name) {
        FPath = root;
        FFds.push_back(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        for (int i = 0; i < depth; ++i) {
            if (::mkdirat(FFds.back(), name.c_str(), 0777) != 0) throw std::runtime_error("mkdirat");
            FFds.push_back(::openat(FFds.back(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            const int file = ::openat(FFds.back(), "x.ico", O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
            if (FFds.back() < 0 || file < 0 || ::write(file, "deep", 4) != 4) throw std::runtime_error("chain");
            ::close(file);
            FPath += name + "/";
        }
    }
    ~Chain() {
        for (size_t i = FFds.size() - 1; i > 0; --i) {
            ::unlinkat(FFds[i], "x.ico", 0);
            ::close(FFds[i]);
            ::unlinkat(FFds[i - 1], FName.c_str(), AT_REMOVEDIR);
        }
        ::close(FFds[0]);
    }
    const std::string& Path() const { return FPath; }  // the deepest folder, ending in "/"

private:
    std::string FName, FPath;
    std::vector<int> FFds;
};

// Takes the override of file permissions out of this thread's effective capabilities while it
// lives, so that permissions hold for the super-user too (nothing changes for other users).
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride() {
        if (::syscall(SYS_capget, &FHeader, FSaved) != 0) throw std::runtime_error("capget");
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, FSaved, sizeof reduced);
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        if (::syscall(SYS_capset, &FHeader, reduced) != 0) throw std::runtime_error("capset");
    }
    ~WithoutPermissionOverride() { ::syscall(SYS_capset, &FHeader, FSaved); }

private:
    __user_cap_header_struct FHeader{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct FSaved[2]{};
};

// Lowers the soft limit of open descriptors to `spare` above those open now.
class FewDescriptors {
public:
    explicit FewDescriptors(int spare) {
        ::getrlimit(RLIMIT_NOFILE, &FSaved);
        const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(lowestFree);
        rlimit low = FSaved;
        low.rlim_cur = static_cast<rlim_t>(lowestFree + spare);
        ::setrlimit(RLIMIT_NOFILE, &low);
    }
    ~FewDescriptors() { ::setrlimit(RLIMIT_NOFILE, &FSaved); }

private:
    rlimit FSaved{};
};

}  // namespace

TEST(FindFileWalk, EachFolderOnceHoweverManyLinksLeadToIt) {
    // n0 ... n31 side by side; each holds two links to the next and one file; the walk from
    // n0 reaches n31 along 2^31 paths, and n0 through a link back from n31.
    TempDir dir;
    const std::string store = dir.Path() + "/";
    constexpr int kFolders = 32;
    for (int i = 0; i < kFolders; ++i) {
        const std::string folder = store + "n" + std::to_string(i);
        ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
        WriteBytes(folder + "/f.ico", {'x'});
    }
    for (int i = 0; i + 1 < kFolders; ++i)
        for (const char* link : {"/a", "/b"})
            ASSERT_EQ(::symlink((store + "n" + std::to_string(i + 1)).c_str(),
                                (store + "n" + std::to_string(i) + link).c_str()),
                      0);
    ASSERT_EQ(::symlink((store + "n0").c_str(), (store + "n31/back").c_str()), 0);

    const Found found = Search(store + "n0", "*.ico");
    EXPECT_EQ(found.folders.size(), size_t{kFolders});
    EXPECT_EQ(found.files.size(), size_t{kFolders});
    EXPECT_TRUE(found.errors.empty());
    std::string deepest = store + "n0/";
    for (int i = 1; i < kFolders; ++i) deepest += "a/";
    EXPECT_EQ(found.folders.back(), deepest);  // the first path that reaches n31
}

TEST(FindFileWalk, PathsLongerThanTheSystemTakes) {
    TempDir dir;
    const Chain chain(dir.Path() + "/", 30, std::string(200, 'd'));
    ASSERT_GT(chain.Path().size(), size_t{PATH_MAX});

    TFindFile f;
    f.Criteria().Files.FileName = "*.ico";
    f.Criteria().Files.Location = dir.Path();
    Found found = Walk(f);
    EXPECT_TRUE(found.errors.empty());
    ASSERT_EQ(found.files.size(), 30u);
    EXPECT_EQ(found.files.back(), chain.Path() + "x.ico");  // the full path, whatever its length
    EXPECT_EQ(found.folders.back(), chain.Path());

    // The content of a file that deep is read too.
    f.Criteria().Content.SetPhrase("DEEP");
    found = Walk(f);
    EXPECT_EQ(found.files.size(), 30u);
}

TEST(FindFileWalk, FoldersThatCannotBeEnteredAreReported) {
    TempDir dir;
    const std::string root = dir.Path() + "/";
    WriteBytes(root + "file", {'x'});
    const Chain chain(root, 12, "c");

    struct Case {
        const char* what;
        std::string location;
        std::vector<std::pair<std::string, int>> errors;
    };
    const Case cases[] = {
        {"missing", root + "nope", {{root + "nope/", ENOENT}}},
        {"a file", root + "file", {{root + "file/", ENOTDIR}}},
    };
    for (const Case& c : cases) {
        const Found found = Search(c.location, "*");
        EXPECT_EQ(found.errors, c.errors) << c.what;
        EXPECT_TRUE(found.files.empty()) << c.what;
    }

    // Descriptors run out a few levels down: that folder is named, those above are searched.
    Found found;
    {
        const FewDescriptors few(6);
        found = Search(root + "c", "*.ico");
    }
    ASSERT_EQ(found.errors.size(), 1u);
    EXPECT_EQ(found.errors[0].second, EMFILE);
    const std::string& failed = found.errors[0].first;
    EXPECT_EQ(failed.size(), root.size() + 2 * (found.files.size() + 1));  // one level below the last file
    EXPECT_EQ(chain.Path().rfind(failed, 0), 0u);
    EXPECT_GE(found.files.size(), 2u);

    // Without a handler such folders are passed over silently.
    TFindFile quiet;
    quiet.Criteria().Files.Location = root + "nope";
    EXPECT_NO_THROW(quiet.Execute());
    EXPECT_FALSE(quiet.Busy());
}

TEST(FindFileWalk, FoldersWithoutPermissionAreReported) {
    TempDir dir;
    const std::string root = dir.Path() + "/";
    for (const char* folder : {"closed", "listable", "open"}) {
        ::mkdir((root + folder).c_str(), 0777);
        WriteBytes(root + folder + "/a.ico", {'x'});
    }
    ::chmod((root + "closed").c_str(), 0);
    ::chmod((root + "listable").c_str(), 0444);  // names can be read, entries not looked at
    Found found;
    {
        const WithoutPermissionOverride asUser;
        found = Search(root, "*.ico");
    }
    ::chmod((root + "closed").c_str(), 0777);
    ::chmod((root + "listable").c_str(), 0777);
    EXPECT_EQ(found.errors,
              (std::vector<std::pair<std::string, int>>{{root + "closed/", EACCES}, {root + "listable/", EACCES}}));
    EXPECT_EQ(found.files, (std::vector<std::string>{root + "open/a.ico"}));
}

TEST(FindFileWalk, ReadOnlyIsWhatTheFileSystemSays) {
    TempDir dir;
    const std::string root = dir.Path() + "/";
    WriteBytes(root + "locked.ico", {'x'});
    WriteBytes(root + "plain.ico", {'x'});
    ::chmod((root + "locked.ico").c_str(), 0444);
    TFindFile f;
    f.Criteria().Files.FileName = "*.ico";
    f.Criteria().Files.Location = root;
    std::vector<std::string> readOnly;
    f.OnFileMatch = [&](TFindFile&, const std::string&, const TSearchRec& r) {
        readOnly.push_back(r.Name + ((r.Attr & faReadOnly) ? " ro" : " rw"));
    };
    const WithoutPermissionOverride asUser;
    // The bit is asked for after the tests when they do not look at it, before them when they do.
    f.Execute();
    EXPECT_EQ(readOnly, (std::vector<std::string>{"locked.ico ro", "plain.ico rw"}));
    readOnly.clear();
    f.Criteria().Attribute.SetAttributes(AttrSet({ffArchive}));
    f.Execute();
    EXPECT_EQ(readOnly, (std::vector<std::string>{"plain.ico rw"}));
}

TEST(FindFileWalk, AnImmutableFileIsReadOnlyEvenForTheSuperUser) {
    TempDir dir;
    const std::string file = dir.Path() + "/fixed.ico";
    WriteBytes(file, {'x'});
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool set = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags |= FS_IMMUTABLE_FL;
    set = set && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    TSearchRec found;
    if (set) {
        TFindFile f;
        f.Criteria().Files.FileName = "*.ico";
        f.Criteria().Files.Location = dir.Path();
        f.OnFileMatch = [&](TFindFile&, const std::string&, const TSearchRec& r) { found = r; };
        f.Execute();
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
    if (!set) GTEST_SKIP() << "the immutable flag cannot be set here";
    EXPECT_EQ(found.Name, "fixed.ico");
    EXPECT_EQ(found.Attr & faReadOnly, faReadOnly);
}

TEST(FindFileWalk, FolderEntriesHaveSizeZero) {
    TempDir dir;
    const std::string root = dir.Path() + "/";
    ::mkdir((root + "sub").c_str(), 0777);
    for (int i = 0; i < 200; ++i) WriteBytes(root + "sub/" + std::string(100, 'n') + std::to_string(i), {});
    TFindFile f;
    f.Criteria().Files.FileName = "sub";
    f.Criteria().Files.Location = "<" + root;
    f.Criteria().Attribute.SetAttributes(AttrSet({ffDirectory}));
    f.Criteria().Size.Max = 4095;
    std::vector<int64_t> sizes;
    f.OnFileMatch = [&](TFindFile&, const std::string&, const TSearchRec& r) { sizes.push_back(r.Size); };
    f.Execute();
    EXPECT_EQ(sizes, std::vector<int64_t>{0});
}

TEST(FindFileWalk, FolderNamesAreComparedExactly) {
    // Folders differing in case only are two targets; a ":" in a name is a plain character.
    TempDir dir;
    const std::string root = dir.Path() + "/";
    for (const char* folder : {"Icons", "icons", "icons:", "icons:/deep"}) ::mkdir((root + folder).c_str(), 0777);
    for (const char* file : {"Icons/a.ico", "icons/b.ico", "icons:/c.ico", "icons:/deep/d.ico", "x:y.ico"})
        WriteBytes(root + file, {'x'});
    EXPECT_EQ(NormalizeFolder(root + "icons:"), root + "icons:/");

    EXPECT_EQ(Search(root + "Icons;" + root + "icons", "*.ico").files,
              (std::vector<std::string>{root + "Icons/a.ico", root + "icons/b.ico"}));
    EXPECT_EQ(Search(root + "icons:", "*.ico").files,
              (std::vector<std::string>{root + "icons:/c.ico", root + "icons:/deep/d.ico"}));

    TFindFile f;
    f.Criteria().Files.Included = {"<" + root + "x:y.ico", "<" + root + "icons:/c.ico"};
    EXPECT_EQ(Walk(f).files, (std::vector<std::string>{root + "x:y.ico", root + "icons:/c.ico"}));
}

TEST(FindFileWalk, AQuestionMarkInAMaskIsOneCharacter) {
    TempDir dir;
    const std::string root = dir.Path() + "/";
    for (const char* file : {"图标.ico", "图.ico", "\xff.ico", "ab.ico", "*xb.ico"}) WriteBytes(root + file, {'x'});
    const struct {
        const char* mask;
        std::vector<std::string> names;
    } cases[] = {
        {"图?.ico", {"图标.ico"}},
        {"?.ico", {"图.ico", "\xff.ico"}},  // an invalid byte is one character
        {"??.ico", {"ab.ico", "图标.ico"}},
        {"*??.ico", {"*xb.ico", "ab.ico", "图标.ico"}},  // "*" never ends inside a character
        {"*b.ico", {"*xb.ico", "ab.ico"}},               // the mask's "*" stays a wildcard at a "*" in the name
    };
    for (const auto& c : cases) {
        std::vector<std::string> expected;
        for (const auto& name : c.names) expected.push_back(root + name);
        EXPECT_EQ(Search("<" + root, c.mask).files, expected) << c.mask;
    }
}

TEST(SearchNames, AQuestionMarkIsOneUtf8Character) {
    const struct {
        const char* text;
        const char* mask;
        bool match;
    } cases[] = {
        {"图", "?", true},
        {"图标", "图?", true},
        {"图标", "?", false},
        {"\xff", "?", true},
        {"\xe5\x9b", "?", false},  // a cut sequence: two bytes, two characters
        {"\xe5\x9b", "??", true},
        {"\xf0\x9f\x98\x80", "?", true},
        {"\xed\xa0\x80", "?", false},  // a surrogate
        {"é.ico", "?.ico", true},
        {"ab", "?", false},
    };
    for (const auto& c : cases) EXPECT_EQ(WildcardMatch(c.text, c.mask), c.match) << c.text << " " << c.mask;
    EXPECT_TRUE(FileNameMatch("图标.ico", "图?.ico"));
    EXPECT_TRUE(FileNameMatch("图.ico", "?.ico"));
    EXPECT_FALSE(FileNameMatch("图标.ico", "?.ico"));
}
