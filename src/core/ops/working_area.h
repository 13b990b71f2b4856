#pragma once
// Where the index-plane operations (flips, rotations, pixel effects) work: the floating planes
// while a selection exists, otherwise the current layer, over a rectangle in the planes' own
// coordinates. Rectangles are half-open (left and top inclusive).

#include <cstddef>
#include <cstdint>
#include <utility>

#include "core/document/document.h"
#include "core/raster/raster.h"

namespace pq {

// The pair of planes an operation rewrites, each Width x Height bytes, addressed x + y * Width.
// Plain views into the document: valid until the layer array or the floating planes change.
struct WorkingPlanes {
    uint8_t* Indices = nullptr;
    uint8_t* Mask = nullptr;
    int Width = 0, Height = 0;

    bool Valid() const { return Indices != nullptr && Mask != nullptr && Width > 0 && Height > 0; }
    std::size_t PixelCount() const { return std::size_t(Width) * std::size_t(Height); }
    std::size_t At(int x, int y) const { return std::size_t(x) + std::size_t(y) * std::size_t(Width); }
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < Width && y < Height; }
    // A pixel always moves with both its bytes.
    void Swap(std::size_t a, std::size_t b) const {
        std::swap(Indices[a], Indices[b]);
        std::swap(Mask[a], Mask[b]);
    }
};

// The floating planes while HasSelection is set, otherwise the current layer's planes. Not Valid
// when the document has no layers or the chosen planes are not ImageWidth x ImageHeight.
WorkingPlanes GetWorkingPlanes(Document& doc);

// The working rectangle as stored: (0, 0, ImageWidth, ImageHeight) without a selection, else the
// selection rectangle minus (FloatDX, FloatDY). Intersected with the planes so that no caller
// can index outside them (the result may be empty); otherwise not normalised.
Rect WorkingRectangle(const Document& doc);

// The flips' and rotations' rectangle: with a selection the selection rectangle is first
// normalised and clipped to the canvas through SetSelection (stored back into SelLeft..SelBottom),
// then translated as in WorkingRectangle.
Rect NormalizedWorkingRectangle(Document& doc);

// Two fresh all-zero (unpainted) planes of the working planes' size, filled by the operations
// that rebuild every pixel and then copied over the working planes with Store.
struct FreshPlanes {
    Plane Indices, Mask;
    explicit FreshPlanes(const WorkingPlanes& wp)
        : Indices(wp.PixelCount(), 0), Mask(wp.PixelCount(), 0) {}
    void Store(const WorkingPlanes& wp) const;
};

}  // namespace pq
