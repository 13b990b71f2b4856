#include "core/formats/bitmap_file.h"

#include "core/document/blend.h"
#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"

namespace pq {
namespace {

constexpr uint32_t kHeadersSize = 54;

}  // namespace

std::vector<uint8_t> EncodeBitmap(const Document& doc) {
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    if (doc.LayerCount() <= 0 || w <= 0 || h <= 0) return {};
    const std::size_t planeSize = std::size_t(w) * std::size_t(h);
    for (const Layer& l : doc.Layers())
        if (doc.TrueColor ? l.Pixels.size() != planeSize : l.Indices.size() != planeSize || l.Mask.size() != planeSize)
            return {};

    const std::size_t rowBytes = (3 * std::size_t(w) + 3) / 4 * 4;
    const std::size_t imageSize = rowBytes * std::size_t(h);
    std::vector<uint8_t> out;
    out.reserve(kHeadersSize + imageSize);
    ByteWriter put(out);
    put.U16(0x4D42);  // "BM"
    put.U32(uint32_t(kHeadersSize + imageSize));
    put.U16(0);
    put.U16(0);
    put.U32(kHeadersSize);
    put.U32(40);
    put.U32(uint32_t(w));
    put.U32(uint32_t(h));
    put.U16(1);
    put.U16(24);
    put.U32(0);
    put.U32(uint32_t(imageSize));
    for (int i = 0; i < 4; ++i) put.U32(0);

    out.resize(kHeadersSize + imageSize, 0);
    if (doc.TrueColor) {
        // The composed layers over opaque white, through the one blend.
        const std::vector<Rgba8> composed = ComposeRgbaLayers(doc.Layers(), planeSize);
        for (int y = 0; y < h; ++y) {
            uint8_t* row = out.data() + kHeadersSize + std::size_t(h - 1 - y) * rowBytes;
            for (int x = 0; x < w; ++x) {
                const Rgba8 c = BlendOver(Rgba8{255, 255, 255, 255}, composed[std::size_t(y) * std::size_t(w) + std::size_t(x)]);
                row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r;
            }
        }
        return out;
    }
    // White, then each visible layer's painted pixels in its palette colour; bottom row first.
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
