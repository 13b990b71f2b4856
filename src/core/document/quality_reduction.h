#pragma once
// A higher-quality colour reduction beside median cut, and dithered mapping of pixels to a
// palette. The quality palette comes from a greedy variance-minimising split of the real colours
// followed by weighted k-medians passes, all under the error the editor measures: the sum of the
// three absolute channel differences between a pixel and the palette entry it is shown with.
// Everything here is deterministic: the same colours, in any order, give the same palette.

#include <cstdint>
#include <span>
#include <vector>

#include "core/document/document.h"
#include "core/raster/raster.h"

namespace pq {

enum class Quantizer { MedianCut, Quality };
enum class Dither { None, Diffusion, Ordered };

inline constexpr int kDefaultAlphaThreshold = 128;

struct ReductionOptions {
    Quantizer quantizer = Quantizer::MedianCut;
    Dither dither = Dither::None;
    int alphaThreshold = kDefaultAlphaThreshold;
    friend bool operator==(const ReductionOptions&, const ReductionOptions&) = default;
};

// A pixel with alpha >= threshold is painted.
constexpr bool IsPaintedAlpha(int alpha, int threshold = kDefaultAlphaThreshold) { return alpha >= threshold; }

// 1 for every painted pixel of row-major RGBA bytes (alpha every fourth byte), 0 elsewhere;
// one byte per whole pixel.
Plane PaintedFromRgba(std::span<const uint8_t> rgba, int threshold = kDefaultAlphaThreshold);

struct WeightedColor {
    Rgb color;
    int64_t count = 0;
};

// A palette of at most N (clamped to 1..256) entries for the given colours (repeats are merged,
// counts of 0 or less ignored). With N or fewer distinct colours the palette is exactly those
// colours. Entries come sorted by red, then green, then blue.
std::vector<Rgb> QualityPalette(std::span<const WeightedColor> colors, int N);

// Palette index of every pixel of `picture` (row-major, width x height) where `painted` is
// non-zero (nullptr: every pixel), 0 elsewhere. `painted`, when given, must hold width x height
// bytes; otherwise the result is empty. Whatever the dither, a pixel whose own colour is in the
// table gets that entry (the lowest index of equal entries) and passes on no error, and
// unpainted pixels neither take nor pass error.
//  None: the nearest entry (NearestColor).
//  Diffusion: Floyd-Steinberg error diffusion, rows alternately left to right and right to
//    left (serpentine). A pixel's colour is its own plus the rounded sixteenths of error it
//    received (rounding halves up), clamped to 0..255, then matched; the difference between that
//    colour and its entry goes 7/16 ahead, 3/16 behind below, 5/16 below and 1/16 ahead below.
//    Shares aimed at unpainted pixels or outside the picture are dropped.
//  Ordered: an 8 x 8 Bayer threshold b (0..63) at (x mod 8, y mod 8) shifts all three channels by
//    floor((2b - 63) * S / 128), clamped to 0..255, then matches. S, the palette's spread, is the
//    mean over entries of the largest channel difference to the entry's nearest other entry, so
//    the shift spans about one palette step (255 for black and white, 0 for a single colour).
std::vector<uint8_t> MapToPalette(const Raster& picture, const Plane* painted, const PaletteEntry* table, int n,
                                  Dither dither);

// ReduceColors and ReducePaintedPicture (color_reduction.h) with a choice of palette builder and
// of dither for the picture's pixels; other layers are remapped to their nearest entries. With
// default options these are exactly the plain functions. alphaThreshold is not used here: the
// caller decides which pixels are painted (PaintedFromRgba).
int ReduceColors(Document& doc, int N, int layer, const Raster* picture, const ReductionOptions& options);
int ReducePaintedPicture(Document& doc, int N, int layer, const Raster& picture, const Plane& painted,
                         const ReductionOptions& options);

}  // namespace pq
