// Reads stop once their cancel flag is set: between files and inside the read of one file.
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// A file whose reads set the flag once a few of them have been made, as a window that gives up
// while the file is read.
class TCancellingSource : public TFileSource {
public:
    TCancellingSource(const std::string& path, TCancelFlag& flag, int readsBefore)
        : TFileSource(path), FFlag(flag), FLeft(readsBefore) {
        SetCancelFlag(&flag);
    }
    size_t ReadUpTo(uint64_t offset, void* out, size_t n) const override {
        if (--FLeft == 0) FFlag = true;
        return TFileSource::ReadUpTo(offset, out, n);
    }

private:
    TCancelFlag& FFlag;
    mutable int FLeft;
};

}  // namespace

TEST(CancelledReads, StopInsideAFileAndBetweenFiles) {
    TempDir dir;
    std::vector<PeResource> resources;
    for (uint16_t id = 1; id <= 40; ++id) {
        resources.push_back({RT_ICON, true, id, {}, 1033, MakeDib(MakePicture(16, 16, 16), 4)});
        resources.push_back({RT_GROUP_ICON, true, id, {}, 1033, GroupData({id})});
    }
    WriteBytes(dir.File("many.dll"), BuildPe(resources).Bytes);
    const auto dib = MakeDib(MakePicture(16, 16, 16), 4);
    WriteBytes(dir.File("a.ico"), MakeIco({{InfoFor(16, 4, dib.size()), dib}}));

    TCancelFlag flag{false};
    TIconLibrary whole;
    const TCancellingSource uncancelled(dir.File("many.dll"), flag, -1);
    whole.LoadFromSource("many.dll", uncancelled, TIconFileKind::PE);
    ASSERT_EQ(whole.Icons().Count(), 40);

    // The flag set after the headers were read: no further group is made.
    TIconLibrary library;
    const TCancellingSource source(dir.File("many.dll"), flag, 6);
    EXPECT_THROW(library.LoadFromSource("many.dll", source, TIconFileKind::PE), ECancelled);
    EXPECT_EQ(library.Icons().Count(), 0);

    // A list of files stops before the next file once the flag is set.
    TIconLibrary target;
    flag = false;
    EXPECT_EQ(LoadIcons(std::vector<std::string>{dir.File("a.ico"), dir.File("many.dll")}, target, &flag), 41);
    flag = true;
    EXPECT_THROW(LoadIcons(std::vector<std::string>{dir.File("a.ico")}, target, &flag), ECancelled);
    EXPECT_EQ(target.Icons().Count(), 41);
}

// A flag set before a read stops it, whether it is served by a page (a few bytes of a header) or
// read directly (a resource larger than a page).
TEST(CancelledReads, AFlagSetBeforeAReadStopsIt) {
    TempDir dir;
    WriteBytes(dir.File("file"), std::vector<uint8_t>(3 * TFileSource::kPageSize, 'x'));
    for (const size_t size : {size_t{16}, 2 * TFileSource::kPageSize}) {
        TFileSource source(dir.File("file"));
        TCancelFlag flag{true};
        source.SetCancelFlag(&flag);
        std::vector<uint8_t> out(size);
        EXPECT_THROW(source.ReadUpTo(0, out.data(), out.size()), ECancelled) << size << " bytes";
        flag = false;
        EXPECT_EQ(source.ReadUpTo(0, out.data(), out.size()), size);
    }
}
