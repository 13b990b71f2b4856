#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "core/document/clipboard_pictures.h"
#include "core/document/document.h"
#include "core/document/history.h"
#include "core/document/selection.h"
#include "support/test_paths.h"

namespace pq {
namespace {

constexpr Rgb kRed{255, 0, 0};

Document Blank(int w = 16, int h = 16, int colors = 16) {
    Document d;
    InitBlankDocument(d, w, h, colors, 20);
    return d;
}

void Paint(Document& d, int layer, int x, int y, uint8_t index) {
    Layer& l = d.LayerAt(layer);
    l.Indices[std::size_t(x + y * d.ImageWidth)] = index;
    l.Mask[std::size_t(x + y * d.ImageWidth)] = 1;
}

bool Painted(const Document& d, int layer, int x, int y) {
    return d.LayerAt(layer).Mask[std::size_t(x + y * d.ImageWidth)] != 0;
}
Rgb ColorAt(const Document& d, int layer, int x, int y) {
    return d.ColorOf(d.LayerAt(layer).Indices[std::size_t(x + y * d.ImageWidth)]);
}

// Every pixel of `pic` is white except the listed ones.
void ExpectWhiteExcept(const Raster& pic, std::vector<std::tuple<int, int, Rgb>> others) {
    for (int y = 0; y < pic.Height(); ++y)
        for (int x = 0; x < pic.Width(); ++x) {
            Rgb want = kWhite;
            for (auto& [ox, oy, c] : others)
                if (ox == x && oy == y) want = c;
            EXPECT_EQ(pic.Pixel(x, y), want) << x << "," << y;
        }
}

TEST(CopyPicture, WholeLayerWithoutSelection) {
    Document d = Blank();
    d.AppendLayer();
    Paint(d, 0, 0, 0, 2);  // other layers are not copied
    Paint(d, 1, 3, 4, 10);
    const Document before = d;
    Raster pic = ClipboardPicture(d);
    ASSERT_EQ(pic.Width(), 16);
    ASSERT_EQ(pic.Height(), 16);
    ExpectWhiteExcept(pic, {{3, 4, kRed}});
    EXPECT_EQ(d.Layers(), before.Layers());
}

TEST(CopyPicture, AfterAMoveTakesWhatTheSelectionShows) {
    Document d = Blank();
    Paint(d, 0, 2, 2, 10);
    Paint(d, 0, 3, 2, 14);
    Paint(d, 0, 6, 2, 12);  // under the moved rectangle but not floating: not copied
    EndSelectDrag(d, 2, 2, 5, 4);
    MoveFloating(d, 3, 0);
    Raster pic = ClipboardPicture(d);
    ASSERT_EQ(pic.Width(), 3);
    ASSERT_EQ(pic.Height(), 2);
    ExpectWhiteExcept(pic, {{0, 0, kRed}, {1, 0, Rgb{0, 0, 255}}});
    EXPECT_TRUE(d.HasSelection);
    EXPECT_EQ(d.FloatDX, 3);
}

TEST(CutPicture, WithSelectionEndsItAndOneUndoBringsItBack) {
    test::TempDir dir;
    HistoryContext ctx{dir.Path(), 3, true};
    Document d = Blank();
    for (int x = 0; x < 16; ++x) Paint(d, 0, x, 0, 10);
    ASSERT_TRUE(RecordStep(d, ctx, " ", false).Ok);
    ASSERT_TRUE(RecordStep(d, ctx, EndSelectDrag(d, 4, 0, 8, 1).Step, false).Ok);

    Raster pic = ClipboardPicture(d);
    ExpectWhiteExcept(pic, {{0, 0, kRed}, {1, 0, kRed}, {2, 0, kRed}, {3, 0, kRed}});
    EditResult r = ApplyCut(d);
    EXPECT_EQ(r.Step, "切り取り");
    ASSERT_TRUE(RecordStep(d, ctx, r.Step, false).Ok);
    EXPECT_FALSE(d.HasSelection);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(Painted(d, 0, x, 0), x < 4 || x >= 8) << x;

    ASSERT_TRUE(RestoreStep(d, ctx, false).Ok);
    EXPECT_TRUE(d.HasSelection);
    Deselect(d);
    for (int x = 0; x < 16; ++x) EXPECT_TRUE(Painted(d, 0, x, 0)) << x;
}

TEST(CutPicture, WithoutSelectionEmptiesOnlyTheCurrentLayer) {
    Document d = Blank();
    d.AppendLayer();
    Paint(d, 0, 1, 1, 3);
    Paint(d, 1, 2, 2, 4);
    ApplyCut(d);
    EXPECT_EQ(d.LayerAt(1).Mask, Plane(256, 0));
    EXPECT_TRUE(Painted(d, 0, 1, 1));
}

TEST(PasteCheck, RefusesEmptyAndOversizedPictures) {
    EXPECT_TRUE(PastePictureProblem(0, 5).has_value());
    EXPECT_TRUE(PastePictureProblem(5, 0).has_value());
    EXPECT_TRUE(PastePictureProblem(kMaxPasteSide + 1, 1).has_value());
    EXPECT_TRUE(PastePictureProblem(8192, 8193).has_value());  // too many pixels in all
    EXPECT_EQ(*PastePictureProblem(20000, 10), "クリップボードの画像（20000×10ピクセル）は大きすぎるため、貼り付けできません。");
    EXPECT_FALSE(PastePictureProblem(16384, 4096).has_value());
    EXPECT_FALSE(PastePictureProblem(6000, 4000).has_value());
}

TEST(PastePicture, WithoutOptimizingPaintsEveryPixelWithTheNearestColour) {
    Document d = Blank();
    Raster small(4, 3);
    small.Fill(Rgb{200, 10, 10});  // nearest of the default table: red (10)
    small.SetPixel(1, 1, Rgb{0, 0, 120});  // dark blue (6)
    Raster area = InitialPasteArea(d, small);
    ASSERT_EQ(area.Width(), 16);
    ASSERT_EQ(area.Height(), 16);
    EXPECT_EQ(area.Pixel(4, 0), kWhite);

    EditResult r = PastePicture(d, area, false);
    EXPECT_EQ(r.Step, "貼り付け");
    EXPECT_TRUE(r.RebuildLayers);
    EXPECT_TRUE(r.RefreshColors);
    ASSERT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(d.CurrentLayer(), 1);
    EXPECT_EQ(d.Current().Name, "レイヤ2");
    EXPECT_EQ(d.Current().Mask, Plane(256, 1));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int want = (x == 1 && y == 1) ? 6 : (x < 4 && y < 3) ? 10 : 8;
            EXPECT_EQ(d.Current().Indices[std::size_t(x + y * 16)], want) << x << "," << y;
        }

