// The directory entry of a 32-bit or PNG page of a set whose image is not square: each side in
// its own byte, the cursor's hotspot clamped inside each side separately, and the file written
// from such pages read back at the same sizes.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/formats/icon_file.h"
#include "core/formats/icon_images.h"
#include "core/formats/icon_set.h"
#include "support/test_paths.h"

namespace pq {
namespace {

// A one-layer 16-colour document painted in a diagonal pattern, so both sides matter.
Document Painted(int w, int h) {
    Document d;
    InitBlankDocument(d, w, h, 16, 20);
    Layer& l = d.LayerAt(0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((x + 2 * y) % 3 != 0) l.Mask[std::size_t(y * w + x)] = 1, l.Indices[std::size_t(y * w + x)] = uint8_t((x + y) % 16);
    return d;
}

int Word(const StoredIconImage& image, int at) { return image.Entry[std::size_t(at)] | image.Entry[std::size_t(at + 1)] << 8; }

TEST(IconSetEntry, NonSquarePagesStateEachSideInItsOwnByte) {
    const std::pair<int, int> sizes[] = {{32, 16}, {16, 32}, {5, 3}, {256, 16}, {16, 256}};
    for (const auto& [w, h] : sizes) {
        for (IconPageKind kind : {IconPageKind::TrueColor, IconPageKind::Png}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + (kind == IconPageKind::Png ? " png" : " 32-bit"));
            StoredIconImage image;
            ASSERT_TRUE(EncodeIconPage(Painted(w, h), kind, kIconResourceType, image));
            EXPECT_EQ(image.Entry[0], w == 256 ? 0 : w);
            EXPECT_EQ(image.Entry[1], h == 256 ? 0 : h);
            EXPECT_EQ(Word(image, 4), 1);    // planes
            EXPECT_EQ(Word(image, 6), 32);   // bit count

            // The same from straight RGBA pixels.
            RgbaImage picture{w, h, std::vector<uint8_t>(std::size_t(w) * std::size_t(h) * 4, 200)};
            StoredIconImage direct;
            ASSERT_TRUE(EncodeRgbaIconImage(picture, kind == IconPageKind::Png, kIconResourceType, 0, 0, direct));
            EXPECT_EQ(direct.Entry[0], w == 256 ? 0 : w);
            EXPECT_EQ(direct.Entry[1], h == 256 ? 0 : h);
        }
    }
}

TEST(IconSetEntry, CursorHotspotIsClampedInsideEachSide) {
    // 40 x 9: a hotspot beyond both sides lands on the last column and the last row.
    RgbaImage picture{40, 9, std::vector<uint8_t>(40 * 9 * 4, 255)};
    for (bool png : {false, true}) {
        StoredIconImage image;
        ASSERT_TRUE(EncodeRgbaIconImage(picture, png, kCursorResourceType, 100, 100, image));
        EXPECT_EQ(image.Entry[0], 40);
        EXPECT_EQ(image.Entry[1], 9);
        EXPECT_EQ(Word(image, 4), 39);
        EXPECT_EQ(Word(image, 6), 8);
        ASSERT_TRUE(EncodeRgbaIconImage(picture, png, kCursorResourceType, 30, 7, image));
        EXPECT_EQ(Word(image, 4), 30);
        EXPECT_EQ(Word(image, 6), 7);
    }
}

TEST(IconSetEntry, SetOfNonSquarePagesReadsBackAtTheirSizes) {
    const Document wide = Painted(32, 16), tall = Painted(16, 32), odd = Painted(7, 5);
    const IconSetEntry entries[] = {{&wide, IconPageKind::TrueColor}, {&tall, IconPageKind::Png}, {&odd, IconPageKind::TrueColor}};
    test::TempDir dir;
    const auto path = dir / "pages.ico";
    ASSERT_TRUE(SaveIconSet(entries, path, kIconResourceType).Ok);

    const std::vector<uint8_t> bytes = test::ReadBytes(path);
    IconDirectory directory;
    ASSERT_TRUE(ReadIconDirectory(bytes, directory).Ok);
    ASSERT_EQ(directory.Entries.size(), 3u);
    const int expected[3][2] = {{32, 16}, {16, 32}, {7, 5}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(directory.Entries[i].Width, expected[i][0]) << i;
        EXPECT_EQ(directory.Entries[i].Height, expected[i][1]) << i;
    }

    std::vector<IconSetPage> pages;
    int type = 0;
    ASSERT_TRUE(LoadIconSetFile(path, 20, pages, type).Ok);
    ASSERT_EQ(pages.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(pages[i].Doc.ImageWidth, expected[i][0]) << i;
        EXPECT_EQ(pages[i].Doc.ImageHeight, expected[i][1]) << i;
        EXPECT_EQ(pages[i].Stored.Entry[0], expected[i][0]) << i;
        EXPECT_EQ(pages[i].Stored.Entry[1], expected[i][1]) << i;
    }
}

}  // namespace
}  // namespace pq
