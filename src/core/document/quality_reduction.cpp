#include "core/document/quality_reduction.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>

#include "core/document/color_reduction.h"

namespace pq {

namespace {

constexpr uint32_t Key(int r, int g, int b) { return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b); }

struct Item {
    std::array<uint8_t, 3> c;  // red, green, blue
    int64_t w;
};

int L1(const std::array<uint8_t, 3>& a, int r, int g, int b) {
    return std::abs(a[0] - r) + std::abs(a[1] - g) + std::abs(a[2] - b);
}

// Nearest entry (sum of absolute differences, lowest index on ties) of a table of up to 256
// colours, for many lookups. Small tables are scanned. Otherwise the cube is cut into cells; a
// cell's first lookup lists the entries whose least distance to the cell is at most the smallest
// greatest distance of any entry to it. The nearest entry and all tied with it always pass, in
// order of least distance, ties broken by index. Cells of 32 are listed from the
// whole table, cells of 16 from the list of the cell of 32 holding them: a smaller set gives a
// looser bound but still holds every possible nearest entry.
class NearestIndex {
public:
    void Reset(const std::array<uint8_t, 3>* colors, int n) {
        n_ = std::clamp(n, 0, 256);
        for (int i = 0; i < n_; ++i) r_[i] = colors[i][0], g_[i] = colors[i][1], b_[i] = colors[i][2];
        coarse_.Reset();
        fine_.Reset();
    }

    int Find(int r, int g, int b) {
        if (n_ <= kScanLimit) {
            int best = 0, bestD = INT_MAX;
            for (int i = 0; i < n_; ++i) {
                const int d = Distance(i, r, g, b);
                if (d < bestD) bestD = d, best = i;
            }
            return best;
        }
        const int cell = (r >> 4) << 8 | (g >> 4) << 4 | (b >> 4);
        if (fine_.start[cell] < 0) {
            const int parent = (r >> 5) << 6 | (g >> 5) << 3 | (b >> 5);
            if (coarse_.start[parent] < 0) {
                std::array<uint8_t, 256> all;
                for (int i = 0; i < n_; ++i) all[i] = uint8_t(i);
                Build(coarse_, parent, 5, 3, all.data(), n_);
            }
            Build(fine_, cell, 4, 4, coarse_.list.data() + coarse_.start[parent], coarse_.count[parent]);
        }
        // The list runs by least distance to the cell: once that exceeds the best distance
        // found, no later entry can match or beat it.
        const uint8_t* c = fine_.list.data() + fine_.start[cell];
        const uint16_t* lower = fine_.lower.data() + fine_.start[cell];
        const int count = fine_.count[cell];
        int best = c[0], bestD = Distance(best, r, g, b);
        for (int k = 1; k < count && lower[k] <= bestD; ++k) {
            const int d = Distance(c[k], r, g, b);
            if (d < bestD || (d == bestD && c[k] < best)) bestD = d, best = c[k];
        }
        return best;
    }

    int Distance(int i, int r, int g, int b) const {
        return std::abs(r - r_[i]) + std::abs(g - g_[i]) + std::abs(b - b_[i]);
    }

private:
    static constexpr int kScanLimit = 16;

    template <int Cells>
    struct Lists {
        std::array<int32_t, Cells> start;
        std::array<int16_t, Cells> count{};
        std::vector<uint8_t> list;
        std::vector<uint16_t> lower;  // least distance of the entry to the cell
        void Reset() { start.fill(-1), list.clear(), lower.clear(); }
    };

