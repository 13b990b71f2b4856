#include "core/formats/icon_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "core/formats/icon_container.h"
#include "core/formats/icon_images.h"
#include "core/formats/icon_set.h"
#include "core/formats/native_document.h"
#include "core/formats/png_file.h"
#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"

namespace pq {
namespace {

constexpr std::size_t kFileHeaderSize = 6;
constexpr std::size_t kDirEntrySize = 16;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Bytes of one row of `bits`-per-pixel pixels, padded to 4 bytes.
std::size_t RowBytes(std::size_t width, int bits) { return (width * std::size_t(bits) + 31) / 32 * 4; }

}  // namespace

FileResult ReadIconDirectory(std::span<const uint8_t> bytes, IconDirectory& dir) {
    const FileResult refused = FileResult::Failure(kIconOpenError);
    if (bytes.size() < kFileHeaderSize) return refused;
    const std::size_t count = LoadU16(bytes.data() + 4);
    if (count == 0 || (bytes.size() - kFileHeaderSize) / kDirEntrySize < count) return refused;
    IconDirectory d;
    d.Reserved = LoadU16(bytes.data());
    d.ResourceType = LoadU16(bytes.data() + 2);
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t* p = bytes.data() + kFileHeaderSize + i * kDirEntrySize;
        IconDirEntry e;
        e.Width = p[0];
        e.Height = p[1];
        e.ColorCountByte = p[2];
        e.PlanesOrHotspotX = LoadU16(p + 4);
        e.BitCountOrHotspotY = LoadU16(p + 6);
        e.BytesInRes = LoadU32(p + 8);
        e.ImageOffset = LoadU32(p + 12);
        if (e.ImageOffset <= bytes.size() && bytes.size() - e.ImageOffset >= sizeof kPngSignature) {
            const uint8_t* img = bytes.data() + e.ImageOffset;
            e.IsPng = std::memcmp(img, kPngSignature, sizeof kPngSignature) == 0;
            if (!e.IsPng && bytes.size() - e.ImageOffset >= kInfoHeaderSize) e.ImageBitCount = LoadU16(img + 14);
        }
        d.Entries.push_back(e);
    }
    dir = std::move(d);
    return FileResult::Success();
}

std::string IconEntryLabel(int n, const IconDirEntry& entry) {
    return std::to_string(n) + "： サイズ：" + std::to_string(entry.Width) + "×" + std::to_string(entry.Height) +
           " 色数：" + std::to_string(entry.ColorCountByte == 0 ? 256 : entry.ColorCountByte) + "色";
}

namespace {

// Where the parts of an image the reader accepts lie in the file.
struct ImageLayout {
    int width = 0, height = 0, bits = 0;
    const uint8_t* table = nullptr;
    std::size_t paletteEntries = 0, colorRow = 0, maskRow = 0;
};

// The entry's image as the reader takes it: a 4- or 8-bit uncompressed DIB whose header, colour
// table, colour rows and mask rows lie inside the file. The entry's byte count is not consulted:
// other programs ignore it too, and files whose count is too small are common.
bool ParseImage(std::span<const uint8_t> bytes, const IconDirEntry& entry, ImageLayout& l) {
    if (entry.ColorCountByte != 16 && entry.ColorCountByte != 0) return false;
    if (entry.IsPng || entry.ImageOffset > bytes.size()) return false;
    const std::size_t available = bytes.size() - entry.ImageOffset;
    if (available < kInfoHeaderSize) return false;
    const uint8_t* img = bytes.data() + entry.ImageOffset;
    const uint32_t headerSize = LoadU32(img);
    const int32_t width = LoadI32(img + 4);
    const int32_t doubledHeight = LoadI32(img + 8);
    const int bits = LoadU16(img + 14);
    const uint32_t compression = LoadU32(img + 16);
    const uint32_t colorsUsed = LoadU32(img + 32);
    if (bits != 4 && bits != 8) return false;
    if (compression != 0 || headerSize < kInfoHeaderSize || headerSize > available) return false;
    const int height = doubledHeight / 2;
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
    const std::size_t tableEntries = std::size_t(1) << bits;
    if (colorsUsed > tableEntries) return false;
    l.width = width;
    l.height = height;
    l.bits = bits;
    l.paletteEntries = colorsUsed == 0 ? tableEntries : colorsUsed;
    l.colorRow = RowBytes(std::size_t(width), bits);
    l.maskRow = RowBytes(std::size_t(width), 1);
    const std::size_t needed = headerSize + 4 * l.paletteEntries + (l.colorRow + l.maskRow) * std::size_t(height);
    if (needed > available) return false;
    l.table = img + headerSize;
    return true;
}

}  // namespace

