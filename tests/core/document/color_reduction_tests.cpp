#include <gtest/gtest.h>

#include <random>
#include <set>

#include "core/document/color_reduction.h"
#include "support/reference_reduction.h"

namespace pq {
namespace {

Document Blank(int w, int h, int colors = 16, int layers = 1) {
    Document d;
    InitBlankDocument(d, w, h, colors, 20);
    while (d.LayerCount() < layers) d.AppendLayer();
    return d;
}

void Paint(Document& d, int layer, int x, int y, int index, uint8_t mask = 1) {
    std::size_t p = std::size_t(x) + std::size_t(y) * d.ImageWidth;
    d.LayerAt(layer).Indices[p] = uint8_t(index);
    d.LayerAt(layer).Mask[p] = mask;
}

void SetColor(Document& d, int index, Rgb c) { d.Palette[std::size_t(index)] = MakeEntry(c); }

Rgb PixelColor(const Document& d, int layer, int x, int y) {
    return d.ColorOf(d.LayerAt(layer).Indices[std::size_t(x) + std::size_t(y) * d.ImageWidth]);
}

// Runs the fast and the reference reduction on copies of one document and expects identical
// results; returns K.
int ExpectSameAsReference(const Document& original, int N, int layer, const Raster* picture,
                          const std::string& what) {
    Document fast = original, slow = original;
    int kFast = ReduceColors(fast, N, layer, picture);
    int kSlow = reference::ReduceColors(slow, N, layer, picture);
    EXPECT_EQ(kFast, kSlow) << what;
    EXPECT_EQ(fast.Palette, slow.Palette) << what;
    EXPECT_EQ(fast.Layers(), slow.Layers()) << what;
    return kFast;
}

TEST(NearestColor, PlainSumOfDifferencesLowestIndexOnTies) {
    PaletteTable t{};
    for (auto& e : t) e = MakeEntry({200, 200, 200});
    t[3] = MakeEntry({16, 10, 10});  // distance 6, red only
    t[7] = MakeEntry({12, 12, 12});  // distance 6, spread over three channels
    EXPECT_EQ(NearestColor({10, 10, 10}, t.data(), 16), 3);
    t[9] = MakeEntry({10, 15, 10});  // distance 5
    EXPECT_EQ(NearestColor({10, 10, 10}, t.data(), 16), 9);
    EXPECT_EQ(NearestColor({10, 10, 10}, t.data(), 9), 3) << "entries from n on are not looked at";
    EXPECT_EQ(NearestColor({10, 10, 10}, t.data(), 0), 0);
    EXPECT_EQ(NearestColor({10, 10, 10}, nullptr, 0), 0);
}

TEST(ReduceColors, WorkedExampleSplitsAtTheEntryCrossingHalf) {
    // red 10 on five pixels, red 200 on one, red 30 on four, met in that order column by column.
    Document d = Blank(10, 1);
    SetColor(d, 0, {10, 0, 0});
    SetColor(d, 1, {200, 0, 0});
    SetColor(d, 2, {30, 0, 0});
    const int idx[10] = {0, 0, 0, 0, 0, 1, 2, 2, 2, 2};
    for (int x = 0; x < 10; ++x) Paint(d, 0, x, 0, idx[x]);
    Document two = d;
    EXPECT_EQ(ReduceColors(two, 2, 0, nullptr), 2);
    EXPECT_EQ(two.ColorOf(0), (Rgb{20, 0, 0}));
    EXPECT_EQ(two.ColorOf(1), (Rgb{200, 0, 0}));
    EXPECT_EQ(two.LayerAt(0).Indices, (Plane{0, 0, 0, 0, 0, 1, 0, 0, 0, 0}));
    ExpectSameAsReference(d, 2, 0, nullptr, "worked example");
    EXPECT_EQ(ExpectSameAsReference(d, 16, 0, nullptr, "worked example, 16"), 3);
}

TEST(ReduceColors, EqualLargestRangesSortByBlueAndEqualDistancesTakeTheLowerEntry) {
    // Red and green ranges 255, blue 10: sorted by blue, which keeps the order A, B, C.
    Document d = Blank(3, 1);
    SetColor(d, 0, {255, 0, 0});
    SetColor(d, 1, {0, 255, 5});
    SetColor(d, 2, {0, 0, 10});
    for (int x = 0; x < 3; ++x) Paint(d, 0, x, 0, x);
    EXPECT_EQ(ReduceColors(d, 2, 0, nullptr), 2);
    EXPECT_EQ(d.ColorOf(0), (Rgb{127, 127, 2}));
    EXPECT_EQ(d.ColorOf(1), (Rgb{0, 0, 10}));

    // (240, 240, 240) ends 45 away from both new entries (195, 240, 240) and white.
    Document e = Blank(3, 1);
    SetColor(e, 0, {150, 240, 240});
    SetColor(e, 1, {240, 240, 240});
    SetColor(e, 2, {255, 255, 255});
    for (int x = 0; x < 3; ++x) Paint(e, 0, x, 0, x);
    EXPECT_EQ(ReduceColors(e, 2, 0, nullptr), 2);
    EXPECT_EQ(e.ColorOf(0), (Rgb{195, 240, 240}));
    EXPECT_EQ(e.ColorOf(1), kWhite);
    EXPECT_EQ(e.LayerAt(0).Indices, (Plane{0, 0, 1}));
}

TEST(ReduceColors, FewColoursStayExactAndUnusedEntriesAreCleared) {
    Document d = Blank(8, 8, 16, 2);
    for (int i = 16; i < 256; ++i) SetColor(d, i, {7, 7, 7});
    const int used[5] = {2, 9, 11, 4, 14};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) Paint(d, (x + y) % 2, x, y, used[(x * 3 + y) % 5]);
    Document before = d;
    ASSERT_EQ(ReduceColors(d, 16, 0, nullptr), 5);
    std::set<uint32_t> got, want;
    for (int k = 0; k < 5; ++k) got.insert(ToColorRef(d.ColorOf(k)));
    for (int i : used) want.insert(ToColorRef(before.ColorOf(i)));
    EXPECT_EQ(got, want);
    for (int k = 5; k < 16; ++k) EXPECT_EQ(d.Palette[std::size_t(k)], PaletteEntry{}) << k;
    for (int k = 16; k < 256; ++k) EXPECT_EQ(d.ColorOf(k), (Rgb{7, 7, 7})) << k;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            int l = (x + y) % 2;
            EXPECT_EQ(PixelColor(d, l, x, y), PixelColor(before, l, x, y)) << x << "," << y;
            EXPECT_LT(d.LayerAt(l).Indices[std::size_t(x + 8 * y)], 5);
        }
}

