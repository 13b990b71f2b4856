#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "core/document/blend.h"
#include "core/document/document.h"
#include "core/ops/resample.h"
#include "support/reference_area_average.h"

namespace pq {
namespace {

// 256 colours of a random palette over two visible layers (the top one painting over the
// bottom one in places) and a hidden layer painting everything, which must not show.
Document Layered(int w, int h, uint32_t seed) {
    Document doc;
    InitBlankDocument(doc, w, h, 256, 10);
    std::mt19937 rng(seed);
    for (int i = 0; i < 256; ++i) doc.Palette[std::size_t(i)] = MakeEntry(Rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
    doc.AppendLayer();
    doc.AppendLayer();
    for (int l = 0; l < 3; ++l) {
        Layer& layer = doc.LayerAt(l);
        for (std::size_t p = 0; p < layer.Mask.size(); ++p)
            if (l == 1 || rng() % 5 < (l == 0 ? 3u : 1u)) layer.Mask[p] = 1, layer.Indices[p] = uint8_t(rng());
    }
    doc.LayerAt(1).Visible = 0;
    return doc;
}

// The same resampling, written the plain way: each target pixel covers a rectangle of source
// pixels (fractional edges), each source pixel weighs its overlap area.
struct Reference {
    std::vector<double> r, g, b;
    std::vector<bool> painted;
};
Reference ReferenceResample(const Document& src, int w, int h) {
    const int W = src.ImageWidth, H = src.ImageHeight;
    Reference out;
    out.r.assign(std::size_t(w * h), 0), out.g = out.b = out.r;
    out.painted.assign(std::size_t(w * h), false);
    const double sx = double(W) / w, sy = double(H) / h;
    for (int ty = 0; ty < h; ++ty)
        for (int tx = 0; tx < w; ++tx) {
            double area = 0, r = 0, g = 0, b = 0;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    const double ox = std::min(x + 1.0, (tx + 1) * sx) - std::max(double(x), tx * sx);
                    const double oy = std::min(y + 1.0, (ty + 1) * sy) - std::max(double(y), ty * sy);
                    if (ox <= 0 || oy <= 0) continue;
                    const Layer* top = nullptr;
                    for (const Layer& l : src.Layers())
                        if (l.Visible && l.Mask[std::size_t(x + y * W)]) top = &l;
                    if (!top) continue;
                    const Rgb c = src.ColorOf(top->Indices[std::size_t(x + y * W)]);
                    area += ox * oy, r += ox * oy * c.r, g += ox * oy * c.g, b += ox * oy * c.b;
                }
            const std::size_t at = std::size_t(tx + ty * w);
            out.painted[at] = area >= sx * sy / 2 - 1e-9;
            if (area > 0) out.r[at] = r / area, out.g[at] = g / area, out.b[at] = b / area;
        }
    return out;
}

TEST(Resample, ShrinkingAndEnlargingMatchTheAreaReference) {
    struct Case { int W, H, w, h; };
    for (const Case c : {Case{37, 23, 16, 16}, Case{5, 3, 16, 16}, Case{4, 3, 12, 9}, Case{37, 23, 1, 1}}) {
        SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " -> " << c.w << "x" << c.h);
        const Document src = Layered(c.W, c.H, uint32_t(c.W * 100 + c.w));
        const ResampledPicture got = ResamplePicture(src, c.w, c.h);
        ASSERT_EQ(got.Width, c.w);
        ASSERT_EQ(got.Height, c.h);
        const Reference want = ReferenceResample(src, c.w, c.h);
        int painted = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                const std::size_t at = std::size_t(x + y * c.w);
                ASSERT_EQ(got.Painted[at] != 0, bool(want.painted[at])) << x << "," << y;
                const Rgb v = got.Colors.PixelUnchecked(x, y);
                painted += got.Painted[at];
                if (!got.Painted[at]) {
                    EXPECT_EQ(v, kBlack) << x << "," << y;
                    continue;
                }
                EXPECT_NEAR(v.r, want.r[at], 1.0) << x << "," << y;
                EXPECT_NEAR(v.g, want.g[at], 1.0) << x << "," << y;
                EXPECT_NEAR(v.b, want.b[at], 1.0) << x << "," << y;
            }
        EXPECT_GT(painted, 0);
        if (c.w * c.h > 1) {
            EXPECT_LT(painted, c.w * c.h);
        }
    }
    // A whole factor is pixel repetition, exactly.
    const Document src = Layered(4, 3, 7);
    const ResampledPicture got = ResamplePicture(src, 12, 9);
    const ResampledPicture same = ResamplePicture(src, 4, 3);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x) {
            EXPECT_EQ(got.Colors.PixelUnchecked(x, y), same.Colors.PixelUnchecked(x / 3, y / 3));
            EXPECT_EQ(got.Painted[std::size_t(x + 12 * y)], same.Painted[std::size_t(x / 3 + 4 * (y / 3))]);
        }
    EXPECT_EQ(ResamplePicture(src, 257, 9).Width, 0);
    EXPECT_EQ(ResamplePicture(src, 12, 0).Width, 0);
}

