// The Palette menu's adjustments on truecolour documents: every pixel recoloured as its colour
// would be as a palette entry, alpha kept, and the dialogs' preview showing what OK gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/document/render.h"
#include "core/document/selection.h"
#include "core/ops/palette_adjust.h"

namespace pq {
namespace {

// Pixel p: spread colour bytes, alpha 0 every fifth (its colour bytes set, so a change shows),
// 255 every seventh, soft otherwise.
Rgba8 PixelOf(int p) {
    const uint8_t a = p % 5 == 0 ? 0 : p % 7 == 0 ? 255 : uint8_t(30 + 6 * p);
    return Rgba8{uint8_t(p * 37), uint8_t(250 - p * 11), uint8_t(p * 53 + 9), a};
}

// A 7 x 5 truecolour document: a visible and a hidden layer, and floating pixels (taken from the
// visible layer's middle and moved), every pixel distinct. Its palette twin: pixel p has index p
// and entry p holds that pixel's colour.
struct Twins {
    Document tc, pal;
};
Twins MakeTwins() {
    Twins t;
    InitBlankTrueColorDocument(t.tc, 7, 5, 10);
    InitBlankDocument(t.pal, 7, 5, 256, 10);
    t.tc.AppendLayer();
    t.tc.LayerAt(1).Visible = 0;
    for (int p = 0; p < 35; ++p) {
        t.tc.LayerAt(0).Pixels[std::size_t(p)] = PixelOf(p);
        t.tc.LayerAt(1).Pixels[std::size_t(p)] = PixelOf(p + 35);
    }
    for (int i = 0; i < 256; ++i) {
        const Rgba8 c = PixelOf(i);
        t.pal.Palette[std::size_t(i)] = MakeEntry(Rgb{c.r, c.g, c.b});
    }
    t.tc.SetCurrentLayer(0);
    EndSelectDrag(t.tc, 2, 1, 5, 4);
    MoveFloating(t.tc, 1, 0);
    return t;
}

// Every pixel of alpha above 0 must have the colour the palette command gave the twin entry of
// its colour (PixelOf(q) are distinct), with its alpha; alpha-0 pixels stay as stored.
void ExpectAgree(const RgbaPlane& before, const RgbaPlane& after, const Document& pal, const char* what) {
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t p = 0; p < before.size(); ++p) {
        if (before[p].a == 0) {
            EXPECT_EQ(after[p], before[p]) << what << " pixel " << p;
            continue;
        }
        int entry = 0;
        while (entry < 70 && !(PixelOf(entry) == before[p])) ++entry;
        ASSERT_LT(entry, 70) << "fixture: pixel " << p << " is no twin colour";
        const Rgb want = EntryColor(pal.Palette[std::size_t(entry)]);
        EXPECT_EQ(after[p], (Rgba8{want.r, want.g, want.b, before[p].a})) << what << " pixel " << p;
    }
}

TEST(TrueColorRecolour, EveryAdjustmentAgreesWithThePaletteFormulaOnEveryLayerAndTheFloatingPixels) {
    const std::vector<std::pair<const char*, std::function<EditResult(Document&)>>> commands = {
        {"反転", InvertPalette},
        {"ソラリゼーション", SolarizePalette},
        {"グレースケール", GrayscalePalette},
        {"明るさ調整", [](Document& d) { return AdjustBrightness(d, 300); }},   // clamped to 255
        {"明るさ調整", [](Document& d) { return AdjustBrightness(d, -40); }},
        {"RGB調整", [](Document& d) { return AdjustRgb(d, ChannelShift{-255, 17, 90}); }},
    };
    for (const auto& [step, run] : commands) {
        Twins t = MakeTwins();
        const Document before = t.tc;
        const EditResult r = run(t.tc);
        run(t.pal);
        EXPECT_TRUE(r.Record && r.Redraw) << step;
        EXPECT_EQ(r.Step, step);
        EXPECT_EQ(t.tc.Palette, before.Palette) << step << ": the swatches are not image content";
        EXPECT_EQ(t.tc.DrawRgba, before.DrawRgba) << step;
        ExpectAgree(before.LayerAt(0).Pixels, t.tc.LayerAt(0).Pixels, t.pal, step);
        ExpectAgree(before.LayerAt(1).Pixels, t.tc.LayerAt(1).Pixels, t.pal, step);
        ASSERT_TRUE(t.tc.HasSelection);
        ExpectAgree(before.FloatPixels, t.tc.FloatPixels, t.pal, step);
    }
    // Two known values: grey levels of pure red and green keep their alpha; white stays white.
    Document d;
    InitBlankTrueColorDocument(d, 3, 1, 10);
    d.Current().Pixels = {Rgba8{255, 0, 0, 9}, Rgba8{0, 255, 0, 255}, Rgba8{255, 255, 255, 128}};
    GrayscalePalette(d);
    EXPECT_EQ(d.Current().Pixels, (RgbaPlane{Rgba8{76, 76, 76, 9}, Rgba8{149, 149, 149, 255}, Rgba8{255, 255, 255, 128}}));
}

// What the brightness and RGB dialogs preview is what the canvas shows after OK: a soft pixel is
// shifted before it is blended over the checkerboard, which stays as it is where nothing is
// painted. A palette document's preview keeps shifting the whole picture.
TEST(TrueColorRecolour, PreviewShowsTheAdjustedLayersOverTheUnshiftedBackdrop) {
    Twins t = MakeTwins();
    Raster backdrop(7, 5);
    PaintChecker(backdrop, 2, TransparencyColors{});
    const ChannelShift shift{60, -30, 200};
    const AdjustmentPreview preview(t.tc, backdrop);
    EXPECT_EQ(preview.Source(), AdjustmentPreviewSource(t.tc, backdrop));
    Raster shown;
    preview.Shift(shift, shown);
    Document after = t.tc;
    AdjustRgb(after, shift);
    EXPECT_EQ(shown, AdjustmentPreviewSource(after, backdrop));
    // (0, 0) is transparent in every layer: the backdrop unshifted. A soft pixel blends.
    EXPECT_EQ(shown.Pixel(0, 0), backdrop.Pixel(0, 0));
    const Rgba8 soft = PixelOf(1);
    const Rgb under = backdrop.Pixel(1, 0);
    const double a = soft.a / 255.0;
    const double red = (std::min(255, soft.r + 60) * a + under.r * (1 - a));
    EXPECT_NEAR(shown.Pixel(1, 0).r, red, 0.51);

    Document pal = t.pal;
    pal.Current().Mask.assign(35, 1);
    const AdjustmentPreview palettePreview(pal, backdrop);
    Raster want, got;
    ShiftPicture(palettePreview.Source(), shift, want);
    palettePreview.Shift(shift, got);
    EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace pq
