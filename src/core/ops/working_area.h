#pragma once
// Where the image operations (flips, rotations, pixel effects) work: the floating planes while
// a selection exists, otherwise the current layer, over a rectangle in the planes' own
// coordinates. Rectangles are half-open (left and top inclusive). In a truecolour document the
// working plane is the RGBA one (Pixels).

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
    Rgba8* Pixels = nullptr;   // truecolour documents; Indices and Mask are then null
    int Width = 0, Height = 0;

    // The index planes are there: what the operations on palette indices need.
    bool Valid() const { return Indices != nullptr && Mask != nullptr && Width > 0 && Height > 0; }
    // The planes of either colour mode are there: what the operations moving whole pixels need.
    bool Usable() const { return (Valid() || Pixels != nullptr) && Width > 0 && Height > 0; }
    std::size_t PixelCount() const { return std::size_t(Width) * std::size_t(Height); }
    std::size_t At(int x, int y) const { return std::size_t(x) + std::size_t(y) * std::size_t(Width); }
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < Width && y < Height; }
    // A pixel always moves with both its bytes.
    void Swap(std::size_t a, std::size_t b) const {
        if (Pixels) {
            std::swap(Pixels[a], Pixels[b]);
            return;
        }
        std::swap(Indices[a], Indices[b]);
        std::swap(Mask[a], Mask[b]);
    }
};

// The kinds of image operation, for the rule of which ones a truecolour document takes.
enum class OperationFamily { Transform, Filter, PixelEffect, PaletteAdjust, Compositing };
// Every family works in a truecolour document, each with its own rule on the RGBA planes: the
// transforms move whole pixels exactly, the filters and pixel effects compute on premultiplied
// or whole pixels, the palette adjustments recolour every pixel and compositing blends with
// BlendOver. Only the 16/256 switch refuses one (ColorCountSwitchApplies below); the menus grey
// what does not apply.
constexpr bool WorksInTrueColor(OperationFamily family) {
    switch (family) {
    case OperationFamily::Transform: return true;
    case OperationFamily::Filter: return true;
    case OperationFamily::PixelEffect: return true;
    case OperationFamily::PaletteAdjust: return true;
    case OperationFamily::Compositing: return true;
    }
    return false;
}
// Whether an operation of the family may run on the document.
inline bool OperationApplies(const Document& doc, OperationFamily family) {
    return !doc.TrueColor || WorksInTrueColor(family);
}
// The 16/256 switch of the palette family changes a palette's depth: a truecolour document has
// none to switch (it becomes a palette document through ConvertToPalette instead).
inline bool ColorCountSwitchApplies(const Document& doc) { return !doc.TrueColor; }

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

// Fresh all-zero (unpainted, transparent) planes of the working planes' size and mode, filled
// by the operations that rebuild every pixel and then copied over the working planes with Store.
struct FreshPlanes {
    Plane Indices, Mask;
    RgbaPlane Pixels;
    explicit FreshPlanes(const WorkingPlanes& wp)
        : Indices(wp.Pixels ? 0 : wp.PixelCount(), 0), Mask(wp.Pixels ? 0 : wp.PixelCount(), 0),
          Pixels(wp.Pixels ? wp.PixelCount() : 0, Rgba8{}) {}
    // Pixel `from` of the working planes becomes pixel `to` of the fresh ones, whole.
    void Take(const WorkingPlanes& wp, std::size_t from, std::size_t to) {
        if (wp.Pixels) {
            Pixels[to] = wp.Pixels[from];
            return;
        }
        Indices[to] = wp.Indices[from];
        Mask[to] = wp.Mask[from];
    }
    void Store(const WorkingPlanes& wp) const;
};

}  // namespace pq
