#include "core/formats/native_document.h"

#include <array>
#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"
#include "core/io/sjis.h"

namespace pq {
namespace {

constexpr std::size_t kHeaderSize = 16;      // signature, width, height, colours
constexpr std::size_t kPaletteBytes = 1024;
constexpr std::size_t kLayersStart = kHeaderSize + kPaletteBytes + 4;

struct Header {
    int32_t width = 0, height = 0, colors = 0, layerCount = 0;
    std::span<const uint8_t> palette;
};

// Bytes a layer record holds per pixel: two planes, or one RGBA pixel of a truecolour document.
std::uint64_t PixelBytes(const Header& h) { return h.colors == kTrueColorFileColors ? 4 : 2; }

// Reads and checks everything before the layer records, given the size of the whole file.
// Each record needs at least its length, visible byte and two planes: this bounds the count by
// the file's size before anything is allocated.
bool ReadHeader(ByteReader& in, std::uint64_t fileSize, Header& h) {
    std::span<const uint8_t> sig;
    if (!in.Take(4, sig) || std::memcmp(sig.data(), "pqf\0", 4) != 0) return false;
    if (!in.I32(h.width) || !in.I32(h.height) || !in.I32(h.colors)) return false;
    if (h.width <= 0 || h.height <= 0 || h.width > kMaxImageSide || h.height > kMaxImageSide) return false;
    if (h.colors != 16 && h.colors != 256 && h.colors != kTrueColorFileColors) return false;
    if (!in.Take(kPaletteBytes, h.palette) || !in.I32(h.layerCount)) return false;
    const std::uint64_t minRecord = 5 + PixelBytes(h) * std::uint64_t(h.width) * std::uint64_t(h.height);
    return h.layerCount > 0 && std::uint64_t(h.layerCount) <= (fileSize - kLayersStart) / minRecord;
}

}  // namespace

FileResult LoadDocumentBytes(std::span<const uint8_t> bytes, Document& doc, int selectedZoom) {
    const FileResult refused = FileResult::Failure(kDocumentOpenError);
    ByteReader in(bytes);
    Header header;
    if (!ReadHeader(in, bytes.size(), header)) return refused;
    const int32_t width = header.width, height = header.height, colors = header.colors;
    const int32_t layerCount = header.layerCount;
    const std::span<const uint8_t> palette = header.palette;
    const std::size_t planeSize = std::size_t(width) * std::size_t(height);
    const bool trueColor = colors == kTrueColorFileColors;

    std::vector<Layer> layers;
    layers.reserve(std::size_t(layerCount));
    for (int32_t i = 0; i < layerCount; ++i) {
        int32_t nameLength = 0;
        std::span<const uint8_t> name, visible, indices, mask, pixels;
        if (!in.I32(nameLength) || nameLength < 0) return refused;
        if (!in.Take(std::size_t(nameLength), name) || !in.Take(1, visible)) return refused;
        if (trueColor ? !in.Take(4 * planeSize, pixels) : !in.Take(planeSize, indices) || !in.Take(planeSize, mask))
            return refused;
        Layer layer;
        // A zero byte inside the stored name ends it.
        std::string sjis(name.begin(), name.end());
        sjis.resize(std::strlen(sjis.c_str()));
        layer.Name = SjisToUtf8(sjis);
        layer.Visible = visible[0];
        if (trueColor) {
            layer.Pixels.resize(planeSize);
            for (std::size_t p = 0; p < planeSize; ++p)
                layer.Pixels[p] = Rgba8{pixels[4 * p], pixels[4 * p + 1], pixels[4 * p + 2], pixels[4 * p + 3]};
        } else {
            layer.Indices.assign(indices.begin(), indices.end());
            layer.Mask.assign(mask.begin(), mask.end());
        }
        layers.push_back(std::move(layer));
    }

    Document loaded;
    if (trueColor)
        InitBlankTrueColorDocument(loaded, width, height, selectedZoom);
    else
        InitBlankDocument(loaded, width, height, colors, selectedZoom);
    for (std::size_t e = 0; e < 256; ++e) {
        const uint8_t* p = palette.data() + 4 * e;
        loaded.Palette[e] = PaletteEntry{p[0], p[1], p[2], p[3]};
    }
    loaded.ReplaceLayers(std::move(layers), 0);
    doc = std::move(loaded);
    return FileResult::Success();
}

FileResult LoadDocumentFile(const std::filesystem::path& path, Document& doc, int selectedZoom) {
    const FileResult unreadable = FileResult::Failure(CannotReadMessage(path));
    RegularFile file;
    if (file.Open(path) != ReadStatus::Ok) return unreadable;
    // The header first: a file that is no document, or whose layers cannot fit in its size, is
    // refused without reading the rest.
    std::vector<uint8_t> bytes;
    if (!file.ReadAt(0, std::size_t(std::min<std::uint64_t>(file.Size(), kLayersStart)), bytes)) return unreadable;
    ByteReader in(bytes);
    Header header;
    if (!ReadHeader(in, file.Size(), header)) return FileResult::Failure(kDocumentOpenError);
    if (file.Size() > std::numeric_limits<std::size_t>::max() / 2 || !file.ReadAt(0, std::size_t(file.Size()), bytes))
        return unreadable;
    return LoadDocumentBytes(bytes, doc, selectedZoom);
}

std::vector<uint8_t> EncodeDocument(const Document& doc) {
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    const bool trueColor = doc.TrueColor;
    if (doc.LayerCount() <= 0 || w <= 0 || h <= 0) return {};
    if (!trueColor && doc.ColorCount != 16 && doc.ColorCount != 256) return {};
    const std::size_t planeSize = std::size_t(w) * std::size_t(h);
    std::vector<std::string> names;
    std::size_t total = kLayersStart;
    for (const Layer& l : doc.Layers()) {
        if (trueColor ? l.Pixels.size() != planeSize : l.Indices.size() != planeSize || l.Mask.size() != planeSize)
            return {};
        names.push_back(Utf8ToSjis(l.Name));
        total += 5 + names.back().size() + (trueColor ? 4 : 2) * planeSize;
    }

    std::vector<uint8_t> out;
    out.reserve(total);
    ByteWriter put(out);
    put.Bytes(std::array<uint8_t, 4>{'p', 'q', 'f', 0});
    put.I32(w);
    put.I32(h);
    put.I32(trueColor ? kTrueColorFileColors : doc.ColorCount);
    for (const PaletteEntry& e : doc.Palette) put.Bytes(std::array<uint8_t, 4>{e.blue, e.green, e.red, e.reserved});
    put.I32(doc.LayerCount());
    for (int i = 0; i < doc.LayerCount(); ++i) {
        const Layer& l = doc.LayerAt(i);
        const std::string& name = names[std::size_t(i)];
        put.I32(int32_t(name.size()));
        put.Bytes(std::span(reinterpret_cast<const uint8_t*>(name.data()), name.size()));
        put.U8(l.Visible);
        if (trueColor) {
            for (const Rgba8 p : l.Pixels) put.Bytes(std::array<uint8_t, 4>{p.r, p.g, p.b, p.a});
            continue;
        }
        put.Bytes(l.Indices);
        put.Bytes(l.Mask);
    }
    return out;
}

FileResult SaveDocumentFile(const Document& doc, const std::filesystem::path& path) {
    std::vector<uint8_t> bytes = EncodeDocument(doc);
    if (bytes.empty()) return FileResult::Failure("「" + path.string() + "」に書き込めませんでした。");
    return WriteFileAtomically(path, bytes);
}

}  // namespace pq
