#include "core/ops/resample.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/document/color_reduction.h"
#include "core/document/quality_reduction.h"

namespace pq {
namespace {

// The source pixels one target pixel covers along one axis, with the length of each overlap.
struct Coverage {
    int First = 0;
    std::vector<int64_t> Lengths;
};

// Target pixel j of `targetSide` covers [j * sourceSide, (j + 1) * sourceSide) in units where source pixel i
// is [i * targetSide, (i + 1) * targetSide): every length is a whole number and a target pixel's lengths sum
// to sourceSide.
std::vector<Coverage> AxisCoverage(int sourceSide, int targetSide) {
    std::vector<Coverage> out(static_cast<std::size_t>(targetSide));
    const int64_t s = sourceSide, t = targetSide;
    for (int64_t j = 0; j < t; ++j) {
        const int64_t start = j * s, end = (j + 1) * s;
        Coverage& c = out[std::size_t(j)];
        c.First = int(start / t);
        for (int64_t i = c.First; i * t < end; ++i)
            c.Lengths.push_back(std::min((i + 1) * t, end) - std::max(i * t, start));
    }
    return out;
}

// Area averaging of a W x H picture whose pixel p (row-major) has colour colorAt(p) and is painted where
// paintedAt(p) is non-zero.
template <typename ColorAt, typename PaintedAt>
ResampledPicture ResampleColours(int W, int H, ColorAt colorAt, PaintedAt paintedAt, int width, int height) {
    ResampledPicture out;
    out.Width = width;
    out.Height = height;
    out.Colors = Raster(width, height);
    out.Painted.assign(std::size_t(width) * std::size_t(height), 0);
    const std::vector<Coverage> across = AxisCoverage(W, width), down = AxisCoverage(H, height);
    const int64_t area = int64_t(W) * int64_t(H);
    for (int y = 0; y < height; ++y) {
        const Coverage& cy = down[std::size_t(y)];
        for (int x = 0; x < width; ++x) {
            const Coverage& cx = across[std::size_t(x)];
            int64_t covered = 0, r = 0, g = 0, b = 0;
            for (std::size_t k = 0; k < cy.Lengths.size(); ++k) {
                const std::size_t row = (std::size_t(cy.First) + k) * std::size_t(W);
                for (std::size_t i = 0; i < cx.Lengths.size(); ++i) {
                    const std::size_t p = row + std::size_t(cx.First) + i;
                    if (!paintedAt(p)) continue;
                    const int64_t weight = cy.Lengths[k] * cx.Lengths[i];
                    const Rgb c = colorAt(p);
                    covered += weight;
                    r += weight * c.r;
                    g += weight * c.g;
                    b += weight * c.b;
                }
            }
            if (2 * covered < area) continue;
            auto mean = [covered](int64_t sum) { return uint8_t((2 * sum + covered) / (2 * covered)); };
            out.Colors.SetPixelUnchecked(x, y, Rgb{mean(r), mean(g), mean(b)});
            out.Painted[std::size_t(y) * std::size_t(width) + std::size_t(x)] = 1;
        }
    }
    return out;
}

bool SideInRange(int side) { return side >= 1 && side <= kMaxResampleSide; }

}  // namespace

ResampledPicture ResamplePicture(const Document& src, int width, int height) {
    const int W = src.ImageWidth, H = src.ImageHeight;
    if (!src.Ready || src.LayerCount() < 1 || W <= 0 || H <= 0 || !SideInRange(width) || !SideInRange(height))
        return {};

    // The visible layers bottom to top, the floating selection left out as the icon writer leaves it.
    const std::size_t pixels = std::size_t(W) * std::size_t(H);
    std::vector<Rgb> color(pixels);
    Plane painted(pixels, 0);
    for (const Layer& layer : src.Layers()) {
        if (!layer.Visible || layer.Mask.size() != pixels || layer.Indices.size() != pixels) continue;
        for (std::size_t p = 0; p < pixels; ++p)
            if (layer.Mask[p]) color[p] = src.ColorOf(layer.Indices[p]), painted[p] = 1;
    }
    return ResampleColours(
        W, H, [&](std::size_t p) { return color[p]; }, [&](std::size_t p) { return painted[p]; }, width, height);
}

ResampledPicture ResampleRaster(const Raster& picture, const Plane* transparent, int width, int height) {
    const int W = picture.Width(), H = picture.Height();
    if (W <= 0 || H <= 0 || !SideInRange(width) || !SideInRange(height)) return {};
    const std::size_t pixels = std::size_t(W) * std::size_t(H);
    const bool anyClear = transparent && transparent->size() == pixels;
    return ResampleColours(
        W, H,
        [&](std::size_t p) { return picture.PixelUnchecked(int(p % std::size_t(W)), int(p / std::size_t(W))); },
        [&](std::size_t p) { return !anyClear || !(*transparent)[p]; }, width, height);
}

Rect FitInside(int pictureWidth, int pictureHeight, int width, int height) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || width <= 0 || height <= 0) return Rect{0, 0, 0, 0};
    const int64_t pw = pictureWidth, ph = pictureHeight;
    int64_t w = width, h = height;
    if (pw * height >= ph * width)
        h = std::max<int64_t>(1, (2 * ph * width + pw) / (2 * pw));   // as wide as the frame, rounded to nearest
    else
        w = std::max<int64_t>(1, (2 * pw * height + ph) / (2 * ph));
    const int left = int((width - w) / 2), top = int((height - h) / 2);
    return Rect{left, top, left + int(w), top + int(h)};
}

Document ResampledDocument(const Document& src, int width, int height, int colors, int selectedZoom,
                           const ReductionOptions& options) {
    Document doc;
    if (colors != 16 && colors != 256) return doc;
    const ResampledPicture picture = ResamplePicture(src, width, height);
    if (picture.Width == 0) return doc;
    InitBlankDocument(doc, width, height, colors, selectedZoom);
    ReducePaintedPicture(doc, colors, 0, picture.Colors, picture.Painted, options);
    doc.HasHotspot = src.HasHotspot;
    doc.HotspotX = int(std::clamp<int64_t>(int64_t(src.HotspotX) * width / src.ImageWidth, 0, width - 1));
    doc.HotspotY = int(std::clamp<int64_t>(int64_t(src.HotspotY) * height / src.ImageHeight, 0, height - 1));
    return doc;
}

}  // namespace pq
