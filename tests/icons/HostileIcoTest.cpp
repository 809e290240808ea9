// .ico files whose entries claim far more than the file: the images share the file's bytes.
#include "base/ByteReader.h"
#include "base/ByteSource.h"
#include "base/Errors.h"
#include "icons/AdvancedIcon.h"
#include "library/IconLibrary.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// A sparse .ico file of `size` bytes whose `count` entries each claim 4 GB from offset i * 1000.
void WriteClaimingIco(const std::string& path, uint64_t size, uint16_t count) {
    std::vector<uint8_t> head(6 + 16 * size_t{count}, 0);
    PutU16le(&head[2], 1);
    PutU16le(&head[4], count);
    for (uint16_t i = 0; i < count; ++i) {
        uint8_t* e = &head[6 + 16 * size_t{i}];
        e[0] = e[1] = 16;
        PutU16le(e + 6, 32);
        PutU32le(e + 8, 0xFFFFFFFFu);
        PutU32le(e + 12, 1000u * i);
    }
    WriteBytes(path, head);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
}

}  // namespace

TEST(HostileIco, EntriesOfALargeFileShareItsBytes) {
    TempDir dir;
    const uint64_t size = (uint64_t{65} << 20) + 1;
    WriteClaimingIco(dir.File("big.ico"), size, 20);
    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromFile(dir.File("big.ico")));
    ASSERT_EQ(icon.Images().Count(), 20);
    const uint8_t* low = icon.Images()[0]->Data().data();
    const uint8_t* high = low;
    for (int i = 0; i < 20; ++i) {
        const auto data = icon.Images()[i]->Data();
        EXPECT_EQ(data.size(), size - 1000u * static_cast<unsigned>(i));
        low = std::min(low, data.data());
        high = std::max(high, data.data() + data.size());
    }
    // All twenty within one copy of the file.
    EXPECT_EQ(static_cast<uint64_t>(high - low), size);

    WriteClaimingIco(dir.File("huge.ico"), kMaxWholeFileRead + 1, 1);
    EXPECT_THROW(icon.LoadFromFile(dir.File("huge.ico")), EReadError);
}

// Entries that overlap must each be written whole; a save that would write the file's bytes
// over and over is refused, for a single icon and for a library alike.
TEST(HostileIco, SavesOfOverlappingImagesAreBounded) {
    TempDir dir;
    constexpr uint16_t kEntries = 200;
    constexpr uint32_t kData = 100 * 1024;
    std::vector<uint8_t> bytes(6 + 16 * size_t{kEntries} + kData, 0x55);
    std::fill(bytes.begin(), bytes.begin() + 6 + 16 * kEntries, 0);
    PutU16le(&bytes[2], 1);
    PutU16le(&bytes[4], kEntries);
    for (uint16_t i = 0; i < kEntries; ++i) {
        uint8_t* e = &bytes[6 + 16 * size_t{i}];
        PutU32le(e + 8, kData - i);  // one range, cut a little shorter each time
        PutU32le(e + 12, 6 + 16 * uint32_t{kEntries});
    }
    WriteBytes(dir.File("overlap.ico"), bytes);
    auto icon = std::make_unique<TAdvancedIcon>();
    ASSERT_TRUE(icon->LoadFromFile(dir.File("overlap.ico")));
    EXPECT_THROW(icon->SaveToFile(dir.File("out.ico")), EPictavoError);
    EXPECT_FALSE(FileExists(dir.File("out.ico")));
    TIconLibrary library;
    library.Icons().AddIcon("x", std::move(icon));
    EXPECT_THROW(library.SaveToFile(dir.File("out.icl")), EPictavoError);

    // A few overlapping images stay well within the allowance and are written.
    bytes.resize(6 + 16 * 3 + kData);
    PutU16le(&bytes[4], 3);
    for (uint16_t i = 0; i < 3; ++i) PutU32le(&bytes[6 + 16 * size_t{i} + 12], 6 + 16 * 3);
    WriteBytes(dir.File("few.ico"), bytes);
    TAdvancedIcon few;
    ASSERT_TRUE(few.LoadFromFile(dir.File("few.ico")));
    few.SaveToFile(dir.File("few-out.ico"));
    EXPECT_TRUE(FileExists(dir.File("few-out.ico")));
}
