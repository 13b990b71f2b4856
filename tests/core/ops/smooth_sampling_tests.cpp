// Smooth rotation and smooth scaled resize of truecolour layers, each against a plain
// double-precision premultiplied reference; the nearest rule stays the default and the only
// rule of palette documents.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/ops/transforms.h"

namespace pq {
namespace {

// Soft alpha everywhere but alpha 0 every fourth pixel (bright green colour bytes that must
// never show) and 255 every fifth.
RgbaPlane Picture(int w, int h) {
    RgbaPlane px(std::size_t(w) * std::size_t(h));
    for (int p = 0; p < w * h; ++p)
        px[std::size_t(p)] = p % 4 == 0 ? Rgba8{0, 255, 0, 0}
                                        : Rgba8{uint8_t(40 + p * 29 % 200), uint8_t(p * 7 % 60), uint8_t(250 - p * 13 % 180),
                                                uint8_t(p % 5 == 0 ? 255 : 20 + p * 41 % 220)};
    return px;
}

Document TrueColorOf(int w, int h, const RgbaPlane& px) {
    Document d;
    InitBlankTrueColorDocument(d, w, h, 10);
    d.Current().Pixels = px;
    return d;
}

// Premultiplied sums of weights that add up to 1.
struct Sum {
    double a = 0, r = 0, g = 0, b = 0;
    void Add(Rgba8 p, double w) { a += w * p.a, r += w * p.a * p.r, g += w * p.a * p.g, b += w * p.a * p.b; }
};

// Alpha within 1; where there is alpha to speak of, each colour within 1 of the divided-back value.
void ExpectNear(const RgbaPlane& got, const std::vector<Sum>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t p = 0; p < got.size(); ++p) {
        const Sum& s = want[p];
        ASSERT_LE(std::abs(got[p].a - s.a), 1.0) << what << " alpha of pixel " << p;
        if (got[p].a == 0) {
            ASSERT_EQ(got[p], Rgba8{}) << what << " pixel " << p;
            continue;
        }
        ASSERT_NEAR(got[p].r, s.r / s.a, 1.0) << what << " red of pixel " << p;
        ASSERT_NEAR(got[p].g, s.g / s.a, 1.0) << what << " green of pixel " << p;
        ASSERT_NEAR(got[p].b, s.b / s.a, 1.0) << what << " blue of pixel " << p;
    }
}

// Rotation about the centre pixel (w / 2, h / 2) as the nearest rule turns, sampled between
// the four pixels around the rotated position; outside the picture is transparent.
std::vector<Sum> ReferenceRotation(const RgbaPlane& px, int w, int h, int degrees) {
    const double t = degrees * M_PI / 180, cx = w / 2, cy = h / 2;
    std::vector<Sum> out(px.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double u = cx + (x - cx) * std::cos(t) - (y - cy) * std::sin(t);
            const double v = cy + (x - cx) * std::sin(t) + (y - cy) * std::cos(t);
            for (int j = int(std::floor(v)); j <= int(std::floor(v)) + 1; ++j)
                for (int i = int(std::floor(u)); i <= int(std::floor(u)) + 1; ++i)
                    if (i >= 0 && j >= 0 && i < w && j < h)
                        out[std::size_t(y * w + x)].Add(px[std::size_t(j * w + i)],
                                                        (1 - std::abs(u - i)) * (1 - std::abs(v - j)));
        }
    return out;
}

// Target centres mapped onto the source; taps weigh 1 - distance / r with r = max(1, source /
// target) in each axis, normalised over the taps inside the picture.
std::vector<Sum> ReferenceScale(const RgbaPlane& px, int w, int h, int nw, int nh) {
    auto weights = [](int source, int target, int t) {
        const double r = std::max(1.0, double(source) / target), u = (t + 0.5) * source / target - 0.5;
        std::vector<double> wt(static_cast<std::size_t>(source));
        double total = 0;
        for (int i = 0; i < source; ++i) total += wt[std::size_t(i)] = std::max(0.0, 1 - std::abs(i - u) / r);
        for (double& v : wt) v /= total;
        return wt;
    };
    std::vector<Sum> out(std::size_t(nw) * std::size_t(nh));
    for (int y = 0; y < nh; ++y)
        for (int x = 0; x < nw; ++x) {
            const std::vector<double> wx = weights(w, nw, x), wy = weights(h, nh, y);
            for (int j = 0; j < h; ++j)
                for (int i = 0; i < w; ++i)
                    out[std::size_t(y * nw + x)].Add(px[std::size_t(j * w + i)], wx[std::size_t(i)] * wy[std::size_t(j)]);
        }
    return out;
}

// A 9 x 3 picture turned by 87 degrees mostly leaves the strip: a swapped axis or a centre taken
// from the wrong side lands the rest on other pixels.
TEST(SmoothSampling, RotationMatchesThePremultipliedBilinearReference) {
    for (const auto& [w, h, degrees] : {std::tuple{7, 5, 30}, std::tuple{7, 5, 200}, std::tuple{9, 3, 87},
                                        std::tuple{5, 7, 333}, std::tuple{7, 5, 90}}) {
        const RgbaPlane px = Picture(w, h);
        Document d = TrueColorOf(w, h, px);
        const EditResult r = RotateByAngle(d, degrees, Sampling::Smooth);
        EXPECT_EQ(r.Step, "回転");
        ExpectNear(d.Current().Pixels, ReferenceRotation(px, w, h, degrees),
                   std::to_string(w) + "x" + std::to_string(h) + " by " + std::to_string(degrees));
    }
    // Right angles and 0 move whole pixels exactly, about the centre pixel (3, 2).
    const int cosines[] = {1, 0, -1, 0}, sines[] = {0, 1, 0, -1};
    for (int k = 0; k < 4; ++k) {
        const RgbaPlane px = Picture(7, 5);
        Document d = TrueColorOf(7, 5, px);
        RotateByAngle(d, 90 * k, Sampling::Smooth);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                const int sx = 3 + (x - 3) * cosines[k] - (y - 2) * sines[k];
                const int sy = 2 + (x - 3) * sines[k] + (y - 2) * cosines[k];
                const bool inside = sx >= 0 && sy >= 0 && sx < 7 && sy < 5;
                const Rgba8 want = inside && px[std::size_t(sy * 7 + sx)].a ? px[std::size_t(sy * 7 + sx)] : Rgba8{};
                ASSERT_EQ(d.Current().Pixels[std::size_t(y * 7 + x)], want) << 90 * k << " at " << x << "," << y;
            }
    }
}

