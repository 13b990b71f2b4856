#pragma once
// Small truecolour documents for the tests of operations on RGBA layers: every kind of alpha
// (0 carrying a colour of its own, soft, 255), colours varying independently, and three layers
// of which only the middle one is current and the bottom one is hidden.

#include <cstdint>

#include "core/document/document.h"

namespace pq::test {

// A pixel of pattern `salt` at (x, y): about one in five transparent (with a colour), one in
// five opaque, the rest soft.
inline Rgba8 SoftPixel(int x, int y, int salt) {
    const int k = (x * 7 + y * 13 + salt * 5) % 5;
    const uint8_t a = k == 0 ? 0 : k == 1 ? 255 : uint8_t((x * 53 + y * 97 + salt * 31) % 254 + 1);
    return Rgba8{uint8_t((x * 41 + y * 17 + salt) % 256), uint8_t((x * 23 + y * 67 + salt * 3) % 256),
                 uint8_t((x * 11 + y * 131 + salt * 7) % 256), a};
}

// w x h, layers 0 (hidden), 1 (current) and 2, each its own pattern.
inline Document SoftLayers(int w, int h) {
    Document doc;
    InitBlankTrueColorDocument(doc, w, h, 10);
    doc.AppendLayer();
    doc.AppendLayer();
    for (int l = 0; l < 3; ++l)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) doc.LayerAt(l).Pixels[std::size_t(x + y * w)] = SoftPixel(x, y, l + 1);
    doc.LayerAt(0).Visible = 0;
    doc.SetCurrentLayer(1);
    return doc;
}

}  // namespace pq::test
