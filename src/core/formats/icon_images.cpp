#include "core/formats/icon_images.h"

#include <png.h>

#include <algorithm>
#include <cstring>

#include "core/document/color_reduction.h"
#include "core/document/quality_reduction.h"
#include "core/formats/native_document.h"
#include "core/formats/png_file.h"
#include "core/io/byte_io.h"

namespace pq {
namespace {

constexpr std::size_t kInfoHeaderSize = 40;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool StartsAsPng(std::span<const uint8_t> data) {
    return data.size() >= sizeof kPngSignature && std::memcmp(data.data(), kPngSignature, sizeof kPngSignature) == 0;
}

// The bytes from the entry's offset to the end of the file (empty when the offset lies beyond).
std::span<const uint8_t> EntryData(std::span<const uint8_t> file, const IconDirEntry& entry) {
    if (entry.ImageOffset > file.size()) return {};
    return file.subspan(entry.ImageOffset);
}

std::size_t RowBytes(std::size_t width, int bits) { return (width * std::size_t(bits) + 31) / 32 * 4; }

// The PNG's header, read without decoding its pixels: false when libpng refuses it or a side
// lies outside 1..kMaxPngIconSide.
bool PngHeader(std::span<const uint8_t> data, png_image& image) {
    image = png_image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) return false;
    const png_uint_32 limit = png_uint_32(kMaxPngIconSide);
    if (image.width == 0 || image.height == 0 || image.width > limit || image.height > limit) {
        png_image_free(&image);
        return false;
    }
    return true;
}

bool DecodePng(std::span<const uint8_t> data, RgbaImage& out) {
    // Decoded by the shared PNG reader, which keeps the samples as stored.
    return DecodePngRgba(data, kMaxPngIconSide, out.Width, out.Height, out.Pixels);
}

// Where the parts of a DIB image lie in its data.
struct DibLayout {
    std::size_t width = 0, height = 0;
    int bits = 0;
    std::size_t tableAt = 0, tableEntries = 0;
    std::size_t colorAt = 0, colorRow = 0;
    std::size_t maskAt = 0, maskRow = 0;
    bool hasMask = false;
};

// Checks everything DecodeDib relies on, so that an image this accepts always decodes.
bool ParseDib(std::span<const uint8_t> data, DibLayout& l) {
    const ByteView b(data);
    if (!b.Has(0, kInfoHeaderSize)) return false;
    const uint32_t headerSize = b.U32(0);
    const int32_t width = b.I32(4), doubledHeight = b.I32(8);
    const int bits = b.U16(14);
    const uint32_t compression = b.U32(16), colorsUsed = b.U32(32);
    if (headerSize < kInfoHeaderSize || !b.Has(0, headerSize)) return false;
    if (compression != 0) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    const int height = doubledHeight / 2;   // the colour rows, then as many rows of mask
    // The rows must lie in the file, which bounds the work; the side limit is the palette reader's.
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
    l.width = std::size_t(width);
    l.height = std::size_t(height);
    l.bits = bits;
    if (bits <= 8) {
        const uint32_t full = 1u << bits;
        if (colorsUsed > full) return false;
        l.tableEntries = colorsUsed == 0 ? full : colorsUsed;
    }
    l.tableAt = headerSize;
    l.colorAt = l.tableAt + 4 * l.tableEntries;
    l.colorRow = RowBytes(l.width, bits);
    l.maskRow = RowBytes(l.width, 1);
    l.maskAt = l.colorAt + l.colorRow * l.height;
    if (!b.Has(l.colorAt, l.colorRow * l.height)) return false;
    l.hasMask = b.Has(l.maskAt, l.maskRow * l.height);
    // Without alpha the mask is the only transparency; a 32-bit image may rely on its alpha.
    return l.hasMask || bits == 32;
}

void DecodeDib(std::span<const uint8_t> data, const DibLayout& l, RgbaImage& out) {
    const std::size_t w = l.width, h = l.height;
    out.Width = int(w);
    out.Height = int(h);
    out.Pixels.assign(w * h * 4, 0);
    bool alphaInUse = false;
    // A palette image's colours as the pixels they give, opaque; an index past a short table
    // shows black.
    uint8_t table[256][4] = {};
    if (l.bits <= 8)
        for (std::size_t i = 0; i < (std::size_t(1) << l.bits); ++i) {
            table[i][3] = 255;
            if (i >= l.tableEntries) continue;
            const uint8_t* e = data.data() + l.tableAt + 4 * i;
            table[i][0] = e[2], table[i][1] = e[1], table[i][2] = e[0];
        }
    // Each depth's loop by itself, so that the one for the depth at hand has no choices inside.
    for (std::size_t r = 0; r < h; ++r) {
        const uint8_t* src = data.data() + l.colorAt + l.colorRow * r;   // rows are stored bottom-up
        uint8_t* dst = out.Pixels.data() + (h - 1 - r) * w * 4;
        switch (l.bits) {
        case 32:
            for (std::size_t x = 0; x < w; ++x, dst += 4) {
                const uint8_t* p = src + 4 * x;
                dst[0] = p[2], dst[1] = p[1], dst[2] = p[0], dst[3] = p[3];
                alphaInUse |= p[3] != 0;
            }
            break;
        case 24:
            for (std::size_t x = 0; x < w; ++x, dst += 4) {
                const uint8_t* p = src + 3 * x;
                dst[0] = p[2], dst[1] = p[1], dst[2] = p[0], dst[3] = 255;
            }
            break;
        case 16:
            for (std::size_t x = 0; x < w; ++x, dst += 4) {
                const unsigned v = LoadU16(src + 2 * x);
                auto five = [](unsigned c) { return uint8_t((c << 3) | (c >> 2)); };
                dst[0] = five((v >> 10) & 31), dst[1] = five((v >> 5) & 31), dst[2] = five(v & 31), dst[3] = 255;
            }
            break;
        case 8:
            for (std::size_t x = 0; x < w; ++x, dst += 4) std::memcpy(dst, table[src[x]], 4);
            break;
        default: {
            const std::size_t perByte = std::size_t(8 / l.bits);
            for (std::size_t x = 0; x < w; ++x, dst += 4) {
                const std::size_t index = (src[x / perByte] >> (8 - l.bits * int(x % perByte + 1))) & ((1u << l.bits) - 1);
                std::memcpy(dst, table[index], 4);
            }
            break;
        }
        }
    }
    if (alphaInUse) return;
    // Alpha bytes all 0 (or none): the mask decides, and a 32-bit image without one is opaque.
    for (std::size_t i = 3; i < out.Pixels.size(); i += 4) out.Pixels[i] = 255;
    if (!l.hasMask) return;
    for (std::size_t r = 0; r < h; ++r) {
        const uint8_t* m = data.data() + l.maskAt + l.maskRow * r;
        uint8_t* dst = out.Pixels.data() + (h - 1 - r) * w * 4;
        for (std::size_t x = 0; x < w; ++x)
            if ((m[x / 8] >> (7 - x % 8)) & 1) dst[4 * x + 3] = 0;
    }
}

}  // namespace

