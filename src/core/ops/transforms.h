#pragma once
// Geometric transforms of the Image menu: flips, quarter turns, rotation by a whole number of
// degrees and the canvas size change. Flips and rotations move palette indices together with
// the mask (never colours or the palette), or whole RGBA pixels in a truecolour document, so
// every mode is transformed exactly, on the working planes (see working_area.h): the
// floating selection when one exists, otherwise the current layer only. The canvas size change
// acts on every layer and ends the selection itself. Each function changes the document and
// returns the step for the caller to record; none needs the selection released beforehand.

#include <array>
#include <optional>
#include <string_view>

#include "core/document/document.h"
#include "core/document/edit_result.h"
#include "core/ops/working_area.h"
#include "core/raster/raster.h"

namespace pq {

// Stable ids, in the order of the Image menu (size change first, then the rotation submenu).
enum class TransformId {
    Resize = 0,
    FlipHorizontal,
    FlipVertical,
    Rotate90,
    Rotate180,
    Rotate270,
    RotateByAngle,
};

struct TransformInfo {
    TransformId Id;
    const char* Key;         // stable ASCII name for command lines ("flip-h")
    const char* ObjectName;  // menu action name ("mirReverseH")
    const char* Caption;     // menu caption
    const char* Shortcut;    // key sequence text, "" for none
    const char* UndoName;    // name of the recorded step
    const char* Hint;        // status-bar text, "" for none
    bool HasDialog;          // a dialog collects the parameters first
};

inline constexpr std::array<TransformInfo, 7> kTransforms = {{
    {TransformId::Resize, "resize", "miSize", "サイズ変更(&S)...", "Ctrl+I", "サイズ変更",
     "キャンバスのサイズを変更します。", true},
    {TransformId::FlipHorizontal, "flip-h", "mirReverseH", "左右反転", "Ctrl+H", "左右反転", "", false},
    {TransformId::FlipVertical, "flip-v", "mirReverseV", "上下反転", "Ctrl+V", "上下反転", "", false},
    {TransformId::Rotate90, "rotate-90", "mir90", "90度回転", "", "90度回転", "", false},
    {TransformId::Rotate180, "rotate-180", "mir180", "180度回転", "", "180度回転", "", false},
    {TransformId::Rotate270, "rotate-270", "mir270", "270度回転", "", "270度回転", "", false},
    {TransformId::RotateByAngle, "rotate", "mirRotation", "角度指定...", "", "回転", "", true},
}};

const TransformInfo& InfoOf(TransformId id);
// The entry whose Key matches, or nothing.
std::optional<TransformId> FindTransform(std::string_view key);

// The size dialog's choices: new side = 16 + 16 * item index (16, 32, 48).
inline constexpr std::array<int, 3> kResizeSides = {16, 32, 48};
// Largest side ResizeCanvas accepts (the undo snapshots hold no larger canvas).
inline constexpr int kMaxCanvasSide = 4096;
// The angle field takes up to three digits; its up-down buttons step through 0..359 and wrap.
inline constexpr int kMaxTypedAngle = 999;

// How rotation by an angle and the scaled size change sample a truecolour picture. Nearest takes
// whole source pixels, the rule of every mode (pixel art stays crisp). Smooth blends the source
// pixels around each sample on premultiplied values and divides back once, so no colour of an
// alpha-0 pixel bleeds into its neighbours; both are deterministic. Palette documents always
// sample Nearest: their pixels are palette indices, which cannot be blended.
enum class Sampling { Nearest, Smooth };

// ---- engines on the working planes: change pixels only, return nothing ----------------------

// Swaps columns about the middle of the rectangle (an odd middle column stays).
void FlipHorizontalIn(const WorkingPlanes& planes, Rect r);
// Swaps rows about the middle of the rectangle (an odd middle row stays).
void FlipVerticalIn(const WorkingPlanes& planes, Rect r);

// ---- commands ---------------------------------------------------------------------------------

// "左右反転": mirrors the working rectangle left to right.
EditResult FlipHorizontal(Document& doc);
// "上下反転": mirrors the working rectangle top to bottom.
EditResult FlipVertical(Document& doc);
// "90度回転" (clockwise) / "270度回転": transposes the working rectangle about its top-left
// corner, then flips it. With a selection the rectangle keeps its top-left corner and takes the
// exchanged width and height; on a canvas that is not square the pixels transposed off the planes
// are lost and cells that receive none are unpainted.
EditResult QuarterTurn(Document& doc, bool clockwise);
// "180度回転": FlipHorizontal then FlipVertical, one step.
EditResult HalfTurn(Document& doc);
// "回転": nearest-neighbour rotation by `angleDegrees` about the working rectangle's centre,
// positive = counter-clockwise on screen. Every pixel of the planes is rebuilt from the
// rectangle only: corners turned out are lost, corners turned in are unpainted.
// Smooth (truecolour only) samples the same rotated position bilinearly instead of truncating
// it, pixels outside the rectangle counting as transparent, so the edges come out soft; a right
// angle moves whole pixels exactly about the centre pixel (Nearest may be a pixel off there,
// truncating positions that the cosine and sine of a right angle leave a hair below a whole one).
EditResult RotateByAngle(Document& doc, int angleDegrees, Sampling sampling = Sampling::Nearest);
// "サイズ変更": puts a floating selection down, then gives every layer the new size, anchored at
// the top-left (cropped or extended unpainted) or, with `scale`, resampled by nearest neighbour
// (Smooth in truecolour: ScaleRgbaSmooth).
// Ends the selection, forgets the clone source, caps Zoom at 10 when newWidth > 16, and resizes
// the stroke stencil. Nothing for a side below 1 or above kMaxCanvasSide.
EditResult ResizeCanvas(Document& doc, int newWidth, int newHeight, bool scale, Sampling sampling = Sampling::Nearest);

// Arguments of the dialog-driven transforms, for callers that dispatch by id.
struct TransformArgs {
    int AngleDegrees = 0;           // RotateByAngle
    int NewWidth = 16, NewHeight = 16;  // Resize
    bool Scale = false;             // Resize
    Sampling Sample = Sampling::Nearest;   // RotateByAngle and a scaled Resize, truecolour only
};
// Runs the transform `id` with the arguments it uses.
EditResult ApplyTransform(Document& doc, TransformId id, const TransformArgs& args = {});

}  // namespace pq
