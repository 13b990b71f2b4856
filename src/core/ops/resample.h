#pragma once
// A document's picture at another size, for the pages of an icon set made from one page: area
// averaging with exact coverage in whole numbers, the painted part decided by majority, and a
// new one-layer document of that picture in 16 or 256 colours.

#include <algorithm>
#include <cstdint>
#include <vector>

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

// ResampleRaster fed the picture one row at a time, top to bottom, so that a picture being decoded need not be held
// whole: the same bytes. A row may come in pieces, so that not even one row of a very wide picture is held. Each row
// is summed into one set of sums per target pixel of the row (nothing is kept per source pixel), and each target row
// is finished from those sums as soon as its last source row is in.
class AreaAverager {
public:
    // A pictureWidth x pictureHeight picture (both 1 or more) to width x height (1..kMaxResampleSide); with
    // `transparency` the rows come with their transparent pixels.
    AreaAverager(int pictureWidth, int pictureHeight, int width, int height, bool transparency = false);
    // The next row: pictureWidth pixels of blue, green and red, and (with transparency) one byte per pixel,
    // non-zero where the pixel is transparent. Rows past the last are ignored.
    void AddRow(const std::uint8_t* bgr, const std::uint8_t* transparent = nullptr);
    // Pixels [x, x + n) of the next row, the pieces of a row one after another from x = 0; the row is complete with
    // its last piece (x + n = pictureWidth).
    void AddPiece(int x, int n, const std::uint8_t* bgr, const std::uint8_t* transparent = nullptr);
    // The picture once every row is in (target rows never reached stay unpainted).
    ResampledPicture Take() { return std::move(out_); }

private:
    void FinishTargetRow();

    int W_, H_, w_, h_;
    bool transparency_;
    // Target pixel j covers source pixels First[j] .. First[j] + Count[j] - 1, with overlap lengths FirstLen[j] for the
    // first, LastLen[j] for the last and the target side for those between.
    struct Axis {
        std::vector<int> First, Count;
        std::vector<std::uint32_t> FirstLen, LastLen;
    } across_, down_;
    std::vector<std::uint64_t> rowSums_;   // per target column and channel: sum of length x value over this row
    std::vector<std::uint64_t> rowCover_;  // per target column: sum of the lengths of this row's painted pixels
    std::vector<std::uint64_t> sums_;      // per target column and channel: the same weighted by row lengths
    std::vector<std::uint64_t> cover_;
    int row_ = 0, targetRow_ = 0, step_ = 0;   // next source row; target row being summed; its next length
    ResampledPicture out_;
};

// Straight-alpha RGBA pixels (pictureWidth x pictureHeight, row-major from the top-left) at width x height by area
// averaging with the same exact coverage as ResamplePicture, on premultiplied values: with w the coverage weight of a
// source pixel, the result alpha is sum(w*a) / sum(w) and each channel sum(w*a*c) / sum(w*a), each rounded to
// nearest (halves up) from the exact sums, so the colour is divided back once and a pixel of alpha 0 lends no colour
// to its neighbours. A result of alpha 0 is (0, 0, 0, 0). Any side 1 or more on either end (whole or not whole
// ratios, shrinking or enlarging); empty when a side is 0 or less or the pixels do not match the size.
std::vector<Rgba8> ResampleRgba(const std::vector<Rgba8>& pixels, int pictureWidth, int pictureHeight, int width,
                                int height);

// Straight-alpha RGBA pixels (pictureWidth x pictureHeight) at width x height, smoothly: each target pixel centre
// maps to source position u = (x + 0.5) * W / w - 0.5 (likewise in y), and the source pixels i within r of it weigh
// 1 - |i - u| / r, r = max(1, W / w): bilinear when enlarging, a tent over the pixels covered when shrinking, so every
// source pixel counts. Weights of positions outside the picture are dropped and the rest normalised (the edges do not
// fade). Premultiplied: alpha sum(w*a), each channel sum(w*a*c) / sum(w*a), rounded to nearest (PremultipliedMean).
// The same size gives the pixels back. Empty when a side is 0 or less or the pixels do not match the size.
std::vector<Rgba8> ScaleRgbaSmooth(const std::vector<Rgba8>& pixels, int pictureWidth, int pictureHeight, int width,
                                   int height);

// The straight pixel of premultiplied sums whose weights add up to 1: alpha `a`, colour r / a, g / a, b / a, each
// rounded to nearest and kept within 0..255; (0, 0, 0, 0) when the alpha rounds to 0.
inline Rgba8 PremultipliedMean(double a, double r, double g, double b) {
    const double alpha = a + 0.5;
    if (alpha < 1) return Rgba8{};
    auto channel = [a](double v) { return std::uint8_t(std::min(255.0, v / a + 0.5)); };
    return Rgba8{channel(r), channel(g), channel(b), std::uint8_t(std::min(255.0, alpha))};
}

// Where a picture of pictureWidth x pictureHeight lands when fitted whole into a width x height frame keeping its
// proportions: as wide or as tall as the frame, the other side rounded to the nearest whole pixel (1 at least) and
// centred (an odd pixel left over goes to the right or bottom). Empty for a side of 0 or less.
Rect FitInside(int pictureWidth, int pictureHeight, int width, int height);

// A new one-layer document ("レイヤ1") of width x height and `colors` (16 or 256) colours: InitBlankDocument at
// selectedZoom, the resampled picture's painted pixels reduced with the existing colour reduction
// (ReducePaintedPicture with `options`), the hotspot scaled (x*width/srcW, y*height/srcH, clamped inside, HasHotspot
// kept), no Origin. A document that is not Ready when ResamplePicture gives nothing or `colors` is neither 16 nor 256.
// A truecolour source gives a truecolour document whatever `colors` says: InitBlankTrueColorDocument, its one layer
// the visible layers composed (ComposeRgbaLayers) and resampled by ResampleRgba, the source's swatches and drawing
// colours kept, the hotspot scaled the same way.
Document ResampledDocument(const Document& src, int width, int height, int colors, int selectedZoom,
                           const ReductionOptions& options = ReductionOptions{});

// A new truecolour document ("レイヤ1") of width x height (1..kMaxResampleSide) holding a straight-alpha picture
// fitted whole inside it as FitInside places it, resampled by ResampleRgba; what the picture does not cover is
// transparent. Not Ready for a size out of range or pixels that do not match the picture's size.
Document FittedTrueColorDocument(const std::vector<Rgba8>& pixels, int pictureWidth, int pictureHeight, int width,
                                 int height, int selectedZoom);

}  // namespace pq
