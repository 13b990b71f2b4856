// Blending and merging truecolour layers: checked against a source-over reference in real
// numbers written here, and against the canvas composite.
#include <gtest/gtest.h>

#include <cmath>

#include "core/document/blend.h"
#include "core/document/layer_commands.h"
#include "core/document/render.h"
#include "core/document/selection.h"
#include "core/ops/compositing.h"

namespace pq {
namespace {

// Source-over on straight alpha in real numbers: ao = as + ad (1 - as),
// co = (cs as + cd ad (1 - as)) / ao, each result rounded to nearest, halves up; a source of
// alpha 0 leaves the destination as it was.
Rgba8 ReferenceOver(Rgba8 d, Rgba8 s) {
    if (s.a == 0) return d;
    const double as = s.a / 255.0, ad = d.a / 255.0;
    const double ao = as + ad * (1.0 - as);
    auto round = [](double v) { return uint8_t(std::floor(v + 0.5 + 1e-9)); };
    auto mix = [&](int cs, int cd) { return round((cs * as + cd * ad * (1.0 - as)) / ao); };
    return Rgba8{mix(s.r, d.r), mix(s.g, d.g), mix(s.b, d.b), round(ao * 255.0)};
}

// A 7 x 5 truecolour document of three layers whose alphas run through 0, 1, 254, 255 and soft
// values in different orders, so every pairing meets; transparent pixels carry colour bytes.
Document ThreeLayers() {
    static const uint8_t kAlphas[] = {0, 1, 254, 255, 77, 180, 128};
    Document d;
    InitBlankTrueColorDocument(d, 7, 5, 20);
    d.AppendLayer();
    d.AppendLayer();
    for (int l = 0; l < 3; ++l) {
        RgbaPlane& p = d.LayerAt(l).Pixels;
        for (std::size_t i = 0; i < p.size(); ++i)
            p[i] = Rgba8{uint8_t(31 * i + 70 * l), uint8_t(250 - 9 * i - l), uint8_t(17 * i * (l + 1)),
                         kAlphas[(i / std::size_t(l * 2 + 1) + std::size_t(l)) % 7]};
    }
    d.LayerAt(1).Visible = 0;
    d.SetCurrentLayer(2);
    return d;
}

TEST(TrueColorCompositing, OverlayAtOpacityIsDrawnOverTheBaseAsTheReference) {
    const Document start = ThreeLayers();
    struct Pair {
        int base, overlay, current;   // current: the index the layer rule leaves current
    };
    // Overlay above and below the base, and a hidden layer on either side.
    for (const Pair pr : {Pair{0, 2, 1}, Pair{2, 0, 0}, Pair{1, 2, 1}, Pair{2, 1, 1}})
        for (const int opacity : {0, 1, 33, 50, 99, 100}) {
            Document d = start;
            const EditResult r = CompositeLayers(d, pr.base, pr.overlay, opacity);
            const std::string what = std::to_string(pr.base) + " <- " + std::to_string(pr.overlay) + " at " +
                                     std::to_string(opacity);
            ASSERT_TRUE(r.Record) << what;
            EXPECT_EQ(r.Step, "合成");
            EXPECT_TRUE(r.Redraw && r.RebuildLayers);
            EXPECT_FALSE(r.RefreshColors);   // the palette is not touched
            ASSERT_EQ(d.LayerCount(), 2);
            EXPECT_EQ(d.CurrentLayer(), pr.current) << what;
            EXPECT_EQ(d.Palette, start.Palette);
            EXPECT_TRUE(d.TrueColor);
            const int kept = 3 - pr.base - pr.overlay;
            const int baseNow = pr.base > pr.overlay ? pr.base - 1 : pr.base;
            EXPECT_EQ(d.LayerAt(1 - baseNow), start.LayerAt(kept)) << what;
            const Layer& b = d.LayerAt(baseNow);
            EXPECT_EQ(b.Visible, start.LayerAt(pr.base).Visible);
            EXPECT_EQ(b.Name, start.LayerAt(pr.base).Name);
            for (std::size_t i = 0; i < b.Pixels.size(); ++i) {
                Rgba8 over = start.LayerAt(pr.overlay).Pixels[i];
                over.a = uint8_t(over.a * opacity / 100);   // truncated, as the palette blend's share
                ASSERT_EQ(b.Pixels[i], ReferenceOver(start.LayerAt(pr.base).Pixels[i], over))
                    << what << " pixel " << i;
            }
        }
    // A plane that does not fit the canvas is refused, not read past its end.
    Document shortPlane = start;
    shortPlane.LayerAt(2).Pixels.resize(10);
    EXPECT_FALSE(CompositeLayers(shortPlane, 0, 2, 50).Record);
    EXPECT_EQ(shortPlane.LayerCount(), 3);
}

TEST(TrueColorCompositing, PreviewShowsEachLayerAndTheStoredResultOverTheChecker) {
    Document d;
    InitBlankTrueColorDocument(d, 5, 3, 20);
    d.AppendLayer();
    d.LayerAt(0).Pixels[0] = Rgba8{0, 0, 0, 128};
    d.LayerAt(0).Pixels[4] = Rgba8{10, 20, 30, 255};   // second checker column
    d.LayerAt(1).Pixels[4] = Rgba8{250, 0, 0, 255};
    d.LayerAt(1).Pixels[5] = Rgba8{9, 9, 9, 0};       // transparent, colour bytes of its own
    const TransparencyColors colors{Rgb{255, 255, 255}, Rgb{0, 0, 100}};
    const CompositePictures pics = PreviewComposite(d, 0, 1, 40, colors);
    EXPECT_EQ(pics.Base.Pixel(0, 0), (Rgb{127, 127, 127}));
    EXPECT_EQ(pics.Base.Pixel(4, 1), (Rgb{0, 0, 100}));          // transparent: the checker
    EXPECT_EQ(pics.Overlay.Pixel(0, 1), (Rgb{255, 255, 255}));   // alpha 0 shows no colour
    // What OK stores is what the preview showed: 40% of opaque red is alpha 102.
    Document stored = d;
    CompositeLayers(stored, 0, 1, 40);
    EXPECT_EQ(stored.LayerAt(0).Pixels[4], ReferenceOver(Rgba8{10, 20, 30, 255}, Rgba8{250, 0, 0, 102}));
    const Raster after = PreviewComposite(stored, 0, 0, 0, colors).Base;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(pics.Result.Pixel(x, y), after.Pixel(x, y)) << x << "," << y;
}

// ---- merging -------------------------------------------------------------------------------

std::vector<Rgba8> CanvasRgba(const Document& d) {
    Composite c;
    Recompose(d, TransparencyColors{}, c);
    return c.CompositeRgba;
}

TEST(TrueColorMerge, MergingTheVisibleLayersGivesExactlyTheCanvasComposite) {
    Document d = ThreeLayers();
    d.AppendLayer();   // a fourth layer, with a soft floating selection over it
    for (std::size_t i = 0; i < d.Current().Pixels.size(); i += 3) d.Current().Pixels[i] = Rgba8{200, 100, 0, 140};
    d.HasSelection = true;
    SetSelection(d, 0, 1, 3, 4);
    LiftSelection(d);
    MoveFloating(d, 3, -1);
    const std::vector<Rgba8> shown = CanvasRgba(d);
    const Layer hidden = d.LayerAt(1);

    // Yes: only the visible layers, into layer 0, and the canvas does not change.
    Document visible = d;
    int asked = 0;
    ASSERT_TRUE(MergeAll(visible, [&] { ++asked; return MergeAnswer::Yes; }).Record);
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(visible.LayerCount(), 2);
    ASSERT_TRUE(visible.HasSelection);   // lifted again from the target
    Document put = visible;
    DropSelection(put);
    EXPECT_EQ(put.LayerAt(0).Pixels, shown);
    EXPECT_EQ(visible.LayerAt(1), hidden);
    EXPECT_EQ(visible.CurrentLayer(), 0);
    EXPECT_EQ(CanvasRgba(visible), shown);

    // No: every layer, the hidden one in its place, as the reference composes them.
    Document all = d;
    Deselect(all);
    std::vector<Rgba8> want(shown.size());
    for (int l = 0; l < all.LayerCount(); ++l)
        for (std::size_t i = 0; i < want.size(); ++i) want[i] = ReferenceOver(want[i], all.LayerAt(l).Pixels[i]);
    MergeAll(all, [] { return MergeAnswer::No; });
    ASSERT_EQ(all.LayerCount(), 1);
    EXPECT_EQ(all.LayerAt(0).Pixels, want);
}

}  // namespace
}  // namespace pq