    // Lists cell `cell` (sides of 2^shift, `bits` bits per channel in its number) from `from`.
    template <int Cells>
    void Build(Lists<Cells>& lists, int cell, int shift, int bits, const uint8_t* from, int n) {
        const int mask = (1 << bits) - 1, side = (1 << shift) - 1;
        const int r0 = (cell >> (2 * bits)) << shift, g0 = ((cell >> bits) & mask) << shift, b0 = (cell & mask) << shift;
        const int r1 = r0 + side, g1 = g0 + side, b1 = b0 + side;
        std::array<int, 256> far, nearD;
        int bound = INT_MAX;
        for (int k = 0; k < n; ++k) {
            const int i = from[k];
            far[k] = std::max(std::abs(r_[i] - r0), std::abs(r_[i] - r1)) +
                     std::max(std::abs(g_[i] - g0), std::abs(g_[i] - g1)) +
                     std::max(std::abs(b_[i] - b0), std::abs(b_[i] - b1));
            nearD[k] = std::max(std::max(r0 - r_[i], r_[i] - r1), 0) + std::max(std::max(g0 - g_[i], g_[i] - g1), 0) +
                       std::max(std::max(b0 - b_[i], b_[i] - b1), 0);
            bound = std::min(bound, far[k]);
        }
        const std::size_t start = lists.list.size();
        lists.list.resize(start + std::size_t(n));
        lists.lower.resize(start + std::size_t(n));
        uint8_t* out = lists.list.data() + start;
        uint16_t* low = lists.lower.data() + start;
        int count = 0;
        for (int k = 0; k < n; ++k) {
            out[count] = from[k];
            low[count] = uint16_t(nearD[k]);
            count += nearD[k] <= bound;
        }
        // Insertion sort by least distance (short lists; equal distances keep table order).
        for (int k = 1; k < count; ++k) {
            const uint8_t e = out[k];
            const uint16_t l = low[k];
            int j = k;
            for (; j > 0 && low[j - 1] > l; --j) out[j] = out[j - 1], low[j] = low[j - 1];
            out[j] = e, low[j] = l;
        }
        lists.list.resize(start + std::size_t(count));
        lists.lower.resize(start + std::size_t(count));
        lists.start[cell] = int32_t(start);
        lists.count[cell] = int16_t(count);
    }

