#pragma once
// Bringing true colours back into the palette world: the nearest palette entry of a colour, and
// median-cut reduction of every colour in use to at most N entries with remapping of every layer.

#include "core/document/document.h"
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

}  // namespace pq
