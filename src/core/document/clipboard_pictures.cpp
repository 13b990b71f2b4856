#include "core/document/clipboard_pictures.h"

#include <algorithm>
#include <cstddef>

#include "core/document/color_reduction.h"
#include "core/document/quality_reduction.h"
#include "core/document/selection.h"

namespace pq {
namespace {

// `picture` drawn at (0, 0) on a white width x height picture.
Raster OnWhite(const Raster& picture, int width, int height) {
    Raster out(width, height);
    out.Fill(kWhite);
    const int w = std::min(width, picture.Width()), h = std::min(height, picture.Height());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) out.SetPixelUnchecked(x, y, picture.PixelUnchecked(x, y));
    return out;
}

}  // namespace

Raster ClipboardPicture(const Document& doc) {
    const int w = doc.ImageWidth;
    if (!doc.HasSelection) {
        Raster pic(w, doc.ImageHeight);
        pic.Fill(kWhite);
        const Layer& layer = doc.Current();
        for (int y = 0; y < doc.ImageHeight; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t p = std::size_t(x) + std::size_t(y) * w;
                if (layer.Mask[p] != 0) pic.SetPixelUnchecked(x, y, doc.ColorOf(layer.Indices[p]));
            }
        return pic;
    }
    const Rect r = doc.Selection();
    if (r.Empty()) return Raster();
    Raster pic(r.Width(), r.Height());
    pic.Fill(kWhite);
    const std::size_t n = std::size_t(doc.PixelCount());
    if (doc.FloatMask.size() != n || doc.FloatIndices.size() != n) return pic;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const int sx = x - doc.FloatDX, sy = y - doc.FloatDY;
            if (!doc.OnCanvas(sx, sy)) continue;
            const std::size_t s = std::size_t(sx) + std::size_t(sy) * w;
            if (doc.FloatMask[s] != 0) pic.SetPixelUnchecked(x - r.left, y - r.top, doc.ColorOf(doc.FloatIndices[s]));
        }
    return pic;
}

EditResult ApplyCut(Document& doc) {
    ClearTarget(doc);
    EditResult r = EditResult::Recorded("切り取り");
    r.Redraw = true;
    return r;
}

std::optional<std::string> PastePictureProblem(int width, int height) {
    if (width <= 0 || height <= 0) return std::string("クリップボードの画像が空のため、貼り付けできません。");
    if (width > kMaxPasteSide || height > kMaxPasteSide || (long long)width * height > kMaxPastePixels)
        return "クリップボードの画像（" + std::to_string(width) + "×" + std::to_string(height) +
               "ピクセル）は大きすぎるため、貼り付けできません。";
    return std::nullopt;
}

Raster InitialPasteArea(const Document& doc, const Raster& clipboardPicture) {
    return OnWhite(clipboardPicture, doc.ImageWidth, doc.ImageHeight);
}

EditResult PastePicture(Document& doc, const Raster& area, bool optimize, const ReductionOptions& options) {
    DropSelection(doc);
    doc.HasSelection = false;
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    const Raster picture = (area.Width() == w && area.Height() == h) ? area : OnWhite(area, w, h);
    doc.AppendLayer();
    if (optimize) {
        ReduceColors(doc, doc.ColorCount, doc.CurrentLayer(), &picture, options);
        doc.DrawColor = 0;
        doc.AuxColor = 8;
    } else {
        const int n = std::clamp(doc.ColorCount, 1, 256);
        Layer& layer = doc.Current();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t p = std::size_t(x) + std::size_t(y) * w;
                layer.Indices[p] = uint8_t(NearestColor(picture.PixelUnchecked(x, y), doc.Palette.data(), n));
                layer.Mask[p] = 1;
            }
    }
    EditResult r = EditResult::Recorded("貼り付け");
    r.RebuildLayers = true;
    r.Redraw = true;
    r.RefreshColors = true;
    return r;
}

}  // namespace pq