    int n_ = 0;
    std::array<int, 256> r_{}, g_{}, b_{};
    Lists<512> coarse_;
    Lists<4096> fine_;
};

// The colours sorted by key with repeats merged: two stable counting passes of 12 bits each.
std::vector<Item> SortedDistinct(std::span<const WeightedColor> colors) {
    std::vector<Item> in;
    in.reserve(colors.size());
    for (const WeightedColor& c : colors)
        if (c.count > 0) in.push_back(Item{{c.color.r, c.color.g, c.color.b}, c.count});
    std::vector<Item> tmp(in.size());
    auto key = [](const Item& it) { return Key(it.c[0], it.c[1], it.c[2]); };
    for (int shift : {0, 12}) {
        std::vector<uint32_t> start(4097, 0);
        for (const Item& it : in) ++start[((key(it) >> shift) & 4095) + 1];
        for (int i = 0; i < 4096; ++i) start[i + 1] += start[i];
        for (const Item& it : in) tmp[start[(key(it) >> shift) & 4095]++] = it;
        in.swap(tmp);
    }
    std::vector<Item> out;
    for (const Item& it : in) {
        if (!out.empty() && out.back().c == it.c)
            out.back().w += it.w;
        else
            out.push_back(it);
    }
    return out;
}

// ---- greedy variance-minimising split ---------------------------------------------------------

struct Box {
    std::size_t begin, end;
    int axis = 0, threshold = 0;  // the best cut: values <= threshold on axis stay in front
    double gain = -1;             // drop in the weighted sum of squared errors, -1: cannot split
};

// The cut of a box that lowers its weighted sum of squared errors the most: for each axis the
// per-value sums give every cut at once, as SSE = sum w|c|^2 - |sum w c|^2 / W.
void Evaluate(const std::vector<Item>& items, Box& box) {
    box.gain = -1;
    if (box.end - box.begin < 2) return;
    // Per axis and value: weight, then weighted red, green, blue.
    std::array<std::array<std::array<int64_t, 4>, 256>, 3> sums{};
    for (std::size_t i = box.begin; i < box.end; ++i) {
        const Item& it = items[i];
        const int64_t wr = it.w * it.c[0], wg = it.w * it.c[1], wb = it.w * it.c[2];
        for (int axis = 0; axis < 3; ++axis) {
            std::array<int64_t, 4>& s = sums[axis][it.c[axis]];
            s[0] += it.w, s[1] += wr, s[2] += wg, s[3] += wb;
        }
    }
    std::array<int64_t, 4> all{};
    for (const auto& s : sums[0])
        for (int j = 0; j < 4; ++j) all[j] += s[j];
    auto score = [](const std::array<int64_t, 4>& s) {
        return (double(s[1]) * double(s[1]) + double(s[2]) * double(s[2]) + double(s[3]) * double(s[3])) / double(s[0]);
    };
    double best = -1;
    for (int axis = 0; axis < 3; ++axis) {
        std::array<int64_t, 4> left{};
        for (int v = 0; v < 255; ++v) {
            const std::array<int64_t, 4>& s = sums[axis][v];
            if (s[0] == 0) continue;
            for (int j = 0; j < 4; ++j) left[j] += s[j];
            if (left[0] == all[0]) break;
            const std::array<int64_t, 4> right{all[0] - left[0], all[1] - left[1], all[2] - left[2], all[3] - left[3]};
            const double sc = score(left) + score(right);
            if (sc > best) best = sc, box.axis = axis, box.threshold = v;
        }
    }
    if (best >= 0) box.gain = std::max(best - score(all), 0.0);
}


std::vector<std::array<uint8_t, 3>> VarianceSplit(std::vector<Item>& items, int N) {
    std::vector<Box> boxes;
    boxes.push_back(Box{0, items.size()});
    Evaluate(items, boxes[0]);
    std::vector<Item> back;
    while (int(boxes.size()) < N) {
        int chosen = -1;
        for (std::size_t i = 0; i < boxes.size(); ++i)
            if (boxes[i].gain >= 0 && (chosen < 0 || boxes[i].gain > boxes[std::size_t(chosen)].gain)) chosen = int(i);
        if (chosen < 0) break;
        Box& box = boxes[std::size_t(chosen)];
        // Stable partition by the cut, through a scratch copy of the back half.
        back.clear();
        std::size_t front = box.begin;
        for (std::size_t i = box.begin; i < box.end; ++i) {
            if (items[i].c[box.axis] <= box.threshold)
                items[front++] = items[i];
            else
                back.push_back(items[i]);
        }
        std::copy(back.begin(), back.end(), items.begin() + std::ptrdiff_t(front));
        Box fresh{front, box.end};
        box.end = front;
        Evaluate(items, box);
        Evaluate(items, fresh);
        boxes.push_back(fresh);
    }
    std::vector<std::array<uint8_t, 3>> centres;
    for (const Box& box : boxes) {
        int64_t W = 0;
        std::array<int64_t, 3> S{};
        for (std::size_t i = box.begin; i < box.end; ++i)
            for (int ch = 0; ch < 3; ++ch) S[ch] += items[i].w * items[i].c[ch];
        for (std::size_t i = box.begin; i < box.end; ++i) W += items[i].w;
        std::array<uint8_t, 3> c{};
        for (int ch = 0; ch < 3; ++ch) c[ch] = uint8_t((S[ch] + W / 2) / W);
        centres.push_back(c);
    }
    return centres;
}

// ---- k-medians refinement under the L1 measure ------------------------------------------------

// Lloyd passes: every colour goes to its nearest centre exactly as the final mapping sends it,
// then each centre moves to the weighted per-channel median of its members, which minimises
// their summed absolute differences, so no pass raises the error. A centre left without members
// moves to the colour that costs the most where it now is. Stops after `passes` moves or when a
// pass gains less than 1/2000 of the error; the best centres seen are left in `centres`.
void Refine(const std::vector<Item>& items, std::vector<std::array<uint8_t, 3>>& centres, int passes) {
    constexpr int64_t kSmallGain = 2000;
    const int K = int(centres.size());
    NearestIndex nearest;
    std::vector<int> assign(items.size());
    std::vector<int64_t> cost(items.size());
    std::vector<std::array<uint8_t, 3>> best = centres;
    int64_t bestError = INT64_MAX;
    std::vector<int64_t> hist, weight;
    for (int pass = 0;; ++pass) {
        nearest.Reset(centres.data(), K);
        int64_t error = 0;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto& c = items[i].c;
            const int k = nearest.Find(c[0], c[1], c[2]);
            assign[i] = k;
            cost[i] = items[i].w * nearest.Distance(k, c[0], c[1], c[2]);
            error += cost[i];
        }
        if (error >= bestError) break;
        const bool small = bestError != INT64_MAX && (bestError - error) * kSmallGain < bestError;
        bestError = error, best = centres;
        if (small || pass == passes || error == 0) break;

        weight.assign(std::size_t(K), 0);
        hist.assign(std::size_t(K) * 768, 0);
        for (std::size_t i = 0; i < items.size(); ++i) {
            weight[std::size_t(assign[i])] += items[i].w;
            int64_t* h = hist.data() + std::size_t(assign[i]) * 768;
            for (int ch = 0; ch < 3; ++ch) h[ch * 256 + items[i].c[ch]] += items[i].w;
        }
        for (int k = 0; k < K; ++k) {
            if (weight[k] == 0) continue;
            const int64_t* h = hist.data() + std::size_t(k) * 768;
            for (int ch = 0; ch < 3; ++ch) {
                int64_t run = 0;
                int v = 0;
                for (; v < 255; ++v) {
                    run += h[ch * 256 + v];
                    if (2 * run >= weight[k]) break;
                }
                centres[k][ch] = uint8_t(v);
            }
        }
        for (int k = 0; k < K; ++k) {
            if (weight[k] != 0) continue;
            std::size_t worst = 0;
            for (std::size_t i = 1; i < items.size(); ++i)
                if (cost[i] > cost[worst]) worst = i;
            if (cost[worst] == 0) break;
            centres[k] = items[worst].c;
            cost[worst] = 0;
        }
    }
    centres = best;
}

