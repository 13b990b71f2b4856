#pragma once
// The area averaging of ResampleRaster as first written, target pixel by target pixel over
// every source pixel it covers with 64-bit weights: the row-by-row AreaAverager must give the
// same bytes (tests and the import benchmark check it).

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/ops/resample.h"

namespace pq::test {

inline ResampledPicture ReferenceAreaAverage(const Raster& picture, const Plane* transparent, int width, int height) {
    const int W = picture.Width(), H = picture.Height();
    if (W <= 0 || H <= 0 || width < 1 || height < 1 || width > kMaxResampleSide || height > kMaxResampleSide) return {};
    const bool anyClear = transparent && transparent->size() == std::size_t(W) * std::size_t(H);
    struct Coverage {
        int First = 0;
        std::vector<int64_t> Lengths;
    };
    auto axis = [](int sourceSide, int targetSide) {
        std::vector<Coverage> out(static_cast<std::size_t>(targetSide));
        const int64_t s = sourceSide, t = targetSide;
        for (int64_t j = 0; j < t; ++j) {
            const int64_t start = j * s, end = (j + 1) * s;
            Coverage& c = out[std::size_t(j)];
            c.First = int(start / t);
            for (int64_t i = c.First; i * t < end; ++i) c.Lengths.push_back(std::min((i + 1) * t, end) - std::max(i * t, start));
        }
        return out;
    };
    ResampledPicture out;
    out.Width = width;
    out.Height = height;
    out.Colors = Raster(width, height);
    out.Painted.assign(std::size_t(width) * std::size_t(height), 0);
    const std::vector<Coverage> across = axis(W, width), down = axis(H, height);
    const int64_t area = int64_t(W) * int64_t(H);
    for (int y = 0; y < height; ++y) {
        const Coverage& cy = down[std::size_t(y)];
        for (int x = 0; x < width; ++x) {
            const Coverage& cx = across[std::size_t(x)];
            int64_t covered = 0, r = 0, g = 0, b = 0;
            for (std::size_t k = 0; k < cy.Lengths.size(); ++k)
                for (std::size_t i = 0; i < cx.Lengths.size(); ++i) {
                    const int px = cx.First + int(i), py = cy.First + int(k);
                    if (anyClear && (*transparent)[std::size_t(py) * std::size_t(W) + std::size_t(px)]) continue;
                    const int64_t weight = cy.Lengths[k] * cx.Lengths[i];
                    const Rgb c = picture.PixelUnchecked(px, py);
                    covered += weight;
                    r += weight * c.r;
                    g += weight * c.g;
                    b += weight * c.b;
                }
            if (2 * covered < area) continue;
            auto mean = [covered](int64_t sum) { return uint8_t((2 * sum + covered) / (2 * covered)); };
            out.Colors.SetPixelUnchecked(x, y, Rgb{mean(r), mean(g), mean(b)});
            out.Painted[std::size_t(y) * std::size_t(width) + std::size_t(x)] = 1;
        }
    }
    return out;
}

}  // namespace pq::test
