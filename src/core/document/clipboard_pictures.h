#pragma once
// The pictures behind cut, copy and paste. The clipboard carries plain true-colour pictures:
// copy and cut put the selected pixels (or the whole current layer) on it, painted pixels in
// their palette colour and transparent ones white; paste turns the area the user picked from a
// clipboard picture into a new top layer, either mapped onto the palette or with the palette
// rebuilt for it ("最適化"). The clipboard itself is the window's; these functions only build
// pictures and change the document.

#include <optional>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/edit_result.h"
#include "core/document/quality_reduction.h"
#include "core/raster/raster.h"

namespace pq {

// What copy and cut place on the clipboard: the selection rectangle with the floating content
// it shows, or without a selection the whole canvas with the current layer. Changes nothing.
// A truecolour pixel is shown over white.
Raster ClipboardPicture(const Document& doc);

// A picture with straight alpha, row-major: the clipboard's form that keeps transparency.
struct RgbaPicture {
    int Width = 0, Height = 0;
    std::vector<Rgba8> Pixels;   // Width x Height
    friend bool operator==(const RgbaPicture&, const RgbaPicture&) = default;
};

// The same rectangle and pixels as ClipboardPicture with their alpha: truecolour pixels as
// they are, in a 16/256-colour document painted pixels in their palette colour with alpha 255
// and unpainted ones Rgba8{}. Positions whose floating source lies off the canvas are Rgba8{}.
RgbaPicture ClipboardRgbaPicture(const Document& doc);

// Cut, once the picture from ClipboardPicture is safely on the clipboard: with a selection the
// floating content is discarded and the selection ends (the lifted area stays transparent);
// without one the current layer becomes transparent. Records "切り取り". The window must not
// call this when writing the clipboard failed, so a failed cut leaves the document unchanged.
EditResult ApplyCut(Document& doc);

// Largest clipboard picture the paste accepts: each side, and the pixel count (the area picker
// shows the whole picture at 1:1 and keeps a second copy of it while the frame is drawn).
inline constexpr int kMaxPasteSide = 16384;
inline constexpr long long kMaxPastePixels = 64LL * 1024 * 1024;

// Checks a clipboard picture's size before it is converted or shown: the message for the user
// when the picture cannot be pasted (empty, or too large for the area picker), else nothing.
std::optional<std::string> PastePictureProblem(int width, int height);

// The area picker's first result: ImageWidth x ImageHeight, the clipboard picture drawn at
// (0, 0), white beyond a smaller picture.
Raster InitialPasteArea(const Document& doc, const Raster& clipboardPicture);

// Paste ("貼り付け"): commits a floating selection and ends it, then appends a new top layer
// (current) that receives the picked area, every pixel painted. With `optimize` the palette is
// rebuilt from the existing layers and the area (earlier layers are remapped, DrawColor and
// AuxColor reset to 0 and 8) with the palette builder and dither of `options`; otherwise each
// pixel takes the nearest of the first ColorCount palette entries, undithered. `area` should be
// ImageWidth x ImageHeight; another size is used from (0, 0) with white beyond it.
// In a truecolour document the new layer takes the area's colours with alpha 255 (white beyond
// a smaller area) and the palette is left alone.
EditResult PastePicture(Document& doc, const Raster& area, bool optimize,
                        const ReductionOptions& options = ReductionOptions{});

// Paste of a picture with alpha ("貼り付け"). Into a truecolour document the new top layer
// takes every pixel of the area at (0, 0) as it is, alpha included (transparent beyond a smaller
// area, and what lies beyond the canvas is left out). Into a 16/256-colour document the area is
// shown over white and pasted as PastePicture does.
EditResult PasteRgbaPicture(Document& doc, const RgbaPicture& area, bool optimize,
                            const ReductionOptions& options = ReductionOptions{});

}  // namespace pq
