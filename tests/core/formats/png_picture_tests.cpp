#include <gtest/gtest.h>

#include <set>

#include "core/formats/bmp_reader.h"
#include "core/formats/picture_import.h"
#include "core/formats/png_file.h"
#include "support/png_encode.h"
#include "support/test_paths.h"

namespace pq {
namespace {

using test::TempDir;
using test::WriteBytes;
const auto EncodeRgba = test::EncodePng;

// Eight colours in 4 x 4 blocks; in block row r of the picture, block b holds (b + r) % 5
// transparent pixels (in reading order), so 2 x 2 cells of every count from 0 to 4 occur.
std::vector<uint8_t> Blocks(int w, int h) {
    std::vector<uint8_t> px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int k = (x / 4 + 2 * (y / 4)) % 8;
            const int cell = (x / 2 + y / 2) % 5, inCell = (x % 2) + 2 * (y % 2);
            const bool clear = inCell < cell;
            px.insert(px.end(), {uint8_t(k * 30), uint8_t(200 - k * 20), uint8_t(k * 7), uint8_t(clear ? 0 : 255)});
        }
    return px;
}

TEST(PngPicture, ColoursOverWhiteTransparentWhereAlphaIsZeroAndHostileFilesRefused) {
    const std::vector<uint8_t> px = {10, 20, 30, 255, 10, 20, 30, 0, 200, 100, 0, 128, 0, 0, 0, 1};
    Raster picture;
    Plane clear;
    ASSERT_TRUE(DecodePngPicture(EncodeRgba(2, 2, px), picture, &clear));
    EXPECT_EQ(picture.PixelUnchecked(0, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(picture.PixelUnchecked(1, 0), kWhite);
    EXPECT_EQ(picture.PixelUnchecked(0, 1), (Rgb{227, 177, 127}));   // half over white
    EXPECT_EQ(clear, (Plane{0, 1, 0, 0}));   // alpha 1 is not fully transparent

    // The header says 40000 x 40000 (its checksum made to match) in a file of a few dozen bytes.
    std::vector<uint8_t> huge = EncodeRgba(2, 2, px);
    for (int i = 0; i < 4; ++i) huge[16 + i] = uint8_t((40000u >> (24 - 8 * i)) & 0xFF), huge[20 + i] = huge[16 + i];
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 12; i < 29; ++i) {   // chunk type and data
        crc ^= huge[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i) huge[29 + std::size_t(i)] = uint8_t(crc >> (24 - 8 * i));
    EXPECT_EQ(DecodePngPicture(huge, picture, &clear).Message, kPictureTooLargeMessage);
    std::vector<uint8_t> cut = EncodeRgba(2, 2, px);
    cut.resize(cut.size() - 20);
    EXPECT_EQ(DecodePngPicture(cut, picture, &clear).Message, kPngUnreadableMessage);
    EXPECT_TRUE(picture.Empty());
    EXPECT_TRUE(clear.empty());
}

TEST(PngPicture, ImportLeavesMostlyTransparentPixelsUnpainted) {
    TempDir dir;
    const int w = 40, h = 40;
    const std::vector<uint8_t> px = Blocks(w, h);
    WriteBytes(dir / "p.png", EncodeRgba(w, h, px));
    Raster picture;
    Plane clear;
    ASSERT_TRUE(LoadPicture(dir / "p.png", PictureKindOf(dir / "P.PNG"), picture, &clear));

    // OK at once: the top-left 16 x 16 at 1:1; unpainted exactly where transparent, the eight
    // colours exact, and no palette entry spent on the transparent parts.
    AreaPicker oneToOne(picture, 16, 16, &clear);
    Document doc;
    ImportPictureDocument(doc, oneToOne.Preview(), 16, 10, &oneToOne.PreviewUnpainted());
    std::set<int> used;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const uint8_t* p = px.data() + 4 * (std::size_t(y) * w + x);
            const std::size_t at = std::size_t(y) * 16 + x;
            ASSERT_EQ(doc.LayerAt(0).Mask[at], p[3] ? 1 : 0) << x << "," << y;
            if (!p[3]) continue;
            EXPECT_EQ(doc.ColorOf(doc.LayerAt(0).Indices[at]), (Rgb{p[0], p[1], p[2]}));
            used.insert(doc.LayerAt(0).Indices[at]);
        }
    EXPECT_EQ(used.size(), 8u);   // the colour blocks of the corner
    EXPECT_EQ(doc.Palette[8], PaletteEntry{});

    // A 32 x 32 area to 16 x 16: each pixel from 2 x 2 samples, unpainted when 3 or 4 of them
    // are transparent (2 is not most).
    AreaPicker scaled(picture, 16, 16, &clear);
    scaled.Square = false;
    scaled.Press(0, 0);
    scaled.Move(32, 32);
    scaled.Release();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            int transparent = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) transparent += px[4 * (std::size_t(2 * y + dy) * w + 2 * x + dx) + 3] == 0;
            ASSERT_EQ(scaled.PreviewUnpainted()[std::size_t(y) * 16 + x], transparent > 2) << x << "," << y;
        }
    // The same picture without transparency: every pixel painted, as for other pictures.
    AreaPicker plain(picture, 16, 16);
    EXPECT_EQ(plain.PreviewUnpainted(), Plane(256, 0));
}

TEST(PngPicture, ADocumentWrittenAsPngImportsBackAsItWas) {
    TempDir dir;
    Document doc;
    InitBlankDocument(doc, 16, 16, 16, 10);
    Layer& l = doc.LayerAt(0);
    for (std::size_t i = 0; i < l.Mask.size(); ++i) {
        l.Indices[i] = uint8_t(i % 5);
        l.Mask[i] = i % 3 != 0;
    }
    ASSERT_TRUE(SavePngFile(doc, dir / "d.png"));
    Raster picture;
    Plane clear;
    ASSERT_TRUE(LoadPicture(dir / "d.png", PictureKind::Png, picture, &clear));
    AreaPicker picker(picture, 16, 16, &clear);
    Document back;
    ImportPictureDocument(back, picker.Preview(), 16, 10, &picker.PreviewUnpainted());
    EXPECT_EQ(back.LayerAt(0).Mask, l.Mask);
    for (std::size_t i = 0; i < l.Mask.size(); ++i)
        if (l.Mask[i]) {
            ASSERT_EQ(back.ColorOf(back.LayerAt(0).Indices[i]), doc.ColorOf(l.Indices[i])) << i;
        }
}

}  // namespace
}  // namespace pq
