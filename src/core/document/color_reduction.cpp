#include "core/document/color_reduction.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/document/quality_reduction.h"

namespace pq {

namespace {

constexpr uint32_t Key(uint8_t r, uint8_t g, uint8_t b) { return (uint32_t(r) << 16) | (uint32_t(g) << 8) | b; }
constexpr uint8_t KeyRed(uint32_t k) { return uint8_t(k >> 16); }
constexpr uint8_t KeyGreen(uint32_t k) { return uint8_t(k >> 8); }
constexpr uint8_t KeyBlue(uint32_t k) { return uint8_t(k); }

// The distinct colours in order of first appearance, with their pixel counts. A flat
// open-addressing hash from colour to its number replaces the linear search of a list.
class DistinctColors {
public:
    explicit DistinctColors(std::size_t expected) {
        expected = std::min<std::size_t>(expected, (std::size_t(1) << 24) + 256);  // 24-bit colours
        int bits = 6;
        while ((std::size_t(1) << bits) < 2 * expected) ++bits;
        slots_.assign(std::size_t(1) << bits, kEmpty);
        mask_ = uint32_t((std::size_t(1) << bits) - 1);
        shift_ = 32 - bits;
        colors_.reserve(std::min<std::size_t>(expected, 1u << 16));
        counts_.reserve(colors_.capacity());
    }

    // Number of the colour, appending it with count 0 when it is new.
    int32_t Find(uint32_t key) {
        // Multiplicative hashing: the top bits of the product depend on every bit of the key.
        uint32_t slot = (key * 2654435761u) >> shift_;
        for (;;) {
            uint32_t s = slots_[slot];
            if (s == kEmpty) {
                int32_t id = int32_t(colors_.size());
                slots_[slot] = uint32_t(id);
                colors_.push_back(key);
                counts_.push_back(0);
                return id;
            }
            if (colors_[s] == key) return int32_t(s);
            slot = (slot + 1) & mask_;
        }
    }

    std::vector<uint32_t>& Colors() { return colors_; }
    std::vector<int64_t>& Counts() { return counts_; }

private:
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
    std::vector<uint32_t> slots_;  // colour number, or kEmpty
    uint32_t mask_ = 0;
    int shift_ = 0;
    std::vector<uint32_t> colors_;
    std::vector<int64_t> counts_;
};

// Nearest entry of a table of up to 256 colours, for many lookups. The colour cube is cut into
// 16 x 16 x 16 cells; the first lookup in a cell lists the entries that can be nearest to some
// point of it: those whose least distance to the cell is at most the smallest greatest distance
// of any entry to the cell. The true nearest and every entry tied with it always pass, and the
// list keeps table order, so a strict comparison still gives ties to the lowest index.
class NearestSearch {
public:
    NearestSearch(const PaletteEntry* table, int n) : n_(n) {
        for (int i = 0; i < n; ++i) {
            r_[std::size_t(i)] = table[i].red;
            g_[std::size_t(i)] = table[i].green;
            b_[std::size_t(i)] = table[i].blue;
        }
        cellStart_.fill(-1);
    }

    int Find(int r, int g, int b) {
        if (n_ <= 1) return 0;
        const std::size_t cell = std::size_t((r >> 4) << 8 | (g >> 4) << 4 | (b >> 4));
        if (cellStart_[cell] < 0) BuildCell(cell);
        const uint8_t* c = candidates_.data() + cellStart_[cell];
        const int count = cellCount_[cell];
        int best = c[0];
        int bestD = Distance(best, r, g, b);
        for (int k = 1; k < count; ++k) {
            const int d = Distance(c[k], r, g, b);
            if (d < bestD) bestD = d, best = c[k];
        }
        return best;
    }

private:
    int Distance(int i, int r, int g, int b) const {
        return std::abs(r - r_[std::size_t(i)]) + std::abs(g - g_[std::size_t(i)]) + std::abs(b - b_[std::size_t(i)]);
    }

