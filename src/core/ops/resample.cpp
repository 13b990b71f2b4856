#include "core/ops/resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/document/blend.h"
#include "core/document/color_reduction.h"
#include "core/document/quality_reduction.h"

namespace pq {
namespace {

// Adds the blue, green and red bytes of n pixels (3 n bytes from p) to t[0], t[1] and t[2].
void SumPixels(const std::uint8_t* p, std::size_t n, std::uint64_t (&t)[3]) {
    std::size_t i = 0;
#if defined(__SSE2__)
    // 16 pixels (48 bytes, three registers) at a time into 16-bit lanes, emptied every 256 steps
    // before they could overflow; byte k of register v belongs to channel (16 v + k) % 3.
    const __m128i zero = _mm_setzero_si128();
    while (n - i >= 16) {
        __m128i acc[6] = {zero, zero, zero, zero, zero, zero};
        const std::size_t blocks = std::min<std::size_t>((n - i) / 16, 256);
        for (std::size_t b = 0; b < blocks; ++b, i += 16) {
            const std::uint8_t* q = p + 3 * i;
            for (int v = 0; v < 3; ++v) {
                const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16 * v));
                acc[2 * v] = _mm_add_epi16(acc[2 * v], _mm_unpacklo_epi8(x, zero));
                acc[2 * v + 1] = _mm_add_epi16(acc[2 * v + 1], _mm_unpackhi_epi8(x, zero));
            }
        }
        for (int r = 0; r < 6; ++r) {
            alignas(16) std::uint16_t lanes[8];
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes), acc[r]);
            for (int k = 0; k < 8; ++k) t[(8 * r + k) % 3] += lanes[k];
        }
    }
#endif
    for (; i < n; ++i) t[0] += p[3 * i], t[1] += p[3 * i + 1], t[2] += p[3 * i + 2];
}

bool SideInRange(int side) { return side >= 1 && side <= kMaxResampleSide; }

void ScaleHotspot(const Document& src, Document& doc, int width, int height) {
    doc.HasHotspot = src.HasHotspot;
    doc.HotspotX = int(std::clamp<int64_t>(int64_t(src.HotspotX) * width / src.ImageWidth, 0, width - 1));
    doc.HotspotY = int(std::clamp<int64_t>(int64_t(src.HotspotY) * height / src.ImageHeight, 0, height - 1));
}

Document ResampledTrueColorDocument(const Document& src, int width, int height, int selectedZoom) {
    Document doc;
    const int W = src.ImageWidth, H = src.ImageHeight;
    if (!src.Ready || src.LayerCount() < 1 || W <= 0 || H <= 0 || !SideInRange(width) || !SideInRange(height))
        return doc;
    // The visible layers as every writer flattens them; the floating selection is left out as for palette pages.
    const std::vector<Rgba8> composed = ComposeRgbaLayers(src.Layers(), std::size_t(W) * std::size_t(H));
    std::vector<Rgba8> pixels = ResampleRgba(composed, W, H, width, height);
    if (pixels.empty()) return doc;
    InitBlankTrueColorDocument(doc, width, height, selectedZoom);
    doc.LayerAt(0).Pixels = std::move(pixels);
    doc.Palette = src.Palette;
    doc.DrawRgba = src.DrawRgba;
    doc.AuxRgba = src.AuxRgba;
    ScaleHotspot(src, doc, width, height);
    return doc;
}

}  // namespace

