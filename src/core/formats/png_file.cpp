#include "core/formats/png_file.h"

#include <png.h>

#include "core/document/render.h"
#include "core/io/atomic_write.h"

namespace pq {

std::vector<uint8_t> FlattenToRgba(const Document& doc) {
    Composite comp;
    Recompose(doc, TransparencyColors{}, comp);
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    std::vector<uint8_t> rgba;
    if (comp.CompositeColor.Width() != w || comp.CompositeColor.Height() != h || w <= 0 || h <= 0) return rgba;
    rgba.assign(std::size_t(w) * std::size_t(h) * 4, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            // The composite mask is white where some visible layer paints the pixel.
            if (comp.CompositeMask.PixelUnchecked(x, y) == kBlack) continue;
            const Rgb c = comp.CompositeColor.PixelUnchecked(x, y);
            uint8_t* p = rgba.data() + (std::size_t(y) * std::size_t(w) + std::size_t(x)) * 4;
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = 255;
        }
    }
    return rgba;
}

std::vector<uint8_t> EncodePng(const Document& doc) {
    std::vector<uint8_t> rgba = FlattenToRgba(doc);
    if (rgba.empty()) return {};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(doc.ImageWidth);
    image.height = png_uint_32(doc.ImageHeight);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    // First call measures, second writes.
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    out.resize(size);
    return out;
}

FileResult SavePngFile(const Document& doc, const std::filesystem::path& path) {
    std::vector<uint8_t> bytes = EncodePng(doc);
    if (bytes.empty()) return FileResult::Failure("PNG画像を作れませんでした。");
    return WriteFileAtomically(path, bytes);
}

}  // namespace pq