    void BuildCell(std::size_t cell) {
        const int r0 = int(cell >> 8) << 4, g0 = int((cell >> 4) & 15) << 4, b0 = int(cell & 15) << 4;
        const int r1 = r0 + 15, g1 = g0 + 15, b1 = b0 + 15;
        // Plain loops over the channel arrays, so that they vectorise.
        std::array<int, 256> d;
        for (int i = 0; i < n_; ++i)
            d[std::size_t(i)] = std::max(std::abs(r_[std::size_t(i)] - r0), std::abs(r_[std::size_t(i)] - r1)) +
                                std::max(std::abs(g_[std::size_t(i)] - g0), std::abs(g_[std::size_t(i)] - g1)) +
                                std::max(std::abs(b_[std::size_t(i)] - b0), std::abs(b_[std::size_t(i)] - b1));
        int bound = INT_MAX;
        for (int i = 0; i < n_; ++i) bound = std::min(bound, d[std::size_t(i)]);
        for (int i = 0; i < n_; ++i)
            d[std::size_t(i)] = std::max(std::max(r0 - r_[std::size_t(i)], r_[std::size_t(i)] - r1), 0) +
                                std::max(std::max(g0 - g_[std::size_t(i)], g_[std::size_t(i)] - g1), 0) +
                                std::max(std::max(b0 - b_[std::size_t(i)], b_[std::size_t(i)] - b1), 0);
        const std::size_t start = candidates_.size();
        candidates_.resize(start + std::size_t(n_));
        uint8_t* out = candidates_.data() + start;
        int count = 0;
        for (int i = 0; i < n_; ++i) {
            out[count] = uint8_t(i);
            count += d[std::size_t(i)] <= bound;
        }
        candidates_.resize(start + std::size_t(count));
        cellStart_[cell] = int32_t(start);
        cellCount_[cell] = int16_t(count);
    }

