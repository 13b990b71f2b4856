// Undo snapshot decoding: any bytes must be refused or decoded without reading out of bounds,
// and a decoded document must be consistent (at least one layer, planes of the canvas size).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/document/document.h"
#include "core/document/history.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    pq::Document doc;
    pq::InitBlankDocument(doc, 2, 2, 16, 20);
    std::string name;
    if (pq::DecodeSnapshot(bytes, doc, &name)) {
        if (doc.LayerCount() < 1 || doc.CurrentLayer() < 0) std::abort();
        // A truecolour snapshot keeps its floating content as RGBA; a palette one as indices.
        const std::size_t floating = doc.TrueColor ? doc.FloatPixels.size() : doc.FloatIndices.size();
        if (floating != std::size_t(doc.PixelCount())) std::abort();
    }
    return 0;
}