// ---- dithering --------------------------------------------------------------------------------

constexpr std::array<std::array<uint8_t, 8>, 8> kBayer8 = {{
    {0, 32, 8, 40, 2, 34, 10, 42},
    {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},
    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},
    {63, 31, 55, 23, 61, 29, 53, 21},
}};

int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Exact palette colours: the lowest index of every colour in the table.
class ExactEntries {
public:
    ExactEntries(const std::array<uint8_t, 3>* table, int n) {
        for (int i = 0; i < n; ++i) keys_.push_back((uint64_t(Key(table[i][0], table[i][1], table[i][2])) << 8) | uint64_t(i));
        std::sort(keys_.begin(), keys_.end());
    }
    // The entry of exactly this colour, or -1.
    int Find(int r, int g, int b) const {
        const uint64_t k = uint64_t(Key(r, g, b)) << 8;
        auto it = std::lower_bound(keys_.begin(), keys_.end(), k);
        return it != keys_.end() && (*it >> 8) == (k >> 8) ? int(*it & 0xFF) : -1;
    }

private:
    std::vector<uint64_t> keys_;
};

int Spread(const std::array<uint8_t, 3>* table, int n) {
    if (n < 2) return 0;
    int64_t sum = 0;
    for (int i = 0; i < n; ++i) {
        int bestD = INT_MAX, bestMax = 0;
        for (int j = 0; j < n; ++j) {
            if (j == i || table[j] == table[i]) continue;
            const int d = L1(table[i], table[j][0], table[j][1], table[j][2]);
            if (d < bestD)
                bestD = d, bestMax = std::max({std::abs(table[i][0] - table[j][0]), std::abs(table[i][1] - table[j][1]),
                                               std::abs(table[i][2] - table[j][2])});
        }
        sum += bestMax;
    }
    return int(sum / n);
}

