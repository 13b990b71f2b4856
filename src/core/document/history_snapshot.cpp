#include "core/document/history_snapshot.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"
#include "core/io/sjis.h"

namespace pq {
namespace {

constexpr int kMaxSide = 4096;
// The colours field of a truecolour snapshot. Its planes are RGBA: W*H*4 bytes of floating
// pixels in place of the two floating planes, and W*H*4 bytes of pixels per layer in place of
// a layer's two planes; everything else is laid out as in a 16/256-colour snapshot.
constexpr int32_t kTrueColorMark = 32;

void PutText(ByteWriter& w, const std::string& utf8) {
    const std::string sjis = Utf8ToSjis(utf8);
    w.I32(int32_t(sjis.size()));
    w.Bytes(std::span(reinterpret_cast<const uint8_t*>(sjis.data()), sjis.size()));
}

// Exactly `size` bytes of the plane: a plane of the wrong length is cut or padded with 0, so
// the file always has the layout its width and height promise.
void PutPlane(ByteWriter& w, const Plane& p, std::size_t size) {
    const std::size_t n = std::min(size, p.size());
    w.Bytes(std::span(p.data(), n));
    w.Fill(size - n, 0);
}

bool TakeText(ByteReader& r, std::string& utf8) {
    int32_t n = 0;
    std::span<const uint8_t> bytes;
    if (!r.I32(n) || n < 0 || !r.Take(std::size_t(n), bytes)) return false;
    utf8 = SjisToUtf8(std::string(bytes.begin(), bytes.end()));
    return true;
}

void PutRgbaPlane(ByteWriter& w, const RgbaPlane& p, std::size_t size) {
    const std::size_t n = std::min(size, p.size());
    for (std::size_t i = 0; i < n; ++i) {
        w.U8(p[i].r);
        w.U8(p[i].g);
        w.U8(p[i].b);
        w.U8(p[i].a);
    }
    w.Fill(4 * (size - n), 0);
}

bool TakeRgbaPlane(ByteReader& r, std::size_t size, RgbaPlane& out) {
    std::span<const uint8_t> bytes;
    if (!r.Take(4 * size, bytes)) return false;
    out.resize(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = Rgba8{bytes[4 * i], bytes[4 * i + 1], bytes[4 * i + 2], bytes[4 * i + 3]};
    return true;
}

bool TakePlane(ByteReader& r, std::size_t size, Plane& out) {
    std::span<const uint8_t> bytes;
    if (!r.Take(size, bytes)) return false;
    out.assign(bytes.begin(), bytes.end());
    return true;
}

}  // namespace

std::vector<uint8_t> EncodeSnapshot(const Document& doc, const std::string& stepName) {
    const std::size_t planeSize = std::size_t(std::max(doc.ImageWidth, 0)) * std::size_t(std::max(doc.ImageHeight, 0));
    std::vector<uint8_t> out;
    out.reserve(1100 + 2 * planeSize * std::size_t(doc.LayerCount() + 1));
    ByteWriter w(out);
    PutText(w, stepName);
    w.I32(doc.ImageWidth);
    w.I32(doc.ImageHeight);
    w.I32(doc.TrueColor ? kTrueColorMark : doc.ColorCount);
    for (const PaletteEntry& e : doc.Palette) {
        w.U8(e.blue);
        w.U8(e.green);
        w.U8(e.red);
        w.U8(e.reserved);
    }
    w.U8(doc.HasSelection ? 1 : 0);
    w.I32(doc.SelLeft);
    w.I32(doc.SelTop);
    w.I32(doc.SelRight);
    w.I32(doc.SelBottom);
    w.I32(doc.FloatDX);
    w.I32(doc.FloatDY);
    w.U8(doc.SelectionSpare);
    if (doc.TrueColor) {
        PutRgbaPlane(w, doc.FloatPixels, planeSize);
    } else {
        PutPlane(w, doc.FloatIndices, planeSize);
        PutPlane(w, doc.FloatMask, planeSize);
    }
    w.I32(doc.LayerCount());
    for (const Layer& l : doc.Layers()) {
        PutText(w, l.Name);
        w.U8(l.Visible);
        if (doc.TrueColor) {
            PutRgbaPlane(w, l.Pixels, planeSize);
        } else {
            PutPlane(w, l.Indices, planeSize);
            PutPlane(w, l.Mask, planeSize);
        }
    }
    w.I32(doc.CurrentLayer());
    return out;
}

namespace {

// Puts a checked snapshot's parts into the document. A truecolour document keeps ColorCount
// 256: its palette is a table of swatches. The clone source is not part of a snapshot; it is
// forgotten when its layer no longer exists.
void InstallSnapshot(Document& doc, int32_t w, int32_t h, int32_t colors, const PaletteTable& palette,
                     uint8_t hasSelection, const int32_t (&sel)[4], int32_t dx, int32_t dy, uint8_t spare,
                     Plane floatIndices, Plane floatMask, RgbaPlane floatPixels, std::vector<Layer> layers,
                     int32_t current) {
    const bool trueColor = colors == kTrueColorMark;
    doc.ImageWidth = w;
    doc.ImageHeight = h;
    doc.ColorCount = trueColor ? 256 : colors;
    doc.TrueColor = trueColor;
    doc.Palette = palette;
    doc.HasSelection = hasSelection != 0;
    doc.SelLeft = sel[0];
    doc.SelTop = sel[1];
    doc.SelRight = sel[2];
    doc.SelBottom = sel[3];
    doc.FloatDX = dx;
    doc.FloatDY = dy;
    doc.SelectionSpare = spare;
    doc.FloatIndices = std::move(floatIndices);
    doc.FloatMask = std::move(floatMask);
    doc.FloatPixels = std::move(floatPixels);
    doc.ReplaceLayers(std::move(layers), current);
    doc.StrokeBitmap.Resize(w, h);
    doc.StrokeBitmap.Fill(kWhite);
    if (doc.CloneLayer >= doc.LayerCount()) {
        doc.CloneLayer = 0;
        doc.CloneState = 0;
    }
}

}  // namespace

bool DecodeSnapshot(const std::vector<uint8_t>& bytes, Document& doc, std::string* stepName) {
    ByteReader r(bytes);
    std::string name;
    int32_t w = 0, h = 0, colors = 0;
    if (!TakeText(r, name) || !r.I32(w) || !r.I32(h) || !r.I32(colors)) return false;
    if (w < 1 || w > kMaxSide || h < 1 || h > kMaxSide) return false;
    const bool trueColor = colors == kTrueColorMark;
    if (colors != 16 && colors != 256 && !trueColor) return false;
    const std::size_t planeSize = std::size_t(w) * std::size_t(h);
    // Bytes of one layer's (or the floating content's) planes.
    const std::size_t layerPlanes = (trueColor ? 4 : 2) * planeSize;

    PaletteTable palette{};
    for (PaletteEntry& e : palette)
        if (!r.U8(e.blue) || !r.U8(e.green) || !r.U8(e.red) || !r.U8(e.reserved)) return false;

    uint8_t hasSelection = 0, spare = 0;
    int32_t sel[4] = {}, dx = 0, dy = 0;
    if (!r.U8(hasSelection)) return false;
    for (int32_t& v : sel)
        if (!r.I32(v)) return false;
    if (!r.I32(dx) || !r.I32(dy) || !r.U8(spare)) return false;
    Plane floatIndices, floatMask;
    RgbaPlane floatPixels;
    if (trueColor) {
        if (!TakeRgbaPlane(r, planeSize, floatPixels)) return false;
    } else if (!TakePlane(r, planeSize, floatIndices) || !TakePlane(r, planeSize, floatMask)) {
        return false;
    }

    int32_t layerCount = 0;
    if (!r.I32(layerCount) || layerCount < 1) return false;
    // Each layer needs at least its name length, Visible and its planes.
    if (std::size_t(layerCount) > r.Remaining() / (5 + layerPlanes)) return false;
    std::vector<Layer> layers(static_cast<std::size_t>(layerCount));
    for (Layer& l : layers) {
        if (!TakeText(r, l.Name) || !r.U8(l.Visible)) return false;
        if (trueColor) {
            if (!TakeRgbaPlane(r, planeSize, l.Pixels)) return false;
        } else if (!TakePlane(r, planeSize, l.Indices) || !TakePlane(r, planeSize, l.Mask)) {
            return false;
        }
    }
    int32_t current = 0;
    if (!r.I32(current) || current < 0 || current >= layerCount) return false;
    if (r.Remaining() != 0) return false;

    // Everything checked: only now does the document change.
    InstallSnapshot(doc, w, h, colors, palette, hasSelection, sel, dx, dy, spare, std::move(floatIndices),
                    std::move(floatMask), std::move(floatPixels), std::move(layers), current);
    if (stepName) *stepName = std::move(name);
    return true;
}

namespace {

// Reads a little-endian 32-bit value at `offset`; false when the file ends before it.
bool I32At(const RegularFile& f, std::uint64_t offset, int32_t& v) {
    std::vector<uint8_t> b;
    if (!f.ReadAt(offset, 4, b)) return false;
    v = LoadI32(b.data());
    return true;
}

// Fixed bytes between the colour count and the floating planes: palette, selection flag and
// rectangle, offsets, spare byte.
constexpr std::uint64_t kPaletteAndSelection = 1024 + 1 + 16 + 4 + 4 + 1;

class Digest {
public:
    // Every piece but the last must be a multiple of 8 bytes long.
    void Add(std::span<const std::uint8_t> bytes) {
        std::size_t i = 0;
        for (; i + 8 <= bytes.size(); i += 8) {
            uint64_t w;
            std::memcpy(&w, bytes.data() + i, 8);
            Mix(w);
        }
        uint64_t tail = 0;
        for (std::size_t j = i; j < bytes.size(); ++j) tail |= uint64_t(bytes[j]) << (8 * (j - i));
        if (i < bytes.size()) Mix(tail ^ 0xFF);
        length_ += bytes.size();
    }
    uint64_t Value() const {
        uint64_t h = h_ ^ length_;
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        return h;
    }

private:
    void Mix(uint64_t w) {
        h_ ^= w;
        h_ *= 0x9E3779B97F4A7C15ull;
        h_ ^= h_ >> 29;
    }
    uint64_t h_ = 0x6A09E667F3BCC908ull;
    uint64_t length_ = 0;
};

}  // namespace

std::optional<SnapshotShape> ReadSnapshotShape(const std::filesystem::path& path) {
    RegularFile f;
    if (f.Open(path, Owner::Program) != ReadStatus::Ok) return std::nullopt;
    const std::uint64_t size = f.Size();
    int32_t nameLength = 0, w = 0, h = 0, colors = 0, layers = 0;
    if (!I32At(f, 0, nameLength) || nameLength < 0) return std::nullopt;
    std::uint64_t at = 4 + std::uint64_t(nameLength);
    if (!I32At(f, at, w) || !I32At(f, at + 4, h) || !I32At(f, at + 8, colors)) return std::nullopt;
    const bool trueColor = colors == kTrueColorMark;
    if (w < 1 || w > kMaxSide || h < 1 || h > kMaxSide || (colors != 16 && colors != 256 && !trueColor))
        return std::nullopt;
    const std::uint64_t planes = (trueColor ? 4 : 2) * std::uint64_t(w) * std::uint64_t(h);
    at += 12 + kPaletteAndSelection + planes;
    if (!I32At(f, at, layers) || layers < 1) return std::nullopt;
    at += 4;
    // Each layer takes at least its name length, Visible and its planes: a count the file
    // cannot hold is refused before walking it.
    if (at > size || std::uint64_t(layers) > (size - at) / (5 + planes)) return std::nullopt;
    for (int32_t i = 0; i < layers; ++i) {
        int32_t m = 0;
        if (!I32At(f, at, m) || m < 0) return std::nullopt;
        at += 4 + std::uint64_t(m) + 1 + planes;
        if (at > size) return std::nullopt;
    }
    if (at + 4 != size) return std::nullopt;
    return SnapshotShape{w, h, trueColor ? 256 : colors, layers, size, trueColor};
}

namespace {

// Reads a snapshot file in order, each field or plane from where the last one ended.
class FileCursor {
public:
    explicit FileCursor(const RegularFile& f) : f_(f) {}
    std::uint64_t Remaining() const { return f_.Size() - at_; }
    bool Bytes(std::size_t n, std::vector<uint8_t>& out) {
        if (!f_.ReadAt(at_, n, out)) return false;
        at_ += n;
        return true;
    }
    bool I32(int32_t& v) {
        if (!Bytes(4, small_)) return false;
        v = LoadI32(small_.data());
        return true;
    }
    bool U8(uint8_t& v) {
        if (!Bytes(1, small_)) return false;
        v = small_[0];
        return true;
    }
    bool Text(std::string& utf8) {
        int32_t n = 0;
        if (!I32(n) || n < 0 || std::uint64_t(n) > Remaining() || !Bytes(std::size_t(n), small_)) return false;
        utf8 = SjisToUtf8(std::string(small_.begin(), small_.end()));
        return true;
    }

private:
    const RegularFile& f_;
    std::uint64_t at_ = 0;
    std::vector<uint8_t> small_;
};

}  // namespace

bool ReadSnapshotFile(const std::filesystem::path& path, std::uint64_t size, Document& doc) {
    RegularFile f;
    if (f.Open(path, Owner::Program) != ReadStatus::Ok || f.Size() != size) return false;
    FileCursor r(f);
    std::string name;
    int32_t w = 0, h = 0, colors = 0;
    if (!r.Text(name) || !r.I32(w) || !r.I32(h) || !r.I32(colors)) return false;
    const bool trueColor = colors == kTrueColorMark;
    if (w < 1 || w > kMaxSide || h < 1 || h > kMaxSide || (colors != 16 && colors != 256 && !trueColor)) return false;
    const std::size_t planeSize = std::size_t(w) * std::size_t(h);
    // Bytes of one layer's (or the floating content's) planes.
    const std::uint64_t layerPlanes = (trueColor ? 4 : 2) * std::uint64_t(planeSize);
    // One RGBA plane, read through a byte buffer of one plane at a time.
    std::vector<uint8_t> rgbaBytes;
    auto rgbaPlane = [&](RgbaPlane& out) {
        if (!r.Bytes(4 * planeSize, rgbaBytes)) return false;
        out.resize(planeSize);
        for (std::size_t k = 0; k < planeSize; ++k)
            out[k] = Rgba8{rgbaBytes[4 * k], rgbaBytes[4 * k + 1], rgbaBytes[4 * k + 2], rgbaBytes[4 * k + 3]};
        return true;
    };

    std::vector<uint8_t> fixed;
    if (!r.Bytes(std::size_t(kPaletteAndSelection), fixed)) return false;
    ByteReader head(fixed);
    PaletteTable palette{};
    for (PaletteEntry& e : palette) head.U8(e.blue), head.U8(e.green), head.U8(e.red), head.U8(e.reserved);
    uint8_t hasSelection = 0, spare = 0;
    int32_t sel[4] = {}, dx = 0, dy = 0;
    head.U8(hasSelection);
    for (int32_t& v : sel) head.I32(v);
    head.I32(dx);
    head.I32(dy);
    head.U8(spare);

    // The whole file is the size asked for, so nothing below can allocate beyond it.
    if (layerPlanes > r.Remaining()) return false;
    Plane floatIndices, floatMask;
    RgbaPlane floatPixels;
    if (trueColor) {
        if (!rgbaPlane(floatPixels)) return false;
    } else if (!r.Bytes(planeSize, floatIndices) || !r.Bytes(planeSize, floatMask)) {
        return false;
    }
    int32_t layerCount = 0;
    if (!r.I32(layerCount) || layerCount < 1) return false;
    if (std::uint64_t(layerCount) > r.Remaining() / (5 + layerPlanes)) return false;
    std::vector<Layer> layers(static_cast<std::size_t>(layerCount));
    for (Layer& l : layers) {
        if (!r.Text(l.Name) || !r.U8(l.Visible)) return false;
        if (trueColor) {
            if (!rgbaPlane(l.Pixels)) return false;
        } else if (!r.Bytes(planeSize, l.Indices) || !r.Bytes(planeSize, l.Mask)) {
            return false;
        }
    }
    rgbaBytes = {};
    int32_t current = 0;
    if (!r.I32(current) || current < 0 || current >= layerCount || r.Remaining() != 0) return false;

    InstallSnapshot(doc, w, h, colors, palette, hasSelection, sel, dx, dy, spare, std::move(floatIndices),
                    std::move(floatMask), std::move(floatPixels), std::move(layers), current);
    return true;
}

std::uint64_t SnapshotDigest(std::span<const std::uint8_t> bytes) {
    Digest d;
    d.Add(bytes);
    return d.Value();
}

std::uint64_t StateDigest(const Document& doc) { return SnapshotDigest(EncodeSnapshot(doc, "")); }

std::optional<std::uint64_t> FileDigest(const std::filesystem::path& path, std::uint64_t size) {
    RegularFile f;
    if (f.Open(path, Owner::Program) != ReadStatus::Ok || f.Size() != size) return std::nullopt;
    constexpr std::size_t kPiece = 1 << 20;   // a multiple of 8
    Digest d;
    std::vector<uint8_t> piece;
    for (std::uint64_t at = 0; at < size; at += kPiece) {
        if (!f.ReadAt(at, std::size_t(std::min<std::uint64_t>(kPiece, size - at)), piece)) return std::nullopt;
        d.Add(piece);
    }
    return d.Value();
}

}  // namespace pq
