// Icons made and exported by another tool (icoutils' icotool) decode to the same pixels here.
#include "icons/AdvancedIcon.h"
#include "support/IconFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdlib>

using namespace pictavo;
using namespace pictavo::test;

namespace {

std::string FindExport(const std::string& dir, const std::string& suffix) {
    std::string found;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = d ? readdir(d) : nullptr) {
        const std::string name = e->d_name;
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            found = dir + "/" + name;
    }
    if (d) closedir(d);
    return found;
}

}  // namespace

TEST(PeerIco, ImagesMadeByIcotoolDecodeToItsExportedPixels) {
    ASSERT_EQ(std::system("command -v icotool >/dev/null"), 0) << "icotool (Debian package icoutils) is needed";
    TempDir dir;
    struct Source {
        int size, colours, bits;
        bool alpha, raw;
    } sources[] = {
        {16, 1, 1, false, false},  {32, 15, 4, false, false}, {24, 200, 8, false, false},
        {32, 0, 24, false, false}, {48, 0, 32, true, false},  {64, 0, 32, true, true},
    };
    std::string cmd = "icotool -c -o " + ShellQuote(dir.File("peer.ico"));
    for (size_t i = 0; i < std::size(sources); ++i) {
        const auto& s = sources[i];
        const std::string png = dir.File("src" + std::to_string(i) + ".png");
        WriteBytes(png, MakePng(MakePicture(s.size, s.size, s.colours, s.alpha)));
        cmd += s.raw ? " -r " + ShellQuote(png) : " -b " + std::to_string(s.bits) + " " + ShellQuote(png);
    }
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    ASSERT_EQ(std::system(("mkdir " + ShellQuote(dir.File("x")) + " && icotool -x -o " + ShellQuote(dir.File("x")) +
                           " " + ShellQuote(dir.File("peer.ico")))
                              .c_str()),
              0);

    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromFile(dir.File("peer.ico")));
    ASSERT_EQ(icon.Images().Count(), std::size(sources));
    for (int i = 0; i < icon.Images().Count(); ++i) {
        const auto& s = sources[i];
        SCOPED_TRACE(testing::Message() << s.size << " px, " << s.bits << " bit");
        const TIconImage* image = icon.Images()[i];
        EXPECT_EQ(image->Width(), s.size);
        EXPECT_EQ(image->BitCount(), s.bits);
        EXPECT_EQ(image->IsPng(), s.raw);
        const std::string exported =
            FindExport(dir.File("x"), "_" + std::to_string(i + 1) + "_" + std::to_string(s.size) + "x" +
                                          std::to_string(s.size) + "x" + std::to_string(s.bits) + ".png");
        ASSERT_FALSE(exported.empty());
        const auto theirs = DecodeIconImage(ReadBytes(exported));
        const TIconRaster* ours = image->GetHandle();
        ASSERT_NE(theirs, nullptr);
        ASSERT_NE(ours, nullptr);
        ASSERT_EQ(ours->Width, theirs->Width);
        ASSERT_EQ(ours->Height, theirs->Height);
        int differing = 0;
        for (int y = 0; y < ours->Height; ++y)
            for (int x = 0; x < ours->Width; ++x) {
                const uint32_t a = ours->Pixel(x, y), b = theirs->Pixel(x, y);
                const bool clearA = (a >> 24) == 0, clearB = (b >> 24) == 0;
                if (clearA != clearB || (!clearA && a != b)) ++differing;
            }
        EXPECT_EQ(differing, 0);
    }
}
