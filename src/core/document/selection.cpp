#include "core/document/selection.h"

#include <algorithm>
#include <cstddef>

#include "core/document/blend.h"

namespace pq {
namespace {

// The part of the selection rectangle that lies on the canvas (may be empty).
Rect OnCanvasPart(const Document& doc) {
    return Rect{std::max(doc.SelLeft, 0), std::max(doc.SelTop, 0), std::min(doc.SelRight, doc.ImageWidth),
                std::min(doc.SelBottom, doc.ImageHeight)};
}

bool FloatingPlanesFit(const Document& doc) { return FloatFits(doc); }

// Calls visit(source, destination) with the plane offsets of every canvas pixel of `r` whose
// floating source (x - FloatDX, y - FloatDY) lies on the canvas. The geometry every colour mode
// shares: what is done with the two offsets is the caller's.
template <class Visit>
void ForFloatingSources(const Document& doc, const Rect& r, Visit visit) {
    const int w = doc.ImageWidth;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const int sx = x - doc.FloatDX, sy = y - doc.FloatDY;
            if (!doc.OnCanvas(sx, sy)) continue;
            visit(std::size_t(sx) + std::size_t(sy) * w, std::size_t(x) + std::size_t(y) * w);
        }
}

// Makes the given corners the selection and lifts it; a rectangle with nothing on the canvas
// leaves no selection at all, so a selection is never empty.
void SelectAndLift(Document& doc, int x1, int y1, int x2, int y2) {
    SetSelection(doc, x1, y1, x2, y2);
    doc.HasSelection = !OnCanvasPart(doc).Empty();
    LiftSelection(doc);
}

EditResult RedrawAndRecord(const char* step) {
    EditResult r = EditResult::Recorded(step);
    r.Redraw = true;
    return r;
}

}  // namespace

void SetSelection(Document& doc, int x1, int y1, int x2, int y2) {
    doc.SelLeft = std::min(x1, x2);
    doc.SelTop = std::min(y1, y2);
    doc.SelRight = std::max(x1, x2);
    doc.SelBottom = std::max(y1, y2);
    ClipSelection(doc);
}

void ClipSelection(Document& doc) {
    doc.SelLeft = std::max(doc.SelLeft, 0);
    doc.SelTop = std::max(doc.SelTop, 0);
    doc.SelRight = std::min(doc.SelRight, doc.ImageWidth);
    doc.SelBottom = std::min(doc.SelBottom, doc.ImageHeight);
}

void LiftSelection(Document& doc) {
    if (!doc.HasSelection) return;
    Layer& layer = doc.Current();
    if (doc.TrueColor) {
        doc.FloatPixels = layer.Pixels;
    } else {
        doc.FloatIndices = layer.Indices;
        doc.FloatMask = layer.Mask;
    }
    doc.FloatDX = doc.FloatDY = 0;
    if (!LayerFits(doc, layer)) return;
    const Rect r = OnCanvasPart(doc);
    const int w = doc.ImageWidth;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const std::size_t p = std::size_t(x) + std::size_t(y) * w;
            if (doc.TrueColor) layer.Pixels[p] = Rgba8{};
            else layer.Mask[p] = 0;
        }
}

// A truecolour floating pixel is put down over the layer with the one blend, as the canvas
// shows it: an opaque one replaces the layer pixel, a transparent one leaves it.
void DropSelection(Document& doc) {
    if (!doc.HasSelection) return;
    ClipSelection(doc);
    Layer& layer = doc.Current();
    if (!FloatingPlanesFit(doc) || !LayerFits(doc, layer)) return;
    if (doc.TrueColor) {
        ForFloatingSources(doc, doc.Selection(), [&](std::size_t s, std::size_t d) {
            layer.Pixels[d] = BlendOver(layer.Pixels[d], doc.FloatPixels[s]);
        });
        return;
    }
    ForFloatingSources(doc, doc.Selection(), [&](std::size_t s, std::size_t d) {
        if (doc.FloatMask[s] == 0) return;
        layer.Indices[d] = doc.FloatIndices[s];
        layer.Mask[d] = doc.FloatMask[s];
    });
}

Document DocumentAsShown(const Document& doc) {
    Document shown = doc;
    if (!shown.HasSelection) return shown;
    DropSelection(shown);
    shown.HasSelection = false;
    shown.FloatIndices.clear();
    shown.FloatMask.clear();
    shown.FloatPixels.clear();
    shown.FloatDX = shown.FloatDY = 0;
    return shown;
}