// The picture at the document's size, white where it does not reach.
Raster AtDocumentSize(const Raster& picture, int w, int h) {
    Raster full(w, h);
    full.Fill(kWhite);
    const int cw = std::min(w, picture.Width()), ch = std::min(h, picture.Height());
    for (int y = 0; y < ch; ++y) std::copy(picture.Row(y), picture.Row(y) + 3 * cw, full.Row(y));
    return full;
}

std::vector<std::array<uint8_t, 3>> TableColors(const PaletteEntry* table, int n) {
    std::vector<std::array<uint8_t, 3>> out(std::size_t(std::clamp(n, 0, 256)));
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = {table[i].red, table[i].green, table[i].blue};
    return out;
}

}  // namespace

Plane PaintedFromRgba(std::span<const uint8_t> rgba, int threshold) {
    Plane out(rgba.size() / 4);
    for (std::size_t p = 0; p < out.size(); ++p) out[p] = IsPaintedAlpha(rgba[4 * p + 3], threshold) ? 1 : 0;
    return out;
}

std::vector<Rgb> QualityPalette(std::span<const WeightedColor> colors, int N) {
    N = std::clamp(N, 1, 256);
    std::vector<Item> items = SortedDistinct(colors);
    std::vector<std::array<uint8_t, 3>> centres;
    if (int(items.size()) <= N) {
        for (const Item& it : items) centres.push_back(it.c);
    } else {
        std::vector<Item> work = items;
        centres = VarianceSplit(work, N);
        // Medians rather than means: passes of means first, finished by medians, came out
        // within a few hundredths of a percent of medians alone on icons, at twice the time.
        // Passes bounded by the work: up to 10 for the few thousand colours of an icon, 3 for
        // 65,536 (the error gained by later passes there is a few tenths of a percent).
        Refine(items, centres, std::clamp(int(196608 / items.size()), 3, 10));
    }
    std::sort(centres.begin(), centres.end());
    std::vector<Rgb> out;
    for (const auto& c : centres) out.push_back(Rgb{c[0], c[1], c[2]});
    return out;
}

