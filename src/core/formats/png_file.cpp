#include "core/formats/png_file.h"

#include <png.h>

#include <algorithm>

#include "core/document/blend.h"
#include "core/document/render.h"
#include "core/formats/bmp_reader.h"
#include "core/io/atomic_write.h"

namespace pq {

std::vector<uint8_t> FlattenToRgba(const Document& doc) {
    if (doc.TrueColor) {
        // Every colour and alpha value the visible layers compose to.
        const std::size_t count = std::size_t(std::max(doc.PixelCount(), 0));
        for (const Layer& l : doc.Layers())
            if (l.Pixels.size() != count) return {};
        if (count == 0 || doc.LayerCount() < 1) return {};
        const std::vector<Rgba8> composed = ComposeRgbaLayers(doc.Layers(), count);
        std::vector<uint8_t> rgba(4 * count);
        for (std::size_t i = 0; i < count; ++i)
            rgba[4 * i] = composed[i].r, rgba[4 * i + 1] = composed[i].g, rgba[4 * i + 2] = composed[i].b,
                     rgba[4 * i + 3] = composed[i].a;
        return rgba;
    }
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

std::vector<uint8_t> EncodeRgbaPng(int width, int height, std::span<const uint8_t> rgba) {
    if (width <= 0 || height <= 0 || rgba.size() != std::size_t(width) * std::size_t(height) * 4) return {};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGBA;
    // One pass into a buffer of the largest size such a PNG can take (measuring first would
    // compress the picture twice).
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> EncodePng(const Document& doc) {
    const std::vector<uint8_t> rgba = FlattenToRgba(doc);
    if (rgba.empty()) return {};
    return EncodeRgbaPng(doc.ImageWidth, doc.ImageHeight, rgba);
}

FileResult DecodePngPicture(std::span<const std::uint8_t> file, Raster& picture, Plane* transparent) {
    picture = Raster();
    if (transparent) transparent->clear();
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size()))
        return FileResult::Failure(kPngUnreadableMessage);
    const std::uint64_t pixels = std::uint64_t(image.width) * image.height;
    const std::uint64_t dataBound = (1u << 20) + 8256 * std::uint64_t(file.size());
    if (image.width > 0x7FFFFFFF || image.height > 0x7FFFFFFF || pixels > std::uint64_t(kMaxPicturePixels) ||
        pixels > dataBound) {
        png_image_free(&image);
        return FileResult::Failure(kPictureTooLargeMessage);
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) != 0;
    png_image_free(&image);
    if (!ok) return FileResult::Failure(kPngUnreadableMessage);
    const int w = int(image.width), h = int(image.height);
    Raster out(w, h);
    Plane clear(transparent ? std::size_t(w) * std::size_t(h) : 0);
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = rgba.data() + std::size_t(y) * std::size_t(w) * 4;
        for (int x = 0; x < w; ++x, p += 4) {
            const unsigned a = p[3];
            auto over = [a](unsigned v) { return uint8_t((v * a + 255 * (255 - a) + 127) / 255); };
            out.SetPixelUnchecked(x, y, Rgb{over(p[0]), over(p[1]), over(p[2])});
            if (transparent) clear[std::size_t(y) * std::size_t(w) + std::size_t(x)] = a == 0;
        }
    }
    picture = std::move(out);
    if (transparent) *transparent = std::move(clear);
    return FileResult::Success();
}

FileResult LoadPngPicture(const std::filesystem::path& path, Raster& picture, Plane* transparent) {
    std::vector<std::uint8_t> bytes;
    if (FileResult r = ReadPictureFileBytes(path, bytes); !r) {
        picture = Raster();
        if (transparent) transparent->clear();
        return r;
    }
    return DecodePngPicture(bytes, picture, transparent);
}

FileResult SavePngFile(const Document& doc, const std::filesystem::path& path) {
    std::vector<uint8_t> bytes = EncodePng(doc);
    if (bytes.empty()) return FileResult::Failure("PNG画像を作れませんでした。");
    return WriteFileAtomically(path, bytes);
}

}  // namespace pq
