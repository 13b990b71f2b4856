#pragma once
// The neighbourhood filters of the effect submenu: one kernel engine driven by a table of
// eleven entries. Filters work on true colours: the current layer becomes a 24-bit picture
// (unpainted pixels white), the picture is filtered, and the result goes back through the colour
// reduction, which rebuilds the palette and remaps every layer. After a filter the current layer
// is painted everywhere.
//
// In a truecolour document the current layer's RGBA is filtered directly (ApplyKernelRgba): no
// picture, no reduction, the palette and the other layers untouched. The kernel works on
// premultiplied values, so a transparent pixel's colour never reaches its neighbours. The blurs
// spread alpha; the other filters keep each pixel's alpha and weigh each neighbour by its
// coverage (a transparent neighbour counts as a cell off the picture), so a flat colour stays
// flat at soft edges.
//
// Every filter acts on the whole current layer and ignores the selection: the caller releases a
// floating selection first as its own recorded step (Deselect, "選択範囲クリア"), then calls
// ApplyFilter. ReleasesSelectionFirst is true for every entry of kFilters.

#include <array>
#include <optional>
#include <string_view>

#include "core/document/document.h"
#include "core/document/edit_result.h"
#include "core/raster/raster.h"

namespace pq {

// Stable ids, in the order of the table (and of the submenu, where the pixel effects sit
// between Emboss and ContrastUp).
enum class FilterId {
    Blur = 0,
    StrongBlur,
    MotionBlurHorizontal,
    MotionBlurVertical,
    Sharpen,
    StrongSharpen,
    Relief,
    Emboss,
    ContrastUp,
    ContrastDown,
    EdgeDetect,
};

// A kernel of (2 * RadiusX + 1) columns by (2 * RadiusY + 1) rows, row by row from the top
// (dy = -RadiusY), each row from the left (dx = -RadiusX). Radii are at most 2 (5 x 5 cells),
// except the motion blurs' 3 along one axis (7 cells), so 25 slots always suffice.
struct FilterSpec {
    FilterId Id;
    const char* Key;         // stable ASCII name for command lines ("blur")
    const char* ObjectName;  // menu action name ("mieLowpass")
    const char* Caption;     // menu caption
    const char* UndoName;    // name of the recorded step
    const char* Hint;        // status-bar text
    int RadiusX, RadiusY;
    std::array<int, 25> Kernel;
    int Divisor;
    int Bias;
    bool ReleasesSelectionFirst;  // the caller must Deselect (and record it) before ApplyFilter

