// Smooth rotation and smooth scaled resize of truecolour layers against plain double-precision
// premultiplied references, on non-square pictures with alpha 0, soft and 255 pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "core/ops/transforms.h"

namespace pq {
namespace {

// Alpha 0 every fourth pixel (green colour bytes that must never show), 255 every fifth, soft
// otherwise.
Document Picture(int w, int h) {
    Document d;
    InitBlankTrueColorDocument(d, w, h, 10);
    for (int p = 0; p < w * h; ++p)
        d.Current().Pixels[std::size_t(p)] =
            p % 4 == 0 ? Rgba8{0, 255, 0, 0}
                       : Rgba8{uint8_t(40 + p * 29 % 200), uint8_t(p * 7 % 60), uint8_t(250 - p * 13 % 180),
                               uint8_t(p % 5 == 0 ? 255 : 20 + p * 41 % 220)};
    return d;
}

// Premultiplied sums of taps whose weights add up to 1: the expected pixel is a, r/a, g/a, b/a.
struct Sum {
    double a = 0, r = 0, g = 0, b = 0;
    void Add(Rgba8 p, double w) { a += w * p.a, r += w * p.a * p.r, g += w * p.a * p.g, b += w * p.a * p.b; }
};

void ExpectNear(const RgbaPlane& got, const std::vector<Sum>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t p = 0; p < got.size(); ++p) {
        const Sum& s = want[p];
        ASSERT_LE(std::abs(got[p].a - s.a), 1.0) << what << " alpha of pixel " << p;
        if (got[p].a == 0) ASSERT_EQ(got[p], Rgba8{}) << what << " pixel " << p;
        else
            for (const auto& [c, sum] : {std::pair{got[p].r, s.r}, std::pair{got[p].g, s.g}, std::pair{got[p].b, s.b}})
                ASSERT_NEAR(c, sum / s.a, 1.0) << what << " pixel " << p;
    }
}

// About the centre pixel (w / 2, h / 2), as the nearest rule turns; the four pixels around the
// rotated position, outside the picture transparent.
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
                        out[std::size_t(y * w + x)].Add(px[std::size_t(j * w + i)], (1 - std::abs(u - i)) * (1 - std::abs(v - j)));
        }
    return out;
}

// Target centres mapped onto the source; each source pixel weighs 1 - distance / r per axis,
// r = max(1, source / target), normalised over the picture.
std::vector<Sum> ReferenceScale(const RgbaPlane& px, int w, int h, int side) {
    auto weights = [side](int source, int t) {
        const double r = std::max(1.0, double(source) / side), u = (t + 0.5) * source / side - 0.5;
        std::vector<double> wt(static_cast<std::size_t>(source));
        double total = 0;
        for (int i = 0; i < source; ++i) total += wt[std::size_t(i)] = std::max(0.0, 1 - std::abs(i - u) / r);
        for (double& v : wt) v /= total;
        return wt;
    };
    std::vector<Sum> out(std::size_t(side) * std::size_t(side));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const std::vector<double> wx = weights(w, x), wy = weights(h, y);
            for (int j = 0; j < h; ++j)
                for (int i = 0; i < w; ++i)
                    out[std::size_t(y * side + x)].Add(px[std::size_t(j * w + i)], wx[std::size_t(i)] * wy[std::size_t(j)]);
        }
    return out;
}

// The wide 9 x 3 strip turned by 87 degrees catches a swapped axis or a centre on the wrong side.
TEST(SmoothSampling, RotationAndScaledResizeMatchThePremultipliedReferences) {
    for (const auto& [w, h, degrees] : {std::tuple{7, 5, 30}, std::tuple{9, 3, 87}, std::tuple{5, 7, 200},
                                        std::tuple{7, 5, 90}}) {
        Document d = Picture(w, h);
        const RgbaPlane px = d.Current().Pixels;
        EXPECT_EQ(RotateByAngle(d, degrees, Sampling::Smooth).Step, "回転");
        ExpectNear(d.Current().Pixels, ReferenceRotation(px, w, h, degrees), "rotated by " + std::to_string(degrees));
    }
    // Enlarging (bilinear), shrinking one axis by 3 and the other by 1.25, and the same size.
    for (const auto& [w, h, side] : {std::tuple{7, 5, 16}, std::tuple{48, 20, 16}, std::tuple{16, 16, 16}}) {
        Document d = Picture(w, h);
        const RgbaPlane px = d.Current().Pixels;
        EXPECT_TRUE(ResizeCanvas(d, side, side, true, Sampling::Smooth).SizeChanged);
        ExpectNear(d.Current().Pixels, ReferenceScale(px, w, h, side), std::to_string(w) + " wide to " + std::to_string(side));
    }
}

// Opaque red among transparent pixels whose colour bytes are green: no green may come in, while
// the edges do blend.
TEST(SmoothSampling, TransparentPixelsLendNoColour) {
    Document scaled;
    InitBlankTrueColorDocument(scaled, 5, 3, 10);
    scaled.Current().Pixels.assign(15, Rgba8{0, 255, 0, 0});
    scaled.Current().Pixels[7] = Rgba8{255, 0, 0, 255};
    Document turned = scaled;
    ResizeCanvas(scaled, 32, 32, true, Sampling::Smooth);
    RotateByAngle(turned, 45, Sampling::Smooth);
    for (const Document* d : {&scaled, &turned}) {
        int soft = 0;
        for (const Rgba8 p : d->Current().Pixels) {
            if (p.a != 0) ASSERT_EQ(p, (Rgba8{255, 0, 0, p.a}));
            soft += p.a > 0 && p.a < 255;
        }
        EXPECT_GT(soft, 0);
    }
}

}  // namespace
}  // namespace pq
