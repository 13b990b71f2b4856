#pragma once
// Bringing true colours back into the palette world: the nearest palette entry of a colour, and
// median-cut reduction of every colour in use to at most N entries with remapping of every layer.

#include "core/document/document.h"
#include "core/document/edit_result.h"
#include "core/raster/raster.h"

namespace pq {

// Index 0..n-1 of the entry with the smallest sum of absolute channel differences; ties keep
// the lowest index; 0 when n is 0.
int NearestColor(Rgb color, const PaletteEntry* table, int n);

// Builds a new palette of K <= N entries from the colours of every painted (Mask == 1) pixel of
// every layer and, when given, every pixel of `picture` (ImageWidth x ImageHeight), remaps every
// layer, stores the picture into `layer` (all painted) and returns K. Records nothing, redraws
// nothing. N is 16 or 256.
int ReduceColors(Document& doc, int N, int layer, const Raster* picture);

// For a picture with transparent parts: the palette (first N entries) becomes the reduction of
// the colours of the picture's pixels where `painted` is non-zero (both ImageWidth x
// ImageHeight), exactly as ReduceColors would reduce a picture of those pixels alone in row
// order; `layer` is painted there with the nearest entries and unpainted (index 0) elsewhere.
// Other layers are neither read nor remapped: meant for a freshly set-up document. Returns K,
// 0 when nothing is painted (the palette is then left as it was).
int ReducePaintedPicture(Document& doc, int N, int layer, const Raster& picture, const Plane& painted);

// ReduceColors with the document's own colour count.
int BitmapToLayer(Document& doc, int layer, const Raster& picture);

// A 24-bit picture of one layer, unpainted pixels white.
Raster LayerToBitmap(const Document& doc, int layer);

struct ReductionOptions;

// "フルカラーに変換": a 16/256-colour document becomes truecolour without loss: every painted
// pixel of every layer and of the floating content becomes its palette colour with alpha 255,
// every unpainted one transparent Rgba8{}. The palette stays as the swatches, DrawRgba and
// AuxRgba take the colours of DrawColor and AuxColor, and a selection keeps floating. Nothing
// for a document that is truecolour already.
EditResult ConvertToTrueColor(Document& doc);
// "256色に変換" / "16色に変換": a truecolour document becomes one of `colors` (16 or 256). A
// pixel whose alpha is below options.alphaThreshold becomes unpainted; the others, of every layer
// (hidden ones too) and of the floating content, build one palette with the options' builder
// and take its entries through the options' dither, each layer dithered on its own. DrawColor
// and AuxColor become 0 and 8; a selection keeps floating. Nothing for a palette document or
// another colour count.
EditResult ConvertToPalette(Document& doc, int colors, const ReductionOptions& options);

}  // namespace pq
