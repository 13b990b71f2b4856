#pragma once
// The largest document the New dialog makes, filled for measuring operations on it: 48 x 48,
// 256 colours of a random palette, four layers each about two thirds painted with random indices.

#include <random>

#include "core/document/document.h"

namespace pq::test {

inline pq::Document RandomLayeredDocument(unsigned seed) {
    pq::Document doc;
    pq::InitBlankDocument(doc, 48, 48, 256, 10);
    std::mt19937 rng(seed);
    for (int i = 0; i < 256; ++i)
        doc.Palette[std::size_t(i)] = pq::MakeEntry(pq::Rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
    for (int l = 0; l < 4; ++l) {
        if (l > 0) doc.AppendLayer();
        pq::Layer& layer = doc.LayerAt(l);
        for (std::size_t p = 0; p < layer.Mask.size(); ++p)
            if (rng() % 3 != 0) layer.Mask[p] = 1, layer.Indices[p] = uint8_t(rng());
    }
    return doc;
}

}  // namespace pq::test