bool IconImageOpens(std::span<const uint8_t> bytes, const IconDirEntry& entry) {
    if (!IsPaletteIconImage(entry)) return DecodedIconImageOpens(bytes, entry);
    ImageLayout l;
    return ParseImage(bytes, entry, l);
}

bool IconImageSize(std::span<const uint8_t> bytes, const IconDirEntry& entry, int& width, int& height) {
    const ByteView file(bytes);
    const std::size_t at = entry.ImageOffset;
    if (entry.IsPng) {
        // The PNG header chunk: big-endian width and height at bytes 16 and 20.
        if (!file.Has(at, 24)) return false;
        width = int(std::min<uint32_t>(LoadU32BE(bytes.data() + at + 16), 0x7FFFFFFF));
        height = int(std::min<uint32_t>(LoadU32BE(bytes.data() + at + 20), 0x7FFFFFFF));
        return true;
    }
    if (!file.Has(at, kInfoHeaderSize)) return false;
    width = file.I32(at + 4);
    height = file.I32(at + 8) / 2;
    return true;
}

FileResult LoadIconImage(std::span<const uint8_t> bytes, const IconDirectory& dir, int index, Document& doc,
                         int selectedZoom, const ReductionOptions& options) {
    const FileResult refused = FileResult::Failure(kIconOpenError);
    if (index < 0 || std::size_t(index) >= dir.Entries.size()) return refused;
    // 1-, 16-, 24- and 32-bit and PNG images go through the colour reduction (icon_images.h).
    if (!IsPaletteIconImage(dir.Entries[std::size_t(index)]))
        return LoadDecodedIconImage(bytes, dir, index, doc, selectedZoom, options);
    ImageLayout l;
    if (!ParseImage(bytes, dir.Entries[std::size_t(index)], l)) return refused;

    const int width = l.width, height = l.height, bits = l.bits;
    const int colors = bits == 4 ? 16 : 256;
    Document loaded;
    InitBlankDocument(loaded, width, height, colors, selectedZoom);
    const std::size_t tableEntries = std::size_t(1) << bits;
    for (std::size_t e = 0; e < tableEntries; ++e) {
        const uint8_t* p = l.table + 4 * e;
        loaded.Palette[e] = e < l.paletteEntries ? PaletteEntry{p[0], p[1], p[2], p[3]} : PaletteEntry{};
    }
    Layer layer = MakeBlankLayer(width, height, "レイヤ1");
    const uint8_t* colorRows = l.table + 4 * l.paletteEntries;
    const uint8_t* maskRows = colorRows + l.colorRow * std::size_t(height);
    for (int r = 0; r < height; ++r) {
        const uint8_t* c = colorRows + l.colorRow * std::size_t(r);
        const uint8_t* m = maskRows + l.maskRow * std::size_t(r);
        const std::size_t y = std::size_t(height - 1 - r);
        for (int x = 0; x < width; ++x) {
            const std::size_t at = y * std::size_t(width) + std::size_t(x);
            layer.Indices[at] = bits == 8 ? c[x] : (x % 2 == 0 ? c[x / 2] >> 4 : c[x / 2] & 0x0F);
            layer.Mask[at] = (m[x / 8] >> (7 - x % 8)) & 1 ? 0 : 1;
        }
    }
    std::vector<Layer> layers;
    layers.push_back(std::move(layer));
    loaded.ReplaceLayers(std::move(layers), 0);
    doc = std::move(loaded);
    RememberIconOrigin(doc, dir, index);
    return FileResult::Success();
}

FileResult LoadIconBytes(std::span<const uint8_t> bytes, int index, Document& doc, int selectedZoom) {
    IconDirectory dir;
    if (FileResult r = ReadIconDirectory(bytes, dir); !r) return r;
    return LoadIconImage(bytes, dir, index, doc, selectedZoom);
}

FileResult ReadIconFileBytes(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
    return ReadFileBytes(path, bytes, kMaxIconFileBytes, kIconOpenError);
}

FileResult LoadIconFile(const std::filesystem::path& path, int index, Document& doc, int selectedZoom) {
    std::vector<uint8_t> bytes;
    if (FileResult r = ReadIconFileBytes(path, bytes); !r) return r;
    FileResult r = LoadIconBytes(bytes, index, doc, selectedZoom);
    if (r) doc.Origin.Path = path.string();
    return r;
}

namespace {

// A truecolour document as a one-image file: its visible layers composed, 32-bit (PNG at 256 x 256).
std::vector<uint8_t> EncodeTrueColorIcon(const Document& doc, int resourceType, int hotspotX, int hotspotY) {
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    const std::size_t count = std::size_t(doc.PixelCount());
    if (doc.LayerCount() <= 0 || w <= 0 || h <= 0) return {};
    for (const Layer& l : doc.Layers())
        if (l.Pixels.size() != count) return {};
    const RgbaImage picture{w, h, FlattenToRgba(doc)};
    StoredIconFile file;
    file.ResourceType = uint16_t(resourceType);
    file.Images.resize(1);
    if (!EncodeRgbaIconImage(picture, w == kMaxIconFileSide && h == kMaxIconFileSide, resourceType, hotspotX, hotspotY,
                             file.Images[0]))
        return {};
    return EncodeStoredIconFile(file);
}

}  // namespace