AreaAverager::AreaAverager(int pictureWidth, int pictureHeight, int width, int height, bool transparency)
    : W_(pictureWidth), H_(pictureHeight), w_(width), h_(height), transparency_(transparency) {
    // Target pixel j of t covers [j * s, (j + 1) * s) in units where source pixel i is [i * t, (i + 1) * t): every
    // length is a whole number (t at most) and a target pixel's lengths sum to s.
    auto axis = [](int sourceSide, int targetSide, Axis& a) {
        const std::int64_t s = sourceSide, t = targetSide;
        for (std::int64_t j = 0; j < t; ++j) {
            const std::int64_t start = j * s, end = (j + 1) * s, first = start / t, last = (end - 1) / t;
            auto len = [&](std::int64_t i) { return std::uint32_t(std::min((i + 1) * t, end) - std::max(i * t, start)); };
            a.First.push_back(int(first));
            a.Count.push_back(int(last - first + 1));
            a.FirstLen.push_back(len(first));
            a.LastLen.push_back(len(last));
        }
    };
    axis(W_, w_, across_);
    axis(H_, h_, down_);
    out_.Width = w_;
    out_.Height = h_;
    out_.Colors = Raster(w_, h_);
    out_.Painted.assign(std::size_t(w_) * std::size_t(h_), 0);
    rowSums_.assign(3 * std::size_t(w_), 0);
    sums_.assign(3 * std::size_t(w_), 0);
    rowCover_.assign(std::size_t(w_), 0);
    cover_.assign(std::size_t(w_), 0);
}

void AreaAverager::AddRow(const std::uint8_t* bgr, const std::uint8_t* transparent) { AddPiece(0, W_, bgr, transparent); }

void AreaAverager::AddPiece(int x, int n, const std::uint8_t* bgr, const std::uint8_t* transparent) {
    if (row_ >= H_) return;
    // Each target column's sum over its source pixels in the piece: length times value. The sums are exact whole
    // numbers, so summing by target pixel gives what summing by source pixel gives.
    const std::uint64_t inner = std::uint64_t(w_);
    // The first target column whose source pixels reach x (their ends never decrease).
    std::size_t j = 0, past = std::size_t(w_);
    while (j < past) {
        const std::size_t mid = (j + past) / 2;
        if (across_.First[mid] + across_.Count[mid] > x) past = mid; else j = mid + 1;
    }
    for (; j < std::size_t(w_) && across_.First[j] < x + n; ++j) {
        const int first = across_.First[j], last = first + across_.Count[j] - 1;
        const int lo = std::max(first, x), hi = std::min(last + 1, x + n);
        std::uint64_t s[3] = {0, 0, 0}, cover = 0;
        auto add = [&](int i, std::uint64_t len) {
            if (transparency_ && transparent && transparent[i - x]) return;
            const std::uint8_t* p = bgr + 3 * std::size_t(i - x);
            s[0] += len * p[0], s[1] += len * p[1], s[2] += len * p[2];
            cover += len;
        };
        // The pixels between the first and the last all have the target side as their length.
        const int innerLo = std::max(lo, first + 1), innerHi = std::min(hi, last);
        if (lo == first) add(first, across_.FirstLen[j]);
        if (innerLo < innerHi) {
            std::uint64_t t[3] = {0, 0, 0}, k = 0;
            if (transparency_ && transparent) {
                for (int i = innerLo; i < innerHi; ++i) {
                    if (transparent[i - x]) continue;
                    const std::uint8_t* p = bgr + 3 * std::size_t(i - x);
                    t[0] += p[0], t[1] += p[1], t[2] += p[2];
                    ++k;
                }
            } else {
                SumPixels(bgr + 3 * std::size_t(innerLo - x), std::size_t(innerHi - innerLo), t);
                k = std::uint64_t(innerHi - innerLo);
            }
            for (int c = 0; c < 3; ++c) s[c] += inner * t[c];
            cover += inner * k;
        }
        if (last > first && hi == last + 1) add(last, across_.LastLen[j]);
        for (int c = 0; c < 3; ++c) rowSums_[3 * j + std::size_t(c)] += s[c];
        rowCover_[j] += cover;
    }
    if (x + n < W_) return;   // more pieces of this row to come

    const int r = row_++;
    // One source row may end one target row and start the next (or, enlarging, make several).
    while (targetRow_ < h_ && down_.First[std::size_t(targetRow_)] + step_ == r) {
        const std::size_t t = std::size_t(targetRow_);
        const std::uint64_t ly = step_ == 0 ? down_.FirstLen[t] : step_ == down_.Count[t] - 1 ? down_.LastLen[t] : std::uint64_t(h_);
        for (std::size_t k = 0; k < sums_.size(); ++k) sums_[k] += ly * rowSums_[k];
        for (std::size_t k = 0; k < cover_.size(); ++k) cover_[k] += ly * rowCover_[k];
        if (++step_ < down_.Count[std::size_t(targetRow_)]) break;
        FinishTargetRow();
        ++targetRow_;
        step_ = 0;
    }
    std::fill(rowSums_.begin(), rowSums_.end(), 0u);
    std::fill(rowCover_.begin(), rowCover_.end(), 0u);
}