std::vector<uint8_t> MapToPalette(const Raster& picture, const Plane* painted, const PaletteEntry* table, int n,
                                  Dither dither) {
    const int w = picture.Width(), h = picture.Height();
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    if (painted && painted->size() != pixels) return {};
    std::vector<uint8_t> out(pixels, 0);
    n = std::clamp(n, 0, 256);
    if (n == 0 || pixels == 0) return out;
    auto isPainted = [&](int x, int y) { return !painted || (*painted)[std::size_t(y) * w + std::size_t(x)] != 0; };
    const std::vector<std::array<uint8_t, 3>> colors = TableColors(table, n);
    NearestIndex nearest;
    nearest.Reset(colors.data(), n);
    const ExactEntries exact(colors.data(), n);

    if (dither == Dither::Diffusion) {
        // Error in sixteenths, three channels per pixel, for this row and the next (one pixel of
        // margin each side so that no share needs a bounds check).
        std::vector<int> cur(3 * std::size_t(w + 2), 0), next(cur.size(), 0);
        for (int y = 0; y < h; ++y) {
            const bool forward = (y & 1) == 0;
            const int dir = forward ? 1 : -1;
            const bool below = y + 1 < h;
            const uint8_t* row = picture.Row(y);
            for (int i = 0; i < w; ++i) {
                const int x = forward ? i : w - 1 - i;
                if (!isPainted(x, y)) continue;
                const int r = row[3 * x + 2], g = row[3 * x + 1], b = row[3 * x];
                const int e = exact.Find(r, g, b);
                uint8_t& o = out[std::size_t(y) * w + std::size_t(x)];
                if (e >= 0) {
                    o = uint8_t(e);
                    continue;
                }
                int* acc = &cur[3 * std::size_t(x + 1)];
                const int v[3] = {std::clamp(r + ((acc[0] + 8) >> 4), 0, 255),
                                  std::clamp(g + ((acc[1] + 8) >> 4), 0, 255),
                                  std::clamp(b + ((acc[2] + 8) >> 4), 0, 255)};
                const int k = nearest.Find(v[0], v[1], v[2]);
                o = uint8_t(k);
                const int err[3] = {v[0] - colors[k][0], v[1] - colors[k][1], v[2] - colors[k][2]};
                auto give = [&](std::vector<int>& buf, int tx, int ty, int share) {
                    if (tx < 0 || tx >= w || !isPainted(tx, ty)) return;
                    int* t = &buf[3 * std::size_t(tx + 1)];
                    for (int ch = 0; ch < 3; ++ch) t[ch] += share * err[ch];
                };
                give(cur, x + dir, y, 7);
                if (below) {
                    give(next, x - dir, y + 1, 3);
                    give(next, x, y + 1, 5);
                    give(next, x + dir, y + 1, 1);
                }
            }
            cur.swap(next);
            std::fill(next.begin(), next.end(), 0);
        }
        return out;
    }

    const int spread = dither == Dither::Ordered ? Spread(colors.data(), n) : 0;
    std::array<int, 64> shift{};
    for (int t = 0; t < 64; ++t) shift[t] = FloorDiv((2 * t - 63) * spread, 128);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = picture.Row(y);
        for (int x = 0; x < w; ++x) {
            if (!isPainted(x, y)) continue;
            const int r = row[3 * x + 2], g = row[3 * x + 1], b = row[3 * x];
            int k;
            if (dither == Dither::Ordered) {
                k = exact.Find(r, g, b);
                if (k < 0) {
                    const int s = shift[kBayer8[y & 7][x & 7]];
                    k = nearest.Find(std::clamp(r + s, 0, 255), std::clamp(g + s, 0, 255), std::clamp(b + s, 0, 255));
                }
            } else {
                k = nearest.Find(r, g, b);
            }
            out[std::size_t(y) * w + std::size_t(x)] = uint8_t(k);
        }
    }
    return out;
}

int ReduceColors(Document& doc, int N, int layer, const Raster* picture, const ReductionOptions& options) {
    if (options.quantizer == Quantizer::MedianCut && options.dither == Dither::None)
        return ReduceColors(doc, N, layer, picture);
    N = std::clamp(N, 1, 256);
    const int w = std::max(doc.ImageWidth, 0), h = std::max(doc.ImageHeight, 0);
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    if (layer < 0 || layer >= doc.LayerCount()) picture = nullptr;
    Raster full;
    if (picture) full = AtDocumentSize(*picture, w, h);
    auto fits = [&](const Layer& L) { return L.Mask.size() >= pixels && L.Indices.size() >= pixels; };
    auto storePicture = [&](const PaletteEntry* table, int K) {
        Layer& L = doc.LayerAt(layer);
        if (!fits(L)) return;
        const std::vector<uint8_t> idx = MapToPalette(full, nullptr, table, K, options.dither);
        std::copy(idx.begin(), idx.end(), L.Indices.begin());
        std::fill(L.Mask.begin(), L.Mask.begin() + std::ptrdiff_t(pixels), uint8_t(1));
    };

    if (options.quantizer == Quantizer::MedianCut) {
        // The median-cut palette and the plain remapping, then the picture again with dither.
        const int K = ReduceColors(doc, N, layer, picture);
        if (picture) storePicture(doc.Palette.data(), K);
        return K;
    }

    std::vector<WeightedColor> colors;
    for (int li = 0; li < doc.LayerCount(); ++li) {
        const Layer& L = doc.LayerAt(li);
        if (!fits(L)) continue;
        std::array<int64_t, 256> hist{};
        for (std::size_t p = 0; p < pixels; ++p)
            if (L.Mask[p] == 1) ++hist[L.Indices[p]];
        for (int i = 0; i < 256; ++i)
            if (hist[i]) colors.push_back(WeightedColor{doc.ColorOf(i), hist[i]});
    }
    if (picture)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Rgb c = full.PixelUnchecked(x, y);
                if (!colors.empty() && colors.back().color == c && x > 0)
                    ++colors.back().count;
                else
                    colors.push_back(WeightedColor{c, 1});
            }
    if (colors.empty()) return 1;

    const std::vector<Rgb> palette = QualityPalette(colors, N);
    const int K = int(palette.size());
    std::array<PaletteEntry, 256> table{};
    for (int k = 0; k < K; ++k) table[k] = MakeEntry(palette[std::size_t(k)]);
    std::array<uint8_t, 256> newIndex;
    for (int i = 0; i < 256; ++i) newIndex[i] = uint8_t(NearestColor(doc.ColorOf(i), table.data(), K));
    for (int li = 0; li < doc.LayerCount(); ++li) {
        Layer& L = doc.LayerAt(li);
        if (!fits(L) || (picture && li == layer)) continue;
        for (std::size_t p = 0; p < pixels; ++p)
            if (L.Mask[p] == 1) L.Indices[p] = newIndex[L.Indices[p]];
    }
    if (picture) storePicture(table.data(), K);
    for (int k = 0; k < N; ++k) doc.Palette[std::size_t(k)] = table[std::size_t(k)];
    return K;
}