TEST(Resample, ExactlyHalfPaintedCountsAndUnpaintedPixelsCarryNoColour) {
    // 3 x 2 onto 2 x 1: the left target pixel covers source columns 0 (whole) and 1 (half) of
    // both rows, area 3. Painted (0,0) and (1,0) weigh 1 + 0.5: exactly half, so it is painted,
    // in (2 * c00 + c10) / 3 rounded (blue 144.67 gives 145). The right one sees only the other
    // half of (1,0), a sixth of its area, and stays unpainted.
    Document doc;
    InitBlankDocument(doc, 3, 2, 16, 10);
    doc.Palette[1] = MakeEntry(Rgb{30, 60, 90});
    doc.Palette[2] = MakeEntry(Rgb{90, 0, 254});
    Layer& l = doc.LayerAt(0);
    l.Mask[0] = 1, l.Indices[0] = 1;
    l.Mask[1] = 1, l.Indices[1] = 2;
    const ResampledPicture got = ResamplePicture(doc, 2, 1);
    EXPECT_EQ(got.Painted, (Plane{1, 0}));
    EXPECT_EQ(got.Colors.PixelUnchecked(0, 0), (Rgb{50, 40, 145}));
    EXPECT_EQ(got.Colors.PixelUnchecked(1, 0), kBlack);
}

TEST(Resample, DocumentIsReducedWithItsHotspotScaled) {
    Document src = Layered(37, 23, 3);
    src.HasHotspot = true, src.HotspotX = 20, src.HotspotY = 11;
    src.Origin = IconOrigin{"x.cur", 2, 2};
    const Document doc = ResampledDocument(src, 16, 16, 16, 20);
    ASSERT_TRUE(doc.Ready);
    EXPECT_EQ(doc.ColorCount, 16);
    EXPECT_EQ(doc.Zoom, 20);
    ASSERT_EQ(doc.LayerCount(), 1);
    EXPECT_EQ(doc.LayerAt(0).Name, "レイヤ1");
    EXPECT_EQ(doc.LayerAt(0).Mask, ResamplePicture(src, 16, 16).Painted);
    EXPECT_TRUE(std::all_of(doc.LayerAt(0).Indices.begin(), doc.LayerAt(0).Indices.end(), [](uint8_t i) { return i < 16; }));
    EXPECT_TRUE(doc.HasHotspot);
    EXPECT_EQ(doc.HotspotX, 8);    // 20 * 16 / 37
    EXPECT_EQ(doc.HotspotY, 7);    // 11 * 16 / 23
    EXPECT_EQ(doc.Origin.ResourceType, 0);
    EXPECT_TRUE(doc.Origin.Path.empty());

    // Few colours enlarged by a whole factor come through the reduction unchanged; a hotspot
    // beyond the canvas lands inside it.
    Document few;
    InitBlankDocument(few, 4, 3, 16, 10);
    for (std::size_t p = 0; p < 12; ++p) few.LayerAt(0).Mask[p] = p != 5, few.LayerAt(0).Indices[p] = uint8_t(p);
    few.HotspotX = 300, few.HotspotY = -4;
    const Document big = ResampledDocument(few, 12, 9, 256, 20);
    EXPECT_EQ(big.ColorCount, 256);
    EXPECT_FALSE(big.HasHotspot);
    EXPECT_EQ(big.HotspotX, 11);
    EXPECT_EQ(big.HotspotY, 0);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x) {
            const std::size_t at = std::size_t(x + 12 * y), from = std::size_t(x / 3 + 4 * (y / 3));
            ASSERT_EQ(big.LayerAt(0).Mask[at], few.LayerAt(0).Mask[from]);
            if (big.LayerAt(0).Mask[at]) {
                EXPECT_EQ(big.ColorOf(big.LayerAt(0).Indices[at]), few.ColorOf(few.LayerAt(0).Indices[from]));
            }
        }
    EXPECT_FALSE(ResampledDocument(few, 12, 9, 17, 20).Ready);
}

}  // namespace
}  // namespace pq