void AreaAverager::FinishTargetRow() {
    const std::uint64_t area = std::uint64_t(W_) * std::uint64_t(H_);
    const int y = targetRow_;
    for (int x = 0; x < w_; ++x) {
        const std::size_t j = std::size_t(x);
        const std::uint64_t covered = transparency_ ? cover_[j] : area;
        if (2 * covered < area) continue;
        auto mean = [covered](std::uint64_t v) { return std::uint8_t((2 * v + covered) / (2 * covered)); };
        out_.Colors.SetPixelUnchecked(x, y, Rgb{mean(sums_[3 * j + 2]), mean(sums_[3 * j + 1]), mean(sums_[3 * j])});
        out_.Painted[std::size_t(y) * std::size_t(w_) + std::size_t(x)] = 1;
    }
    std::fill(sums_.begin(), sums_.end(), 0u);
    std::fill(cover_.begin(), cover_.end(), 0u);
}

ResampledPicture ResamplePicture(const Document& src, int width, int height) {
    const int W = src.ImageWidth, H = src.ImageHeight;
    if (!src.Ready || src.LayerCount() < 1 || W <= 0 || H <= 0 || !SideInRange(width) || !SideInRange(height))
        return {};

    // The visible layers bottom to top, the floating selection left out as the icon writer leaves it; row by row
    // into the averager, unpainted pixels as transparent ones.
    const std::size_t pixels = std::size_t(W) * std::size_t(H);
    std::vector<const Layer*> visible;
    for (const Layer& layer : src.Layers())
        if (layer.Visible && layer.Mask.size() == pixels && layer.Indices.size() == pixels) visible.push_back(&layer);
    AreaAverager averager(W, H, width, height, true);
    std::vector<std::uint8_t> bgr(3 * std::size_t(W));
    std::vector<std::uint8_t> clear(static_cast<std::size_t>(W));
    for (int y = 0; y < H; ++y) {
        std::fill(bgr.begin(), bgr.end(), 0);
        std::fill(clear.begin(), clear.end(), 1);
        const std::size_t row = std::size_t(y) * std::size_t(W);
        for (const Layer* layer : visible)
            for (std::size_t x = 0; x < std::size_t(W); ++x) {
                if (!layer->Mask[row + x]) continue;
                const Rgb c = src.ColorOf(layer->Indices[row + x]);
                bgr[3 * x] = c.b, bgr[3 * x + 1] = c.g, bgr[3 * x + 2] = c.r;
                clear[x] = 0;
            }
        averager.AddRow(bgr.data(), clear.data());
    }
    return averager.Take();
}

ResampledPicture ResampleRaster(const Raster& picture, const Plane* transparent, int width, int height) {
    const int W = picture.Width(), H = picture.Height();
    if (W <= 0 || H <= 0 || !SideInRange(width) || !SideInRange(height)) return {};
    const std::size_t pixels = std::size_t(W) * std::size_t(H);
    const bool anyClear = transparent && transparent->size() == pixels;
    AreaAverager averager(W, H, width, height, anyClear);
    for (int y = 0; y < H; ++y)
        averager.AddRow(picture.Row(y), anyClear ? transparent->data() + std::size_t(y) * std::size_t(W) : nullptr);
    return averager.Take();
}

