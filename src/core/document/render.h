#pragma once
// Rendering: the 1:1 composite of the visible layers (with the floating selection above the
// current layer), a 1:1 thumbnail of every layer, and the zoomed view of any screen rectangle,
// produced on demand and pixel-identical to building the whole zoomed bitmap.

#include <vector>

#include "core/document/document.h"
#include "core/raster/drawing.h"
#include "core/raster/raster.h"

namespace pq {

// The two colours of the checkerboard shown through transparent pixels.
struct TransparencyColors {
    Rgb Color1{255, 255, 255};
    Rgb Color2{200, 200, 200};
    friend bool operator==(const TransparencyColors&, const TransparencyColors&) = default;
};

// Fills the raster with size x size squares from (0, 0): Color1 where the square's column and
// row blocks are both even or both odd, Color2 otherwise.
void PaintChecker(Raster& r, int size, const TransparencyColors& colors);

// Selection-outline frame f (0..7): pixel (x, y) is black when (x + y - f) mod 8 < 4.
Pattern8 OutlinePattern(int frame);

// What Recompose produces: 1:1 rasters of ImageWidth x ImageHeight.
struct Composite {
    Raster CompositeColor;               // white where nothing visible is painted
    Raster CompositeMask;                // white where some visible layer is painted, black elsewhere
    // Truecolour documents only: the visible layers composed over transparency (BlendOver),
    // ImageWidth x ImageHeight row-major; empty otherwise. CompositeColor is then this over
    // white and CompositeMask white wherever its alpha is not 0.
    std::vector<Rgba8> CompositeRgba;
    std::vector<Raster> LayerPreviews;   // one per layer (bottom first): 4-pixel checker + that layer
    TransparencyColors Colors;           // the thumbnails' checker colours
    // The image pixels the last recompose rebuilt: the whole canvas, or the clipped rectangle of
    // the rectangle form (empty when it had nothing to do).
    Rect Changed;
};

// Rebuilds the composite and the layer thumbnails from the document. Hidden layers get their
// thumbnails but stay out of the composite. Does nothing for a document that is not Ready.
// Truecolour layers compose with BlendOver, the floating pixels blended over the current
// layer's first (as dropping them would), and a thumbnail is its layer over the checker.
void Recompose(const Document& doc, const TransparencyColors& colors, Composite& out);

// Rebuilds only the image pixels of `area` (clipped to the canvas) of the composite and of every
// thumbnail, keeping the rest. Equal to the whole Recompose as long as the document changed only
// inside `area` since `out` was last built; rebuilds the whole when `out` was built for another
// size, layer count or checker colours.
void Recompose(const Document& doc, const TransparencyColors& colors, const Rect& area, Composite& out);

// The smallest rectangle holding both (an empty one adds nothing).
Rect UnionRect(const Rect& a, const Rect& b);
// The part of `r` on a width x height canvas.
Rect ClipRect(const Rect& r, int width, int height);

// Grid lines (red = green = blue = 100) on the last screen column and row of every image
// pixel's square, only when zoom >= 3. `originX/Y` is the canvas position of view pixel (0, 0).
void DrawGrid(Raster& view, int zoom, int originX = 0, int originY = 0);

// The zoomed view of the canvas rectangle `area` (canvas pixels): 8-pixel checkerboard aligned
// to the canvas origin, each opaque image pixel a zoom x zoom square, then the grid when `grid`.
// In a truecolour document each square is the composite pixel blended over the checker under
// it, screen pixel by screen pixel.
// `out` is resized to area's size; parts of `area` outside the canvas are left black.
void RenderZoomedView(const Document& doc, const Composite& comp, int zoom, const TransparencyColors& colors,
                      bool grid, const Rect& area, Raster& out);

// The whole zoomed bitmap, built step by step (checker, squares, grid). The reference the
// on-demand view must match, and the picture the preview of a whole canvas uses.
Raster BuildFullZoomedView(const Document& doc, const Composite& comp, int zoom, const TransparencyColors& colors,
                           bool grid);

}  // namespace pq