namespace pq {
namespace {

// The row-by-row averager against the first area averaging, byte for byte: random odd-sized,
// non-square pictures shrunk and enlarged (pictures smaller than the output), with and without
// transparent pixels (a quarter, or whole transparent blocks), also fed through AreaAverager
// directly with rows past the last ignored.
TEST(Resample, RowByRowAveragerGivesTheFirstBytes) {
    std::mt19937 rng(41);
    for (int round = 0; round < 200; ++round) {
        const int W = 1 + int(rng() % 143), H = 1 + int(rng() % 97);
        const int w = 1 + int(rng() % (round % 3 == 0 ? 256 : 40)), h = 1 + int(rng() % (round % 5 == 0 ? 200 : 33));
        Raster picture(W, H);
        Plane clear(std::size_t(W) * std::size_t(H), 0);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                picture.SetPixelUnchecked(x, y, Rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
                clear[std::size_t(y * W + x)] = round % 3 == 1 ? rng() % 4 == 0 : round % 3 == 2 ? (x / 5 + y / 3) % 2 : 0;
            }
        const bool withClear = round % 3 != 0;
        SCOPED_TRACE(testing::Message() << round << ": " << W << "x" << H << " -> " << w << "x" << h);
        const ResampledPicture want = test::ReferenceAreaAverage(picture, withClear ? &clear : nullptr, w, h);
        const ResampledPicture got = ResampleRaster(picture, withClear ? &clear : nullptr, w, h);
        ASSERT_EQ(got.Width, w);
        ASSERT_EQ(got.Painted, want.Painted);
        ASSERT_EQ(got.Colors, want.Colors);

        AreaAverager averager(W, H, w, h, withClear);
        for (int y = 0; y < H + 2; ++y)
            averager.AddRow(picture.Row(std::min(y, H - 1)), withClear ? &clear[std::size_t(std::min(y, H - 1) * W)] : nullptr);
        const ResampledPicture fed = averager.Take();
        ASSERT_EQ(fed.Painted, want.Painted);
        ASSERT_EQ(fed.Colors, want.Colors);
    }
    // A transparency plane of the wrong size is ignored, as before.
    Raster picture(7, 5);
    picture.Fill(Rgb{10, 20, 30});
    const Plane wrong(3, 1);
    EXPECT_EQ(ResampleRaster(picture, &wrong, 3, 2).Painted, Plane(6, 1));
}

}  // namespace
}  // namespace pq

