#include "core/formats/reduced_box.h"

#include <algorithm>
#include <cmath>

namespace pq {

std::vector<std::vector<ReducedBoxAverager::Weight>> ReducedBoxAverager::Cells(int full, int d, double start, double end,
                                                                                int count) {
    std::vector<std::vector<Weight>> cells(std::size_t(std::max(count, 0)));
    const int reduced = (full + d - 1) / d;
    const double step = (end - start) / count;
    for (int k = 0; k < count; ++k) {
        const double a = std::max(0.0, start + step * k), b = std::min(double(full), start + step * (k + 1));
        if (!(a < b)) continue;
        const int first = std::clamp(int(std::floor(a / d)), 0, reduced - 1);
        const int last = std::clamp(int(std::ceil(b / d)) - 1, 0, reduced - 1);
        for (int i = first; i <= last; ++i) {
            const double lo = std::max(a, double(i) * d), hi = std::min({b, double(i + 1) * d, double(full)});
            if (hi > lo) cells[std::size_t(k)].push_back({i, hi - lo});
        }
    }
    return cells;
}

ReducedBoxAverager::ReducedBoxAverager(int fullWidth, int fullHeight, int d, double left, double top, double right,
                                       double bottom, Raster& target)
    : target_(target) {
    const int w = target.Width(), h = target.Height();
    if (w <= 0 || h <= 0 || fullWidth <= 0 || fullHeight <= 0 || d <= 0) return;
    columns_ = Cells(fullWidth, d, left, right, w);
    const std::vector<std::vector<Weight>> rows = Cells(fullHeight, d, top, bottom, h);
    byRow_.resize(std::size_t((fullHeight + d - 1) / d));
    lastRow_.assign(std::size_t(h), -1);
    rowTotal_.assign(std::size_t(h), 0);
    columnTotal_.assign(std::size_t(w), 0);
    for (int i = 0; i < h; ++i)
        for (const Weight& r : rows[std::size_t(i)]) {
            byRow_[std::size_t(r.index)].push_back({i, r.weight});
            rowTotal_[std::size_t(i)] += r.weight;
            lastRow_[std::size_t(i)] = std::max(lastRow_[std::size_t(i)], r.index);
        }
    for (int j = 0; j < w; ++j)
        for (const Weight& c : columns_[std::size_t(j)]) columnTotal_[std::size_t(j)] += c.weight;
    sums_.assign(3 * std::size_t(w) * std::size_t(h), 0);
}

void ReducedBoxAverager::AddRow(int y, const std::uint8_t* row) {
    if (y < 0 || std::size_t(y) >= byRow_.size()) return;
    const int w = target_.Width();
    for (const Weight& r : byRow_[std::size_t(y)]) {
        double* sum = &sums_[3 * std::size_t(r.index) * std::size_t(w)];
        for (int j = 0; j < w; ++j, sum += 3) {
            double s0 = 0, s1 = 0, s2 = 0;
            for (const Weight& c : columns_[std::size_t(j)]) {
                const std::uint8_t* p = row + 3 * std::size_t(c.index);
                s0 += p[0] * c.weight;
                s1 += p[1] * c.weight;
                s2 += p[2] * c.weight;
            }
            sum[0] += s0 * r.weight;
            sum[1] += s1 * r.weight;
            sum[2] += s2 * r.weight;
        }
        if (lastRow_[std::size_t(r.index)] != y) continue;
        // The row is complete: the mean over the cell's part on the picture, rounded down as the
        // exact import's integer average is.
        std::uint8_t* out = target_.Row(r.index);
        const double* done = &sums_[3 * std::size_t(r.index) * std::size_t(w)];
        for (int j = 0; j < w; ++j) {
            const double area = columnTotal_[std::size_t(j)] * rowTotal_[std::size_t(r.index)];
            if (area <= 0) continue;
            for (int c = 0; c < 3; ++c)
                out[3 * j + c] = std::uint8_t(std::clamp(std::floor(done[3 * j + c] / area), 0.0, 255.0));
        }
    }
}

void AverageReducedPicture(const Raster& reduced, int fullWidth, int fullHeight, int d, double left, double top,
                           double right, double bottom, Raster& target) {
    ReducedBoxAverager box(fullWidth, fullHeight, d, left, top, right, bottom, target);
    for (int y = 0; y < reduced.Height(); ++y) box.AddRow(y, reduced.Row(y));
}

}  // namespace pq
