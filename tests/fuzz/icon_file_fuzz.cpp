// libFuzzer target: the icon and cursor reader on arbitrary bytes, every directory entry, then
// a write and re-read of each image it accepted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/document/blend.h"
#include "core/formats/icon_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    pq::IconDirectory dir;
    if (!pq::ReadIconDirectory(bytes, dir)) return 0;
    const std::size_t n = dir.Entries.size() < 8 ? dir.Entries.size() : 8;
    for (std::size_t i = 0; i < n; ++i) {
        (void)pq::IconEntryLabel(int(i), dir.Entries[i]);
        pq::Document doc;
        if (!pq::LoadIconImage(bytes, dir, int(i), doc, 20)) continue;
        // Images above 256 x 256 open but cannot be written back as an icon.
        if (doc.ImageWidth > pq::kMaxIconFileSide || doc.ImageHeight > pq::kMaxIconFileSide) continue;
        std::vector<uint8_t> again = pq::EncodeIcon(doc, pq::kCursorResourceType, 1, 2);
        pq::Document reread;
        if (again.empty() || !pq::LoadIconBytes(again, 0, reread, 20) ||
            reread.LayerAt(0).Mask != doc.LayerAt(0).Mask || reread.TrueColor != doc.TrueColor)
            std::abort();
        // A truecolour image comes back with every pixel it shows.
        const std::size_t count = std::size_t(doc.PixelCount());
        if (doc.TrueColor && pq::ComposeRgbaLayers(reread.Layers(), count) != pq::ComposeRgbaLayers(doc.Layers(), count))
            std::abort();
    }
    return 0;
}
