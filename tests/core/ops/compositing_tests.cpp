#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/document/selection.h"
#include "core/ops/compositing.h"

namespace pq {
namespace {

// A w x h, 256-colour document with `layers` layers, every layer unpainted, palette all zero.
Document Blank(int layers, int colors = 256, int w = 4, int h = 3) {
    Document d;
    InitBlankDocument(d, w, h, colors, 10);
    d.Palette = PaletteTable{};
    while (d.LayerCount() < layers) d.AppendLayer();
    d.SetCurrentLayer(0);
    return d;
}

// Paints every pixel of a layer with palette entry `index`, set to `color`.
void Fill(Document& d, int layer, int index, Rgb color) {
    d.Palette[std::size_t(index)] = MakeEntry(color);
    d.LayerAt(layer).Indices.assign(std::size_t(d.PixelCount()), uint8_t(index));
    d.LayerAt(layer).Mask.assign(std::size_t(d.PixelCount()), 1);
}

Rgb ColorAt(const Document& d, int layer, int p) { return d.ColorOf(d.LayerAt(layer).Indices[std::size_t(p)]); }

TEST(Compositing, BlendTruncatesEachWeightedChannelSeparately) {
    struct Case {
        int opacity;
        uint8_t base, over, expected;
    };
    for (const Case& c : {Case{0, 200, 10, 200}, Case{100, 200, 10, 10}, Case{50, 255, 0, 127},
                          Case{33, 255, 255, 254}, Case{1, 99, 99, 98}}) {
        Document d = Blank(2);
        Fill(d, 0, 1, {c.base, 0, 0});
        Fill(d, 1, 2, {c.over, 0, 0});
        const EditResult r = CompositeLayers(d, 0, 1, c.opacity);
        EXPECT_EQ(r.Step, "合成");
        EXPECT_TRUE(r.Redraw && r.RefreshColors && r.RebuildLayers);
        ASSERT_EQ(d.LayerCount(), 1);
        EXPECT_EQ(ColorAt(d, 0, 5), (Rgb{c.expected, 0, 0})) << "opacity " << c.opacity;
    }
}

TEST(Compositing, UnpaintedPixelsBlendAsWhiteAndTheBaseEndsPaintedEverywhere) {
    Document d = Blank(2);
    Fill(d, 0, 1, {0, 0, 0});
    d.LayerAt(0).Mask[0] = 0;  // base unpainted at pixel 0: white
    // The overlay paints pixel 1 only; elsewhere it is white.
    d.Palette[2] = MakeEntry({0, 100, 200});
    d.LayerAt(1).Indices[1] = 2;
    d.LayerAt(1).Mask[1] = 1;
    CompositeLayers(d, 0, 1, 50);
    const Layer& l = d.LayerAt(0);
    for (std::size_t p = 0; p < l.Mask.size(); ++p) EXPECT_EQ(l.Mask[p], 1) << p;
    EXPECT_EQ(ColorAt(d, 0, 0), (Rgb{254, 254, 254}));  // white and white: 127 + 127
    EXPECT_EQ(ColorAt(d, 0, 1), (Rgb{0, 50, 100}));
    EXPECT_EQ(ColorAt(d, 0, 2), (Rgb{127, 127, 127}));  // black under white
}

TEST(Compositing, OverlayIsRemovedAndTheCurrentLayerFollowsTheRemovalRule) {
    Document d = Blank(4);
    for (int i = 0; i < 4; ++i) {
        Fill(d, i, i + 1, {uint8_t(40 * i), 0, 0});
        d.LayerAt(i).Name = "L" + std::to_string(i);
    }
    d.SetCurrentLayer(3);
    CompositeLayers(d, 2, 0, 100);  // base above the overlay: the blend slides down to 1
    ASSERT_EQ(d.LayerCount(), 3);
    EXPECT_EQ(d.LayerAt(0).Name, "L1");
    EXPECT_EQ(d.LayerAt(1).Name, "L2");
    EXPECT_EQ(ColorAt(d, 1, 0), (Rgb{0, 0, 0})) << "opacity 100 takes the overlay's colour";
    EXPECT_EQ(d.CurrentLayer(), 0) << "the layer that slid into the overlay's place";

    CompositeLayers(d, 0, 2, 0);  // the top layer goes: the new top becomes current
    EXPECT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(d.CurrentLayer(), 1);
    EXPECT_EQ(ColorAt(d, 0, 0), (Rgb{40, 0, 0})) << "opacity 0 keeps the base's colour";
}

TEST(Compositing, RefusesALayerWithItselfMissingLayersAndBadOpacity) {
    Document d = Blank(2);
    Fill(d, 0, 1, {10, 20, 30});
    Fill(d, 1, 2, {200, 20, 30});
    const Document before = d;
    for (auto [base, over, opacity] : {std::tuple{1, 1, 50}, std::tuple{0, 2, 50}, std::tuple{-1, 0, 50},
                                       std::tuple{0, 1, 101}, std::tuple{0, 1, -1}}) {
        EXPECT_FALSE(CompositeLayers(d, base, over, opacity).Record) << base << "," << over << "," << opacity;
        EXPECT_EQ(d.Layers(), before.Layers());
        EXPECT_EQ(d.Palette, before.Palette);
    }
    EXPECT_FALSE(CanComposite(d, 1, 1));
    EXPECT_TRUE(CanComposite(d, 1, 0));
    Document single = Blank(1);
    EXPECT_FALSE(CanComposite(single, 0, 0));
    EXPECT_FALSE(CompositeLayers(single, 0, 1, 50).Record);
}

TEST(Compositing, SixteenColourDocumentRebuildsThePaletteToSixteenEntries) {
    Document d = Blank(3, 16, 8, 4);
    // Base: 16 greys; overlay: black with holes (white), so the blend holds about 32 colours;
    // a third layer is remapped to the rebuilt palette.
    for (int p = 0; p < 32; ++p) {
        d.Palette[std::size_t(p % 16)] = MakeEntry({uint8_t(p % 16 * 16), uint8_t(p % 16 * 16), uint8_t(p % 16 * 16)});
        d.LayerAt(0).Indices[std::size_t(p)] = uint8_t(p % 16);
        d.LayerAt(0).Mask[std::size_t(p)] = 1;
    }
    Fill(d, 1, 0, {0, 0, 0});
    for (int p = 0; p < 32; ++p) d.LayerAt(1).Mask[std::size_t(p)] = uint8_t(p % 3 != 0);
    d.LayerAt(2).Indices[0] = 5;
    d.LayerAt(2).Mask[0] = 1;
    CompositeLayers(d, 0, 1, 40);
    ASSERT_EQ(d.LayerCount(), 2);
    std::set<uint32_t> colors;
    for (const Layer& l : d.Layers())
        for (std::size_t p = 0; p < l.Mask.size(); ++p)
            if (l.Mask[p]) {
                ASSERT_LT(l.Indices[p], 16);
                colors.insert(ToColorRef(d.ColorOf(l.Indices[p])));
            }
    EXPECT_LE(colors.size(), 16u);
    EXPECT_GT(colors.size(), 8u) << "the blend's variety survives the reduction";
}

// The caller releases the selection first; if it forgets, the floating pixels are put down
// before the blend instead of staying over a layer that is about to change or go.
TEST(Compositing, FloatingSelectionIsPutDownFirst) {
    Document d = Blank(2);
    Fill(d, 0, 1, {0, 0, 0});
    d.Palette[3] = MakeEntry({200, 0, 0});
    SetSelection(d, 0, 0, 2, 1);
    d.HasSelection = true;
    LiftSelection(d);
    d.FloatIndices[0] = 3;  // drawn while floating
    CompositeLayers(d, 0, 1, 0);
    EXPECT_FALSE(d.HasSelection);
    EXPECT_EQ(ColorAt(d, 0, 0), (Rgb{200, 0, 0}));
    EXPECT_EQ(ColorAt(d, 0, 1), (Rgb{0, 0, 0}));
}

}  // namespace
}  // namespace pq
