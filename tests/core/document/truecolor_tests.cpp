#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/document/blend.h"
#include "core/document/clipboard_pictures.h"
#include "core/document/color_reduction.h"
#include "core/document/document.h"
#include "core/document/history.h"
#include "core/document/history_snapshot.h"
#include "core/document/quality_reduction.h"
#include "core/document/recovery.h"
#include "core/document/snapshot_folder.h"
#include "core/document/layer_commands.h"
#include "core/document/render.h"
#include "core/document/selection.h"
#include "core/document/strokes.h"
#include "support/test_paths.h"

namespace pq {
namespace {

using Bytes = std::vector<uint8_t>;

// A 5 x 3 truecolour document (not square, odd sides) whose one layer holds soft alpha: pixel i
// has colour (10 i, 200 - 7 i, 3 i) and alpha 17 i, so no two pixels are alike and the first is
// transparent with colour bytes of its own.
Document SoftDoc(int w = 5, int h = 3) {
    Document d;
    InitBlankTrueColorDocument(d, w, h, 20);
    RgbaPlane& p = d.Current().Pixels;
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = Rgba8{uint8_t(10 * i + 1), uint8_t(200 - 7 * i), uint8_t(3 * i), uint8_t((17 * i) & 0xFF)};
    return d;
}

Rgba8 At(const Document& d, int layer, int x, int y) {
    return d.LayerAt(layer).Pixels[std::size_t(x) + std::size_t(y) * std::size_t(d.ImageWidth)];
}

// ---- model and layers ----------------------------------------------------------------------

TEST(TrueColorLayers, NewDuplicateAndSelectionLayersHoldRgbaPlanesOnly) {
    Document d = SoftDoc();
    const RgbaPlane original = d.Current().Pixels;
    NewLayer(d);
    ASSERT_EQ(d.LayerCount(), 2);
    EXPECT_TRUE(LayerFits(d, d.Current()));
    EXPECT_TRUE(d.Current().Indices.empty());
    EXPECT_EQ(d.Current().Pixels, RgbaPlane(15, Rgba8{}));

    d.SetCurrentLayer(0);
    DuplicateLayer(d);
    ASSERT_EQ(d.LayerCount(), 3);
    EXPECT_EQ(d.Current().Pixels, original);
    EXPECT_EQ(d.Current().Name, "レイヤ1のコピー");

    d.HasSelection = true;
    SetSelection(d, 1, 0, 3, 2);
    LiftSelection(d);
    LayerFromSelection(d);
    ASSERT_EQ(d.LayerCount(), 4);
    EXPECT_TRUE(d.Current().Mask.empty());
    EXPECT_EQ(At(d, 3, 1, 0), original[1]);
    EXPECT_EQ(At(d, 3, 2, 1), original[7]);
    EXPECT_EQ(At(d, 3, 3, 0), Rgba8{});

    // A layer of the other colour mode cannot enter the stack.
    EXPECT_FALSE(d.InsertLayer(0, MakeBlankLayer(5, 3, "x")));
    EXPECT_EQ(d.LayerCount(), 4);
}

TEST(TrueColorLayers, MergeBlendsEachHigherLayerOverTheTarget) {
    Document d;
    InitBlankTrueColorDocument(d, 3, 1, 20);
    d.Current().Pixels = {Rgba8{200, 0, 0, 255}, Rgba8{0, 0, 200, 100}, Rgba8{}};
    d.AppendLayer();
    d.Current().Pixels = {Rgba8{0, 200, 0, 128}, Rgba8{}, Rgba8{9, 9, 9, 255}};
    d.LayerAt(1).Visible = 0;
    const std::vector<Rgba8> expected = {BlendOver(Rgba8{200, 0, 0, 255}, Rgba8{0, 200, 0, 128}),
                                         Rgba8{0, 0, 200, 100}, Rgba8{9, 9, 9, 255}};
    // Merge down takes a hidden current layer too.
    MergeDown(d);
    ASSERT_EQ(d.LayerCount(), 1);
    EXPECT_EQ(d.Current().Pixels, expected);
    EXPECT_EQ(d.Current().Pixels[0], (Rgba8{100, 100, 0, 255}));
}

// ---- selection -----------------------------------------------------------------------------

TEST(TrueColorSelection, MoveAndDropKeepEveryByteAndBlendOverWhatIsBelow) {
    Document d = SoftDoc();
    const RgbaPlane before = d.Current().Pixels;
    EndSelectDrag(d, 1, 1, 3, 3);   // columns 1-2, rows 1-2
    ASSERT_TRUE(d.HasSelection);
    EXPECT_EQ(At(d, 0, 1, 1), Rgba8{});   // the hole
    EXPECT_EQ(d.FloatPixels, before);
    MoveFloating(d, -1, -1);
    Deselect(d);
    // The two opaque-enough pixels landed over others: each is blended over what was there.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const std::size_t i = std::size_t(x + 5 * y);
            Rgba8 want = before[i];
            if (x >= 1 && x <= 2 && y >= 1) want = Rgba8{};               // lifted, not covered
            if (x <= 1 && y <= 1) {
                const Rgba8 under = (x >= 1 && y >= 1) ? Rgba8{} : before[i];
                want = BlendOver(under, before[i + 6]);
            }
            EXPECT_EQ(At(d, 0, x, y), want) << x << "," << y;
        }
}

// ---- rendering -----------------------------------------------------------------------------

// The reference blend, written from the definition of source-over on straight alpha in real
// numbers: ao = as + ad (1 - as), co = (cs as + cd ad (1 - as)) / ao. The rule checked: after
// every layer each channel and the alpha are rounded to the nearest 8-bit value, halves
// upward (the stored composite is 8-bit at every step); a source of alpha 0 leaves the
// destination as it was, colour bytes included.
Rgba8 ReferenceOver(Rgba8 d, Rgba8 s) {
    const double as = s.a / 255.0, ad = d.a / 255.0;
    const double ao = as + ad * (1.0 - as);
    if (s.a == 0) return d;
    auto round = [](double v) { return uint8_t(std::floor(v + 0.5 + 1e-9)); };
    auto mix = [&](int cs, int cd) { return round((cs * as + cd * ad * (1.0 - as)) / ao); };
    return Rgba8{mix(s.r, d.r), mix(s.g, d.g), mix(s.b, d.b), round(ao * 255.0)};
}

TEST(TrueColorRender, ThreeLayersComposeAsTheReferenceWithHiddenLayersLeftOut) {
    // Every pairing of alphas 0, 1, 254, 255 (and a middle one) over three layers, the middle
    // one hidden in a second pass.
    const uint8_t alphas[] = {0, 1, 128, 254, 255};
    const int n = 5 * 5 * 5;
    Document d;
    InitBlankTrueColorDocument(d, n, 3, 20);   // three rows of colour variants
    d.AppendLayer();
    d.AppendLayer();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < n; ++x) {
            const int a[3] = {x % 5, (x / 5) % 5, x / 25};
            for (int l = 0; l < 3; ++l)
                d.LayerAt(l).Pixels[std::size_t(x + n * y)] =
                    Rgba8{uint8_t(37 * l + 90 * y + x), uint8_t(250 - 60 * l - y), uint8_t(13 * x + 7 * l), alphas[a[l]]};
        }
    for (int hidden = -1; hidden < 3; hidden += 2) {
        if (hidden >= 0) d.LayerAt(1).Visible = 0;
        Composite c;
        Recompose(d, TransparencyColors{}, c);
        ASSERT_EQ(c.CompositeRgba.size(), std::size_t(3 * n));
        EXPECT_EQ(c.CompositeRgba, ComposeRgbaLayers(d.Layers(), std::size_t(3 * n)));
        for (std::size_t p = 0; p < c.CompositeRgba.size(); ++p) {
            Rgba8 want{};
            for (int l = 0; l < 3; ++l)
                if (d.LayerAt(l).Visible) want = ReferenceOver(want, d.LayerAt(l).Pixels[p]);
            ASSERT_EQ(c.CompositeRgba[p], want) << "pixel " << p << " hidden " << hidden;
            const Rgb white = c.CompositeColor.PixelUnchecked(int(p) % n, int(p) / n);
            const Rgba8 onWhite = ReferenceOver(Rgba8{255, 255, 255, 255}, want);
            EXPECT_EQ(white, (Rgb{onWhite.r, onWhite.g, onWhite.b}));
            EXPECT_EQ(c.CompositeMask.PixelUnchecked(int(p) % n, int(p) / n), want.a ? kWhite : kBlack);
        }
    }
}

