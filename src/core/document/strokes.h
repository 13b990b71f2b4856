#pragma once
// The pixel engines behind the drawing tools. Shapes are drawn in black on the white stencil
// doc.StrokeBitmap and TransferStroke writes the palette index into every pixel whose stencil
// pixel is pure black. In a truecolour document the same stencil replaces those pixels with
// StrokeRgba (alpha included), and erasing writes transparent Rgba8{}. Every engine writes into the document's EditTarget (the floating planes
// while a selection exists, else the current layer) and skips writes that fall outside it.
// Engines neither redraw nor record undo steps. Each returns the rectangle (canvas pixels) of
// the pixels it wrote, empty when it wrote none, so the caller can redraw just that.

#include <cstdint>
#include <optional>
#include <string>

#include "core/document/document.h"
#include "core/document/random.h"
#include "core/raster/raster.h"

namespace pq {

// A font as the text tool's chooser gives it.
struct FontSpec {
    std::string Face = "ＭＳ Ｐゴシック";
    int Height = 12;      // pixels
    int Charset = 128;    // SHIFTJIS_CHARSET
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

// Draws text black on an opaque white box with its top-left corner at (x, y) into the raster,
// clipped to it. The core ships no font code: the GUI implements this with its font engine,
// tests with a stand-in.
class TextDrawer {
public:
    virtual ~TextDrawer() = default;
    virtual void DrawText(Raster& target, int x, int y, const std::string& utf8Text, const FontSpec& font) = 0;
    // The same text antialiased, for a truecolour document: each pixel's grey level says how much
    // of it the glyphs cover (black fully, white not at all). A drawer without antialiasing
    // draws its hard-edged text.
    virtual void DrawSmoothText(Raster& target, int x, int y, const std::string& utf8Text, const FontSpec& font) {
        DrawText(target, x, y, utf8Text, font);
    }
};

// What the engines read from the program's tool state.
struct StrokeContext {
    int BrushSize = 1;          // 1..10
    uint8_t StrokeColor = 0;    // palette index that painting engines write
    Rgba8 StrokeRgba{0, 0, 0, 255};   // what they write in a truecolour document
};

// Stencil drawing (the stencil is doc.StrokeBitmap in the engines below).
void StampBrush(Raster& stencil, int size, int x, int y);
void TraceLine(Raster& stencil, int size, int x1, int y1, int x2, int y2);

// maskValue 0 erases. In a truecolour document the painted pixels become `rgba`, erased ones
// Rgba8{}.
Rect TransferStroke(Document& doc, uint8_t index, uint8_t maskValue, Rgba8 rgba = Rgba8{0, 0, 0, 255});
// Brush line; erase writes index 0 and mask 0, otherwise StrokeColor and mask 1.
Rect StampLine(Document& doc, const StrokeContext& ctx, int x1, int y1, int x2, int y2, bool erase);
// Airbrush burst of `count` dots drawn from the generator (four numbers a dot).
Rect Spray(Document& doc, const StrokeContext& ctx, int x, int y, int count, uint8_t maskValue, Lcg& random);
// Fills the 4-connected region of the same index (or of transparency) containing (x, y). In a
// truecolour document the region is that of the same RGBA value; every pixel of alpha 0 counts
// as the one transparency, whatever colour bytes it carries, as the canvas shows them alike.
Rect FloodFillAt(Document& doc, const StrokeContext& ctx, int x, int y, uint8_t maskValue);
// Clone brush: copies from the source point, offset by the anchor, along the stroke. A
// transparent source pixel (mask 0, alpha 0) leaves its target pixel as it is.
Rect CloneStroke(Document& doc, const StrokeContext& ctx, int x1, int y1, int x2, int y2);
// Text at (x, y); an empty text draws nothing. In a truecolour document the drawer's smooth
// text is drawn and its grey levels are coverage c = 255 - g: a fully covered pixel becomes
// StrokeRgba, as every tool writes it; a partly covered one the premultiplied mix of StrokeRgba
// (weight c) and what was there (weight 255 - c), which for an opaque StrokeRgba is exactly
// BlendOver of StrokeRgba at alpha a * c / 255, and over transparency that colour at that
// alpha. Pure white is left alone, so the edges never punch holes into what lies beneath.
Rect DrawTextAt(Document& doc, const StrokeContext& ctx, int x, int y, const std::string& utf8Text,
                const FontSpec& font, TextDrawer& drawer);
Rect DrawRectShape(Document& doc, const StrokeContext& ctx, int x1, int y1, int x2, int y2, bool filled);
Rect DrawEllipseShape(Document& doc, const StrokeContext& ctx, int x1, int y1, int x2, int y2, bool filled);

// The colour picker in a truecolour document: the RGBA of the pixel the tools would write at
// canvas (x, y), i.e. of the current layer, or of the floating content while a selection exists
// (the layer's own pixel, not the composite). Nothing off the planes or where alpha is 0, as an
// unpainted pixel picks nothing in a 16/256-colour document.
std::optional<Rgba8> PickTargetRgba(const Document& doc, int x, int y);

}  // namespace pq
