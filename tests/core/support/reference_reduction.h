#pragma once
// A deliberately literal, slow colour reduction used as the yardstick for the fast one in
// core/document/color_reduction.cpp: plain lists, linear searches for every pixel, the
// neighbour-swap sort and a nearest-entry search for every remapped pixel. Tests and the
// benchmark compare both on the same documents; any difference in palette or planes is a bug
// in the fast version. Expects a picture of exactly ImageWidth x ImageHeight and a valid layer.

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "core/document/document.h"
#include "core/raster/raster.h"

namespace pq::reference {

struct ColorEntry {
    int32_t red = 0, green = 0, blue = 0, count = 0;
};

struct ColorBox {
    std::vector<ColorEntry> entries;
    int length = 0;
};

inline int NearestColor(Rgb color, const PaletteEntry* table, int n) {
    int best = 0;
    for (int i = 0; i < n; ++i) {
        int d = std::abs(color.r - table[i].red) + std::abs(color.g - table[i].green) +
                std::abs(color.b - table[i].blue);
        int bestD = std::abs(color.r - table[best].red) + std::abs(color.g - table[best].green) +
                    std::abs(color.b - table[best].blue);
        if (d < bestD) best = i;
    }
    return best;
}

// Counts one pixel of the colour: an existing entry grows by one, a new colour is appended.
inline void AddColor(ColorBox& box, int red, int green, int blue) {
    for (int i = 0; i < box.length; ++i) {
        ColorEntry& e = box.entries[std::size_t(i)];
        if (e.red == red && e.green == green && e.blue == blue) {
            ++e.count;
            return;
        }
    }
    box.entries.push_back(ColorEntry{red, green, blue, 1});
    ++box.length;
}

inline int32_t ChannelOf(const ColorEntry& e, int channel) {
    return channel == 0 ? e.red : channel == 1 ? e.green : e.blue;
}

// Repeated passes of neighbour swaps until a pass swaps nothing; equal values keep their order.
inline void SortByChannel(ColorBox& box, int channel) {
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (int i = 0; i + 1 < box.length; ++i) {
            ColorEntry& a = box.entries[std::size_t(i)];
            ColorEntry& b = box.entries[std::size_t(i) + 1];
            if (ChannelOf(b, channel) < ChannelOf(a, channel)) {
                std::swap(a, b);
                swapped = true;
            }
        }
    }
}

inline int64_t PixelTotal(const ColorBox& box) {
    int64_t total = 0;
    for (int i = 0; i < box.length; ++i) total += box.entries[std::size_t(i)].count;
    return total;
}

inline int ReduceColors(Document& doc, int N, int layer, const Raster* picture) {
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    std::vector<ColorBox> boxes(1);

    // Collect: layers column by column, then the picture row by row.
    for (int li = 0; li < doc.LayerCount(); ++li) {
        const Layer& L = doc.LayerAt(li);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y) {
                std::size_t p = std::size_t(x) + std::size_t(y) * std::size_t(w);
                if (L.Mask[p] != 1) continue;
                const PaletteEntry& c = doc.Palette[L.Indices[p]];
                AddColor(boxes[0], c.red, c.green, c.blue);
            }
    }
    if (picture)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                Rgb c = picture->PixelUnchecked(x, y);
                AddColor(boxes[0], c.r, c.g, c.b);
            }
    if (boxes[0].length == 0) return 1;

    int K = 1;
    while (K < N) {
        int chosen = -1;
        int64_t chosenTotal = -1;
        for (int b = 0; b < K; ++b) {
            if (boxes[std::size_t(b)].length < 2) continue;
            int64_t t = PixelTotal(boxes[std::size_t(b)]);
            if (t > chosenTotal) {
                chosen = b;
                chosenTotal = t;
            }
        }
        if (chosen < 0) break;
        ColorBox& box = boxes[std::size_t(chosen)];

        int32_t lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
        for (int i = 0; i < box.length; ++i)
            for (int ch = 0; ch < 3; ++ch) {
                int32_t v = ChannelOf(box.entries[std::size_t(i)], ch);
                if (v < lo[ch]) lo[ch] = v;
                if (v > hi[ch]) hi[ch] = v;
            }
        int32_t rr = hi[0] - lo[0], gr = hi[1] - lo[1], br = hi[2] - lo[2];
        int channel = 2;
        if (rr > gr && rr > br)
            channel = 0;
        else if (gr > rr && gr > br)
            channel = 1;
        SortByChannel(box, channel);

        int64_t half = chosenTotal / 2, running = 0;
        int m = 0;
        for (int i = 0; i < box.length; ++i) {
            running += box.entries[std::size_t(i)].count;
            if (running > half) {
                m = i + 1;
                break;
            }
        }
        int keep = m < box.length ? m : box.length - 1;
        ColorBox fresh;
        for (int i = keep; i < box.length; ++i) fresh.entries.push_back(box.entries[std::size_t(i)]);
        fresh.length = box.length - keep;
        box.entries.resize(std::size_t(keep));
        box.length = keep;
        boxes.push_back(fresh);
        ++K;
    }

    std::vector<PaletteEntry> table(static_cast<std::size_t>(K));
    for (int k = 0; k < K; ++k) {
        const ColorBox& box = boxes[std::size_t(k)];
        int64_t r = 0, g = 0, b = 0;
        for (int i = 0; i < box.length; ++i) {
            r += box.entries[std::size_t(i)].red;
            g += box.entries[std::size_t(i)].green;
            b += box.entries[std::size_t(i)].blue;
        }
        table[std::size_t(k)] = PaletteEntry{uint8_t(b / box.length), uint8_t(g / box.length),
                                             uint8_t(r / box.length), 0};
    }

    for (int li = 0; li < doc.LayerCount(); ++li) {
        Layer& L = doc.LayerAt(li);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::size_t p = std::size_t(x) + std::size_t(y) * std::size_t(w);
                if (picture && li == layer) {
                    L.Indices[p] = uint8_t(reference::NearestColor(picture->PixelUnchecked(x, y), table.data(), K));
                    L.Mask[p] = 1;
                } else if (L.Mask[p] == 1) {
                    Rgb old = EntryColor(doc.Palette[L.Indices[p]]);
                    L.Indices[p] = uint8_t(reference::NearestColor(old, table.data(), K));
                }
            }
    }

    for (int k = 0; k < K; ++k) doc.Palette[std::size_t(k)] = table[std::size_t(k)];
    for (int k = K; k < N; ++k) doc.Palette[std::size_t(k)] = PaletteEntry{};
    return K;
}

}  // namespace pq::reference