TEST(TrueColorRender, ThumbnailsAndZoomedSquaresBlendOverTheCheckerUnderEachPixel) {
    Document d;
    InitBlankTrueColorDocument(d, 3, 2, 20);
    d.Current().Pixels[0] = Rgba8{0, 0, 0, 128};     // half black
    d.Current().Pixels[1] = Rgba8{10, 20, 30, 255};
    d.Current().Visible = 0;                         // thumbnail only
    const TransparencyColors colors{Rgb{255, 255, 255}, Rgb{0, 0, 0}};
    Composite c;
    Recompose(d, colors, c);
    EXPECT_EQ(c.LayerPreviews[0].PixelUnchecked(0, 0), (Rgb{127, 127, 127}));
    EXPECT_EQ(c.LayerPreviews[0].PixelUnchecked(1, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(c.LayerPreviews[0].PixelUnchecked(2, 1), kWhite);
    EXPECT_EQ(c.CompositeMask.PixelUnchecked(0, 0), kBlack);

    d.Current().Visible = 1;
    Recompose(d, colors, c);
    // At 12x the half-black pixel's square spans a white and a black checker square: each
    // screen pixel blends over its own.
    const Raster view = BuildFullZoomedView(d, c, 12, colors, false);
    EXPECT_EQ(view.PixelUnchecked(0, 0), (Rgb{127, 127, 127}));
    EXPECT_EQ(view.PixelUnchecked(8, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(view.PixelUnchecked(12, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(view.PixelUnchecked(33, 20), kWhite);   // transparent: the checker
    EXPECT_EQ(view.PixelUnchecked(30, 20), kBlack);
}

// The zoomed view of any rectangle equals the cropped whole, and the rectangle recompose the
// whole rebuild, with a floating selection partly off the canvas and soft alpha everywhere.
TEST(TrueColorRender, RectanglesEqualTheWholeWithAFloatingSelection) {
    Document d = SoftDoc(7, 5);
    d.AppendLayer();
    for (std::size_t i = 0; i < d.Current().Pixels.size(); ++i)
        d.Current().Pixels[i] = Rgba8{uint8_t(255 - i), uint8_t(i * 5), 77, uint8_t(i * 37)};
    EndSelectDrag(d, 1, 1, 5, 4);
    MoveFloating(d, 3, -1);
    const TransparencyColors colors{};
    Composite whole;
    Recompose(d, colors, whole);
    // The floating pixel shows blended over the current layer's pixel below the layers above.
    EXPECT_EQ(whole.CompositeRgba[std::size_t(4 + 0 * 7)],
              BlendOver(d.LayerAt(0).Pixels[4], BlendOver(d.LayerAt(1).Pixels[4], d.FloatPixels[1 + 1 * 7])));
    // Dropping it gives the same picture.
    Document dropped = DocumentAsShown(d);
    Composite after;
    Recompose(dropped, colors, after);
    EXPECT_EQ(after.CompositeRgba, whole.CompositeRgba);

    for (int zoom : {1, 3, 12, 20}) {
        const Raster full = BuildFullZoomedView(d, whole, zoom, colors, true);
        for (const Rect area : {Rect{0, 0, 7 * zoom, 5 * zoom}, Rect{5, 3, 5 + 2 * zoom + 3, 3 + zoom + 5},
                                Rect{-4, 2, 7 * zoom + 6, 4 * zoom + 1}}) {
            Raster part;
            RenderZoomedView(d, whole, zoom, colors, true, area, part);
            for (int y = 0; y < area.Height(); ++y)
                for (int x = 0; x < area.Width(); ++x)
                    ASSERT_EQ(part.PixelUnchecked(x, y), full.Pixel(area.left + x, area.top + y))
                        << "zoom " << zoom << " at " << x << "," << y;
        }
    }

    // A stroke through the floating content: the rectangle rebuild equals the whole one.
    Composite partial = whole;
    StrokeContext ctx{2, 0, Rgba8{1, 2, 3, 99}};
    const Rect touched = StampLine(d, ctx, 4, 0, 6, 2, false);
    ASSERT_FALSE(touched.Empty());
    Recompose(d, colors, touched, partial);
    Composite rebuilt;
    Recompose(d, colors, rebuilt);
    EXPECT_EQ(partial.CompositeRgba, rebuilt.CompositeRgba);
    EXPECT_EQ(partial.CompositeColor, rebuilt.CompositeColor);
    for (int i = 0; i < d.LayerCount(); ++i) EXPECT_EQ(partial.LayerPreviews[i], rebuilt.LayerPreviews[i]);
}

TEST(TrueColorRender, ACompositeOfTheOtherModeIsRebuiltWhole) {
    Document d = SoftDoc();
    Composite c;
    Recompose(d, TransparencyColors{}, c);
    Document palette;
    InitBlankDocument(palette, 5, 3, 16, 20);
    Recompose(palette, TransparencyColors{}, Rect{0, 0, 1, 1}, c);
    EXPECT_TRUE(c.CompositeRgba.empty());
    Recompose(d, TransparencyColors{}, Rect{0, 0, 1, 1}, c);
    Composite fresh;
    Recompose(d, TransparencyColors{}, fresh);
    EXPECT_EQ(c.CompositeRgba, fresh.CompositeRgba);
    EXPECT_EQ(c.CompositeColor, fresh.CompositeColor);
}

// ---- strokes -------------------------------------------------------------------------------

// The pixels of every layer where a and b differ.
int ChangedPixels(const Document& a, const Document& b) {
    int n = 0;
    for (int l = 0; l < a.LayerCount(); ++l)
        for (std::size_t p = 0; p < a.LayerAt(l).Pixels.size(); ++p) n += !(a.LayerAt(l).Pixels[p] == b.LayerAt(l).Pixels[p]);
    return n;
}

TEST(TrueColorStrokes, APenStrokeReplacesOnlyItsPixelsAlphaIncluded) {
    const Document before = SoftDoc(9, 5);
    Document d = before;
    const Rgba8 ink{250, 128, 3, 77};
    const Rect r = StampLine(d, StrokeContext{1, 0, ink}, 1, 1, 6, 3, false);
    EXPECT_EQ(r, (Rect{1, 1, 7, 4}));
    int painted = 0;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x) {
            const Rgba8 now = At(d, 0, x, y);
            if (now == At(before, 0, x, y)) continue;
            EXPECT_EQ(now, ink);
            ++painted;
        }
    EXPECT_EQ(painted, 6);   // one pixel per column of the line
    EXPECT_EQ(ChangedPixels(before, d), 6);

    // The eraser writes transparency with no colour left behind.
    StampLine(d, StrokeContext{1, 0, ink}, 1, 1, 1, 1, true);
    EXPECT_EQ(At(d, 0, 1, 1), Rgba8{});
}

TEST(TrueColorStrokes, ShapesSprayAndTheFloatingTargetUseTheSameStencilAsPalettes) {
    Document d = SoftDoc(8, 6);
    Document p;
    InitBlankDocument(p, 8, 6, 16, 20);
    const Rgba8 ink{1, 2, 3, 200};
    auto sameFootprint = [&](const char* what) {
        for (std::size_t i = 0; i < 48; ++i)
            EXPECT_EQ(d.Current().Pixels[i] == ink, p.Current().Mask[i] != 0) << what << " " << i;
    };
    DrawEllipseShape(d, StrokeContext{2, 5, ink}, 0, 0, 7, 5, false);
    DrawEllipseShape(p, StrokeContext{2, 5, ink}, 0, 0, 7, 5, false);
    sameFootprint("ellipse frame");
    DrawRectShape(d, StrokeContext{1, 5, ink}, 2, 1, 6, 5, true);
    DrawRectShape(p, StrokeContext{1, 5, ink}, 2, 1, 6, 5, true);
    sameFootprint("filled rectangle");
    Lcg r1, r2;
    Spray(d, StrokeContext{5, 5, ink}, 4, 3, 5, 1, r1);
    Spray(p, StrokeContext{5, 5, ink}, 4, 3, 5, 1, r2);
    sameFootprint("spray");

    // With a selection the engines write the floating pixels at their offset.
    Document f = SoftDoc(8, 6);
    EndSelectDrag(f, 0, 0, 8, 6);
    MoveFloating(f, 2, 1);
    const RgbaPlane layerBefore = f.Current().Pixels;
    StampLine(f, StrokeContext{1, 0, ink}, 3, 2, 3, 2, false);
    EXPECT_EQ(f.FloatPixels[std::size_t(1 + 1 * 8)], ink);
    EXPECT_EQ(f.Current().Pixels, layerBefore);
}

TEST(TrueColorStrokes, FillMatchesExactRgbaAndTreatsEveryTransparentPixelAlike) {
    Document d;
    InitBlankTrueColorDocument(d, 5, 1, 20);
    const Rgba8 a{10, 10, 10, 200}, aLighter{10, 10, 10, 201};
    d.Current().Pixels = {a, a, aLighter, Rgba8{9, 9, 9, 0}, Rgba8{}};
    const Rgba8 ink{200, 0, 0, 255};
    FloodFillAt(d, StrokeContext{1, 0, ink}, 0, 0, 1);
    EXPECT_EQ(d.Current().Pixels, (RgbaPlane{ink, ink, aLighter, Rgba8{9, 9, 9, 0}, Rgba8{}}));
    // Transparent pixels with different hidden colour bytes still make one region.
    FloodFillAt(d, StrokeContext{1, 0, ink}, 4, 0, 1);
    EXPECT_EQ(d.Current().Pixels, (RgbaPlane{ink, ink, aLighter, ink, ink}));
    // The eraser's fill makes a region transparent.
    FloodFillAt(d, StrokeContext{1, 0, ink}, 0, 0, 0);
    EXPECT_EQ(d.Current().Pixels, (RgbaPlane{Rgba8{}, Rgba8{}, aLighter, ink, ink}));
}

TEST(TrueColorStrokes, CloneCopiesRgbaAndSkipsTransparentSources) {
    Document d = SoftDoc(5, 3);   // pixel 0 has alpha 0
    d.CloneLayer = 0;
    d.CloneSourceX = 0, d.CloneSourceY = 0;
    d.CloneAnchorX = 3, d.CloneAnchorY = 1;
    d.CloneState = 2;
    const RgbaPlane before = d.Current().Pixels;
    CloneStroke(d, StrokeContext{1, 0}, 3, 1, 4, 1);
    EXPECT_EQ(At(d, 0, 3, 1), before[8]);   // source (0, 0) is transparent: target kept
    EXPECT_EQ(At(d, 0, 4, 1), before[1]);
}

// Draws a 3 x 1 run of greys 0, 128 and 254 at (x, y).
class GreyDrawer : public TextDrawer {
public:
    void DrawText(Raster& target, int x, int y, const std::string&, const FontSpec&) override {
        target.SetPixel(x, y, Rgb{0, 0, 0});
        target.SetPixel(x + 1, y, Rgb{128, 128, 128});
        target.SetPixel(x + 2, y, Rgb{254, 254, 254});
    }
};

TEST(TrueColorStrokes, TextGreyLevelsBecomeCoverageAndThePickerReadsTheTarget) {
    Document d;
    InitBlankTrueColorDocument(d, 4, 2, 20);
    GreyDrawer drawer;
    const Rect r = DrawTextAt(d, StrokeContext{1, 0, Rgba8{40, 50, 60, 200}}, 0, 1, "あ", FontSpec{}, drawer);
    EXPECT_EQ(r, (Rect{0, 1, 3, 2}));
    EXPECT_EQ(At(d, 0, 0, 1), (Rgba8{40, 50, 60, 200}));
    EXPECT_EQ(At(d, 0, 1, 1), (Rgba8{40, 50, 60, 100}));  // 200 x 127 / 255 = 99.6 -> 100
    EXPECT_EQ(At(d, 0, 2, 1), (Rgba8{40, 50, 60, 1}));    // 200 x 1 / 255 = 0.78 -> 1
    EXPECT_EQ(At(d, 0, 3, 1), Rgba8{});

    EXPECT_EQ(PickTargetRgba(d, 0, 1), (Rgba8{40, 50, 60, 200}));
    EXPECT_EQ(PickTargetRgba(d, 3, 1), std::nullopt);   // transparent picks nothing
    EXPECT_EQ(PickTargetRgba(d, 9, 1), std::nullopt);
}

// ---- undo snapshots ------------------------------------------------------------------------

TEST(TrueColorSnapshot, RoundTripKeepsEveryByteAndIsMarkedInTheHeader) {
    Document d = SoftDoc(5, 3);
    d.AppendLayer();
    d.Current().Pixels[4] = Rgba8{1, 2, 3, 4};
    d.LayerAt(0).Visible = 0;
    EndSelectDrag(d, 1, 0, 4, 2);
    MoveFloating(d, 1, 1);
    const Bytes b = EncodeSnapshot(d, "ブラシツール");
    // name (4 + 12), w, h, colours 32, palette, selection, 4 x 15 float bytes, 2 layers of
    // name, visible and 4 x 15 bytes, the current layer.
    ASSERT_EQ(b.size(), std::size_t(16 + 12 + 1024 + 26 + 60 + 4 + 2 * (4 + 7 + 1 + 60) + 4));
    EXPECT_EQ(b[24], 32);
    Document back;
    InitBlankDocument(back, 1, 1, 16, 20);
    std::string name;
    ASSERT_TRUE(DecodeSnapshot(b, back, &name));
    EXPECT_EQ(name, "ブラシツール");
    EXPECT_TRUE(back.TrueColor);
    EXPECT_EQ(back.ColorCount, 256);
    EXPECT_EQ(back.Layers(), d.Layers());
    EXPECT_EQ(back.FloatPixels, d.FloatPixels);
    EXPECT_TRUE(back.FloatIndices.empty());
    EXPECT_EQ(EncodeSnapshot(back, "ブラシツール"), b);

    // Any cut is refused and leaves the document as it was.
    for (std::size_t cut : {b.size() - 1, b.size() - 4, std::size_t(1100), std::size_t(30)}) {
        Document kept = SoftDoc();
        EXPECT_FALSE(DecodeSnapshot(Bytes(b.begin(), b.begin() + std::ptrdiff_t(cut)), kept)) << cut;
        EXPECT_EQ(kept.Layers(), SoftDoc().Layers());
    }
    // A 16/256 snapshot read into a truecolour document makes it a palette document again.
    Document pal;
    InitBlankDocument(pal, 2, 2, 16, 20);
    ASSERT_TRUE(DecodeSnapshot(EncodeSnapshot(pal, ""), back));
    EXPECT_FALSE(back.TrueColor);
    EXPECT_TRUE(back.FloatPixels.empty());
    EXPECT_EQ(back.Layers(), pal.Layers());
}

TEST(TrueColorSnapshot, ShapeOfATruecolourFileAndItsDamagedForms) {
    test::TempDir dir;
    Document d = SoftDoc(5, 3);
    d.AppendLayer();
    const Bytes b = EncodeSnapshot(d, "x");
    const auto path = dir.Path() / "img1no0";
    test::WriteBytes(path, b);
    const auto shape = ReadSnapshotShape(path);
    ASSERT_TRUE(shape);
    EXPECT_TRUE(shape->TrueColor);
    EXPECT_EQ(shape->Width, 5);
    EXPECT_EQ(shape->Height, 3);
    EXPECT_EQ(shape->ColorCount, 256);
    EXPECT_EQ(shape->LayerCount, 2);
    EXPECT_EQ(shape->Size, b.size());
    test::WriteBytes(path, Bytes(b.begin(), b.end() - 1));
    EXPECT_FALSE(ReadSnapshotShape(path));
    Bytes longer = b;
    longer.push_back(0);
    test::WriteBytes(path, longer);
    EXPECT_FALSE(ReadSnapshotShape(path));
    // A truecolour file read as if its planes were two bytes a pixel does not fit.
    Bytes relabelled = b;
    ASSERT_EQ(relabelled[13], 32);   // after the name "x", the width and the height
    relabelled[13] = 0;
    relabelled[14] = 1;   // 256
    test::WriteBytes(path, relabelled);
    EXPECT_FALSE(ReadSnapshotShape(path));
    Document kept = SoftDoc();
    EXPECT_FALSE(DecodeSnapshot(relabelled, kept));
}

TEST(TrueColorSnapshot, UndoAndRedoOfAStrokeRestoreEveryByte) {
    test::TempDir dir;
    const HistoryContext ctx{dir.Path(), 7, true};
    Document d = SoftDoc(9, 5);
    d.AppendLayer();
    d.Current().Pixels[3] = Rgba8{5, 6, 7, 8};
    ASSERT_TRUE(RecordStep(d, ctx, " ", false).Ok);
    const Bytes base = EncodeSnapshot(d, "");
    StampLine(d, StrokeContext{3, 0, Rgba8{9, 99, 199, 133}}, 0, 4, 8, 0, false);
    ASSERT_TRUE(RecordStep(d, ctx, "ブラシツール", false).Ok);
    const Bytes stroked = EncodeSnapshot(d, "");
    ASSERT_NE(stroked, base);
    ASSERT_TRUE(RestoreStep(d, ctx, false).Ok);
    EXPECT_EQ(EncodeSnapshot(d, ""), base);
    ASSERT_TRUE(RestoreStep(d, ctx, true).Ok);
    EXPECT_EQ(EncodeSnapshot(d, ""), stroked);
}

TEST(TrueColorSnapshot, ALostTruecolourDocumentIsOfferedAndRestoredWhole) {
    test::TempDir settings;
    // The folder an instance that died leaves: its lock file exists but nobody holds it.
    const std::filesystem::path dead = settings.Path() / (std::string(kPrivateFolderPrefix) + "dead01");
    std::filesystem::create_directories(dead);
    test::WriteBytes(dead / kSnapshotLockName, {});
    const HistoryContext ctx{dead, 4, true, WindowLabel{"Icon4", ""}};
    Document d = SoftDoc(5, 3);
    ASSERT_TRUE(RecordStep(d, ctx, " ", false).Ok);
    StampLine(d, StrokeContext{1, 0, Rgba8{7, 7, 7, 7}}, 0, 0, 4, 2, false);
    ASSERT_TRUE(RecordStep(d, ctx, "ブラシツール", false).Ok);

    LostDocuments lost(settings.Path());
    ASSERT_EQ(lost.Documents().size(), 1u);
    const LostDocument& l = lost.Documents()[0];
    ASSERT_TRUE(l.Recoverable);
    EXPECT_EQ(std::tie(l.Width, l.Height, l.Steps), std::tuple(5, 3, 1));
    Document back;
    ASSERT_TRUE(lost.Load(l, back, 20).Ok);
    EXPECT_TRUE(back.TrueColor);
    EXPECT_EQ(EncodeSnapshot(back, ""), EncodeSnapshot(d, ""));
    lost.Discard(l);
}

// ---- conversion ----------------------------------------------------------------------------

// A 16-colour 6 x 4 document with two layers, a hidden one, and a floating selection.
Document PaletteDoc() {
    Document d;
    InitBlankDocument(d, 6, 4, 16, 20);
    for (std::size_t p = 0; p < 24; ++p) {
        d.LayerAt(0).Indices[p] = uint8_t(p % 16);
        d.LayerAt(0).Mask[p] = p % 5 != 0;
    }
    d.AppendLayer();
    for (std::size_t p = 0; p < 24; p += 3) {
        d.LayerAt(1).Indices[p] = uint8_t(15 - p % 16);
        d.LayerAt(1).Mask[p] = 1;
    }
    d.LayerAt(0).Visible = 0;
    d.DrawColor = 10;
    EndSelectDrag(d, 1, 1, 4, 3);
    MoveFloating(d, 1, 0);
    return d;
}

// The colour each layer shows at each pixel (palette or RGBA), '-' for nothing: what a
// conversion must keep.
std::vector<std::string> Shown(const Document& d) {
    std::vector<std::string> out;
    auto add = [&](bool painted, Rgb c) {
        out.push_back(painted ? std::to_string(ToColorRef(c)) : "-");
    };
    for (const Layer& l : d.Layers())
        for (std::size_t p = 0; p < std::size_t(d.PixelCount()); ++p) {
            if (d.TrueColor) add(l.Pixels[p].a != 0, Rgb{l.Pixels[p].r, l.Pixels[p].g, l.Pixels[p].b});
            else add(l.Mask[p] != 0, d.ColorOf(l.Indices[p]));
        }
    for (std::size_t p = 0; p < std::size_t(d.PixelCount()); ++p) {
        if (d.TrueColor) add(d.FloatPixels[p].a != 0, Rgb{d.FloatPixels[p].r, d.FloatPixels[p].g, d.FloatPixels[p].b});
        else add(d.FloatMask[p] != 0, d.ColorOf(d.FloatIndices[p]));
    }
    return out;
}

TEST(TrueColorConversion, PaletteToTrueColourIsLosslessAndLooksTheSame) {
    Document d = PaletteDoc();
    const Document before = d;
    const EditResult r = ConvertToTrueColor(d);
    EXPECT_EQ(r.Step, "フルカラーに変換");
    EXPECT_TRUE(r.Record);
    EXPECT_TRUE(d.TrueColor);
    EXPECT_EQ(d.Palette, before.Palette);
    EXPECT_EQ(d.DrawRgba, (Rgba8{255, 0, 0, 255}));
    EXPECT_TRUE(d.HasSelection);
    EXPECT_EQ(Shown(d), Shown(before));
    for (const Layer& l : d.Layers())
        for (const Rgba8& c : l.Pixels) EXPECT_TRUE(c.a == 0 || c.a == 255);
    EXPECT_EQ(At(d, 0, 0, 0), Rgba8{});   // unpainted: alpha 0, no colour

    Composite a, b;
    Recompose(before, TransparencyColors{}, a);
    Recompose(d, TransparencyColors{}, b);
    EXPECT_EQ(a.CompositeColor, b.CompositeColor);
    EXPECT_EQ(a.CompositeMask, b.CompositeMask);
    for (std::size_t i = 0; i < a.LayerPreviews.size(); ++i) EXPECT_EQ(a.LayerPreviews[i], b.LayerPreviews[i]);
    EXPECT_FALSE(ConvertToTrueColor(d).Record);   // already truecolour

    // And back to 16 colours: with no more colours than entries nothing changes but the order.
    const EditResult back = ConvertToPalette(d, 16, ReductionOptions{});
    EXPECT_EQ(back.Step, "16色に変換");
    EXPECT_FALSE(d.TrueColor);
    EXPECT_EQ(d.ColorCount, 16);
    EXPECT_EQ(d.DrawColor, 0);
    EXPECT_EQ(d.AuxColor, 8);
    EXPECT_TRUE(d.FloatPixels.empty());
    for (const Layer& l : d.Layers()) EXPECT_TRUE(l.Pixels.empty());
    EXPECT_EQ(Shown(d), Shown(before));
    EXPECT_FALSE(ConvertToPalette(d, 256, ReductionOptions{}).Record);   // a palette document already
}

TEST(TrueColorConversion, ToAPaletteAlphaBelowTheThresholdBecomesUnpainted) {
    Document d;
    InitBlankTrueColorDocument(d, 7, 3, 20);
    // 21 pixels of distinct colours, alpha 0, 10, ..., 200.
    for (std::size_t p = 0; p < 21; ++p) d.Current().Pixels[p] = Rgba8{uint8_t(12 * p), 7, uint8_t(250 - p), uint8_t(10 * p)};
    d.AppendLayer();
    d.Current().Pixels[20] = Rgba8{1, 2, 3, 255};
    ReductionOptions options;
    options.alphaThreshold = 150;
    Document to256 = d;
    EXPECT_EQ(ConvertToPalette(to256, 256, options).Step, "256色に変換");
    EXPECT_EQ(to256.ColorCount, 256);
    for (std::size_t p = 0; p < 21; ++p) {
        ASSERT_EQ(to256.LayerAt(0).Mask[p] != 0, 10 * p >= 150) << p;
        if (to256.LayerAt(0).Mask[p]) EXPECT_EQ(to256.ColorOf(to256.LayerAt(0).Indices[p]), (Rgb{uint8_t(12 * p), 7, uint8_t(250 - p)}));
    }
    EXPECT_EQ(to256.ColorOf(to256.LayerAt(1).Indices[20]), (Rgb{1, 2, 3}));
    EXPECT_EQ(to256.LayerAt(1).Mask[20], 1);
    EXPECT_EQ(to256.LayerAt(1).Mask[19], 0);

    // Seven colours into 16 entries of a diffusing reduction: still exact, each its own entry.
    for (const Dither dither : {Dither::None, Dither::Diffusion, Dither::Ordered}) {
        Document to16 = d;
        options.dither = dither;
        options.quantizer = Quantizer::Quality;
        ConvertToPalette(to16, 16, options);
        for (std::size_t p = 0; p < 21; ++p)
            if (to16.LayerAt(0).Mask[p]) EXPECT_EQ(to16.ColorOf(to16.LayerAt(0).Indices[p]), (Rgb{uint8_t(12 * p), 7, uint8_t(250 - p)}));
    }
}

// ---- clipboard -----------------------------------------------------------------------------

TEST(TrueColorClipboard, CopyKeepsAlphaAndPasteKeepsEveryPixel) {
    Document d = SoftDoc(5, 3);
    EndSelectDrag(d, 1, 0, 4, 2);   // 3 x 2
    MoveFloating(d, 2, 1);          // now (3, 1)-(6, 3): one column off the canvas
    const RgbaPicture pic = ClipboardRgbaPicture(d);
    ASSERT_EQ(pic.Width, 3);
    ASSERT_EQ(pic.Height, 2);
    const RgbaPlane& f = d.FloatPixels;
    EXPECT_EQ(pic.Pixels, (std::vector<Rgba8>{f[1], f[2], f[3], f[6], f[7], f[8]}));
    // The 24-bit form shows the same pixels over white.
    const Raster rgb = ClipboardPicture(d);
    const Rgba8 onWhite = BlendOver(Rgba8{255, 255, 255, 255}, f[7]);
    EXPECT_EQ(rgb.PixelUnchecked(1, 1), (Rgb{onWhite.r, onWhite.g, onWhite.b}));

    // Pasting into a truecolour document: a new top layer, every pixel and alpha kept, the
    // rest transparent.
    Document target;
    InitBlankTrueColorDocument(target, 4, 3, 20);
    const EditResult r = PasteRgbaPicture(target, pic, true);
    EXPECT_EQ(r.Step, "貼り付け");
    ASSERT_EQ(target.LayerCount(), 2);
    EXPECT_EQ(At(target, 1, 0, 0), f[1]);
    EXPECT_EQ(At(target, 1, 2, 1), f[8]);
    EXPECT_EQ(At(target, 1, 3, 0), Rgba8{});
    EXPECT_EQ(At(target, 1, 0, 2), Rgba8{});
    // A picture larger than the canvas is cut at its edge.
    Document small;
    InitBlankTrueColorDocument(small, 2, 1, 20);
    PasteRgbaPicture(small, pic, false);
    EXPECT_EQ(small.Current().Pixels, (RgbaPlane{f[1], f[2]}));

    // Into a 16-colour document the picture over white is pasted as a 24-bit one would be.
    Document p1, p2;
    InitBlankDocument(p1, 4, 3, 16, 20);
    InitBlankDocument(p2, 4, 3, 16, 20);
    PasteRgbaPicture(p1, pic, false);
    PastePicture(p2, rgb, false);
    EXPECT_EQ(p1.Layers(), p2.Layers());

    // Copying from a palette document gives alpha 255 and 0.
    const RgbaPicture fromPalette = ClipboardRgbaPicture(PaletteDoc());
    for (const Rgba8& c : fromPalette.Pixels) EXPECT_TRUE(c.a == 0 || c.a == 255);
}

}  // namespace
}  // namespace pq