namespace pq {
namespace {

// RGBA resampling written the plain way in doubles: each target pixel covers a rectangle of
// source pixels with fractional edges; alpha is the area-weighted mean of alpha, each channel
// the mean weighted by area times alpha. Alpha 0 everywhere below a target pixel gives -1 for
// its channels (no colour).
struct RgbaReference {
    std::vector<double> r, g, b, a;
};
RgbaReference ReferenceRgba(const std::vector<Rgba8>& src, int W, int H, int w, int h) {
    RgbaReference out;
    out.a.assign(std::size_t(w * h), 0), out.r = out.g = out.b = out.a;
    const double sx = double(W) / w, sy = double(H) / h;
    for (int ty = 0; ty < h; ++ty)
        for (int tx = 0; tx < w; ++tx) {
            double area = 0, wa = 0, r = 0, g = 0, b = 0;
            for (int y = int(ty * sy); y < H && y < (ty + 1) * sy; ++y)
                for (int x = int(tx * sx); x < W && x < (tx + 1) * sx; ++x) {
                    const double ox = std::min(x + 1.0, (tx + 1) * sx) - std::max(double(x), tx * sx);
                    const double oy = std::min(y + 1.0, (ty + 1) * sy) - std::max(double(y), ty * sy);
                    if (ox <= 0 || oy <= 0) continue;
                    const Rgba8 p = src[std::size_t(x + y * W)];
                    const double weight = ox * oy;
                    area += weight, wa += weight * p.a;
                    r += weight * p.a * p.r, g += weight * p.a * p.g, b += weight * p.a * p.b;
                }
            const std::size_t at = std::size_t(tx + ty * w);
            out.a[at] = wa / area;
            out.r[at] = wa > 0 ? r / wa : -1, out.g[at] = wa > 0 ? g / wa : -1, out.b[at] = wa > 0 ? b / wa : -1;
        }
    return out;
}

// Random colours under every kind of alpha: 0 (with bright colours that must not bleed),
// small, half, large and opaque.
std::vector<Rgba8> SoftPixels(int W, int H, uint32_t seed) {
    std::mt19937 rng(seed);
    constexpr uint8_t kAlphas[] = {0, 0, 1, 45, 128, 200, 254, 255, 255};
    std::vector<Rgba8> px(std::size_t(W) * std::size_t(H));
    for (Rgba8& p : px) p = Rgba8{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), kAlphas[rng() % 9]};
    return px;
}

// Each value must be a nearest whole number to the exact mean (within half a step).
void ExpectNearestToReference(const std::vector<Rgba8>& got, const RgbaReference& want, int w, int h) {
    ASSERT_EQ(got.size(), std::size_t(w * h));
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "pixel " << i % std::size_t(w) << "," << i / std::size_t(w));
        const Rgba8 p = got[i];
        ASSERT_LE(std::abs(p.a - want.a[i]), 0.5 + 1e-9);
        if (p.a == 0) {
            ASSERT_EQ(p, (Rgba8{0, 0, 0, 0}));
            continue;
        }
        ASSERT_LE(std::abs(p.r - want.r[i]), 0.5 + 1e-9);
        ASSERT_LE(std::abs(p.g - want.g[i]), 0.5 + 1e-9);
        ASSERT_LE(std::abs(p.b - want.b[i]), 0.5 + 1e-9);
    }
}

TEST(ResampleRgba, PremultipliedAveragingMatchesTheDoubleReference) {
    struct Case { int W, H, w, h; };
    for (const Case c : {Case{37, 23, 16, 16}, Case{256, 256, 48, 48}, Case{5, 3, 16, 16}, Case{16, 16, 37, 23},
                         Case{7, 1, 3, 2}, Case{1, 1, 4, 5}, Case{37, 23, 1, 1}}) {
        SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " -> " << c.w << "x" << c.h);
        const std::vector<Rgba8> src = SoftPixels(c.W, c.H, uint32_t(c.W * 31 + c.w));
        const std::vector<Rgba8> got = ResampleRgba(src, c.W, c.H, c.w, c.h);
        ExpectNearestToReference(got, ReferenceRgba(src, c.W, c.H, c.w, c.h), c.w, c.h);
    }
    // The same size gives the pixels back, fully transparent ones cleared to (0, 0, 0, 0).
    std::vector<Rgba8> src = SoftPixels(9, 4, 5);
    std::vector<Rgba8> want = src;
    for (Rgba8& p : want)
        if (p.a == 0) p = Rgba8{};
    EXPECT_EQ(ResampleRgba(src, 9, 4, 9, 4), want);
    // A whole factor up is pixel repetition.
    const std::vector<Rgba8> big = ResampleRgba(src, 9, 4, 27, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 27; ++x) ASSERT_EQ(big[std::size_t(x + 27 * y)], want[std::size_t(x / 3 + 9 * (y / 2))]);
    EXPECT_TRUE(ResampleRgba(src, 9, 4, 0, 3).empty());
    EXPECT_TRUE(ResampleRgba(src, 8, 4, 4, 4).empty());
}

