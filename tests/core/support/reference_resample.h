#pragma once
// The picture resampling as first written, sample by sample in the defined order: the faster
// ResampleArea must give the same bytes (tests and the import benchmark check it).

#include <cmath>
#include <cstdint>

#include "core/raster/raster.h"

namespace pq::test {

inline void ReferenceResample(const Raster& source, int left, int top, int right, int bottom, Raster& target) {
    const int sw = source.Width(), sh = source.Height();
    const int w = target.Width(), h = target.Height();
    if (left >= sw || top >= sh || w == 0 || h == 0) return;
    const double sx = double(right - left) / w;
    const double sy = double(bottom - top) / h;
    for (int i = 0; i < h; ++i) {
        const double yStart = top + sy * i, yEnd = top + sy * (i + 1);
        for (int j = 0; j < w; ++j) {
            const double xStart = left + sx * j, xEnd = left + sx * (j + 1);
            long long sumR = 0, sumG = 0, sumB = 0, k = 0;
            for (double x = xStart; x < xEnd; x += 1) {
                const double fx0 = std::floor(x), fx1 = std::ceil(x);
                if (fx0 < 0 || fx1 >= sw) continue;
                const int x0 = int(fx0), x1 = int(fx1);
                const double fx = x - fx0;
                for (double y = yStart; y < yEnd; y += 1) {
                    const double fy0 = std::floor(y), fy1 = std::ceil(y);
                    if (fy0 < 0 || fy1 >= sh) continue;
                    const int y0 = int(fy0), y1 = int(fy1);
                    const double fy = y - fy0;
                    const std::uint8_t* p00 = source.Row(y0) + 3 * x0;
                    const std::uint8_t* p10 = source.Row(y0) + 3 * x1;
                    const std::uint8_t* p01 = source.Row(y1) + 3 * x0;
                    const std::uint8_t* p11 = source.Row(y1) + 3 * x1;
                    auto add = [&](long long& sum, int c) {
                        const double v = p00[c] * (1 - fx) * (1 - fy) + p10[c] * fx * (1 - fy) +
                                         p01[c] * (1 - fx) * fy + p11[c] * fx * fy;
                        sum = (long long)(double(sum) + v);
                    };
                    add(sumB, 0);
                    add(sumG, 1);
                    add(sumR, 2);
                    ++k;
                }
            }
            if (k > 0) target.SetPixelUnchecked(j, i, Rgb{std::uint8_t(sumR / k), std::uint8_t(sumG / k), std::uint8_t(sumB / k)});
        }
    }
}

}  // namespace pq::test