    int Columns() const { return 2 * RadiusX + 1; }
    int Rows() const { return 2 * RadiusY + 1; }
    // Weight of the neighbour at offset (dx, dy), dy positive downwards.
    int Weight(int dx, int dy) const { return Kernel[std::size_t((dy + RadiusY) * Columns() + dx + RadiusX)]; }
};

inline constexpr std::array<FilterSpec, 11> kFilters = {{
    {FilterId::Blur, "blur", "mieLowpass", "ぼかし", "ぼかし", "イメージをぼかします。", 1, 1,
     {1, 1, 1, 1, 8, 1, 1, 1, 1}, 16, 0, true},
    {FilterId::StrongBlur, "blur-strong", "mieLowpassL", "ぼかし(強)", "ぼかし(強)", "イメージを強くぼかします。", 2, 2,
     {0, 0, 1, 0, 0, 0, 1, 4, 1, 0, 1, 4, 8, 4, 1, 0, 1, 4, 1, 0, 0, 0, 1, 0, 0}, 32, 0, true},
    {FilterId::MotionBlurHorizontal, "motion-h", "mieLowpassMH", "移動(横)", "移動(横)", "移動しているようにぼかします。", 3, 0,
     {1, 2, 3, 4, 3, 2, 1}, 16, 0, true},
    {FilterId::MotionBlurVertical, "motion-v", "mieLowpassMV", "移動(縦)", "移動(縦)", "移動しているようにぼかします。", 0, 3,
     {1, 2, 3, 4, 3, 2, 1}, 16, 0, true},
    {FilterId::Sharpen, "sharpen", "mieHighpass", "シャープ", "シャープ", "イメージをシャープにします。", 1, 1,
     {-1, -1, -1, -1, 16, -1, -1, -1, -1}, 8, 0, true},
    {FilterId::StrongSharpen, "sharpen-strong", "mieHighpassL", "シャープ(強)", "シャープ(強)",
     "イメージをシャープよりシャープにします。", 2, 2,
     {0, 0, -1, 0, 0, 0, -1, -4, -1, 0, -1, -4, 32, -4, -1, 0, -1, -4, -1, 0, 0, 0, -1, 0, 0}, 8, 0, true},
    // Centre weight 0: each output is computed around the neighbour one right and one down.
    {FilterId::Relief, "relief", "mieRel", "レリーフ", "レリーフ", "イメージを浮き上がった感じにします。", 2, 2,
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 4, -2, 0, 0, 0, -2, 0}, 2, 0, true},
    {FilterId::Emboss, "emboss", "mieEmboss", "エンボス", "エンボス", "エンボスにします。", 1, 1,
     {1, 0, 0, 0, 0, 0, 0, 0, -1}, 1, 128, true},
    // Per pixel: 5c/4 - 32 and 3c/4 + 32.
    {FilterId::ContrastUp, "contrast-up", "mieContrastUp", "コントラストアップ", "コントラストアップ",
     "コントラストをアップします。", 0, 0, {5}, 4, -32, true},
    {FilterId::ContrastDown, "contrast-down", "mieContrastDown", "コントラストダウン", "コントラストダウン",
     "コントラストをダウンします。", 0, 0, {3}, 4, 32, true},
    {FilterId::EdgeDetect, "edges", "mieEd", "輪郭検出", "輪郭検出", "輪郭を検出します。", 1, 1,
     {-1, -1, -1, -1, 8, -1, -1, -1, -1}, 1, 0, true},
}};

const FilterSpec& SpecOf(FilterId id);
// The entry whose Key matches, or nothing.
std::optional<FilterId> FindFilter(std::string_view key);

// Filters `picture` in place with `filter`'s kernel. Every output pixel is computed from an
// unfiltered copy: kernel cells outside the picture contribute nothing and take their weight out
// of the divisor (a divisor brought to 0 counts as 1); each channel is Bias + sum / divisor in
// double precision, clamped to 0..255 and truncated.
void ApplyKernel(const FilterSpec& filter, Raster& picture);

// The blurs and motion blurs: their kernels average, so in truecolour they spread alpha as they
// spread colour. The other filters change colour only and keep every pixel's alpha.
bool SpreadsAlpha(FilterId id);

// Filters a w x h plane of straight-alpha pixels in place, with the same kernel, border rule
// (cells off the plane leave the divisor, 0 counts as 1) and truncation as ApplyKernel, on
// premultiplied values q = c * a, computed from an unfiltered copy:
// - SpreadsAlpha: alpha = sum(w * a) / D, colour = sum(w * q) / sum(w * a) (the premultiplied
//   average divided back once by the averaged alpha); a pixel left with alpha 0 becomes Rgba8{}.
// - otherwise the pixel keeps its alpha a, the offset is premultiplied by it too, and colour =
//   Bias + sum(w * q) / (D * a), clamped to 0..255; a pixel of alpha 0 stays exactly as it was.
// Where every pixel is opaque both give ApplyKernel's colours.
void ApplyKernelRgba(const FilterSpec& filter, RgbaPlane& pixels, int w, int h);

// Runs the filter on the current layer: LayerToBitmap, ApplyKernel, BitmapToLayer with the
// document's colour count. Returns the step with the filter's undo name (redraw, colours and
// layer rows refreshed). Expects no selection; a floating selection still present is put down
// silently first. In a truecolour document the layer goes through ApplyKernelRgba instead and
// only the canvas is redrawn. Nothing without layers or when the current layer does not fit.
EditResult ApplyFilter(Document& doc, FilterId id);

}  // namespace pq