TEST(ReduceColors, IndicesOfOneColourMerge) {
    Document d = Blank(4, 1);
    SetColor(d, 3, {1, 2, 3});
    SetColor(d, 9, {1, 2, 3});
    Paint(d, 0, 0, 0, 3);
    Paint(d, 0, 1, 0, 9);
    Paint(d, 0, 2, 0, 0);
    EXPECT_EQ(ReduceColors(d, 16, 0, nullptr), 2);
    EXPECT_EQ(d.LayerAt(0).Indices[0], d.LayerAt(0).Indices[1]);
    EXPECT_EQ(PixelColor(d, 0, 0, 0), (Rgb{1, 2, 3}));
}

TEST(ReduceColors, OnlyMaskOneIsCountedAndRemapped) {
    Document d = Blank(4, 1);
    Paint(d, 0, 0, 0, 10);        // red, painted
    Paint(d, 0, 1, 0, 12, 2);     // green, mask 2
    Paint(d, 0, 2, 0, 14, 255);   // blue, mask 255
    Paint(d, 0, 3, 0, 13, 0);     // index byte left under a transparent pixel
    EXPECT_EQ(ReduceColors(d, 16, 0, nullptr), 1);
    EXPECT_EQ(d.ColorOf(0), (Rgb{255, 0, 0}));
    EXPECT_EQ(d.LayerAt(0).Indices, (Plane{0, 12, 14, 13}));
    EXPECT_EQ(d.LayerAt(0).Mask, (Plane{1, 2, 255, 0}));
}

