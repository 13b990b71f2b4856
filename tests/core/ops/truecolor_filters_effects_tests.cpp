// Filters and pixel effects on truecolour layers: the filters against a double-precision
// reference on premultiplied values, the effects against a palette twin whose index at each
// position names that position, run with the same draws.
#include <gtest/gtest.h>

#include <cmath>

#include "core/document/random.h"
#include "core/document/selection.h"
#include "core/ops/filters.h"
#include "core/ops/pixel_effects.h"

namespace pq {
namespace {

// Layers 0 (hidden), 1 (current) and 2 of w x h, alpha 0 (carrying a colour), soft and 255.
Document SoftLayers(int w, int h) {
    Document d;
    InitBlankTrueColorDocument(d, w, h, 10);
    d.AppendLayer();
    d.AppendLayer();
    for (int l = 0; l < 3; ++l)
        for (int p = 0; p < w * h; ++p) {
            const int x = p % w, y = p / w, k = (2 * x + 3 * y + l) % 5;
            d.LayerAt(l).Pixels[std::size_t(p)] =
                Rgba8{uint8_t(x * 41 + y * 17 + l), uint8_t(x * 23 + y * 67), uint8_t(x * 11 + y * 131 + l * 7),
                      uint8_t(k == 0 ? 0 : k == 1 ? 255 : (x * 53 + y * 97 + l * 31) % 254 + 1)};
        }
    d.LayerAt(0).Visible = 0;
    d.SetCurrentLayer(1);
    return d;
}

bool Averages(FilterId id) {
    return id == FilterId::Blur || id == FilterId::StrongBlur || id == FilterId::MotionBlurHorizontal ||
           id == FilterId::MotionBlurVertical;
}

uint8_t Byte(double v) { return v <= 0 ? 0 : v >= 255 ? 255 : uint8_t(std::floor(v + 1e-6)); }

// Premultiply, weigh the cells that exist (the others leave the divisor), divide back once. The
// blurs divide by their averaged alpha. The colour filters keep each pixel's alpha and count the
// pixel with its own colour and every neighbour by its coverage: a/255 of its weight to its
// colour, the rest out of the divisor like a cell off the picture.
RgbaPlane Reference(const FilterSpec& f, const RgbaPlane& in, int w, int h) {
    RgbaPlane out = in;
    for (int p = 0; p < w * h; ++p) {
        const bool averages = Averages(f.Id);
        double pre[3] = {0, 0, 0}, alpha = 0, d = f.Divisor;
        for (int dy = -f.RadiusY; dy <= f.RadiusY; ++dy)
            for (int dx = -f.RadiusX; dx <= f.RadiusX; ++dx) {
                const int x = p % w + dx, y = p / w + dy, k = f.Weight(dx, dy);
                if (x < 0 || y < 0 || x >= w || y >= h) {
                    d -= k;
                    continue;
                }
                const Rgba8 n = in[std::size_t(x + y * w)];
                const double cover = averages || (dx == 0 && dy == 0) ? 1.0 : n.a / 255.0;
                const double a = averages ? n.a / 255.0 : cover;
                pre[0] += k * n.r * a, pre[1] += k * n.g * a, pre[2] += k * n.b * a;
                alpha += k * n.a;
                if (!averages) d -= k * (1.0 - cover);
            }
        Rgba8& o = out[std::size_t(p)];
        if (averages) {
            if (d == 0) d = 1;
            const double a = alpha / d;
            if (Byte(a) == 0) {
                o = Rgba8{};
                continue;
            }
            auto c = [&](int i) { return Byte(pre[i] / d * 255.0 / a); };
            o = Rgba8{c(0), c(1), c(2), Byte(a)};
            continue;
        }
        if (o.a == 0) continue;
        if (std::abs(d) < 1 - 1e-9) d = 1;
        auto c = [&](int i) { return Byte(f.Bias + pre[i] / d); };
        o = Rgba8{c(0), c(1), c(2), o.a};
    }
    return out;
}

// A flat colour with soft, transparent and opaque alpha stays that colour through every colour
// filter whose weights add up to its divisor: no light or dark fringe where the shape fades out.
TEST(TrueColorFilters, AFlatColourKeepsItsColourAtSoftEdges) {
    for (const FilterId id : {FilterId::Sharpen, FilterId::StrongSharpen}) {
        Document doc;
        InitBlankTrueColorDocument(doc, 9, 6, 10);
        RgbaPlane& px = doc.Current().Pixels;
        for (int p = 0; p < 54; ++p) px[std::size_t(p)] = Rgba8{30, 140, 220, uint8_t((p * 37) % 5 == 0 ? 0 : (p * 67) % 256)};
        const RgbaPlane before = px;
        ApplyFilter(doc, id);
        for (int p = 0; p < 54; ++p) {
            if (before[std::size_t(p)].a == 0) continue;
            const Rgba8 c = px[std::size_t(p)];
            EXPECT_NEAR(c.r, 30, 1) << SpecOf(id).Key << " " << p;
            EXPECT_NEAR(c.g, 140, 1) << SpecOf(id).Key << " " << p;
            EXPECT_NEAR(c.b, 220, 1) << SpecOf(id).Key << " " << p;
            EXPECT_EQ(c.a, before[std::size_t(p)].a);
        }
    }
}

TEST(TrueColorFilters, EveryFilterMatchesThePremultipliedReferenceOnTheCurrentLayerOnly) {
    for (auto [w, h] : {std::pair{7, 5}, std::pair{9, 4}})
        for (const FilterSpec& f : kFilters) {
            Document doc = SoftLayers(w, h);
            const Document before = doc;
            ASSERT_EQ(ApplyFilter(doc, f.Id).Step, f.UndoName);
            EXPECT_EQ(doc.LayerAt(1).Pixels, Reference(f, before.LayerAt(1).Pixels, w, h)) << f.Key << " " << w;
            EXPECT_EQ(doc.LayerAt(0), before.LayerAt(0)) << f.Key;   // hidden
            EXPECT_EQ(doc.LayerAt(2), before.LayerAt(2)) << f.Key;
            EXPECT_EQ(doc.Palette, before.Palette);
        }
}

// Transparent red pixels inside opaque green give no red to anything; an offset goes to red and
// blue alike. The blurs keep the green and fill the hole in; the colour filters leave it be.
TEST(TrueColorFilters, NoColourBleedsFromTransparentPixels) {
    for (const FilterSpec& f : kFilters) {
        Document doc;
        InitBlankTrueColorDocument(doc, 5, 3, 10);
        RgbaPlane& px = doc.Current().Pixels;
        std::fill(px.begin(), px.end(), Rgba8{0, 200, 0, 255});
        px[7] = px[14] = Rgba8{255, 0, 0, 0};
        ApplyFilter(doc, f.Id);
        for (const Rgba8 c : px) {
            if (c.a == 0) continue;
            EXPECT_EQ(c.r, f.Bias == 0 ? 0 : c.b) << f.Key;
            EXPECT_TRUE(c.g == 200 || !Averages(f.Id)) << f.Key;
        }
        EXPECT_EQ(px[7] == (Rgba8{255, 0, 0, 0}), !Averages(f.Id)) << f.Key;
    }
}

// Moving effects: a position the twin emptied is Rgba8{}, any other holds the pixel its index
// names. Colour effects: alpha stays, transparent pixels keep every byte and draw nothing.
TEST(TrueColorEffects, EffectsMoveOrRecolourPixelsAsThePaletteTwinsIndicesSay) {
    using E = PixelEffectId;
    for (const bool selected : {false, true})
        for (const E id : {E::Diffuse, E::SwapPixelsHorizontal, E::SwapPixelsVertical, E::Scroll, E::Unify, E::Noise,
                           E::ColorNoise}) {
            const bool moves = id != E::Unify && id != E::Noise && id != E::ColorNoise;
            Document tc = SoftLayers(9, 4), pal;
            const RgbaPlane orig = tc.Current().Pixels;
            tc.DrawRgba = Rgba8{250, 40, 5, 99};
            tc.AuxRgba = Rgba8{3, 160, 220, 7};
            tc.Palette[200] = PaletteEntry{1, 2, 3, 0};
            InitBlankDocument(pal, 9, 4, 256, 10);
            pal.DrawColor = 250;   // beyond every position, so an index names one thing
            pal.AuxColor = 251;
            for (std::size_t p = 0; p < 36; ++p)
                pal.Current().Indices[p] = uint8_t(p), pal.Current().Mask[p] = moves || orig[p].a != 0;
            for (Document* d : {&tc, &pal})
                if (selected) SetSelection(*d, 1, 0, 6, 3), d->HasSelection = true, LiftSelection(*d);
            const RgbaPlane was = selected ? tc.FloatPixels : tc.Current().Pixels;
            Lcg a, b;
            ASSERT_TRUE(ApplyPixelEffect(tc, id, a, 3, 2).Record);
            ApplyPixelEffect(pal, id, b, 3, 2);
            EXPECT_EQ(a.State(), b.State()) << InfoOf(id).Key;
            const RgbaPlane& now = selected ? tc.FloatPixels : tc.Current().Pixels;
            for (std::size_t p = 0; p < 36; ++p) {
                const int i = (selected ? pal.FloatIndices : pal.Current().Indices)[p];
                const bool mask = (selected ? pal.FloatMask : pal.Current().Mask)[p];
                const bool inside = !selected || (p % 9 >= 1 && p % 9 < 6 && p / 9 < 3);
                Rgba8 want = was[p];
                if (moves) {
                    want = mask ? orig[std::size_t(i)] : Rgba8{};
                } else if (inside && was[p].a != 0) {
                    const Rgb c = id == E::ColorNoise ? tc.ColorOf(i) : i == 250 ? Rgb{250, 40, 5} : Rgb{3, 160, 220};
                    want = Rgba8{c.r, c.g, c.b, was[p].a};
                }
                ASSERT_EQ(now[p], want) << InfoOf(id).Key << (selected ? " selected" : "") << " at " << p;
            }
            EXPECT_EQ(tc.LayerAt(0), SoftLayers(9, 4).LayerAt(0));
        }
}

TEST(TrueColorEffects, ReplaceAndEraseMatchAllFourBytesAndEveryTransparentPixelAlike) {
    Document d;
    InitBlankTrueColorDocument(d, 3, 2, 10);
    d.DrawRgba = Rgba8{9, 9, 9, 200};
    d.AuxRgba = Rgba8{50, 60, 70, 128};
    const Rgba8 aux = d.AuxRgba, opaque{50, 60, 70, 255}, other{51, 60, 70, 128}, hole{255, 0, 0, 0};
    RgbaPlane& px = d.Current().Pixels;
    px = {aux, opaque, other, hole, Rgba8{}, aux};
    ASSERT_EQ(ReplaceColor(d).Step, "色置換");
    EXPECT_EQ(px, (RgbaPlane{d.DrawRgba, opaque, other, hole, Rgba8{}, d.DrawRgba}));
    ASSERT_EQ(EraseDrawColor(d).Step, "取り除き");
    EXPECT_EQ(px, (RgbaPlane{Rgba8{}, opaque, other, hole, Rgba8{}, Rgba8{}}));
    d.AuxRgba = Rgba8{1, 2, 3, 0};   // stands for every transparent pixel, whatever its colour bytes
    ReplaceColor(d);
    EXPECT_EQ(px, (RgbaPlane{d.DrawRgba, opaque, other, d.DrawRgba, d.DrawRgba, d.DrawRgba}));
}

// The shape moved (2, -1), its alpha times the drawing colour's, under every pixel (source-over
// in double precision, rounded to nearest), cast from the layer as it was.
TEST(TrueColorEffects, ShadowIsSoftWhereTheShapeIsSoftAndCastsNoSecondShadow) {
    const int w = 9, h = 4;
    Document d = SoftLayers(w, h);
    d.DrawRgba = Rgba8{10, 20, 30, 200};
    const RgbaPlane before = d.Current().Pixels;
    ASSERT_EQ(Shadow(d, 2, -1).Step, "影");
    for (int p = 0; p < w * h; ++p) {
        const int sx = p % w - 2, sy = p / w + 1;
        const double shape = sx >= 0 && sy < h ? before[std::size_t(sx + sy * w)].a : 0;
        const double sa = std::lround(shape * 200 / 255), top = before[std::size_t(p)].a;
        const double wt = top * 255, ws = sa * (255 - top);   // what shows of each, x 255
        Rgba8 want = before[std::size_t(p)];
        auto mix = [&](int t, int s) { return uint8_t(std::lround((t * wt + s * ws) / (wt + ws))); };
        if (ws > 0) want = Rgba8{mix(want.r, 10), mix(want.g, 20), mix(want.b, 30), uint8_t(std::lround((wt + ws) / 255))};
        EXPECT_EQ(d.Current().Pixels[std::size_t(p)], want) << p % w << "," << p / w;
    }
}

}  // namespace
}  // namespace pq
