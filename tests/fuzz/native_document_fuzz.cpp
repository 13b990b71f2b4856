// libFuzzer target: the .pqf reader on arbitrary bytes, then a write and re-read of whatever
// it accepted. Names need not survive unchanged (bytes that are not Shift-JIS come back as
// replacement characters), but the planes, flags and palette must, and a second write must
// give the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/formats/native_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pq::Document doc;
    if (!pq::LoadDocumentBytes(std::span(data, size), doc, 20)) return 0;
    std::vector<uint8_t> again = pq::EncodeDocument(doc);
    pq::Document reread;
    if (again.empty() || !pq::LoadDocumentBytes(again, reread, 20) || reread.Palette != doc.Palette ||
        reread.LayerCount() != doc.LayerCount() || reread.TrueColor != doc.TrueColor || pq::EncodeDocument(reread) != again)
        std::abort();
    for (int i = 0; i < doc.LayerCount(); ++i) {
        const pq::Layer &a = doc.LayerAt(i), &b = reread.LayerAt(i);
        if (a.Visible != b.Visible || a.Indices != b.Indices || a.Mask != b.Mask || a.Pixels != b.Pixels) std::abort();
    }
    return 0;
}