std::vector<Rgba8> ResampleRgba(const std::vector<Rgba8>& pixels, int pictureWidth, int pictureHeight, int width,
                                int height) {
    const int W = pictureWidth, H = pictureHeight;
    if (W <= 0 || H <= 0 || width <= 0 || height <= 0 || pixels.size() != std::size_t(W) * std::size_t(H)) return {};
    // Target pixel j of t covers [j * s, (j + 1) * s) in units where source pixel i is [i * t, (i + 1) * t): whole
    // lengths, t at most each, summing to s per target pixel, so a target pixel's weights sum to W * H.
    struct Span {
        int First = 0;
        std::vector<std::uint64_t> Len;
    };
    auto axis = [](int sourceSide, int targetSide) {
        std::vector<Span> out(static_cast<std::size_t>(targetSide));
        const std::int64_t s = sourceSide, t = targetSide;
        for (std::int64_t j = 0; j < t; ++j) {
            const std::int64_t start = j * s, end = (j + 1) * s;
            Span& span = out[std::size_t(j)];
            span.First = int(start / t);
            for (std::int64_t i = span.First; i * t < end; ++i)
                span.Len.push_back(std::uint64_t(std::min((i + 1) * t, end) - std::max(i * t, start)));
        }
        return out;
    };
    const std::vector<Span> across = axis(W, width), down = axis(H, height);
    // Premultiplied source values, exact in whole numbers: alpha, then alpha times each channel.
    struct Sums {
        std::uint64_t a = 0, r = 0, g = 0, b = 0;
    };
    const std::uint64_t area = std::uint64_t(W) * std::uint64_t(H);
    std::vector<Rgba8> out(std::size_t(width) * std::size_t(height));
    std::vector<Sums> column(static_cast<std::size_t>(W));
    for (int ty = 0; ty < height; ++ty) {
        // The target row's source rows summed per source column, each weighted by its height in the row.
        std::fill(column.begin(), column.end(), Sums{});
        const Span& rows = down[std::size_t(ty)];
        for (std::size_t k = 0; k < rows.Len.size(); ++k) {
            const std::uint64_t ly = rows.Len[k];
            const Rgba8* src = pixels.data() + std::size_t(rows.First + int(k)) * std::size_t(W);
            for (int x = 0; x < W; ++x) {
                const Rgba8 p = src[x];
                if (p.a == 0) continue;
                const std::uint64_t wa = ly * p.a;
                Sums& c = column[std::size_t(x)];
                c.a += wa, c.r += wa * p.r, c.g += wa * p.g, c.b += wa * p.b;
            }
        }
        for (int tx = 0; tx < width; ++tx) {
            const Span& cols = across[std::size_t(tx)];
            Sums s;
            for (std::size_t k = 0; k < cols.Len.size(); ++k) {
                const Sums& c = column[std::size_t(cols.First) + k];
                const std::uint64_t lx = cols.Len[k];
                s.a += lx * c.a, s.r += lx * c.r, s.g += lx * c.g, s.b += lx * c.b;
            }
            const std::uint64_t alpha = (2 * s.a + area) / (2 * area);
            if (alpha == 0) continue;   // stays (0, 0, 0, 0)
            auto channel = [&](std::uint64_t v) { return std::uint8_t((2 * v + s.a) / (2 * s.a)); };
            out[std::size_t(ty) * std::size_t(width) + std::size_t(tx)] =
                Rgba8{channel(s.r), channel(s.g), channel(s.b), std::uint8_t(alpha)};
        }
    }
    return out;
}