TEST(ReduceColors, NothingPaintedLeavesEverythingAlone) {
    Document d = Blank(6, 5, 256, 2);
    Paint(d, 1, 2, 2, 5, 2);
    Document before = d;
    EXPECT_EQ(ReduceColors(d, 256, 0, nullptr), 1);
    EXPECT_EQ(d.Palette, before.Palette);
    EXPECT_EQ(d.Layers(), before.Layers());
    Document empty;
    EXPECT_EQ(ReduceColors(empty, 16, 0, nullptr), 1);
}

TEST(ReduceColors, PicturePaintsTheWholeReceivingLayerAndHiddenLayersTakePart) {
    Document d = Blank(4, 4, 16, 3);
    d.LayerAt(2).Visible = 0;
    Paint(d, 2, 0, 0, 13);           // cyan, only on the hidden layer
    Paint(d, 0, 1, 1, 10);           // red on a visible layer
    Raster pic(4, 4);
    pic.Fill(kWhite);
    pic.SetPixel(3, 3, {0, 0, 255});
    EXPECT_EQ(ReduceColors(d, 16, 1, &pic), 4);
    EXPECT_EQ(d.LayerAt(1).Mask, Plane(16, 1));
    EXPECT_EQ(PixelColor(d, 1, 3, 3), (Rgb{0, 0, 255}));
    EXPECT_EQ(PixelColor(d, 1, 0, 0), kWhite);
    EXPECT_EQ(PixelColor(d, 2, 0, 0), (Rgb{0, 255, 255}));
    EXPECT_EQ(PixelColor(d, 0, 1, 1), (Rgb{255, 0, 0}));
    EXPECT_EQ(d.LayerAt(0).Mask[0], 0);
}

TEST(ReduceColors, PictureOfAnotherSizeReadsWhiteOutsideAndAStrayLayerDropsIt) {
    Document d = Blank(5, 4, 16, 2);
    Paint(d, 0, 1, 1, 10);
    Raster small(3, 2), padded(5, 4), large(7, 6);
    padded.Fill(kWhite);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 7; ++x) {
            Rgb c{uint8_t(40 * x), uint8_t(30 * y), 90};
            small.SetPixel(x, y, c);
            large.SetPixel(x, y, c);
            if (x < 3 && y < 2) padded.SetPixel(x, y, c);
        }
    Document a = d, b = d;
    ReduceColors(a, 16, 1, &small);
    reference::ReduceColors(b, 16, 1, &padded);
    EXPECT_EQ(a.Palette, b.Palette);
    EXPECT_EQ(a.Layers(), b.Layers());
    ExpectSameAsReference(d, 16, 1, &large, "larger picture: only the canvas part is read");
    Document e = d, f = d;
    ReduceColors(e, 16, 7, &small);
    ReduceColors(f, 16, 0, nullptr);
    EXPECT_EQ(e.Palette, f.Palette);
    EXPECT_EQ(e.Layers(), f.Layers());
}

TEST(BitmapToLayer, ReducesToTheDocumentsColourCount) {
    Document d = Blank(16, 16, 16);
    for (int i = 16; i < 256; ++i) SetColor(d, i, {1, 1, 1});
    Raster pic(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) pic.SetPixel(x, y, {uint8_t(16 * x), uint8_t(16 * y), 0});
    EXPECT_EQ(BitmapToLayer(d, 0, pic), 16);
    for (int i = 16; i < 256; ++i) EXPECT_EQ(d.ColorOf(i), (Rgb{1, 1, 1}));
}

