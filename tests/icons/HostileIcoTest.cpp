// .ico files whose entries claim far more than the file: the images share the file's bytes.
#include "base/ByteReader.h"
#include "base/ByteSource.h"
#include "base/Errors.h"
#include "icons/AdvancedIcon.h"
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
