#pragma once
// A document's picture at another size, for the pages of an icon set made from one page: area
// averaging with exact coverage in whole numbers, the painted part decided by majority, and a
// new one-layer document of that picture in 16 or 256 colours.

#include "core/document/document.h"
#include "core/document/quality_reduction.h"
#include "core/raster/raster.h"

namespace pq {

// The visible layers composed bottom to top (as EncodeIcon composes them), resampled to width x height by area
// averaging with exact fractional coverage (integer arithmetic: target pixel j of w covers source [j*W, (j+1)*W) in
// units where source pixel i is [i*w, (i+1)*w)), separately weighted in x and y. This is pixel repetition when
// enlarging by a whole factor. A target pixel is painted when the painted source area it covers is at least half of
// its area (majority rule; exactly half counts as painted); its colour is the coverage-weighted mean of the PAINTED
// source pixels it covers only (unpainted pixels carry no colour), rounded to nearest. Unpainted pixels: colour 0,0,0.
// Painted holds 1 or 0 per pixel, row-major from the top-left. Width and height 1..kMaxResampleSide; the source any
// size. Empty (0 x 0) for a side outside that range or a source that is not set up.
struct ResampledPicture {
    int Width = 0, Height = 0;
    Raster Colors;
    Plane Painted;
};
inline constexpr int kMaxResampleSide = 256;
ResampledPicture ResamplePicture(const Document& src, int width, int height);

// A 24-bit picture resampled the same way, painted everywhere but where `transparent` (when given, one value per
// picture pixel) is non-zero.
ResampledPicture ResampleRaster(const Raster& picture, const Plane* transparent, int width, int height);

// Where a picture of pictureWidth x pictureHeight lands when fitted whole into a width x height frame keeping its
// proportions: as wide or as tall as the frame, the other side rounded to the nearest whole pixel (1 at least) and
// centred (an odd pixel left over goes to the right or bottom). Empty for a side of 0 or less.
Rect FitInside(int pictureWidth, int pictureHeight, int width, int height);

// A new one-layer document ("レイヤ1") of width x height and `colors` (16 or 256) colours: InitBlankDocument at
// selectedZoom, the resampled picture's painted pixels reduced with the existing colour reduction
// (ReducePaintedPicture with `options`), the hotspot scaled (x*width/srcW, y*height/srcH, clamped inside, HasHotspot
// kept), no Origin. A document that is not Ready when ResamplePicture gives nothing or `colors` is neither 16 nor 256.
Document ResampledDocument(const Document& src, int width, int height, int colors, int selectedZoom,
                           const ReductionOptions& options = ReductionOptions{});

}  // namespace pq
