// The pixel effects on truecolour layers. Effects that move pixels or draw numbers are run on a
// palette twin whose index at each position names the position: the truecolour layer must
// show, pixel for pixel, what the twin's indices say, after the same draws.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/document/random.h"
#include "core/document/selection.h"
#include "core/ops/pixel_effects.h"
#include "support/soft_alpha_layers.h"

namespace pq {
namespace {

struct Twins {
    Document tc;    // test::SoftLayers
    Document pal;   // index = position, painted where the truecolour pixel has alpha
    RgbaPlane original;
};

Twins MakeTwins(int w, int h) {
    Twins t{test::SoftLayers(w, h), {}, {}};
    t.original = t.tc.Current().Pixels;
    InitBlankDocument(t.pal, w, h, 256, 10);
    for (int p = 0; p < w * h; ++p) {
        t.pal.Current().Indices[std::size_t(p)] = uint8_t(p);
        t.pal.Current().Mask[std::size_t(p)] = t.original[std::size_t(p)].a != 0;
    }
    t.tc.DrawRgba = Rgba8{250, 40, 5, 99};
    t.tc.AuxRgba = Rgba8{3, 160, 220, 7};
    return t;
}

void Select(Document& d, Rect r) {
    SetSelection(d, r.left, r.top, r.right, r.bottom);
    d.HasSelection = true;
    LiftSelection(d);
}

const RgbaPlane& Working(Document& d) { return d.HasSelection ? d.FloatPixels : d.Current().Pixels; }

// Moving effects: an unpainted position of the twin that its own planes emptied is transparent
// Rgba8{}; any other position holds the original pixel its index names, every byte.
TEST(TrueColorEffects, MovingEffectsCarryWholePixelsInTheSameOrderAsIndices) {
    const PixelEffectId moving[] = {PixelEffectId::Diffuse, PixelEffectId::SwapPixelsHorizontal,
                                    PixelEffectId::SwapPixelsVertical, PixelEffectId::Scroll};
    for (auto [w, h] : {std::pair{7, 5}, std::pair{9, 4}})
        for (const bool selected : {false, true})
            for (const PixelEffectId id : moving) {
                Twins t = MakeTwins(w, h);
                // Painted everywhere, so the twin's mask says which positions were emptied.
                std::fill(t.pal.Current().Mask.begin(), t.pal.Current().Mask.end(), 1);
                if (selected) {
                    Select(t.tc, Rect{1, 0, 6, 3});   // odd width and height
                    Select(t.pal, Rect{1, 0, 6, 3});
                }
                Lcg a, b;
                for (int k = 0; k < 5; ++k) a.Next(), b.Next();
                const EditResult r = ApplyPixelEffect(t.tc, id, a, 3, 2);
                ApplyPixelEffect(t.pal, id, b, 3, 2);
                ASSERT_TRUE(r.Record) << InfoOf(id).Key;
                EXPECT_EQ(a.State(), b.State()) << InfoOf(id).Key;
                const pq::Plane& idx = selected ? t.pal.FloatIndices : t.pal.Current().Indices;
                const pq::Plane& mask = selected ? t.pal.FloatMask : t.pal.Current().Mask;
                for (int p = 0; p < w * h; ++p) {
                    const Rgba8 want = mask[std::size_t(p)] ? t.original[idx[std::size_t(p)]] : Rgba8{};
                    ASSERT_EQ(Working(t.tc)[std::size_t(p)], want)
                        << InfoOf(id).Key << (selected ? " selected " : " ") << w << "x" << h << " at " << p;
                }
                EXPECT_EQ(t.tc.LayerAt(0).Pixels, test::SoftLayers(w, h).LayerAt(0).Pixels);
            }
}

// Unify, noise and colour noise change colour only: alpha stays, transparent pixels keep every
// byte and draw no number, and the colour is the one the twin's index names.
TEST(TrueColorEffects, ColourEffectsKeepAlphaAndDrawOnlyForVisiblePixels) {
    for (const bool selected : {false, true})
        for (const PixelEffectId id : {PixelEffectId::Unify, PixelEffectId::Noise, PixelEffectId::ColorNoise}) {
            Twins t = MakeTwins(9, 4);
            t.tc.Palette[200] = PaletteEntry{1, 2, 3, 0};   // a swatch beyond the default sixteen
            t.pal.DrawColor = 250;   // beyond every position, so an index names one thing
            t.pal.AuxColor = 251;
            if (selected) {
                Select(t.tc, Rect{2, 1, 7, 4});
                Select(t.pal, Rect{2, 1, 7, 4});
            }
            const RgbaPlane before = Working(t.tc);
            Lcg a, b;
            ASSERT_TRUE(ApplyPixelEffect(t.tc, id, a).Record);
            ApplyPixelEffect(t.pal, id, b);
            EXPECT_EQ(a.State(), b.State()) << InfoOf(id).Key;
            const pq::Plane& idx = selected ? t.pal.FloatIndices : t.pal.Current().Indices;
            for (int p = 0; p < 36; ++p) {
                const Rgba8 was = before[std::size_t(p)], now = Working(t.tc)[std::size_t(p)];
                const int i = idx[std::size_t(p)];
                const bool inside = !selected || (p % 9 >= 2 && p % 9 < 7 && p / 9 >= 1);
                if (was.a == 0 || !inside) {
                    EXPECT_EQ(now, was) << InfoOf(id).Key << " at " << p;
                    continue;
                }
                Rgba8 colour = i == 250 ? t.tc.DrawRgba : t.tc.AuxRgba;
                if (id == PixelEffectId::ColorNoise) {
                    const Rgb c = t.tc.ColorOf(i);
                    colour = Rgba8{c.r, c.g, c.b, 0};
                }
                EXPECT_EQ(now, (Rgba8{colour.r, colour.g, colour.b, was.a})) << InfoOf(id).Key << " at " << p;
            }
        }
}

TEST(TrueColorEffects, ReplaceAndEraseMatchAllFourBytesAndTreatEveryTransparentPixelAlike) {
    Document d;
    InitBlankTrueColorDocument(d, 3, 2, 10);
    d.DrawRgba = Rgba8{9, 9, 9, 200};
    d.AuxRgba = Rgba8{50, 60, 70, 128};
    RgbaPlane& px = d.Current().Pixels;
    const Rgba8 aux = d.AuxRgba, auxOpaque{50, 60, 70, 255}, other{51, 60, 70, 128}, redHole{255, 0, 0, 0};
    px = {aux, auxOpaque, other, redHole, Rgba8{}, aux};
    ASSERT_EQ(ReplaceColor(d).Step, "色置換");
    EXPECT_EQ(px, (RgbaPlane{d.DrawRgba, auxOpaque, other, redHole, Rgba8{}, d.DrawRgba}));
    ASSERT_EQ(EraseDrawColor(d).Step, "取り除き");
    EXPECT_EQ(px, (RgbaPlane{Rgba8{}, auxOpaque, other, redHole, Rgba8{}, Rgba8{}}));

    // A transparent auxiliary colour stands for every transparent pixel, whatever its colour bytes.
    d.AuxRgba = Rgba8{1, 2, 3, 0};
    ReplaceColor(d);
    EXPECT_EQ(px, (RgbaPlane{d.DrawRgba, auxOpaque, other, d.DrawRgba, d.DrawRgba, d.DrawRgba}));
}

// The shadow: the shape moved (dx, dy), alpha times the drawing colour's alpha, under the
// pixels with source-over. Reference in double precision, rounded to nearest.
Rgba8 UnderReference(Rgba8 top, Rgba8 shadow) {
    const double wt = top.a * 255.0, ws = shadow.a * (255.0 - top.a);   // what shows of each, x 255
    auto mix = [&](int t, int s) { return uint8_t(std::lround((t * wt + s * ws) / (wt + ws))); };
    return Rgba8{mix(top.r, shadow.r), mix(top.g, shadow.g), mix(top.b, shadow.b), uint8_t(std::lround((wt + ws) / 255))};
}

TEST(TrueColorEffects, ShadowIsSoftWhereTheShapeIsSoftAndCastsNoSecondShadow) {
    const int w = 9, h = 4, dx = 2, dy = -1;
    Document d = test::SoftLayers(w, h);
    d.DrawRgba = Rgba8{10, 20, 30, 200};
    const RgbaPlane before = d.Current().Pixels;
    ASSERT_EQ(Shadow(d, dx, dy).Step, "影");
    int cast = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgba8 was = before[std::size_t(x + y * w)], now = d.Current().Pixels[std::size_t(x + y * w)];
            const int sx = x - dx, sy = y - dy;
            const int shape = sx >= 0 && sy >= 0 && sx < w && sy < h ? before[std::size_t(sx + sy * w)].a : 0;
            const uint8_t alpha = uint8_t(std::lround(shape * 200 / 255.0));
            if (alpha == 0 || was.a == 255) {
                EXPECT_EQ(now, was) << x << "," << y;
                continue;
            }
            ++cast;
            const Rgba8 want = was.a == 0 ? Rgba8{10, 20, 30, alpha} : UnderReference(was, Rgba8{10, 20, 30, alpha});
            EXPECT_EQ(now, want) << x << "," << y << " under " << int(was.a) << " shadow " << int(alpha);
        }
    EXPECT_GT(cast, 10);
    EXPECT_EQ(d.LayerAt(0), test::SoftLayers(w, h).LayerAt(0));
}

}  // namespace
}  // namespace pq
