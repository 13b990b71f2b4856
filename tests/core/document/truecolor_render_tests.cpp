// The truecolour composite against the straightforward per-pixel definition: every layer pixel
// (with the floating pixels blended over the current layer's) over the thumbnail checker, and
// the visible ones bottom first over transparency, then that over white.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/document/blend.h"
#include "core/document/document.h"
#include "core/document/render.h"
#include "core/document/selection.h"

namespace pq {
namespace {

Rgb Over(Rgb under, Rgba8 c) {
    const Rgba8 o = BlendOver(Rgba8{under.r, under.g, under.b, 255}, c);
    return Rgb{o.r, o.g, o.b};
}

// Compares everything Recompose produced with the pixel-by-pixel definition.
void ExpectAsDefined(const Document& d, const TransparencyColors& colors, const Composite& c) {
    const int w = d.ImageWidth, h = d.ImageHeight;
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    ASSERT_EQ(c.CompositeRgba.size(), pixels);
    ASSERT_EQ(c.LayerPreviews.size(), std::size_t(d.LayerCount()));
    const bool floating = d.HasSelection && d.FloatPixels.size() == pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t p = std::size_t(y) * std::size_t(w) + std::size_t(x);
            const Rgb checker = ((x / 4 + y / 4) & 1) == 0 ? colors.Color1 : colors.Color2;
            Rgba8 acc{};
            for (int i = 0; i < d.LayerCount(); ++i) {
                const Layer& l = d.LayerAt(i);
                Rgba8 px = l.Pixels.size() == pixels ? l.Pixels[p] : Rgba8{};
                const int sx = x - d.FloatDX, sy = y - d.FloatDY;
                if (floating && i == d.CurrentLayer() && x >= d.SelLeft && x < d.SelRight && y >= d.SelTop &&
                    y < d.SelBottom && sx >= 0 && sy >= 0 && sx < w && sy < h)
                    px = BlendOver(px, d.FloatPixels[std::size_t(sy) * std::size_t(w) + std::size_t(sx)]);
                ASSERT_EQ(c.LayerPreviews[std::size_t(i)].PixelUnchecked(x, y), Over(checker, px))
                    << "thumbnail " << i << " at " << x << "," << y;
                if (l.Visible) acc = BlendOver(acc, px);
            }
            ASSERT_EQ(c.CompositeRgba[p], acc) << "composite at " << x << "," << y;
            ASSERT_EQ(c.CompositeColor.PixelUnchecked(x, y), Over(kWhite, acc)) << x << "," << y;
            ASSERT_EQ(c.CompositeMask.PixelUnchecked(x, y), acc.a ? kWhite : kBlack) << x << "," << y;
        }
}

// Alphas at and next to the ends are the ones a fast path gets wrong.
Rgba8 RandomPixel(std::mt19937& rng) {
    static const uint8_t kEdges[] = {0, 0, 0, 1, 254, 255, 255};
    const unsigned pick = rng() % 10;
    const uint8_t a = pick < 7 ? kEdges[pick] : uint8_t(rng());
    return Rgba8{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), a};
}

TEST(TrueColorComposite, EqualsThePerPixelDefinitionOnRandomSoftLayers) {
    // Odd, non-square and not a multiple of four wide, so the rows end in partial groups.
    std::mt19937 rng(11);
    Document d;
    InitBlankTrueColorDocument(d, 37, 23, 20);
    for (int l = 1; l < 9; ++l) d.AppendLayer();
    for (int l = 0; l < 9; ++l)
        for (Rgba8& px : d.LayerAt(l).Pixels) px = RandomPixel(rng);
    // Whole runs of opaque pixels and of transparent ones that keep colour bytes.
    for (Rgba8& px : d.LayerAt(5).Pixels) px.a = 255;
    for (Rgba8& px : d.LayerAt(6).Pixels) px.a = 0;
    d.LayerAt(2).Visible = 0;
    d.LayerAt(7).Visible = 0;
    const TransparencyColors colors{Rgb{250, 3, 128}, Rgb{7, 199, 64}};
    Composite c;
    Recompose(d, colors, c);
    ExpectAsDefined(d, colors, c);

    // A floating selection of soft pixels moved partly off the canvas, over a hidden current
    // layer and then a visible one; a layer whose plane is too short shows nothing.
    d.SetCurrentLayer(7);
    EndSelectDrag(d, 3, 2, 30, 19);
    for (Rgba8& px : d.FloatPixels) px = RandomPixel(rng);
    MoveFloating(d, 11, -5);
    d.LayerAt(4).Pixels.resize(5);
    Recompose(d, colors, c);
    ExpectAsDefined(d, colors, c);
    d.LayerAt(7).Visible = 1;
    Recompose(d, colors, c);
    ExpectAsDefined(d, colors, c);

    // The rectangle form over an odd rectangle after changes inside it only.
    for (int y = 5; y < 12; ++y)
        for (int x = 9; x < 14; ++x) d.LayerAt(8).Pixels[std::size_t(y * 37 + x)] = RandomPixel(rng);
    Recompose(d, colors, Rect{9, 5, 14, 12}, c);
    ExpectAsDefined(d, colors, c);
}