TEST(SmoothSampling, ScaledResizeMatchesTheReferenceEnlargingAndShrinkingOnEveryLayer) {
    for (const auto& [w, h, side] : {std::tuple{7, 5, 16}, std::tuple{48, 20, 16}, std::tuple{5, 7, 32}}) {
        const RgbaPlane px = Picture(w, h);
        Document d = TrueColorOf(w, h, px);
        d.AppendLayer();
        d.LayerAt(1).Pixels = RgbaPlane(px.rbegin(), px.rend());
        EXPECT_TRUE(ResizeCanvas(d, side, side, true, Sampling::Smooth).SizeChanged);
        const std::string what = std::to_string(w) + "x" + std::to_string(h) + " to " + std::to_string(side);
        ExpectNear(d.LayerAt(0).Pixels, ReferenceScale(px, w, h, side, side), what);
        ExpectNear(d.LayerAt(1).Pixels, ReferenceScale(RgbaPlane(px.rbegin(), px.rend()), w, h, side, side),
                   what + " upper layer");
    }
    // The same size gives every pixel back; without :scale the smooth choice changes nothing.
    const RgbaPlane px = Picture(16, 16);
    Document same = TrueColorOf(16, 16, px);
    ResizeCanvas(same, 16, 16, true, Sampling::Smooth);
    for (std::size_t p = 0; p < px.size(); ++p) ASSERT_EQ(same.Current().Pixels[p], px[p].a ? px[p] : Rgba8{}) << p;
    Document anchored = TrueColorOf(7, 5, Picture(7, 5)), nearest = anchored;
    ResizeCanvas(anchored, 16, 16, false, Sampling::Smooth);
    ResizeCanvas(nearest, 16, 16, false);
    EXPECT_EQ(anchored.Current().Pixels, nearest.Current().Pixels);
}

// Opaque red beside transparent pixels whose colour bytes are green: blending must never bring
// any green in, whatever it samples.
TEST(SmoothSampling, TransparentPixelsLendNoColour) {
    RgbaPlane px(15, Rgba8{0, 255, 0, 0});
    px[7] = Rgba8{255, 0, 0, 255};
    Document scaled = TrueColorOf(5, 3, px), turned = scaled;
    ResizeCanvas(scaled, 32, 32, true, Sampling::Smooth);
    RotateByAngle(turned, 45, Sampling::Smooth);
    for (const Document* d : {&scaled, &turned}) {
        int soft = 0;
        for (const Rgba8 p : d->Current().Pixels) {
            if (p.a == 0) continue;
            ASSERT_EQ(p, (Rgba8{255, 0, 0, p.a}));
            soft += p.a < 255;
        }
        EXPECT_GT(soft, 0) << "the edges are blended";
    }
}

// Palette indices cannot be blended: a palette document ignores the smooth choice.
TEST(SmoothSampling, PaletteDocumentsAlwaysMoveWholePixels) {
    Document smooth;
    InitBlankDocument(smooth, 7, 5, 256, 10);
    for (std::size_t p = 0; p < 35; ++p) {
        smooth.Current().Indices[p] = uint8_t(p * 5);
        smooth.Current().Mask[p] = p % 3 != 0;
    }
    Document nearest = smooth;
    RotateByAngle(smooth, 33, Sampling::Smooth);
    RotateByAngle(nearest, 33);
    ResizeCanvas(smooth, 16, 16, true, Sampling::Smooth);
    ResizeCanvas(nearest, 16, 16, true);
    EXPECT_EQ(smooth.Layers(), nearest.Layers());
}

}  // namespace
}  // namespace pq