std::vector<Rgba8> ScaleRgbaSmooth(const std::vector<Rgba8>& pixels, int pictureWidth, int pictureHeight, int width,
                                   int height) {
    const int W = pictureWidth, H = pictureHeight;
    if (W <= 0 || H <= 0 || width <= 0 || height <= 0 || pixels.size() != std::size_t(W) * std::size_t(H)) return {};
    // Per target position along one axis: the first source pixel and the normalised weights from it.
    struct Taps {
        int First = 0;
        std::vector<double> Weight;
    };
    auto axis = [](int source, int target) {
        std::vector<Taps> out(static_cast<std::size_t>(target));
        const double scale = double(source) / target, radius = std::max(1.0, scale);
        for (int t = 0; t < target; ++t) {
            const double u = (t + 0.5) * scale - 0.5;
            const int lo = std::max(0, int(std::floor(u - radius)) + 1);
            const int hi = std::min(source - 1, int(std::ceil(u + radius)) - 1);
            Taps& taps = out[std::size_t(t)];
            double total = 0;
            for (int i = lo; i <= hi; ++i) {
                const double w = 1 - std::abs(i - u) / radius;
                if (taps.Weight.empty() && w <= 0) continue;
                if (taps.Weight.empty()) taps.First = i;
                taps.Weight.push_back(std::max(0.0, w));
                total += std::max(0.0, w);
            }
            if (taps.Weight.empty()) {   // cannot happen for radius >= 1; the nearest pixel then
                taps.First = std::clamp(int(std::lround(u)), 0, source - 1);
                taps.Weight.push_back(1);
                total = 1;
            }
            for (double& w : taps.Weight) w /= total;
        }
        return out;
    };
    const std::vector<Taps> across = axis(W, width), down = axis(H, height);
    std::vector<Rgba8> out(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y) {
        const Taps& rows = down[std::size_t(y)];
        for (int x = 0; x < width; ++x) {
            const Taps& cols = across[std::size_t(x)];
            double sa = 0, sr = 0, sg = 0, sb = 0;
            for (std::size_t j = 0; j < rows.Weight.size(); ++j) {
                const Rgba8* row = pixels.data() + std::size_t(rows.First + int(j)) * std::size_t(W) + cols.First;
                for (std::size_t i = 0; i < cols.Weight.size(); ++i) {
                    const Rgba8 p = row[i];
                    if (p.a == 0) continue;
                    const double wa = rows.Weight[j] * cols.Weight[i] * p.a;
                    sa += wa, sr += wa * p.r, sg += wa * p.g, sb += wa * p.b;
                }
            }
            out[std::size_t(y) * std::size_t(width) + std::size_t(x)] = PremultipliedMean(sa, sr, sg, sb);
        }
    }
    return out;
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
    if (src.TrueColor) return ResampledTrueColorDocument(src, width, height, selectedZoom);
    if (colors != 16 && colors != 256) return doc;
    const ResampledPicture picture = ResamplePicture(src, width, height);
    if (picture.Width == 0) return doc;
    InitBlankDocument(doc, width, height, colors, selectedZoom);
    ReducePaintedPicture(doc, colors, 0, picture.Colors, picture.Painted, options);
    ScaleHotspot(src, doc, width, height);
    return doc;
}

Document FittedTrueColorDocument(const std::vector<Rgba8>& pixels, int pictureWidth, int pictureHeight, int width,
                                 int height, int selectedZoom) {
    Document doc;
    if (!SideInRange(width) || !SideInRange(height)) return doc;
    const Rect fit = FitInside(pictureWidth, pictureHeight, width, height);
    const std::vector<Rgba8> fitted = ResampleRgba(pixels, pictureWidth, pictureHeight, fit.Width(), fit.Height());
    if (fitted.empty()) return doc;
    InitBlankTrueColorDocument(doc, width, height, selectedZoom);
    RgbaPlane& out = doc.LayerAt(0).Pixels;
    for (int y = 0; y < fit.Height(); ++y)
        std::copy_n(fitted.begin() + std::ptrdiff_t(y) * fit.Width(), fit.Width(),
                    out.begin() + std::ptrdiff_t(fit.top + y) * width + fit.left);
    return doc;
}

}  // namespace pq
