#pragma once
// The pictures behind cut, copy and paste. The clipboard carries plain true-colour pictures:
// copy and cut put the selected pixels (or the whole current layer) on it, painted pixels in
// their palette colour and transparent ones white; paste turns the area the user picked from a
// clipboard picture into a new top layer, either mapped onto the palette or with the palette
// rebuilt for it ("最適化"). The clipboard itself is the window's; these functions only build
// pictures and change the document.

#include <optional>
#include <string>

#include "core/document/document.h"
#include "core/document/edit_result.h"
#include "core/document/quality_reduction.h"
#include "core/raster/raster.h"

namespace pq {

// What copy and cut place on the clipboard: the selection rectangle with the floating content
// it shows, or without a selection the whole canvas with the current layer. Changes nothing.
Raster ClipboardPicture(const Document& doc);

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
EditResult PastePicture(Document& doc, const Raster& area, bool optimize,
                        const ReductionOptions& options = ReductionOptions{});

}  // namespace pq