int ReducePaintedPicture(Document& doc, int N, int layer, const Raster& picture, const Plane& painted,
                         const ReductionOptions& options) {
    if (options.quantizer == Quantizer::MedianCut && options.dither == Dither::None)
        return ReducePaintedPicture(doc, N, layer, picture, painted);
    N = std::clamp(N, 1, 256);
    const int w = std::max(doc.ImageWidth, 0), h = std::max(doc.ImageHeight, 0);
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    if (layer < 0 || layer >= doc.LayerCount() || painted.size() < pixels) return 0;
    Layer& target = doc.LayerAt(layer);
    if (target.Mask.size() < pixels || target.Indices.size() < pixels) return 0;
    const Raster full = AtDocumentSize(picture, w, h);
    Plane paint(pixels);
    for (std::size_t p = 0; p < pixels; ++p) paint[p] = painted[p] != 0;

    int K;
    std::array<PaletteEntry, 256> table{};
    if (options.quantizer == Quantizer::MedianCut) {
        K = ReducePaintedPicture(doc, N, layer, picture, painted);
        if (K == 0) return 0;
        std::copy(doc.Palette.begin(), doc.Palette.begin() + K, table.begin());
    } else {
        std::fill(target.Indices.begin(), target.Indices.begin() + std::ptrdiff_t(pixels), uint8_t(0));
        std::fill(target.Mask.begin(), target.Mask.begin() + std::ptrdiff_t(pixels), uint8_t(0));
        std::vector<WeightedColor> colors;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (paint[std::size_t(y) * w + std::size_t(x)]) colors.push_back(WeightedColor{full.PixelUnchecked(x, y), 1});
        if (colors.empty()) return 0;
        const std::vector<Rgb> palette = QualityPalette(colors, N);
        K = int(palette.size());
        for (int k = 0; k < K; ++k) table[k] = MakeEntry(palette[std::size_t(k)]);
        for (int k = 0; k < N; ++k) doc.Palette[std::size_t(k)] = table[std::size_t(k)];
    }
    const std::vector<uint8_t> idx = MapToPalette(full, &paint, table.data(), K, options.dither);
    for (std::size_t p = 0; p < pixels; ++p)
        if (paint[p]) target.Indices[p] = idx[p], target.Mask[p] = 1;
    return K;
}

}  // namespace pq