TEST(LayerToBitmap, PaintedPixelsTakeTheirColourOthersAreWhite) {
    Document d = Blank(3, 2, 16, 2);
    Paint(d, 1, 0, 0, 10);
    Paint(d, 1, 2, 1, 12, 2);
    Raster r = LayerToBitmap(d, 1);
    ASSERT_EQ(r.Width(), 3);
    ASSERT_EQ(r.Height(), 2);
    EXPECT_EQ(r.Pixel(0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(r.Pixel(2, 1), (Rgb{0, 255, 0}));
    EXPECT_EQ(r.Pixel(1, 0), kWhite);
    EXPECT_EQ(LayerToBitmap(d, 0).Pixel(0, 0), kWhite);
    EXPECT_EQ(LayerToBitmap(d, 5).Pixel(0, 0), kWhite);
}

// Random documents against the literal reduction: sizes, layer counts, hidden layers, all
// kinds of mask bytes, pictures or none, 16 and 256 entries, few colours with many ties in
// channel ranges and box totals, or many distinct colours.
TEST(ReduceColors, MatchesTheReferenceOnRandomDocuments) {
    std::mt19937 rng(20240601);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const uint8_t few[3] = {0, 128, 255};
    const uint8_t masks[6] = {0, 0, 1, 1, 2, 255};
    for (int round = 0; round < 400; ++round) {
        const bool manyColors = pick(0, 1) == 1;
        const bool narrowBlue = pick(0, 2) == 0;  // equal largest ranges in red and green
        const int N = pick(0, 1) ? 256 : 16;
        int w = pick(1, 48), h = pick(1, 48);
        if (round % 10 == 0) w = h = pick(1, 3);
        Document d = Blank(w, h, N, pick(1, 4));
        auto value = [&] { return manyColors ? uint8_t(pick(0, 255)) : few[pick(0, 2)]; };
        for (int i = 0; i < 256; ++i)
            d.Palette[std::size_t(i)] = PaletteEntry{uint8_t(narrowBlue ? value() / 4 : value()), value(), value(), 0};
        const int indexRange = pick(0, 3) == 0 ? 255 : pick(1, N - 1);
        for (int l = 0; l < d.LayerCount(); ++l) {
            d.LayerAt(l).Visible = uint8_t(pick(0, 3) != 0);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) Paint(d, l, x, y, pick(0, indexRange), masks[pick(0, 5)]);
        }
        Raster pic;
        const bool withPicture = pick(0, 1) == 1;
        if (withPicture) {
            pic = Raster(w, h);
            const int block = pick(1, 4);  // runs of equal colours in small pictures
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    std::mt19937 cell(uint32_t(round * 100000 + (x / block) * 100 + y / block));
                    auto v = [&] {
                        return manyColors ? uint8_t(cell() & 0xFF) : few[cell() % 3];
                    };
                    pic.SetPixel(x, y, Rgb{v(), v(), v()});
                }
        }
        const int layer = pick(0, d.LayerCount() - 1);
        ExpectSameAsReference(d, N, layer, withPicture ? &pic : nullptr,
                              "round " + std::to_string(round));
        if (HasFailure()) break;
    }
}

TEST(ReduceColors, MatchesTheReferenceWithThousandsOfColours) {
    Document d = Blank(64, 64, 256, 2);
    std::mt19937 rng(7);
    for (auto& e : d.Palette) e = PaletteEntry{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    for (std::size_t p = 0; p < 64 * 64; ++p) {
        d.LayerAt(0).Indices[p] = uint8_t(rng());
        d.LayerAt(0).Mask[p] = uint8_t(rng() % 2);
    }
    Raster pic(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) pic.SetPixel(x, y, {uint8_t(rng()), uint8_t(4 * x), uint8_t(4 * y)});
    EXPECT_EQ(ExpectSameAsReference(d, 256, 1, &pic, "64 x 64, 256 entries"), 256);
    ExpectSameAsReference(d, 16, 0, &pic, "64 x 64, 16 entries");
}

}  // namespace
}  // namespace pq
