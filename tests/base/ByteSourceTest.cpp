// Shared ranges of a source, and files that shrink or are too large while they are read.
#include "base/ByteSource.h"
#include "base/Errors.h"
#include "base/FileIO.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <set>

using namespace pictavo;
using namespace pictavo::test;

namespace {

std::vector<uint8_t> Counting(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

std::vector<uint8_t> Copy(std::span<const uint8_t> s) { return {s.begin(), s.end()}; }

}  // namespace

TEST(SharedRanges, TheSameRangeIsOneBufferAndOverlapsCostAFewTimesTheSource) {
    const auto bytes = Counting(64 * 1024);
    const TSpanSource source(bytes);
    TSharedRanges ranges(source);
    const TSharedBytes first = ranges.Get(100, 5000);
    EXPECT_EQ(ranges.Get(100, 5000).Buffer, first.Buffer);
    EXPECT_EQ(Copy(first.Bytes()), std::vector<uint8_t>(bytes.begin() + 100, bytes.begin() + 5100));
    // Every range starting two bytes further and reaching to the end: 1 GB if each were copied.
    std::set<const TByteBuffer*> buffers;
    uint64_t held = 0;
    for (uint64_t at = 0; at < bytes.size(); at += 2) {
        const TSharedBytes part = ranges.Get(at, UINT32_MAX);
        ASSERT_EQ(part.Size, bytes.size() - at);
        ASSERT_EQ(part.Bytes().front(), bytes[at]);
        if (buffers.insert(part.Buffer.get()).second) held += part.Buffer->Bytes().size();
    }
    EXPECT_LE(held, 3 * bytes.size());
    EXPECT_EQ(ranges.Get(100, 5000).Buffer, first.Buffer);
    EXPECT_EQ(ranges.Get(bytes.size(), 1).Size, 0u);
}

TEST(ShrinkingFile, ReadsGiveTheBytesThatExistOrFail) {
    TempDir dir;
    const auto bytes = Counting(600 * 1024);
    const std::string path = dir.File("f");
    WriteBytes(path, bytes);
    const TFileSource file(path);
    ASSERT_EQ(file.Size(), bytes.size());
    TSharedRanges ranges(file);
    const TSharedBytes before = ranges.Get(0, 10);
    ASSERT_EQ(before.Size, 10u);
    const uint64_t kept = 300 * 1024;
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(kept)), 0);  // after the size was learnt

    std::vector<uint8_t> out(bytes.size());
    EXPECT_FALSE(file.Read(kept - 10, out.data(), 20));
    EXPECT_FALSE(file.Read(0, out.data(), out.size()));
    EXPECT_EQ(file.ReadUpTo(kept - 10, out.data(), 20), 10u);
    EXPECT_EQ(file.ReadUpTo(0, out.data(), out.size()), kept);
    EXPECT_EQ(file.ReadUpTo(kept + 10, out.data(), 4), 0u);
    const auto whole = ReadWhole(file);
    EXPECT_EQ(Copy(whole->Bytes()), std::vector<uint8_t>(bytes.begin(), bytes.begin() + kept));
    // What was read before stays as it was; what is read now ends where the file does.
    EXPECT_EQ(Copy(before.Bytes()), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10));
    const TSharedBytes cut = ranges.Get(kept - 1000, 5000);
    EXPECT_EQ(Copy(cut.Bytes()), std::vector<uint8_t>(bytes.begin() + kept - 1000, bytes.begin() + kept));
    EXPECT_EQ(ranges.Get(kept + 10, 100).Size, 0u);
}

TEST(WholeFile, ReadIntoOneBufferUpToTheLimit) {
    TempDir dir;
    const auto bytes = Counting(10000);
    WriteBytes(dir.File("small"), bytes);
    const TFileBytes file(dir.File("small"));
    EXPECT_EQ(Copy(file.Bytes()), bytes);
    ASSERT_EQ(::truncate(dir.File("small").c_str(), 10), 0);
    EXPECT_EQ(file.Size(), bytes.size());  // held, not mapped

    // A sparse file past the limit is refused before anything is read.
    WriteBytes(dir.File("huge"), {0, 0, 1, 0, 1, 0});
    ASSERT_EQ(::truncate(dir.File("huge").c_str(), static_cast<off_t>(kMaxWholeFileRead + 1)), 0);
    try {
        const TFileBytes huge(dir.File("huge"));
        FAIL() << "read";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "文件太大, 无法读入内存 (超过 512 MB)");
    }
    const TFileSource source(dir.File("huge"));
    EXPECT_THROW(ReadWhole(source), EReadError);
    TSharedRanges ranges(source);
    EXPECT_THROW(ranges.Get(0, kMaxWholeFileRead + 1), EReadError);
}