    int n_;
    std::array<int, 256> r_{}, g_{}, b_{};
    std::array<int32_t, 4096> cellStart_;
    std::array<int16_t, 4096> cellCount_{};
    std::vector<uint8_t> candidates_;
};

struct BoxEntry {
    std::array<uint8_t, 3> c;  // red, green, blue
    int64_t count;
};

// A box is a run [begin, end) of the shared entry array: splitting a box in two after sorting
// it leaves both halves contiguous, so no entries are ever copied between lists.
struct Box {
    std::size_t begin, end;
    int64_t total;
    std::size_t Length() const { return end - begin; }
};

// Splits boxes until there are N of them or none holds two entries; returns the boxes in
// their numbering order.
std::vector<Box> SplitBoxes(std::vector<BoxEntry>& entries, int N) {
    std::vector<Box> boxes;
    boxes.reserve(std::size_t(N));
    int64_t all = 0;
    for (const BoxEntry& e : entries) all += e.count;
    boxes.push_back(Box{0, entries.size(), all});
    std::vector<BoxEntry> sorted(entries.size());

    while (int(boxes.size()) < N) {
        // Largest pixel total among boxes of two or more entries; the lowest number wins ties.
        int chosen = -1;
        for (std::size_t i = 0; i < boxes.size(); ++i)
            if (boxes[i].Length() >= 2 && (chosen < 0 || boxes[i].total > boxes[std::size_t(chosen)].total))
                chosen = int(i);
        if (chosen < 0) break;
        Box& box = boxes[std::size_t(chosen)];

        // One pass counts the values of each channel: the counts give the ranges and then
        // drive a counting sort, which is stable like the neighbour-swap sort it replaces.
        std::array<std::array<uint32_t, 256>, 3> hist{};
        for (std::size_t i = box.begin; i < box.end; ++i)
            for (int ch = 0; ch < 3; ++ch) ++hist[std::size_t(ch)][entries[i].c[std::size_t(ch)]];
        int range[3];
        for (int ch = 0; ch < 3; ++ch) {
            const auto& h = hist[std::size_t(ch)];
            int lo = 0, hi = 255;
            while (h[std::size_t(lo)] == 0) ++lo;
            while (h[std::size_t(hi)] == 0) --hi;
            range[ch] = hi - lo;
        }
        // A channel wins only with a range strictly larger than both others; blue takes all ties.
        const int channel = range[0] > range[1] && range[0] > range[2]   ? 0
                            : range[1] > range[0] && range[1] > range[2] ? 1
                                                                         : 2;
        std::array<uint32_t, 256> slot;
        uint32_t next = 0;
        for (int v = 0; v < 256; ++v) slot[std::size_t(v)] = next, next += hist[std::size_t(channel)][std::size_t(v)];
        for (std::size_t i = box.begin; i < box.end; ++i)
            sorted[slot[entries[i].c[std::size_t(channel)]]++] = entries[i];
        std::copy(sorted.begin(), sorted.begin() + std::ptrdiff_t(box.Length()),
                  entries.begin() + std::ptrdiff_t(box.begin));

        // m = entries up to and including the first at which the running sum exceeds half.
        const int64_t half = box.total / 2;
        int64_t running = 0;
        std::size_t m = 0;
        while (m < box.Length()) {
            running += entries[box.begin + m].count;
            ++m;
            if (running > half) break;
        }
        // When the last entry crosses half, it alone moves to the new box.
        std::size_t keep = m < box.Length() ? m : box.Length() - 1;
        int64_t kept = 0;
        for (std::size_t i = 0; i < keep; ++i) kept += entries[box.begin + i].count;
        Box fresh{box.begin + keep, box.end, box.total - kept};
        box.end = box.begin + keep;
        box.total = kept;
        boxes.push_back(fresh);
    }
    return boxes;
}

}  // namespace

int NearestColor(Rgb color, const PaletteEntry* table, int n) {
    int best = 0, bestD = INT_MAX;
    for (int i = 0; i < n; ++i) {
        int d = std::abs(color.r - table[i].red) + std::abs(color.g - table[i].green) +
                std::abs(color.b - table[i].blue);
        if (d < bestD) best = i, bestD = d;
    }
    return best;
}

int ReduceColors(Document& doc, int N, int layer, const Raster* picture) {
    N = std::clamp(N, 1, 256);
    const int w = std::max(doc.ImageWidth, 0), h = std::max(doc.ImageHeight, 0);
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    // A picture needs a layer to land in; without one it is left out altogether.
    if (layer < 0 || layer >= doc.LayerCount()) picture = nullptr;

    DistinctColors distinct(256 + (picture ? pixels : 0));

    // Layers, bottom first, column by column. A row-major pass gathers each palette index's
    // pixel count and its first column-major position; adding the indices in order of that
    // position gives exactly the first-appearance order of a column-by-column walk.
    for (int li = 0; li < doc.LayerCount(); ++li) {
        const Layer& L = doc.LayerAt(li);
        if (L.Mask.size() < pixels || L.Indices.size() < pixels) continue;
        std::array<int64_t, 256> hist{};
        std::array<std::size_t, 256> firstAt;
        firstAt.fill(SIZE_MAX);
        for (int y = 0; y < h; ++y) {
            const uint8_t* mask = L.Mask.data() + std::size_t(y) * w;
            const uint8_t* idx = L.Indices.data() + std::size_t(y) * w;
            for (int x = 0; x < w; ++x) {
                if (mask[x] != 1) continue;
                ++hist[idx[x]];
                firstAt[idx[x]] = std::min(firstAt[idx[x]], std::size_t(x) * h + std::size_t(y));
            }
        }
        std::array<int, 256> order;
        int used = 0;
        for (int i = 0; i < 256; ++i)
            if (hist[std::size_t(i)]) order[std::size_t(used++)] = i;
        std::sort(order.begin(), order.begin() + used,
                  [&](int a, int b) { return firstAt[std::size_t(a)] < firstAt[std::size_t(b)]; });
        for (int k = 0; k < used; ++k) {
            const PaletteEntry& c = doc.Palette[std::size_t(order[std::size_t(k)])];
            distinct.Counts()[std::size_t(distinct.Find(Key(c.red, c.green, c.blue)))] +=
                hist[std::size_t(order[std::size_t(k)])];
        }
    }

    // The picture row by row; each pixel's colour number is kept for the remapping. Positions
    // the picture does not cover read as white, the colour of unpainted picture pixels.
    std::vector<int32_t> pictureIds;
    if (picture) {
        pictureIds.resize(pixels);
        const uint32_t white = Key(255, 255, 255);
        uint32_t lastKey = 0xFFFFFFFFu;
        int32_t lastId = -1;
        for (int y = 0; y < h; ++y) {
            const bool rowInside = y < picture->Height();
            const uint8_t* row = rowInside ? picture->Row(y) : nullptr;
            for (int x = 0; x < w; ++x) {
                uint32_t key = rowInside && x < picture->Width()
                                   ? Key(row[3 * x + 2], row[3 * x + 1], row[3 * x])
                                   : white;
                if (key != lastKey) lastKey = key, lastId = distinct.Find(key);
                ++distinct.Counts()[std::size_t(lastId)];
                pictureIds[std::size_t(y) * w + std::size_t(x)] = lastId;
            }
        }
    }

    const std::vector<uint32_t>& colors = distinct.Colors();
    if (colors.empty()) return 1;

    std::vector<BoxEntry> entries(colors.size());
    for (std::size_t i = 0; i < colors.size(); ++i)
        entries[i] = BoxEntry{{KeyRed(colors[i]), KeyGreen(colors[i]), KeyBlue(colors[i])}, distinct.Counts()[i]};
    const std::vector<Box> boxes = SplitBoxes(entries, N);
    const int K = int(boxes.size());

    // Each entry is the plain average of its box's distinct colours, fractions dropped.
    std::array<PaletteEntry, 256> table{};
    for (int k = 0; k < K; ++k) {
        const Box& box = boxes[std::size_t(k)];
        int64_t r = 0, g = 0, b = 0;
        for (std::size_t i = box.begin; i < box.end; ++i) r += entries[i].c[0], g += entries[i].c[1], b += entries[i].c[2];
        const int64_t n = int64_t(box.Length());
        table[std::size_t(k)] = PaletteEntry{uint8_t(b / n), uint8_t(g / n), uint8_t(r / n), 0};
    }

    // The nearest new entry is looked up once per old palette index and once per distinct
    // picture colour, never per pixel. Lookups use the old palette, replaced only at the end.
    NearestSearch nearest(table.data(), K);
    std::array<uint8_t, 256> newIndex;
    for (int i = 0; i < 256; ++i) {
        const PaletteEntry& c = doc.Palette[std::size_t(i)];
        newIndex[std::size_t(i)] = uint8_t(nearest.Find(c.red, c.green, c.blue));
    }

    for (int li = 0; li < doc.LayerCount(); ++li) {
        Layer& L = doc.LayerAt(li);
        if (L.Mask.size() < pixels || L.Indices.size() < pixels) continue;
        if (picture && li == layer) {
            std::vector<int16_t> nearestOfColor(colors.size(), -1);
            for (std::size_t p = 0; p < pixels; ++p) {
                int16_t& n = nearestOfColor[std::size_t(pictureIds[p])];
                if (n < 0) {
                    uint32_t key = colors[std::size_t(pictureIds[p])];
                    n = int16_t(nearest.Find(KeyRed(key), KeyGreen(key), KeyBlue(key)));
                }
                L.Indices[p] = uint8_t(n);
                L.Mask[p] = 1;
            }
        } else {
            for (std::size_t p = 0; p < pixels; ++p)
                if (L.Mask[p] == 1) L.Indices[p] = newIndex[L.Indices[p]];
        }
    }

    for (int k = 0; k < K; ++k) doc.Palette[std::size_t(k)] = table[std::size_t(k)];
    for (int k = K; k < N; ++k) doc.Palette[std::size_t(k)] = PaletteEntry{};
    return K;
}

int ReducePaintedPicture(Document& doc, int N, int layer, const Raster& picture, const Plane& painted) {
    const int w = std::max(doc.ImageWidth, 0), h = std::max(doc.ImageHeight, 0);
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    if (layer < 0 || layer >= doc.LayerCount() || painted.size() < pixels) return 0;
    Layer& target = doc.LayerAt(layer);
    if (target.Mask.size() < pixels || target.Indices.size() < pixels) return 0;
    // The painted pixels in row order, as a one-row picture of a scratch document whose only
    // layer paints nothing: its reduction sees those colours and nothing else.
    std::vector<std::size_t> at;
    for (std::size_t p = 0; p < pixels; ++p)
        if (painted[p]) at.push_back(p);
    std::fill(target.Indices.begin(), target.Indices.begin() + std::ptrdiff_t(pixels), uint8_t(0));
    std::fill(target.Mask.begin(), target.Mask.begin() + std::ptrdiff_t(pixels), uint8_t(0));
    if (at.empty()) return 0;
    Raster row(int(at.size()), 1);
    for (std::size_t i = 0; i < at.size(); ++i) {
        const int x = int(at[i] % std::size_t(w)), y = int(at[i] / std::size_t(w));
        row.SetPixelUnchecked(int(i), 0,
                              picture.Contains(x, y) ? picture.PixelUnchecked(x, y) : kWhite);
    }
    Document scratch;
    scratch.ImageWidth = int(at.size());
    scratch.ImageHeight = 1;
    std::vector<Layer> layers;
    layers.push_back(MakeBlankLayer(scratch.ImageWidth, 1, ""));
    scratch.ReplaceLayers(std::move(layers), 0);
    const int K = ReduceColors(scratch, N, 0, &row);
    for (int k = 0; k < std::clamp(N, 1, 256); ++k) doc.Palette[std::size_t(k)] = scratch.Palette[std::size_t(k)];
    const Layer& reduced = scratch.LayerAt(0);
    for (std::size_t i = 0; i < at.size(); ++i) {
        target.Indices[at[i]] = reduced.Indices[i];
        target.Mask[at[i]] = 1;
    }
    return K;
}

int BitmapToLayer(Document& doc, int layer, const Raster& picture) {
    return ReduceColors(doc, doc.ColorCount, layer, &picture);
}

namespace {

EditResult Converted(const char* step) {
    EditResult r = EditResult::Recorded(step);
    r.Redraw = true;
    r.RebuildLayers = true;
    r.RefreshColors = true;
    return r;
}

RgbaPlane PlanesToRgba(const Document& doc, const Plane& indices, const Plane& mask, std::size_t pixels) {
    RgbaPlane out(pixels, Rgba8{});
    if (indices.size() < pixels || mask.size() < pixels) return out;
    for (std::size_t p = 0; p < pixels; ++p) {
        if (mask[p] == 0) continue;
        const Rgb c = doc.ColorOf(indices[p]);
        out[p] = Rgba8{c.r, c.g, c.b, 255};
    }
    return out;
}

}  // namespace

EditResult ConvertToTrueColor(Document& doc) {
    if (doc.TrueColor || doc.LayerCount() == 0) return EditResult::Nothing();
    const std::size_t pixels = std::size_t(std::max(doc.PixelCount(), 0));
    std::vector<Layer> layers = doc.Layers();
    for (Layer& l : layers) {
        l.Pixels = PlanesToRgba(doc, l.Indices, l.Mask, pixels);
        l.Indices.clear();
        l.Mask.clear();
    }
    doc.FloatPixels = doc.HasSelection ? PlanesToRgba(doc, doc.FloatIndices, doc.FloatMask, pixels)
                                       : RgbaPlane(pixels, Rgba8{});
    doc.FloatIndices.clear();
    doc.FloatMask.clear();
    const Rgb draw = doc.ColorOf(doc.DrawColor), aux = doc.ColorOf(doc.AuxColor);
    doc.DrawRgba = Rgba8{draw.r, draw.g, draw.b, 255};
    doc.AuxRgba = Rgba8{aux.r, aux.g, aux.b, 255};
    doc.TrueColor = true;
    doc.ColorCount = 256;
    doc.ReplaceLayers(std::move(layers), doc.CurrentLayer());
    return Converted("フルカラーに変換");
}

// Every layer (and the floating content) is one band of a tall scratch picture reduced at once,
// so they share one palette. The bands start on multiples of 8 rows with at least one unpainted
// row between them: error diffusion never crosses from one band into the next, and the ordered
// dither's pattern lies on each band as it would on the layer alone.
EditResult ConvertToPalette(Document& doc, int colors, const ReductionOptions& options) {
    if (!doc.TrueColor || (colors != 16 && colors != 256) || doc.LayerCount() == 0) return EditResult::Nothing();
    const int w = std::max(doc.ImageWidth, 0), h = std::max(doc.ImageHeight, 0);
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    std::vector<const RgbaPlane*> bands;
    for (const Layer& l : doc.Layers()) bands.push_back(&l.Pixels);
    if (doc.HasSelection) bands.push_back(&doc.FloatPixels);
    const int stride = (h + 1 + 7) / 8 * 8;

    Document scratch;
    scratch.ImageWidth = w;
    scratch.ImageHeight = stride * int(bands.size());
    std::vector<Layer> scratchLayers;
    scratchLayers.push_back(MakeBlankLayer(scratch.ImageWidth, scratch.ImageHeight, ""));
    scratch.ReplaceLayers(std::move(scratchLayers), 0);
    scratch.Palette = doc.Palette;
    Raster picture(scratch.ImageWidth, scratch.ImageHeight);
    picture.Fill(kWhite);
    Plane painted(std::size_t(scratch.PixelCount()), 0);
    for (std::size_t b = 0; b < bands.size(); ++b) {
        const RgbaPlane& plane = *bands[b];
        if (plane.size() != pixels) continue;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Rgba8 c = plane[std::size_t(y) * std::size_t(w) + std::size_t(x)];
                if (!IsPaintedAlpha(c.a, options.alphaThreshold)) continue;
                const int sy = int(b) * stride + y;
                picture.SetPixelUnchecked(x, sy, Rgb{c.r, c.g, c.b});
                painted[std::size_t(sy) * std::size_t(w) + std::size_t(x)] = 1;
            }
    }
    ReducePaintedPicture(scratch, colors, 0, picture, painted, options);

