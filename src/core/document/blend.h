#pragma once
// The one blend of truecolour pixels: source-over on straight alpha. The canvas, thumbnails,
// previews, layer merging and every writer that flattens layers call this, so a composite is
// rounded the same way wherever it is made.

#include <vector>

#include "core/raster/raster.h"

namespace pq {

// src drawn over dst, both straight alpha. Exact at the ends: src alpha 255 gives src, src
// alpha 0 gives dst unchanged. Otherwise the result alpha is sa + da(255 - sa)/255 and each
// channel the alpha-weighted mean of the two, each rounded to nearest.
inline Rgba8 BlendOver(Rgba8 dst, Rgba8 src) {
    if (src.a == 0) return dst;
    if (src.a == 255 || dst.a == 0) return src;
    const unsigned ws = unsigned(src.a) * 255u;                 // source weight, alpha x 255
    const unsigned wd = unsigned(dst.a) * (255u - src.a);       // what shows of dst, alpha x 255
    const unsigned total = ws + wd;                            // result alpha x 255
    auto mix = [&](unsigned s, unsigned d) { return uint8_t((s * ws + d * wd + total / 2) / total); };
    return Rgba8{mix(src.r, dst.r), mix(src.g, dst.g), mix(src.b, dst.b), uint8_t((total + 127) / 255)};
}

// src over an opaque destination colour: the same as BlendOver onto {under, 255}, colour part.
// The weights then sum to 255 x 255, so each channel is (s a + u (255 - a) + 127) / 255.
inline Rgb BlendOverOpaque(Rgb under, Rgba8 src) {
    const unsigned a = src.a;
    auto mix = [a](unsigned s, unsigned u) { return uint8_t((s * a + u * (255u - a) + 127u) / 255u); };
    return Rgb{mix(src.r, under.r), mix(src.g, under.g), mix(src.b, under.b)};
}

// The visible layers' Pixels (each `count` long, bottom first) composed over a transparent
// background. Layers whose plane is not `count` long are skipped.
template <class Layers>
std::vector<Rgba8> ComposeRgbaLayers(const Layers& layers, std::size_t count) {
    std::vector<Rgba8> out(count);
    for (const auto& layer : layers) {
        if (!layer.Visible || layer.Pixels.size() != count) continue;
        for (std::size_t i = 0; i < count; ++i) out[i] = BlendOver(out[i], layer.Pixels[i]);
    }
    return out;
}

}  // namespace pq
