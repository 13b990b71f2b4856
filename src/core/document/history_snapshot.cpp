#include "core/document/history_snapshot.h"

#include <algorithm>
#include <span>
#include <utility>

#include "core/io/byte_io.h"
#include "core/io/sjis.h"

namespace pq {
namespace {

constexpr int kMaxSide = 4096;

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
    w.I32(doc.ColorCount);
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
    PutPlane(w, doc.FloatIndices, planeSize);
    PutPlane(w, doc.FloatMask, planeSize);
    w.I32(doc.LayerCount());
    for (const Layer& l : doc.Layers()) {
        PutText(w, l.Name);
        w.U8(l.Visible);
        PutPlane(w, l.Indices, planeSize);
        PutPlane(w, l.Mask, planeSize);
    }
    w.I32(doc.CurrentLayer());
    return out;
}

bool DecodeSnapshot(const std::vector<uint8_t>& bytes, Document& doc, std::string* stepName) {
    ByteReader r(bytes);
    std::string name;
    int32_t w = 0, h = 0, colors = 0;
    if (!TakeText(r, name) || !r.I32(w) || !r.I32(h) || !r.I32(colors)) return false;
    if (w < 1 || w > kMaxSide || h < 1 || h > kMaxSide) return false;
    if (colors != 16 && colors != 256) return false;
    const std::size_t planeSize = std::size_t(w) * std::size_t(h);

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
    if (!TakePlane(r, planeSize, floatIndices) || !TakePlane(r, planeSize, floatMask)) return false;

    int32_t layerCount = 0;
    if (!r.I32(layerCount) || layerCount < 1) return false;
    // Each layer needs at least its name length, Visible and two planes.
    if (std::size_t(layerCount) > r.Remaining() / (5 + 2 * planeSize)) return false;
    std::vector<Layer> layers(static_cast<std::size_t>(layerCount));
    for (Layer& l : layers) {
        if (!TakeText(r, l.Name) || !r.U8(l.Visible) || !TakePlane(r, planeSize, l.Indices) ||
            !TakePlane(r, planeSize, l.Mask))
            return false;
    }
    int32_t current = 0;
    if (!r.I32(current) || current < 0 || current >= layerCount) return false;
    if (r.Remaining() != 0) return false;

    // Everything checked: only now does the document change.
    doc.ImageWidth = w;
    doc.ImageHeight = h;
    doc.ColorCount = colors;
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
    doc.ReplaceLayers(std::move(layers), current);
    doc.StrokeBitmap.Resize(w, h);
    doc.StrokeBitmap.Fill(kWhite);
    // The clone source is not part of a snapshot; forget it when its layer no longer exists.
    if (doc.CloneLayer >= doc.LayerCount()) {
        doc.CloneLayer = 0;
        doc.CloneState = 0;
    }
    if (stepName) *stepName = std::move(name);
    return true;
}

}  // namespace pq