    const Layer& reduced = scratch.LayerAt(0);
    auto band = [&](std::size_t b, Plane& indices, Plane& mask) {
        indices.assign(pixels, 0);
        mask.assign(pixels, 0);
        const std::size_t at = b * std::size_t(stride) * std::size_t(w);
        for (std::size_t p = 0; p < pixels; ++p)
            if (reduced.Mask[at + p]) indices[p] = reduced.Indices[at + p], mask[p] = 1;
    };
    std::vector<Layer> layers = doc.Layers();
    for (std::size_t i = 0; i < layers.size(); ++i) {
        band(i, layers[i].Indices, layers[i].Mask);
        layers[i].Pixels.clear();
    }
    if (doc.HasSelection) {
        band(layers.size(), doc.FloatIndices, doc.FloatMask);
    } else {
        doc.FloatIndices.assign(pixels, 0);
        doc.FloatMask.assign(pixels, 0);
    }
    doc.FloatPixels.clear();
    for (int k = 0; k < colors; ++k) doc.Palette[std::size_t(k)] = scratch.Palette[std::size_t(k)];
    doc.TrueColor = false;
    doc.ColorCount = colors;
    doc.DrawColor = 0;
    doc.AuxColor = 8;
    doc.ReplaceLayers(std::move(layers), doc.CurrentLayer());
    return Converted(colors == 16 ? "16色に変換" : "256色に変換");
}

Raster LayerToBitmap(const Document& doc, int layer) {
    Raster out(std::max(doc.ImageWidth, 0), std::max(doc.ImageHeight, 0));
    out.Fill(kWhite);
    if (layer < 0 || layer >= doc.LayerCount()) return out;
    const Layer& L = doc.LayerAt(layer);
    const std::size_t pixels = std::size_t(out.Width()) * std::size_t(out.Height());
    if (L.Mask.size() < pixels || L.Indices.size() < pixels) return out;
    for (int y = 0; y < out.Height(); ++y)
        for (int x = 0; x < out.Width(); ++x) {
            std::size_t p = std::size_t(x) + std::size_t(y) * std::size_t(out.Width());
            if (L.Mask[p] != 0) out.SetPixelUnchecked(x, y, doc.ColorOf(L.Indices[p]));
        }
    return out;
}

}  // namespace pq
