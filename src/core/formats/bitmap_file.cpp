#include "core/formats/bitmap_file.h"

#include "core/formats/atomic_write.h"

namespace pq {
namespace {

constexpr uint32_t kHeadersSize = 54;

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> EncodeBitmap(const Document& doc) {
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    if (doc.LayerCount() <= 0 || w <= 0 || h <= 0) return {};
    const std::size_t planeSize = std::size_t(w) * std::size_t(h);
    for (const Layer& l : doc.Layers())
        if (l.Indices.size() != planeSize || l.Mask.size() != planeSize) return {};

    const std::size_t rowBytes = (3 * std::size_t(w) + 3) / 4 * 4;
    const std::size_t imageSize = rowBytes * std::size_t(h);
    std::vector<uint8_t> out;
    out.reserve(kHeadersSize + imageSize);
    Put16(out, 0x4D42);  // "BM"
    Put32(out, uint32_t(kHeadersSize + imageSize));
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, kHeadersSize);
    Put32(out, 40);
    Put32(out, uint32_t(w));
    Put32(out, uint32_t(h));
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);
    Put32(out, uint32_t(imageSize));
    for (int i = 0; i < 4; ++i) Put32(out, 0);

    // White, then each visible layer's painted pixels in its palette colour; bottom row first.
    out.resize(kHeadersSize + imageSize, 0);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = out.data() + kHeadersSize + std::size_t(h - 1 - y) * rowBytes;
        for (int x = 0; x < w; ++x) {
            PaletteEntry c{255, 255, 255, 0};
            const std::size_t at = std::size_t(y) * std::size_t(w) + std::size_t(x);
            for (const Layer& l : doc.Layers())
                if (l.Visible && l.Mask[at]) c = doc.Palette[l.Indices[at]];
            row[3 * x] = c.blue;
            row[3 * x + 1] = c.green;
            row[3 * x + 2] = c.red;
        }
    }
    return out;
}

FileResult SaveBitmapFile(const Document& doc, const std::filesystem::path& path) {
    std::vector<uint8_t> bytes = EncodeBitmap(doc);
    if (bytes.empty()) return FileResult::Failure("「" + path.string() + "」に書き込めませんでした。");
    return WriteFileAtomically(path, bytes);
}

}  // namespace pq
