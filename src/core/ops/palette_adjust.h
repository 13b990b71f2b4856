#pragma once
// The Palette menu's colour adjustments and the 16/256-colour switch. The adjustments rewrite
// the used Palette entries (0 .. ColorCount-1), red, green and blue only, and never a pixel: every
// pixel keeps its index, so all layers, hidden ones too, change at once. Entries at or beyond
// ColorCount and the reserved bytes are never touched.
//
// In a truecolour document the same adjustments recolour pixels instead: every pixel of every
// layer (hidden ones too) and of the floating selection gets the formula its colour would get as
// a palette entry, alpha unchanged. Pixels of alpha 0 show no colour and are left as stored. The
// swatches and the drawing colours are not image content and stay.
//
// The entry functions (…Entries) work on any palette table, so a dialog can adjust a copy; the
// picture functions build and adjust the live previews of the brightness and RGB dialogs.

#include <span>
#include <vector>

#include "core/document/document.h"
#include "core/document/edit_result.h"
#include "core/document/quality_reduction.h"
#include "core/raster/raster.h"

namespace pq {

// ---- the commands' names -----------------------------------------------------------------------

enum class PaletteCommandId { Brightness, Rgb, Grayscale, Invert, Solarize, ColorCount };

struct PaletteCommandInfo {
    PaletteCommandId Id;
    const char* ObjectName;   // the menu entry's name ("mcBlight")
    const char* Caption;      // menu caption as designed (the colour-count entry's is replaced, see below)
    const char* Step;         // undo step name
    const char* Hint;         // status-bar text
};

// The Palette menu's commands in menu order (the palette-file entries are not among them).
std::span<const PaletteCommandInfo> PaletteCommands();
const PaletteCommandInfo& PaletteCommand(PaletteCommandId id);

// The colour-count entry names the depth it switches to: "256色に変更(&I)" for a 16-colour
// document, "16色に変更(&I)" for a 256-colour one.
const char* ColorCountCaption(int colorCount);

// ---- amounts --------------------------------------------------------------------------------------

// Signed amounts added to red, green and blue (each -255..255 from the dialogs).
struct ChannelShift {
    int Red = 0, Green = 0, Blue = 0;
    static ChannelShift All(int d) { return ChannelShift{d, d, d}; }
};
inline constexpr int kMinShift = -255;
inline constexpr int kMaxShift = 255;

// The colour with each channel moved by its amount and clamped into 0..255.
Rgb ShiftColor(Rgb c, ChannelShift shift);
// ⌊(299·R + 587·G + 114·B) ÷ 1000⌋.
int GrayLevel(Rgb c);
// 255 - v per channel; per channel v > 127 -> 255 - v; all three channels -> GrayLevel.
Rgb InvertColor(Rgb c);
Rgb SolarizeColor(Rgb c);
Rgb GrayColor(Rgb c);

// ---- entry functions: entries 0 .. count-1 of `palette` -------------------------------------------

void InvertEntries(PaletteTable& palette, int count);     // v -> 255 - v
void SolarizeEntries(PaletteTable& palette, int count);   // per channel: v > 127 -> 255 - v
void GrayscaleEntries(PaletteTable& palette, int count);  // all three channels -> GrayLevel
void ShiftEntries(PaletteTable& palette, int count, ChannelShift shift);

// ---- commands: change doc.Palette (truecolour: the pixels), return the step with Redraw ----------

EditResult InvertPalette(Document& doc);       // "反転"
EditResult SolarizePalette(Document& doc);     // "ソラリゼーション"
EditResult GrayscalePalette(Document& doc);    // "グレースケール"
// "明るさ調整": d is clamped into -255..255, as the dialog's up-down keeps it.
EditResult AdjustBrightness(Document& doc, int d);
// "RGB調整": each amount is clamped into -255..255.
EditResult AdjustRgb(Document& doc, ChannelShift shift);

// "色数変更" to `colors` (16 or 256); Nothing when the document already has that depth or
// `colors` is neither. 16 -> 256 zeroes entries 16..255 and changes no pixel. 256 -> 16 rebuilds
// the palette from the painted pixels of all layers by colour reduction to at most 16 entries,
// remaps every layer, and resets DrawColor to 0 and AuxColor to 8. `options` picks the palette
// builder; a dither other than None then maps each layer's painted pixels, as the true colours of
// their old entries, to the new entries with that dither (each layer on its own, no error passing
// between layers) instead of to the nearest entry. Colours the new palette holds exactly stay
// undithered, so a picture of at most 16 colours comes out the same either way.
// A floating selection must be released first by the caller, as the filters do: when
// ColorCountNeedsRelease says so, run Deselect (its own "選択範囲クリア" step) before this
// call, because the reduction remaps the layers but not the floating planes. Should a caller
// forget, the content is put down here within this step rather than left with stale indices.
// Nothing in a truecolour document (ColorCountSwitchApplies; its conversions are
// ConvertToTrueColor and ConvertToPalette).
EditResult ChangeColorCount(Document& doc, int colors, const ReductionOptions& options = ReductionOptions{});
// True when ChangeColorCount(doc, colors) wants the selection released first.
bool ColorCountNeedsRelease(const Document& doc, int colors);
// The menu command: switches to the other depth.
inline EditResult ToggleColorCount(Document& doc, const ReductionOptions& options = ReductionOptions{}) {
    return ChangeColorCount(doc, doc.ColorCount == 16 ? 256 : 16, options);
}

// ---- previews ---------------------------------------------------------------------------------------

// The picture the adjustment dialogs preview: `backdrop` (ImageWidth x ImageHeight, whatever the
// dialog shows where nothing is painted) with every painted pixel of every visible layer drawn
// over it in its Palette colour, bottom layer first. A floating selection is drawn above the
// current layer as on the canvas. A truecolour document's visible layers are composed and
// blended over the backdrop as the canvas blends them over its checkerboard.
Raster AdjustmentPreviewSource(const Document& doc, const Raster& backdrop);
// The preview update: `out` becomes `source` with every pixel shifted and clamped (background
// pixels included, as they take part in the preview). `out` is resized to the source's size.
void ShiftPicture(const Raster& source, ChannelShift shift, Raster& out);

// What the brightness and RGB dialogs preview, taken once from the document. Shift gives the
// picture an amount would give: in a palette document the whole source picture shifted
// (ShiftPicture); in a truecolour one every visible layer's pixels shifted as AdjustRgb shifts
// them, composed again and blended over the unshifted backdrop, so a soft pixel previews exactly
// what the canvas shows after OK (shifting the blend with the backdrop would not).
class AdjustmentPreview {
public:
    AdjustmentPreview(const Document& doc, const Raster& backdrop);
    // The unadjusted picture.
    const Raster& Source() const { return source_; }
    // `out` (resized to the source's size) becomes the picture with `shift` applied.
    void Shift(ChannelShift shift, Raster& out) const;

private:
    Raster source_, backdrop_;
    std::vector<RgbaPlane> layers_;   // truecolour: the visible layers, floating pixels put down
    bool trueColor_ = false;
};

}  // namespace pq
