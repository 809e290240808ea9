// pictavo-cli thumbnail as file managers run it: through the thumbnailer entry's Exec line,
// with its usage errors and with files it cannot draw.
#include "icons/IconTypes.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// Runs a shell command line; the exit status, and what it wrote to stderr in `err`.
int Shell(const std::string& command, const TempDir& dir, std::string& err) {
    const int raw = std::system((command + " 2>" + ShellQuote(dir.File("stderr.txt"))).c_str());
    std::stringstream ss;
    ss << std::ifstream(dir.File("stderr.txt")).rdbuf();
    err = ss.str();
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

int Thumbnail(const std::vector<std::string>& args, const TempDir& dir, std::string& err) {
    std::string command = ShellQuote(PICTAVO_CLI) + " thumbnail";
    for (const auto& a : args) command += " " + ShellQuote(a);
    return Shell(command, dir, err);
}

size_t FolderSize(const std::string& path) {
    size_t n = 0;
    if (DIR* d = opendir(path.c_str())) {
        while (const dirent* e = readdir(d)) n += std::string(e->d_name) != "." && std::string(e->d_name) != "..";
        closedir(d);
    }
    return n;
}

// An .ico file of a 16-pixel image and an opaque 64-pixel one of a single colour.
std::vector<uint8_t> IconFile(uint32_t colour) {
    const Picture big{64, 64, std::vector<uint32_t>(64 * 64, colour), std::vector<uint8_t>(64 * 64, 0)};
    const auto small = MakeDib(MakePicture(16, 16, 16), 4), large = MakePng(big);
    return MakeIco({{InfoFor(16, 4, small.size()), small}, {InfoFor(64, 32, large.size()), large}});
}

}  // namespace

TEST(CliThumbnail, TheThumbnailerEntryRunAsFileManagersFillIt) {
    const auto keys = ReadKeyFileGroup(PICTAVO_SOURCE_DIR "/packaging/pictavo.thumbnailer", "Thumbnailer Entry");
    ASSERT_EQ(keys.count("Exec"), 1u);
    EXPECT_EQ(keys.at("TryExec"), "pictavo-cli");
    for (const char* type : {"image/vnd.microsoft.icon;", "application/x-ms-dos-executable;"})
        EXPECT_NE(keys.at("MimeType").find(type), std::string::npos) << type;
    // %s the size, %i the input path, %o the output path, each one word; the program named is
    // this build's.
    std::string exec = keys.at("Exec");
    ASSERT_EQ(exec.rfind("pictavo-cli ", 0), 0u) << exec;
    exec.replace(0, std::string("pictavo-cli").size(), ShellQuote(PICTAVO_CLI));
    TempDir dir;
    WriteBytes(dir.File("my icon's.ico"), IconFile(0xFF3366CC));
    const std::map<char, std::string> fields = {{'s', "48"},
                                                {'i', ShellQuote(dir.File("my icon's.ico"))},
                                                {'o', ShellQuote(dir.File("out 1.png"))},
                                                {'%', "%"}};
    std::string command;
    for (size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] == '%' && i + 1 < exec.size() && fields.count(exec[i + 1]))
            command += fields.at(exec[++i]);
        else
            command += exec[i];
    }
    std::string err;
    ASSERT_EQ(Shell(command, dir, err), 0) << command << '\n' << err;
    const Picture png = ReadPngFile(dir.File("out 1.png"));
    ASSERT_EQ(png.Width, 48);
    ASSERT_EQ(png.Height, 48);
    EXPECT_EQ(png.Colour[24 * 48 + 24], 0xFF3366CCu);  // the 64-pixel image scaled down

    // A file:// URI, and the default size.
    ASSERT_EQ(Thumbnail({"file://" + dir.Path() + "/my%20icon's.ico", dir.File("t.png")}, dir, err), 0) << err;
    const Picture large = ReadPngFile(dir.File("t.png"));
    ASSERT_EQ(large.Width, 128);
    EXPECT_EQ(large.Colour[64 * 128 + 64], 0xFF3366CCu);
}

TEST(CliThumbnail, UsageErrors) {
    TempDir dir;
    WriteBytes(dir.File("a.ico"), IconFile(0xFF000000));
    const std::string in = dir.File("a.ico"), out = dir.File("t.png");
    std::string err;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-s", "0", in, out},
                                                 {"-s", "1025", in, out},
                                                 {"-s", "12x", in, out},
                                                 {"-s", "", in, out},
                                                 {in},
                                                 {"--bogus", in, out}}) {
        EXPECT_EQ(Thumbnail(args, dir, err), 2) << args[0];
        EXPECT_EQ(err.rfind("pictavo-cli thumbnail: ", 0), 0u) << err;
    }
    EXPECT_FALSE(FileExists(out));
    EXPECT_EQ(Thumbnail({"-s", "1024", in, out}, dir, err), 0) << err;
}

TEST(CliThumbnail, NothingWrittenForFilesItCannotDraw) {
    TempDir dir;
    const auto ico = IconFile(0xFF000000);
    WriteBytes(dir.File("cut.ico"), std::vector<uint8_t>(ico.begin(), ico.begin() + 20));  // directory cut short
    auto junk = ico;
    std::fill(junk.begin() + 6 + 2 * 16, junk.end(), 0xEE);  // no image header readable
    WriteBytes(dir.File("junk.ico"), junk);
    WriteBytes(dir.File("plain.txt"), {'h', 'i'});
    WriteBytes(dir.File("empty.ico"), {0, 0, 1, 0, 0, 0});
    WriteBytes(dir.File("nogroup.dll"), BuildPe({{RT_ICON, true, 1, {}, 1033, ico}}).Bytes);
    const std::string out = dir.File("out");
    ASSERT_EQ(::mkdir(out.c_str(), 0777), 0);
    for (const std::string& input :
         {dir.File("cut.ico"), dir.File("junk.ico"), dir.File("plain.txt"), dir.File("empty.ico"),
          dir.File("nogroup.dll"), dir.File("missing.ico"), dir.Path(), std::string("http://example.org/a.ico")}) {
        std::string err;
        EXPECT_EQ(Thumbnail({input, out + "/t.png"}, dir, err), 1) << input;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.rfind(input + ": ", 0), 0u) << err;
        EXPECT_EQ(FolderSize(out), 0u) << input;  // no output, no temporary file
    }
}