void BeginSelectDrag(Document& doc) {
    DropSelection(doc);
    doc.HasSelection = false;
}

EditResult EndSelectDrag(Document& doc, int x1, int y1, int x2, int y2) {
    if (x1 != x2 && y1 != y2) SelectAndLift(doc, x1, y1, x2, y2);
    else doc.HasSelection = false;
    return RedrawAndRecord("選択ツール");
}

void BeginMoveDrag(Document& doc) {
    if (doc.HasSelection) return;
    SelectAndLift(doc, 0, 0, doc.ImageWidth, doc.ImageHeight);
}

bool MoveFloating(Document& doc, int ddx, int ddy) {
    if (!doc.HasSelection || (ddx == 0 && ddy == 0)) return false;
    doc.FloatDX += ddx;
    doc.FloatDY += ddy;
    doc.SelLeft += ddx;
    doc.SelRight += ddx;
    doc.SelTop += ddy;
    doc.SelBottom += ddy;
    return true;
}

EditResult EndMoveDrag(Document&) { return RedrawAndRecord("移動ツール"); }

EditResult SelectAll(Document& doc) {
    DropSelection(doc);
    SelectAndLift(doc, 0, 0, doc.ImageWidth, doc.ImageHeight);
    return RedrawAndRecord("すべて選択");
}

EditResult Deselect(Document& doc) {
    DropSelection(doc);
    doc.HasSelection = false;
    return RedrawAndRecord("選択範囲クリア");
}

EditResult GrowSelection(Document& doc) {
    if (!doc.HasSelection) return EditResult::Nothing();
    DropSelection(doc);
    SelectAndLift(doc, doc.SelLeft - 1, doc.SelTop - 1, doc.SelRight + 1, doc.SelBottom + 1);
    return RedrawAndRecord("選択範囲拡大");
}

EditResult ShrinkSelection(Document& doc) {
    if (!doc.HasSelection) return EditResult::Nothing();
    // Judged on the part that will be committed: a rectangle moved partly off the canvas is
    // clipped by the drop, and shrinking that below one pixel would leave an empty selection.
    const Rect r = OnCanvasPart(doc);
    if (r.Width() <= 2 || r.Height() <= 2) return EditResult::Nothing();
    DropSelection(doc);
    SelectAndLift(doc, doc.SelLeft + 1, doc.SelTop + 1, doc.SelRight - 1, doc.SelBottom - 1);
    return RedrawAndRecord("選択範囲縮小");
}

void ClearTarget(Document& doc) {
    if (doc.HasSelection) {
        std::fill(doc.FloatMask.begin(), doc.FloatMask.end(), uint8_t(0));
        std::fill(doc.FloatPixels.begin(), doc.FloatPixels.end(), Rgba8{});
        doc.HasSelection = false;
    } else if (doc.CurrentLayer() >= 0) {
        Layer& layer = doc.Current();
        std::fill(layer.Mask.begin(), layer.Mask.end(), uint8_t(0));
        std::fill(layer.Pixels.begin(), layer.Pixels.end(), Rgba8{});
    }
}

EditResult ClearContent(Document& doc) {
    ClearTarget(doc);
    return RedrawAndRecord("クリア");
}

EditResult LayerFromSelection(Document& doc) {
    if (!doc.HasSelection) return EditResult::Nothing();
    doc.AppendLayer();
    Layer& layer = doc.Current();
    layer.Name = kLayerFromSelectionName;
    if (FloatingPlanesFit(doc) && LayerFits(doc, layer)) {
        const int w = doc.ImageWidth, h = doc.ImageHeight;
        // Content moved off the canvas is discarded.
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                if (doc.OnCanvas(i + doc.FloatDX, j + doc.FloatDY)) continue;
                const std::size_t p = std::size_t(i) + std::size_t(j) * w;
                if (doc.TrueColor) doc.FloatPixels[p] = Rgba8{};
                else doc.FloatMask[p] = 0;
            }
        ForFloatingSources(doc, OnCanvasPart(doc), [&](std::size_t s, std::size_t d) {
            if (doc.TrueColor) {
                layer.Pixels[d] = doc.FloatPixels[s];
            } else {
                layer.Indices[d] = doc.FloatIndices[s];
                layer.Mask[d] = doc.FloatMask[s];
            }
        });
    }
    // The content now lives in the new layer; the source layer keeps its hole.
    doc.HasSelection = false;
    EditResult res = RedrawAndRecord("選択範囲からレイヤを作成");
    res.RebuildLayers = true;
    return res;
}

}  // namespace pq
