// The Palette menu's adjustments on truecolour documents: every pixel recoloured as its colour
// would be as a palette entry, alpha kept, and the dialogs' preview showing what OK gives.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/document/render.h"
#include "core/document/selection.h"
#include "core/ops/palette_adjust.h"

namespace pq {
namespace {

// Distinct colours (the red bytes differ), alpha 0 every fifth, 255 every seventh, soft otherwise.
Rgba8 PixelOf(int p) {
    return Rgba8{uint8_t(p * 37), uint8_t(250 - p * 11), uint8_t(p * 53 + 9),
                 uint8_t(p % 5 == 0 ? 0 : p % 7 == 0 ? 255 : 30 + 6 * p)};
}

// 7 x 5: a visible and a hidden layer, and floating pixels lifted from the first and moved. Its
// palette twin's entry q holds PixelOf(q)'s colour.
struct Twins {
    Document tc, pal;
};
Twins MakeTwins() {
    Twins t;
    InitBlankTrueColorDocument(t.tc, 7, 5, 10);
    InitBlankDocument(t.pal, 7, 5, 256, 10);
    t.tc.AppendLayer();
    t.tc.LayerAt(1).Visible = 0;
    for (int p = 0; p < 35; ++p)
        for (int l = 0; l < 2; ++l) t.tc.LayerAt(l).Pixels[std::size_t(p)] = PixelOf(p + 35 * l);
    for (int q = 0; q < 256; ++q) t.pal.Palette[std::size_t(q)] = MakeEntry(Rgb{PixelOf(q).r, PixelOf(q).g, PixelOf(q).b});
    t.tc.SetCurrentLayer(0);
    EndSelectDrag(t.tc, 2, 1, 5, 4);
    MoveFloating(t.tc, 1, 0);
    return t;
}

TEST(TrueColorRecolour, EveryAdjustmentAgreesWithThePaletteFormulaOnEveryLayerAndTheFloatingPixels) {
    const std::vector<std::function<EditResult(Document&)>> commands = {
        InvertPalette, SolarizePalette, GrayscalePalette, [](Document& d) { return AdjustBrightness(d, 300); },
        [](Document& d) { return AdjustRgb(d, ChannelShift{-255, 17, 90}); }};
    for (const auto& run : commands) {
        Twins t = MakeTwins();
        const Document before = t.tc;
        const EditResult r = run(t.tc);
        EXPECT_EQ(r.Step, run(t.pal).Step);
        EXPECT_TRUE(r.Record && r.Redraw);
        EXPECT_EQ(t.tc.Palette, before.Palette) << r.Step << ": the swatches are not image content";
        ASSERT_TRUE(t.tc.HasSelection);
        for (const auto& [was, now] : {std::pair{&before.LayerAt(0).Pixels, &t.tc.LayerAt(0).Pixels},
                                       std::pair{&before.LayerAt(1).Pixels, &t.tc.LayerAt(1).Pixels},
                                       std::pair{&before.FloatPixels, &t.tc.FloatPixels}})
            for (std::size_t p = 0; p < 35; ++p) {
                const Rgba8 w = (*was)[p];
                int q = 0;
                while (q < 70 && !(PixelOf(q) == w)) ++q;
                ASSERT_TRUE(w.a == 0 || q < 70) << "fixture";
                const Rgb want = w.a ? EntryColor(t.pal.Palette[std::size_t(q)]) : Rgb{w.r, w.g, w.b};
                ASSERT_EQ((*now)[p], (Rgba8{want.r, want.g, want.b, w.a})) << r.Step << " pixel " << p;
            }
    }
}

// The brightness and RGB previews show what the canvas shows after OK: a soft pixel shifted
// before it is blended over the checkerboard, which itself is not shifted.
TEST(TrueColorRecolour, PreviewShowsTheAdjustedLayersOverTheUnshiftedBackdrop) {
    Twins t = MakeTwins();
    Raster backdrop(7, 5);
    PaintChecker(backdrop, 2, TransparencyColors{});
    const ChannelShift shift{60, -30, 200};
    const AdjustmentPreview preview(t.tc, backdrop);
    Raster shown;
    preview.Shift(shift, shown);
    Document after = t.tc;
    AdjustRgb(after, shift);
    EXPECT_EQ(shown, AdjustmentPreviewSource(after, backdrop));
    EXPECT_EQ(shown.Pixel(0, 0), backdrop.Pixel(0, 0));   // transparent in every layer
    const double a = PixelOf(1).a / 255.0;
    EXPECT_NEAR(shown.Pixel(1, 0).r, std::min(255, PixelOf(1).r + 60) * a + backdrop.Pixel(1, 0).r * (1 - a), 0.51);
}

}  // namespace
}  // namespace pq