namespace {

// Runs `pictavo-cli thumbnail` in a child whose files cannot grow past `limit` bytes, as on a
// full disk: a write past it fails (EFBIG, with SIGXFSZ ignored). Its stderr is discarded.
int ThumbnailWithin(rlim_t limit, const std::vector<std::string>& args) {
    std::vector<std::string> words = {PICTAVO_CLI, "thumbnail"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit size{limit, limit};
        const int null = ::open("/dev/null", O_WRONLY);
        if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &size) != 0 || null < 0 ||
            ::dup2(null, 2) < 0)
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// A thumbnailer service creates the output empty, keeps a descriptor on it, runs the Exec line
// and reads the PNG back through that descriptor: the PNG must land in that very file, not in
// one renamed over it. An output that already holds a picture is replaced whole by a new file,
// so a reader never finds it empty or half written. A run that fails (a file it cannot draw, a
// full disk) leaves the output as it was.
TEST(CliThumbnail, WritesAnEmptyOutputInPlaceAndReplacesAFullOne) {
    TempDir dir;
    WriteBytes(dir.File("a.ico"), IconFile(0xFF3366CC));
    WriteBytes(dir.File("plain.txt"), {'h', 'i'});
    const auto throughDescriptor = [](int fd) {
        std::vector<uint8_t> bytes(1 << 16);
        const ssize_t n = ::pread(fd, bytes.data(), bytes.size(), 0);
        bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return bytes;
    };
    const std::string old(5000, 'x');  // longer than the PNG: a tail left over would show
    const std::vector<uint8_t> pngEnd = {'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    struct Case {
        const char* input;
        std::string before;  // what the output holds before the run
        rlim_t limit;        // the largest file the run may write: 40 bytes stops the PNG part way
        int status;
    };
    for (const Case& c : {Case{"a.ico", "", RLIM_INFINITY, 0}, Case{"a.ico", old, RLIM_INFINITY, 0},
                          Case{"a.ico", "", 40, 1}, Case{"a.ico", old, 40, 1}, Case{"plain.txt", "", RLIM_INFINITY, 1},
                          Case{"missing.ico", old, RLIM_INFINITY, 1}}) {
        const std::string what = std::string(c.input) + ", " + std::to_string(c.before.size()) +
                                 " bytes before, limit " + std::to_string(c.limit);
        const std::string out = dir.File("held.png");
        ::unlink(out.c_str());
        const int fd = ::open(out.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::string& before = c.before;
        ASSERT_EQ(::write(fd, before.data(), before.size()), static_cast<ssize_t>(before.size()));
        struct stat held {};
        ASSERT_EQ(::fstat(fd, &held), 0);
        EXPECT_EQ(ThumbnailWithin(c.limit, {"-s", "32", dir.File(c.input), out}), c.status) << what;
        struct stat now {};
        ASSERT_EQ(::stat(out.c_str(), &now), 0);
        EXPECT_EQ(now.st_mode & 07777, 0600u) << what;
        const auto seen = throughDescriptor(fd);
        ::close(fd);
        const auto bytes = ReadBytes(out);
        if (c.status != 0) {
            EXPECT_EQ(now.st_ino, held.st_ino) << what;
            EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == before) << what << ": " << bytes.size() << " bytes";
            continue;
        }
        // An empty file is the same file afterwards, one with a picture a new one.
        EXPECT_EQ(now.st_ino == held.st_ino, before.empty()) << what;
        if (before.empty()) {
            EXPECT_EQ(seen, bytes) << what;
        }
        // The file is the PNG and nothing more.
        ASSERT_GT(bytes.size(), pngEnd.size()) << what;
        EXPECT_TRUE(std::equal(pngEnd.begin(), pngEnd.end(), bytes.end() - pngEnd.size())) << what;
        const Picture png = ReadPngFile(out);
        EXPECT_EQ(png.Width, 32) << what;
        EXPECT_EQ(png.Colour[16 * 32 + 16], 0xFF3366CCu) << what;
    }
    EXPECT_EQ(FolderSize(dir.Path()), 3u);  // the inputs and held.png: no temporary left
}

// Only a file of one name is written in place; a second hard link to it (a file elsewhere the
// output was linked to, empty or not) keeps its bytes, and the output becomes a file of its own.
TEST(CliThumbnail, AHardLinkedOutputIsReplacedNotWrittenThrough) {
    for (const std::vector<uint8_t>& kept : {std::vector<uint8_t>{}, std::vector<uint8_t>{'k', 'e', 'e', 'p'}}) {
        TempDir dir;
        WriteBytes(dir.File("a.ico"), IconFile(0xFF3366CC));
        WriteBytes(dir.File("precious"), kept);
        ASSERT_EQ(::link(dir.File("precious").c_str(), dir.File("out.png").c_str()), 0);
        std::string err;
        ASSERT_EQ(Thumbnail({"-s", "16", dir.File("a.ico"), dir.File("out.png")}, dir, err), 0) << err;
        EXPECT_EQ(ReadBytes(dir.File("precious")), kept) << kept.size() << " bytes linked";
        EXPECT_EQ(ReadPngFile(dir.File("out.png")).Width, 16);
    }
}
