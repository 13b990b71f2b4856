#pragma once
// Drawing primitives on a Raster. Boxes are given by two corners with the right and bottom
// edges excluded; reversed corners are accepted (they are normalised first). Everything is
// clipped to the raster: nothing is written outside it.

#include <array>
#include <cstdint>

#include "core/raster/raster.h"

namespace pq {

// An 8 x 8 black-and-white pattern; true = black.
using Pattern8 = std::array<std::array<bool, 8>, 8>;

// Fills the rectangle (x1, y1)-(x2, y2), right/bottom excluded, in a solid colour.
void FillRect(Raster& r, int x1, int y1, int x2, int y2, Rgb c);

// One-pixel line from (x1, y1) to (x2, y2). The end point is included.
void DrawLine(Raster& r, int x1, int y1, int x2, int y2, Rgb c);

// Rectangle and ellipse inside the box (x1, y1)-(x2, y2), right/bottom excluded.
// penWidth 1..10 draws the outline inside the box with that thickness; filled paints the
// interior with the brush colour (hollow otherwise). A filled ellipse with pen 1 and the same
// pen and brush colour is the brush footprint. Ellipses are symmetric about both box axes,
// have no gaps, and a 3 x 3 filled ellipse is a plus sign.
void DrawRectangle(Raster& r, int x1, int y1, int x2, int y2, int penWidth, Rgb pen, bool filled, Rgb brush);
void DrawEllipse(Raster& r, int x1, int y1, int x2, int y2, int penWidth, Rgb pen, bool filled, Rgb brush);

// One-pixel frame on the border pixels of the rectangle (inside it), in a colour or with an
// 8 x 8 pattern (pattern aligned to the raster origin: pixel (x, y) uses pattern[y & 7][x & 7]).
void FrameRect(Raster& r, int x1, int y1, int x2, int y2, Rgb c);
void FrameRectPattern(Raster& r, int x1, int y1, int x2, int y2, const Pattern8& pattern, Rgb black, Rgb white);

// Repaints with `fill` the 4-connected region of pixels of colour `surface` that contains
// (x, y). Nothing happens when (x, y) is outside or not of that colour.
void FloodFillSurface(Raster& r, int x, int y, Rgb surface, Rgb fill);

enum class RasterOp { Copy, Or, And };
// Copies the w x h rectangle at (sx, sy) of src to (dx, dy) of dst, combined with the
// destination bytes by the operation; parts outside either raster are skipped.
void CopyRect(Raster& dst, int dx, int dy, const Raster& src, int sx, int sy, int w, int h,
              RasterOp op = RasterOp::Copy);

// Stretches the rectangle `from` of src onto the rectangle `to` of dst (nearest pixel:
// destination pixel centre maps back into the source).
void StretchCopy(Raster& dst, const Rect& to, const Raster& src, const Rect& from);

}  // namespace pq
