#include "base/ByteReader.h"
#include "base/Errors.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

using namespace pictavo;
using namespace pictavo::test;

namespace {

const std::vector<uint8_t> kBytes = {0x4D, 0x5A, 0x01, 0x02, 0x03, 0x04, 0xFF};

// The same reads over bytes in memory and over a file read in pages.
void CheckCursor(const TByteSource& source) {
    ByteCursor c(source);
    EXPECT_EQ(c.Size(), kBytes.size());
    EXPECT_EQ(c.U16At(0), 0x5A4D);
    EXPECT_EQ(c.U32At(2), 0x04030201u);
    EXPECT_EQ(c.U16At(6), std::nullopt);  // one byte short
    EXPECT_EQ(c.U8At(6), 0xFF);
    EXPECT_EQ(c.U16(), 0x5A4D);
    EXPECT_EQ(c.U32(), 0x04030201u);
    EXPECT_EQ(c.Position(), 6u);
    try {
        c.U16();
        ADD_FAILURE() << "a short record was read";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "流读取错误");
    }
    EXPECT_EQ(c.Position(), 6u);  // nothing consumed
    EXPECT_EQ(c.U8(), 0xFF);
    EXPECT_EQ(c.Remaining(), 0u);
    c.Seek(100);  // past the end: nothing there, nothing remains
    EXPECT_EQ(c.Remaining(), 0u);
    EXPECT_THROW(c.U8(), EReadError);
}

TEST(ByteCursor, ReadsRecordsAndOffsetsAlikeFromMemoryAndFiles) {
    CheckCursor(TSpanSource(kBytes));
    TempDir dir;
    WriteBytes(dir.File("bytes"), kBytes);
    const TFileSource file(dir.File("bytes"));
    CheckCursor(file);
}

}  // namespace
