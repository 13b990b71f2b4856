#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "core/io/byte_io.h"

namespace pq {
namespace {

TEST(ByteIo, WrittenValuesReadBackLittleEndianWithTheirSigns) {
    std::vector<uint8_t> bytes;
    ByteWriter w(bytes);
    w.U8(0xAB);
    w.U16(0xBEEF);
    w.U32(0x89ABCDEF);
    w.I32(-2);
    w.Fill(2, 7);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0xAB, 0xEF, 0xBE, 0xEF, 0xCD, 0xAB, 0x89, 0xFE, 0xFF, 0xFF, 0xFF, 7, 7}));

    ByteReader r(bytes);
    uint8_t u8 = 0;
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    int32_t i32 = 0;
    ASSERT_TRUE(r.U8(u8) && r.U16(u16) && r.U32(u32) && r.I32(i32));
    EXPECT_EQ(u8, 0xAB);
    EXPECT_EQ(u16, 0xBEEF);
    EXPECT_EQ(u32, 0x89ABCDEFu);
    EXPECT_EQ(i32, -2);
    EXPECT_EQ(LoadI32(bytes.data() + 7), -2);
    EXPECT_EQ(r.Remaining(), 2u);
}

TEST(ByteIo, ReadsThatDoNotFitFailWithoutMovingOrReadingPastTheEnd) {
    const std::array<uint8_t, 5> bytes{1, 2, 3, 4, 5};
    // The view sees only the first three bytes: the rest stands for memory beyond the file.
    const std::span<const uint8_t> three = std::span<const uint8_t>(bytes).first(3);
    ByteView v(three);
    EXPECT_TRUE(v.Has(1, 2));
    EXPECT_FALSE(v.Has(2, 2));
    EXPECT_FALSE(v.Has(SIZE_MAX, 2));   // offset + size would wrap around
    EXPECT_EQ(v.U16(1), 0x0302);
    EXPECT_EQ(v.U16(2), 0);
    EXPECT_EQ(v.U32(0), 0u);
    EXPECT_TRUE(v.Sub(2, 2).empty());

    ByteReader r(three);
    uint32_t u32 = 99;
    std::span<const uint8_t> taken;
    EXPECT_FALSE(r.U32(u32));
    EXPECT_EQ(u32, 99u);
    EXPECT_FALSE(r.Take(4, taken));
    EXPECT_FALSE(r.Skip(SIZE_MAX));
    EXPECT_EQ(r.Position(), 0u);
    uint16_t u16 = 0;
    EXPECT_TRUE(r.U16(u16));
    EXPECT_FALSE(r.U16(u16));
    EXPECT_EQ(r.Remaining(), 1u);
}

}  // namespace
}  // namespace pq