bool IsPaletteIconImage(const IconDirEntry& entry) {
    return !entry.IsPng && (entry.ImageBitCount == 4 || entry.ImageBitCount == 8);
}

IconImageFacts DescribeIconImage(std::span<const uint8_t> file, const IconDirEntry& entry) {
    IconImageFacts facts;
    const std::span<const uint8_t> data = EntryData(file, entry);
    const ByteView b(data);
    if (StartsAsPng(data)) {
        // The header chunk follows the signature: big-endian width and height at 16 and 20.
        if (!b.Has(16, 8)) return facts;
        auto be = [&](std::size_t at) {
            return uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 | uint32_t(data[at + 2]) << 8 | data[at + 3];
        };
        const uint32_t w = be(16), h = be(20);
        if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return facts;
        facts = IconImageFacts{true, true, int(w), int(h), 32};
        return facts;
    }
    if (!b.Has(0, kInfoHeaderSize)) return facts;
    const int32_t w = b.I32(4), h = b.I32(8) / 2;
    if (w <= 0 || h <= 0) return facts;
    facts = IconImageFacts{true, false, w, h, b.U16(14)};
    return facts;
}

bool DecodeIconRgba(std::span<const uint8_t> data, RgbaImage& out) {
    RgbaImage decoded;
    if (StartsAsPng(data)) {
        if (!DecodePng(data, decoded)) return false;
    } else {
        DibLayout l;
        if (!ParseDib(data, l)) return false;
        DecodeDib(data, l, decoded);
    }
    out = std::move(decoded);
    return true;
}