TEST(ResampleRgba, SoftEdgesKeepTheirColourAndTransparentPixelsLendNone) {
    // A shadow of black at alpha 45 beside fully transparent white: shrunk 2 x 2 -> 1 x 1 the
    // shadow stays black at a quarter of the alpha (11.25 rounds to 11): no white fringe.
    const std::vector<Rgba8> shadow = {{0, 0, 0, 45}, {255, 255, 255, 0}, {255, 255, 255, 0}, {255, 255, 255, 0}};
    EXPECT_EQ(ResampleRgba(shadow, 2, 2, 1, 1), (std::vector<Rgba8>{{0, 0, 0, 11}}));
    // Half red opaque, half blue nearly transparent: colour weighted by alpha, 255*255/(255+1).
    const std::vector<Rgba8> mix = {{255, 0, 0, 255}, {0, 0, 255, 1}};
    EXPECT_EQ(ResampleRgba(mix, 2, 1, 1, 1), (std::vector<Rgba8>{{254, 0, 1, 128}}));
    // Rounding is to nearest from the exact sums: (10 + 11) / 2 = 10.5 -> 11, alpha 127.5 -> 128.
    const std::vector<Rgba8> half = {{10, 10, 10, 255}, {11, 11, 11, 255}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    EXPECT_EQ(ResampleRgba(half, 2, 2, 1, 1), (std::vector<Rgba8>{{11, 11, 11, 128}}));
}

TEST(ResampleRgba, APictureFittedIntoASquareIsCentredOnTransparency) {
    // 5 x 3 into 16 x 16: 16 x 10 (9.6 rounded), rows 3..12; 3 x 7 into 8 x 8: 3 x 8 (3.43), columns 2..4.
    struct Case { int W, H, side; Rect fit; };
    for (const Case c : {Case{5, 3, 16, Rect{0, 3, 16, 13}}, Case{3, 7, 8, Rect{2, 0, 5, 8}}}) {
        SCOPED_TRACE(c.W);
        const std::vector<Rgba8> src = SoftPixels(c.W, c.H, 8);
        const Document doc = FittedTrueColorDocument(src, c.W, c.H, c.side, c.side, 20);
        ASSERT_TRUE(doc.Ready);
        ASSERT_TRUE(doc.TrueColor);
        EXPECT_EQ(FitInside(c.W, c.H, c.side, c.side), c.fit);
        const std::vector<Rgba8> fitted = ResampleRgba(src, c.W, c.H, c.fit.Width(), c.fit.Height());
        for (int y = 0; y < c.side; ++y)
            for (int x = 0; x < c.side; ++x) {
                const bool inside = x >= c.fit.left && x < c.fit.right && y >= c.fit.top && y < c.fit.bottom;
                const Rgba8 want = inside ? fitted[std::size_t((y - c.fit.top) * c.fit.Width() + x - c.fit.left)] : Rgba8{};
                ASSERT_EQ(doc.LayerAt(0).Pixels[std::size_t(y * c.side + x)], want) << x << "," << y;
            }
    }
    EXPECT_FALSE(FittedTrueColorDocument(SoftPixels(5, 3, 8), 5, 3, 257, 16, 20).Ready);
    EXPECT_FALSE(FittedTrueColorDocument(SoftPixels(5, 3, 8), 4, 3, 16, 16, 20).Ready);
}

TEST(ResampleRgba, TruecolourDocumentGivesATruecolourPageOfItsVisibleLayers) {
    Document src;
    InitBlankTrueColorDocument(src, 37, 23, 10);
    src.AppendLayer();
    src.AppendLayer();
    for (int l = 0; l < 3; ++l) {
        src.LayerAt(l).Pixels = SoftPixels(37, 23, uint32_t(l + 70));
        src.LayerAt(l).Name = "L" + std::to_string(l);
    }
    src.LayerAt(1).Visible = 0;
    src.HasHotspot = true, src.HotspotX = 20, src.HotspotY = 11;
    src.Origin = IconOrigin{"x.cur", 2, 2};
    src.Palette[3] = PaletteEntry{1, 2, 3, 0};
    for (const int colors : {16, 256, 0}) {
        const Document doc = ResampledDocument(src, 16, 16, colors, 20);
        ASSERT_TRUE(doc.Ready);
        EXPECT_TRUE(doc.TrueColor);
        ASSERT_EQ(doc.LayerCount(), 1);
        EXPECT_TRUE(doc.LayerAt(0).Mask.empty());
        const std::vector<Rgba8> composed = ComposeRgbaLayers(src.Layers(), std::size_t(37 * 23));
        ExpectNearestToReference(doc.LayerAt(0).Pixels, ReferenceRgba(composed, 37, 23, 16, 16), 16, 16);
        EXPECT_EQ(doc.HotspotX, 8);
        EXPECT_EQ(doc.HotspotY, 7);
        EXPECT_TRUE(doc.HasHotspot);
        EXPECT_EQ(doc.Palette, src.Palette);
        EXPECT_EQ(doc.Origin.ResourceType, 0);
    }
    EXPECT_FALSE(ResampledDocument(src, 257, 16, 256, 20).Ready);
}

}  // namespace
}  // namespace pq