std::vector<uint8_t> EncodeIcon(const Document& doc, int resourceType, int hotspotX, int hotspotY) {
    if (doc.TrueColor) return EncodeTrueColorIcon(doc, resourceType, hotspotX, hotspotY);
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    const int c = doc.ColorCount;
    if (doc.LayerCount() <= 0 || w <= 0 || h <= 0 || (c != 16 && c != 256)) return {};
    if (w > kMaxIconFileSide || h > kMaxIconFileSide) return {};
    const std::size_t planeSize = std::size_t(w) * std::size_t(h);
    for (const Layer& l : doc.Layers())
        if (l.Indices.size() != planeSize || l.Mask.size() != planeSize) return {};
    const int bits = c == 16 ? 4 : 8;
    const std::size_t colorRow = RowBytes(std::size_t(w), bits);
    const std::size_t maskRow = RowBytes(std::size_t(w), 1);
    const std::size_t x = colorRow * std::size_t(h), a = maskRow * std::size_t(h);

    // Compose the visible layers bottom to top; file row 0 is the bottom image row.
    std::vector<uint8_t> colorBuf(x, 0), maskBuf(a, 0xFF);
    for (const Layer& l : doc.Layers()) {
        if (!l.Visible) continue;
        for (int y = h - 1; y >= 0; --y) {
            const std::size_t r = std::size_t(h - 1 - y);
            uint8_t* cr = colorBuf.data() + r * colorRow;
            uint8_t* mr = maskBuf.data() + r * maskRow;
            for (int px = 0; px < w; ++px) {
                const std::size_t at = std::size_t(y) * std::size_t(w) + std::size_t(px);
                if (!l.Mask[at]) continue;
                const uint8_t v = l.Indices[at];
                if (bits == 8)
                    cr[px] = v;
                else if (px % 2 == 0)
                    cr[px / 2] = uint8_t((cr[px / 2] & 0x0F) | (v & 0x0F) << 4);
                else
                    cr[px / 2] = uint8_t((cr[px / 2] & 0xF0) | (v & 0x0F));
                mr[px / 8] &= uint8_t(~(0x80u >> (px % 8)));
            }
        }
    }

    const uint32_t imageSize = uint32_t(kInfoHeaderSize + 4 * std::size_t(c) + x + a);
    std::vector<uint8_t> out;
    out.reserve(kFileHeaderSize + kDirEntrySize + imageSize);
    ByteWriter put(out);
    put.U16(0);
    put.U16(uint32_t(resourceType));
    put.U16(1);
    put.U8(uint8_t(w == 256 ? 0 : w));   // the directory's 0 stands for 256
    put.U8(uint8_t(h == 256 ? 0 : h));
    put.U8(c == 16 ? 16 : 0);
    put.U8(0);
    put.U16(uint32_t(hotspotX));
    put.U16(uint32_t(hotspotY));
    put.U32(imageSize);
    put.U32(uint32_t(kFileHeaderSize + kDirEntrySize));
    put.U32(uint32_t(kInfoHeaderSize));
    put.U32(uint32_t(w));
    put.U32(uint32_t(2 * h));
    put.U16(1);
    put.U16(uint32_t(bits));
    put.U32(0);
    put.U32(uint32_t(x + a));
    put.U32(0);
    put.U32(0);
    put.U32(0);
    put.U32(0);
    for (int i = 0; i < c; ++i) {
        const PaletteEntry& e = doc.Palette[std::size_t(i)];
        put.Bytes(std::array<uint8_t, 4>{e.blue, e.green, e.red, e.reserved});
    }
    put.Bytes(colorBuf);
    put.Bytes(maskBuf);
    return out;
}

FileResult SaveIconFile(const Document& doc, const std::filesystem::path& path, int resourceType, int hotspotX,
                        int hotspotY) {
    if (doc.ImageWidth > kMaxIconFileSide || doc.ImageHeight > kMaxIconFileSide)
        return FileResult::Failure("「" + path.string() + "」に書き込めませんでした。\n" + kIconTooLargeMessage);
    std::vector<uint8_t> bytes = EncodeIcon(doc, resourceType, hotspotX, hotspotY);
    if (bytes.empty()) return FileResult::Failure("「" + path.string() + "」に書き込めませんでした。");
    return WriteFileAtomically(path, bytes);
}

}  // namespace pq