void DocumentFromRgba(Document& doc, const RgbaImage& image, int selectedZoom, int colors,
                      const ReductionOptions& options) {
    const int w = image.Width, h = image.Height;
    InitBlankDocument(doc, w, h, colors == 16 ? 16 : 256, selectedZoom);
    Raster picture(w, h);
    Plane painted(std::size_t(w) * std::size_t(h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
            const uint8_t* p = image.Pixels.data() + 4 * i;
            picture.SetPixelUnchecked(x, y, Rgb{p[0], p[1], p[2]});
            painted[i] = IsPaintedAlpha(p[3], options.alphaThreshold);
        }
    const int k = ReducePaintedPicture(doc, colors == 16 ? 16 : 256, 0, picture, painted, options);
    if (colors == 0 && k <= 16) doc.ColorCount = 16;
}

bool IsTrueColorIconData(std::span<const uint8_t> data) {
    if (StartsAsPng(data)) return true;
    const ByteView b(data);
    return b.Has(0, kInfoHeaderSize) && b.U16(14) == 32;
}

void TrueColorDocumentFromRgba(Document& doc, const RgbaImage& image, int selectedZoom) {
    InitBlankTrueColorDocument(doc, image.Width, image.Height, selectedZoom);
    RgbaPlane& pixels = doc.LayerAt(0).Pixels;
    const std::size_t count = std::size_t(image.Width) * std::size_t(image.Height);
    pixels.resize(count);
    for (std::size_t i = 0; i < count && 4 * i + 3 < image.Pixels.size(); ++i) {
        const uint8_t* p = image.Pixels.data() + 4 * i;
        pixels[i] = Rgba8{p[0], p[1], p[2], p[3]};
    }
}

std::vector<Rgba8> ComposedRgba(const RgbaImage& image) {
    std::vector<Rgba8> out(image.Pixels.size() / 4);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const uint8_t* p = image.Pixels.data() + 4 * i;
        if (p[3] != 0) out[i] = Rgba8{p[0], p[1], p[2], p[3]};
    }
    return out;
}

bool DecodedIconImageOpens(std::span<const uint8_t> file, const IconDirEntry& entry) {
    const std::span<const uint8_t> data = EntryData(file, entry);
    if (StartsAsPng(data)) {
        png_image image;
        if (!PngHeader(data, image)) return false;
        png_image_free(&image);
        return true;
    }
    DibLayout l;
    return ParseDib(data, l);
}

FileResult LoadDecodedIconImage(std::span<const uint8_t> file, const IconDirectory& dir, int index, Document& doc,
                                int selectedZoom, const ReductionOptions& options) {
    RgbaImage image;
    if (index < 0 || std::size_t(index) >= dir.Entries.size()) return FileResult::Failure(kIconOpenError);
    const std::span<const uint8_t> data = EntryData(file, dir.Entries[std::size_t(index)]);
    if (!DecodeIconRgba(data, image)) return FileResult::Failure(kIconOpenError);
    Document loaded;
    // Images with alpha of their own keep every colour and alpha value; the others are palette-like.
    if (IsTrueColorIconData(data))
        TrueColorDocumentFromRgba(loaded, image, selectedZoom);
    else
        DocumentFromRgba(loaded, image, selectedZoom, 0, options);
    RememberIconOrigin(loaded, dir, index);
    doc = std::move(loaded);
    return FileResult::Success();
}

void RememberIconOrigin(Document& doc, const IconDirectory& dir, int index) {
    doc.Origin = IconOrigin{"", index, dir.ResourceType == kCursorResourceType ? kCursorResourceType : kIconResourceType};
    const bool cursor = dir.ResourceType == kCursorResourceType && index >= 0 && std::size_t(index) < dir.Entries.size();
    doc.HasHotspot = cursor;
    doc.HotspotX = doc.HotspotY = 0;
    if (!cursor) return;
    const IconDirEntry& e = dir.Entries[std::size_t(index)];
    doc.HotspotX = std::clamp(e.PlanesOrHotspotX, 0, std::max(doc.ImageWidth - 1, 0));
    doc.HotspotY = std::clamp(e.BitCountOrHotspotY, 0, std::max(doc.ImageHeight - 1, 0));
}

std::string IconChooserLabel(int n, std::span<const uint8_t> file, const IconDirEntry& entry) {
    const IconImageFacts facts = DescribeIconImage(file, entry);
    if (!facts.Readable) return IconEntryLabel(n, entry);
    return std::to_string(n) + "： サイズ：" + std::to_string(facts.Width) + "×" + std::to_string(facts.Height) +
           " 色数：" + IconDepthText(facts.Png, facts.BitCount);
}

std::string IconDepthText(bool png, int bitCount) {
    if (png) return "PNG";
    if (bitCount > 8) return std::to_string(bitCount) + "ビット";
    return std::to_string(1 << std::clamp(bitCount, 1, 8)) + "色";
}

}  // namespace pq
