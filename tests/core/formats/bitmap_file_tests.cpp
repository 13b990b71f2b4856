#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "core/formats/bitmap_file.h"
#include "support/test_paths.h"

namespace pq {
namespace {

using test::TempDir;

uint32_t U32(const std::vector<uint8_t>& b, std::size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, std::size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

// Reads the pixel at (x, y) of a bottom-up 24-bit bitmap file image.
Rgb PixelOf(const std::vector<uint8_t>& b, int x, int y) {
    const int w = int(U32(b, 18)), h = int(U32(b, 22));
    const std::size_t row = (3 * std::size_t(w) + 3) / 4 * 4;
    const std::size_t at = U32(b, 10) + std::size_t(h - 1 - y) * row + 3 * std::size_t(x);
    return Rgb{b[at + 2], b[at + 1], b[at]};
}

TEST(BitmapFile, FileSizesOfBlankWhitePictures) {
    const std::pair<int, std::size_t> sizes[] = {{16, 822}, {32, 3126}, {48, 6966}};
    for (auto [side, bytes] : sizes) {
        Document d;
        InitBlankDocument(d, side, side, 16, 20);
        std::vector<uint8_t> b = EncodeBitmap(d);
        ASSERT_EQ(b.size(), bytes);
        EXPECT_EQ(U16(b, 0), 19778);
        EXPECT_EQ(U32(b, 2), bytes);
        EXPECT_EQ(U16(b, 28), 24);
        for (std::size_t i = 54; i < b.size(); ++i) ASSERT_EQ(b[i], 255);  // blank: all white
    }
}

TEST(BitmapFile, VisibleLayersComposedOverWhiteWithExactPaletteColours) {
    TempDir dir;
    Document d;
    InitBlankDocument(d, 5, 3, 256, 20);  // odd width: each row padded by one byte
    for (int i = 0; i < 256; ++i) d.Palette[i] = PaletteEntry{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0};
    d.AppendLayer();
    d.AppendLayer();
    // Bottom paints the first two rows; the hidden middle layer paints everything; the top
    // layer paints the diagonal.
    for (int k = 0; k < 10; ++k) {
        d.LayerAt(0).Mask[k] = 1;
        d.LayerAt(0).Indices[k] = uint8_t(10 + k);
    }
    d.LayerAt(1).Visible = 0;
    for (int k = 0; k < 15; ++k) {
        d.LayerAt(1).Mask[k] = 1;
        d.LayerAt(1).Indices[k] = 99;
    }
    for (int k : {0, 6, 12}) {
        d.LayerAt(2).Mask[k] = 1;
        d.LayerAt(2).Indices[k] = 200;
    }
    ASSERT_TRUE(SaveBitmapFile(d, dir / "a.bmp"));
    std::ifstream in(dir / "a.bmp", std::ios::binary);
    const std::vector<uint8_t> b(std::istreambuf_iterator<char>(in), {});
    ASSERT_EQ(b.size(), 54u + 3 * 16);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const int k = x + 5 * y;
            Rgb expected = kWhite;
            if (k < 10) expected = d.ColorOf(10 + k);
            if (k == 0 || k == 6 || k == 12) expected = d.ColorOf(200);
            EXPECT_EQ(PixelOf(b, x, y), expected) << x << "," << y;
        }
    for (int r = 0; r < 3; ++r) EXPECT_EQ(b[54 + 16 * r + 15], 0) << "row padding";
}

TEST(BitmapFile, AnUnstorableDocumentIsReportedAndWritesNothing) {
    TempDir dir;
    Document d;
    EXPECT_TRUE(EncodeBitmap(d).empty());
    EXPECT_FALSE(SaveBitmapFile(d, dir / "x.bmp"));
    EXPECT_FALSE(std::filesystem::exists(dir / "x.bmp"));
}

}  // namespace
}  // namespace pq
