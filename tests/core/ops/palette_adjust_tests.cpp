#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/document/render.h"
#include "core/document/selection.h"
#include "core/ops/palette_adjust.h"

namespace pq {
namespace {

// Entry i of a 256-colour palette: distinct, spread colours whose reserved byte is set, so an
// adjustment that writes it shows.
PaletteTable Spread() {
    PaletteTable t{};
    for (int i = 0; i < 256; ++i)
        t[std::size_t(i)] = PaletteEntry{uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 13 + 5), uint8_t(i | 1)};
    return t;
}

// A w x h document whose single layer paints pixel i with index indices[i % size].
Document Painted(int colors, const std::vector<int>& indices, int w = 8, int h = 8) {
    Document d;
    InitBlankDocument(d, w, h, colors, 10);
    d.Palette = Spread();
    for (int p = 0; p < w * h; ++p) {
        d.LayerAt(0).Indices[std::size_t(p)] = uint8_t(indices[std::size_t(p) % indices.size()]);
        d.LayerAt(0).Mask[std::size_t(p)] = 1;
    }
    return d;
}

Raster Shown(const Document& d) {
    Composite c;
    Recompose(d, TransparencyColors{}, c);
    return c.CompositeColor;
}

Rgb At(const PaletteTable& t, int i) { return EntryColor(t[std::size_t(i)]); }

TEST(PaletteAdjust, InvertIsItsOwnInverseSolarizeIsNotAndThresholdsEachChannel) {
    PaletteTable t = Spread();
    const PaletteTable original = t;
    InvertEntries(t, 256);
    EXPECT_EQ(At(t, 3), (Rgb{uint8_t(255 - 44), 3, uint8_t(255 - 21)}));
    InvertEntries(t, 256);
    EXPECT_EQ(t, original) << "reserved bytes included";

    struct Case {
        Rgb in, once;
    };
    for (const Case& c : {Case{{200, 200, 200}, {55, 55, 55}}, Case{{127, 128, 255}, {127, 127, 0}},
                          Case{{200, 10, 128}, {55, 10, 127}}, Case{{0, 0, 0}, {0, 0, 0}}}) {
        PaletteTable s{};
        s[0] = MakeEntry(c.in);
        SolarizeEntries(s, 1);
        EXPECT_EQ(At(s, 0), c.once);
        SolarizeEntries(s, 1);
        EXPECT_EQ(At(s, 0), c.once) << "a solarized colour has no channel above 127";
    }
}

TEST(PaletteAdjust, GrayscaleUsesTruncatedLumaAndIsIdempotent) {
    PaletteTable t{};
    const std::vector<std::pair<Rgb, int>> cases = {{{255, 0, 0}, 76},   {{0, 255, 0}, 149}, {{0, 0, 255}, 29},
                                                    {{255, 255, 255}, 255}, {{0, 0, 0}, 0},  {{90, 90, 90}, 90}};
    for (std::size_t i = 0; i < cases.size(); ++i) t[i] = MakeEntry(cases[i].first);
    GrayscaleEntries(t, int(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const uint8_t g = uint8_t(cases[i].second);
        EXPECT_EQ(At(t, int(i)), (Rgb{g, g, g})) << i;
    }
    PaletteTable spread = Spread();
    GrayscaleEntries(spread, 256);
    const PaletteTable once = spread;
    GrayscaleEntries(spread, 256);
    EXPECT_EQ(spread, once);
}

TEST(PaletteAdjust, BrightnessAndRgbAddClampedAmountsPerChannel) {
    Document d = Painted(256, {0});
    d.Palette[0] = MakeEntry({250, 100, 0});
    AdjustBrightness(d, 10);
    EXPECT_EQ(At(d.Palette, 0), (Rgb{255, 110, 10}));

    for (int amount : {255, -255}) {
        Document e = Painted(256, {0});
        AdjustBrightness(e, amount);
        const uint8_t v = amount > 0 ? 255 : 0;
        for (int i = 0; i < 256; ++i) ASSERT_EQ(At(e.Palette, i), (Rgb{v, v, v})) << amount << " entry " << i;
    }

    Document r = Painted(256, {0});
    AdjustRgb(r, ChannelShift{-255, 0, 0});
    const PaletteTable spread = Spread();
    for (int i = 0; i < 256; ++i) {
        const Rgb before = At(spread, i);
        ASSERT_EQ(At(r.Palette, i), (Rgb{0, before.g, before.b})) << i;
    }
    AdjustRgb(r, ChannelShift{0, 999, -999});
    EXPECT_EQ(At(r.Palette, 100), (Rgb{0, 255, 0})) << "amounts beyond the dialog's range are clamped";
}

// Every command on a 16-colour document: the named step, the refreshes, entries 16..255 and
// every pixel untouched.
TEST(PaletteAdjust, CommandsTouchOnlyTheUsedEntriesAndRecordTheirStep) {
    const std::vector<std::pair<PaletteCommandId, std::function<EditResult(Document&)>>> commands = {
        {PaletteCommandId::Brightness, [](Document& d) { return AdjustBrightness(d, 40); }},
        {PaletteCommandId::Rgb, [](Document& d) { return AdjustRgb(d, {-30, 20, 90}); }},
        {PaletteCommandId::Grayscale, GrayscalePalette},
        {PaletteCommandId::Invert, InvertPalette},
        {PaletteCommandId::Solarize, SolarizePalette},
    };
    for (const auto& [id, run] : commands) {
        Document d = Painted(16, {0, 3, 15});
        const Document before = d;
        const EditResult r = run(d);
        const PaletteCommandInfo& info = PaletteCommand(id);
        EXPECT_TRUE(r.Record && r.Redraw && r.RefreshColors) << info.Step;
        EXPECT_EQ(r.Step, info.Step);
        EXPECT_NE(d.Palette[3], before.Palette[3]) << info.Step;
        for (int i = 16; i < 256; ++i) ASSERT_EQ(d.Palette[std::size_t(i)], before.Palette[std::size_t(i)]) << info.Step;
        for (int i = 0; i < 16; ++i) ASSERT_EQ(d.Palette[std::size_t(i)].reserved, before.Palette[std::size_t(i)].reserved);
        EXPECT_EQ(d.Layers(), before.Layers()) << info.Step;
    }
    EXPECT_STREQ(ColorCountCaption(16), "256色に変更(&I)");
    EXPECT_STREQ(ColorCountCaption(256), "16色に変更(&I)");
}

TEST(ColorCountChange, UpZeroesTheNewEntriesDownReducesAndResetsTheTwoColours) {
    // 16 -> 256: no pixel changes, entries 16..255 become black.
    Document d = Painted(16, {1, 4, 9, 15});
    d.DrawColor = 4;
    d.AuxColor = 9;
    const Document before = d;
    EXPECT_EQ(ChangeColorCount(d, 256).Step, "色数変更");
    EXPECT_EQ(d.ColorCount, 256);
    EXPECT_EQ(d.Layers(), before.Layers());
    for (int i = 16; i < 256; ++i) ASSERT_EQ(d.Palette[std::size_t(i)], PaletteEntry{}) << i;
    EXPECT_EQ(d.DrawColor, 4);
    EXPECT_FALSE(ChangeColorCount(d, 256).Record) << "the depth it already has";
    EXPECT_FALSE(ChangeColorCount(d, 17).Record);

    // ... and back: the four colours in use survive exactly, the rest of 0..15 is zero.
    EXPECT_TRUE(ChangeColorCount(d, 16).RefreshColors);
    EXPECT_EQ(d.ColorCount, 16);
    EXPECT_EQ(d.DrawColor, 0);
    EXPECT_EQ(d.AuxColor, 8);
    EXPECT_EQ(Shown(d), Shown(before));
    std::set<int> used(d.LayerAt(0).Indices.begin(), d.LayerAt(0).Indices.end());
    EXPECT_EQ(used.size(), 4u);
    for (int i = 4; i < 16; ++i) EXPECT_EQ(d.Palette[std::size_t(i)], PaletteEntry{}) << i;

    // 256 -> 16 on a document using 16 colours scattered over the 256 entries keeps them all.
    std::vector<int> scattered;
    for (int k = 0; k < 16; ++k) scattered.push_back(k * 16 + 7);
    Document wide = Painted(256, scattered);
    const Raster wideShown = Shown(wide);
    ChangeColorCount(wide, 16);
    EXPECT_EQ(Shown(wide), wideShown);
}

// The reduction remaps layers, not floating planes: the selection is released first (by the
// caller as its own step, or here as a safety net), so the floating pixels keep their colours.
TEST(ColorCountChange, FloatingSelectionIsPutDownBeforeTheReduction) {
    std::vector<int> scattered;
    for (int k = 0; k < 12; ++k) scattered.push_back(255 - k * 20);
    for (bool callerReleases : {true, false}) {
        Document d = Painted(256, scattered);
        SetSelection(d, 2, 2, 6, 5);
        d.HasSelection = true;
        LiftSelection(d);
        const Raster shown = Shown(d);
        EXPECT_TRUE(ColorCountNeedsRelease(d, 16));
        EXPECT_FALSE(ColorCountNeedsRelease(d, 256));
        if (callerReleases) {
            EXPECT_EQ(Deselect(d).Step, "選択範囲クリア");
        }
        EXPECT_EQ(ChangeColorCount(d, 16).Step, "色数変更");
        EXPECT_FALSE(d.HasSelection);
        EXPECT_EQ(Shown(d), shown) << (callerReleases ? "released by the caller" : "safety net");
        for (std::size_t p = 0; p < d.LayerAt(0).Mask.size(); ++p)
            if (d.LayerAt(0).Mask[p]) {
                ASSERT_LT(d.LayerAt(0).Indices[p], 16) << "stale index at " << p;
            }
    }
}

TEST(AdjustmentPreview, ShiftedPictureMatchesTheAdjustedPaletteOnPaintedPixels) {
    Document d = Painted(256, {3, 60, 200, 251}, 6, 5);
    d.AppendLayer();
    d.LayerAt(1).Visible = 0;  // hidden: not in the preview
    d.LayerAt(1).Mask.assign(d.LayerAt(1).Mask.size(), 1);
    d.LayerAt(0).Mask[7] = 0;  // one unpainted pixel shows the backdrop
    Raster backdrop(6, 5);
    backdrop.Fill({20, 240, 130});
    const Raster source = AdjustmentPreviewSource(d, backdrop);
    EXPECT_EQ(source.Pixel(1, 1), (Rgb{20, 240, 130}));

    for (ChannelShift shift : {ChannelShift::All(-70), ChannelShift{25, -255, 255}}) {
        Raster preview;
        ShiftPicture(source, shift, preview);
        Document adjusted = d;
        AdjustRgb(adjusted, shift);
        const Raster expected = AdjustmentPreviewSource(adjusted, backdrop);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x)
                if (x != 1 || y != 1) {
                    ASSERT_EQ(preview.Pixel(x, y), expected.Pixel(x, y)) << x << "," << y;
                }
        EXPECT_EQ(preview.Pixel(1, 1), ShiftColor({20, 240, 130}, shift)) << "the backdrop is adjusted too";
    }
}

}  // namespace
}  // namespace pq
