#include "icons/IconTypes.h"

#include <gtest/gtest.h>

#include <array>

using namespace pictavo;

TEST(IconRecords, LittleEndianPackedLayout) {
    TIconDirEntry entry;
    entry.Info = TIconEntryInfo{0x20, 0x30, 0x10, 0x7F, 0x0102, 0x0304, 0x05060708};
    entry.ImageOffset = 0xA1B2C3D4;
    std::array<uint8_t, 16> raw{};
    entry.Write(raw);
    const std::array<uint8_t, 16> expected{0x20, 0x30, 0x10, 0x7F, 0x02, 0x01, 0x04, 0x03,
                                           0x08, 0x07, 0x06, 0x05, 0xD4, 0xC3, 0xB2, 0xA1};
    EXPECT_EQ(raw, expected);
    const TIconDirEntry back = TIconDirEntry::Read(raw);
    EXPECT_EQ(back.Info, entry.Info);
    EXPECT_EQ(back.ImageOffset, entry.ImageOffset);

    TGroupIconDirEntry group{entry.Info, 0xBEEF};
    std::array<uint8_t, 14> g{};
    group.Write(g);
    EXPECT_EQ(g[12], 0xEF);
    EXPECT_EQ(g[13], 0xBE);
    EXPECT_EQ(TGroupIconDirEntry::Read(g).IconId, 0xBEEF);
    EXPECT_EQ(TGroupIconDirEntry::Read(g).Info, entry.Info);

    std::array<uint8_t, 6> d{};
    TIconDir{0, 1, 0x1234}.Write(d);
    EXPECT_EQ(d, (std::array<uint8_t, 6>{0, 0, 1, 0, 0x34, 0x12}));
}
