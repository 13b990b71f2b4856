#include "core/ops/working_area.h"

#include <algorithm>

#include "core/document/selection.h"

namespace pq {
namespace {

bool FitsCanvas(const Document& doc, const Plane& indices, const Plane& mask) {
    const std::size_t n = std::size_t(std::max(doc.PixelCount(), 0));
    return n > 0 && indices.size() == n && mask.size() == n;
}

// The rectangle minus the floating offset, intersected with the planes.
Rect TranslatedAndBounded(const Document& doc) {
    if (!doc.HasSelection) return Rect{0, 0, doc.ImageWidth, doc.ImageHeight};
    Rect r{doc.SelLeft - doc.FloatDX, doc.SelTop - doc.FloatDY, doc.SelRight - doc.FloatDX, doc.SelBottom - doc.FloatDY};
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, doc.ImageWidth);
    r.bottom = std::min(r.bottom, doc.ImageHeight);
    return r;
}

}  // namespace

WorkingPlanes GetWorkingPlanes(Document& doc) {
    WorkingPlanes wp;
    if (doc.LayerCount() == 0) return wp;
    if (doc.TrueColor) {
        RgbaPlane& pixels = doc.HasSelection ? doc.FloatPixels : doc.Current().Pixels;
        const std::size_t n = std::size_t(std::max(doc.PixelCount(), 0));
        if (n == 0 || pixels.size() != n) return wp;
        wp.Pixels = pixels.data();
        wp.Width = doc.ImageWidth;
        wp.Height = doc.ImageHeight;
        return wp;
    }
    Plane& indices = doc.HasSelection ? doc.FloatIndices : doc.Current().Indices;
    Plane& mask = doc.HasSelection ? doc.FloatMask : doc.Current().Mask;
    if (!FitsCanvas(doc, indices, mask)) return wp;
    wp.Indices = indices.data();
    wp.Mask = mask.data();
    wp.Width = doc.ImageWidth;
    wp.Height = doc.ImageHeight;
    return wp;
}

Rect WorkingRectangle(const Document& doc) { return TranslatedAndBounded(doc); }

Rect NormalizedWorkingRectangle(Document& doc) {
    if (doc.HasSelection) SetSelection(doc, doc.SelLeft, doc.SelTop, doc.SelRight, doc.SelBottom);
    return TranslatedAndBounded(doc);
}

void FreshPlanes::Store(const WorkingPlanes& wp) const {
    if (wp.Pixels) {
        std::copy(Pixels.begin(), Pixels.end(), wp.Pixels);
        return;
    }
    std::copy(Indices.begin(), Indices.end(), wp.Indices);
    std::copy(Mask.begin(), Mask.end(), wp.Mask);
}

}  // namespace pq