TEST(TrueColorComposite, EveryPairOfAlphasAndEveryCheckerShadeBlendAsBlendOver) {
    // Layer 0 has alpha y and layer 1 alpha x: every (source, destination) alpha pair meets.
    std::mt19937 rng(5);
    Document d;
    InitBlankTrueColorDocument(d, 256, 256, 20);
    d.AppendLayer();
    for (int l = 0; l < 2; ++l)
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                d.LayerAt(l).Pixels[std::size_t(y * 256 + x)] =
                    Rgba8{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(l == 0 ? y : x)};
    // Over the run every pixel meets every checker shade in each channel.
    for (int k = 0; k < 256; ++k) {
        const uint8_t v = uint8_t(k);
        const TransparencyColors colors{Rgb{v, uint8_t(255 - k), uint8_t(k * 7)}, Rgb{uint8_t(255 - k), v, uint8_t(k * 3)}};
        Composite c;
        Recompose(d, colors, c);
        if (k % 51 == 0) {
            ExpectAsDefined(d, colors, c);
            continue;
        }
        for (int i = 0; i < 2; ++i)
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x) {
                    const Rgb checker = ((x / 4 + y / 4) & 1) == 0 ? colors.Color1 : colors.Color2;
                    ASSERT_EQ(c.LayerPreviews[std::size_t(i)].PixelUnchecked(x, y),
                              Over(checker, d.LayerAt(i).Pixels[std::size_t(y * 256 + x)]))
                        << "shade " << k << " layer " << i << " at " << x << "," << y;
                }
    }
}

TEST(TrueColorComposite, BlendOverOpaqueIsBlendOverOntoAnOpaqueColour) {
    for (int a = 0; a < 256; ++a)
        for (int s = 0; s < 256; ++s)
            for (int u = 0; u < 256; ++u) {
                const Rgba8 src{uint8_t(s), uint8_t(255 - s), uint8_t(s ^ u), uint8_t(a)};
                const Rgb under{uint8_t(u), uint8_t(s), uint8_t(255 - u)};
                ASSERT_EQ(BlendOverOpaque(under, src), Over(under, src)) << a << " " << s << " " << u;
            }
}

TEST(TrueColorComposite, ZoomedSoftSquaresAtOddZoomsEqualTheStepByStepView) {
    std::mt19937 rng(3);
    Document d;
    InitBlankTrueColorDocument(d, 13, 7, 20);
    for (Rgba8& px : d.Current().Pixels) px = RandomPixel(rng);
    const TransparencyColors colors{Rgb{9, 240, 33}, Rgb{180, 2, 250}};
    Composite c;
    Recompose(d, colors, c);
    for (int zoom : {5, 7, 11}) {
        const Raster full = BuildFullZoomedView(d, c, zoom, colors, zoom != 7);
        const Rect area{3, 6, 13 * zoom - 2, 7 * zoom};
        Raster part;
        RenderZoomedView(d, c, zoom, colors, zoom != 7, area, part);
        for (int y = 0; y < area.Height(); ++y)
            for (int x = 0; x < area.Width(); ++x)
                ASSERT_EQ(part.PixelUnchecked(x, y), full.PixelUnchecked(area.left + x, area.top + y))
                    << "zoom " << zoom << " at " << x << "," << y;
    }
}

}  // namespace
}  // namespace pq