    // A picture of another size is used from (0, 0), white beyond it, as the picker would.
    Document e = Blank();
    PastePicture(e, small, false);
    EXPECT_EQ(e.Current().Indices, d.Current().Indices);

    // A 16-colour document matches its first 16 entries only, whatever the unused ones hold.
    Document f = Blank();
    for (int i = 16; i < 256; ++i) f.Palette[std::size_t(i)] = MakeEntry(Rgb{200, 10, 10});
    PastePicture(f, small, false);
    EXPECT_EQ(f.Current().Indices, d.Current().Indices);
}

TEST(PastePicture, OptimizingRebuildsThePaletteFromTheLayersAndThePicture) {
    Document d = Blank();
    Paint(d, 0, 5, 5, 10);  // red on the existing layer
    d.Palette[16] = MakeEntry(Rgb{1, 2, 3});
    d.DrawColor = 3;
    d.AuxColor = 4;
    Raster area(16, 16);
    area.Fill(kWhite);
    area.SetPixel(0, 0, Rgb{10, 20, 30});
    area.SetPixel(1, 0, Rgb{200, 100, 50});

    PastePicture(d, area, true);
    ASSERT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(d.DrawColor, 0);
    EXPECT_EQ(d.AuxColor, 8);
    // Four colours in use, so four exact entries; the rest of the 16 cleared, 16+ untouched.
    std::set<uint32_t> used;
    for (int i = 0; i < 4; ++i) used.insert(ToColorRef(d.ColorOf(i)));
    EXPECT_EQ(used, (std::set<uint32_t>{ToColorRef(kRed), ToColorRef(kWhite), ToColorRef(Rgb{10, 20, 30}),
                                        ToColorRef(Rgb{200, 100, 50})}));
    for (int i = 4; i < 16; ++i) EXPECT_EQ(d.Palette[i], PaletteEntry{}) << i;
    EXPECT_EQ(d.Palette[16], MakeEntry(Rgb{1, 2, 3}));
    EXPECT_EQ(d.Current().Mask, Plane(256, 1));
    EXPECT_EQ(ColorAt(d, 1, 0, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(ColorAt(d, 1, 1, 0), (Rgb{200, 100, 50}));
    EXPECT_EQ(ColorAt(d, 1, 9, 9), kWhite);
    EXPECT_EQ(ColorAt(d, 0, 5, 5), kRed);  // the earlier layer was remapped
}

TEST(PastePicture, WhileASelectionFloatsCommitsItFirst) {
    Document d = Blank();
    Paint(d, 0, 0, 0, 10);
    EndSelectDrag(d, 0, 0, 2, 2);
    MoveFloating(d, 5, 5);
    Raster area(16, 16);
    area.Fill(kWhite);
    PastePicture(d, area, false);
    EXPECT_FALSE(d.HasSelection);
    EXPECT_TRUE(Painted(d, 0, 5, 5));
    EXPECT_FALSE(Painted(d, 0, 0, 0));
    EXPECT_EQ(d.CurrentLayer(), 1);
}

}  // namespace
}  // namespace pq
