#pragma once
// Blending two layers ("合成" in the Layer menu). In a 16/256-colour document both layers are
// taken as true-colour pictures (unpainted pixels white), blended per channel at an opacity, and
// the blend replaces the base layer through the colour reduction, which rebuilds the Palette and
// remaps every other layer. In a truecolour document the overlay, its alpha scaled by the
// opacity, is drawn over the base with BlendOver; the Palette is untouched. Either way the
// overlay layer is then removed.

#include <vector>

#include "core/document/document.h"
#include "core/document/edit_result.h"
#include "core/document/render.h"
#include "core/raster/raster.h"

namespace pq {

struct CompositeCommandInfo {
    const char* ObjectName;   // "N21"
    const char* Caption;      // "合成"
    const char* Step;         // "合成"
    const char* Hint;         // none: ""
};
const CompositeCommandInfo& CompositeCommand();

inline constexpr int kMinOpacity = 0;
inline constexpr int kMaxOpacity = 100;
// The dialog's defaults: base layer 0, overlay layer 1, opacity 50.
inline constexpr int kDefaultOpacity = 50;

// One channel of the blend of c1 (base) and c2 (overlay) at opacity p: ⌊c1·(100−p) ÷ 100⌋ +
// ⌊c2·p ÷ 100⌋, two separate truncations (so 255 and 255 at 33 give 254).
int BlendChannel(int c1, int c2, int opacity);

// The preview and the stored blend: pixel by pixel BlendChannel of the two same-sized pictures;
// opacity is clamped into 0..100. An empty picture when the sizes differ.
Raster BlendPictures(const Raster& base, const Raster& overlay, int opacity);

// Truecolour: the overlay pixel at opacity p (0..100) is the pixel with alpha ⌊a·p ÷ 100⌋,
// truncated as the palette blend truncates the overlay's share; colour bytes are kept.
inline Rgba8 AtOpacity(Rgba8 c, int opacity) {
    c.a = uint8_t(unsigned(c.a) * unsigned(opacity) / 100u);
    return c;
}

// Truecolour: per pixel BlendOver(base, AtOpacity(overlay, opacity)); opacity is clamped into
// 0..100. Empty when the planes differ in length.
std::vector<Rgba8> BlendRgbaPlanes(const RgbaPlane& base, const RgbaPlane& overlay, int opacity);

// What the dialog shows: the base and overlay layers and the blend, each width x height. A
// palette document gives LayerToBitmap of both layers and BlendPictures; a truecolour one each
// plane over the checkerboard of the layer thumbnails (4-pixel squares in `colors`), so that
// transparency stays visible. Empty pictures for a layer that does not exist.
struct CompositePictures {
    Raster Base, Overlay, Result;
};
CompositePictures PreviewComposite(const Document& doc, int base, int overlay, int opacity,
                                   const TransparencyColors& colors);

// Whether the command may run with these layers: both exist and differ (so a document needs at
// least two layers). Blending a layer with itself would store the blend and then remove that very
// layer, losing it; the dialog keeps OK disabled while both lists name the same layer.
bool CanComposite(const Document& doc, int base, int overlay);

// "合成": in a palette document, base layer <- BitmapToLayer(blend of LayerToBitmap(base) and
// LayerToBitmap(overlay)), every base pixel painted; in a truecolour one, base Pixels <-
// BlendRgbaPlanes(base, overlay), whatever either layer's visibility. Then RemoveLayer(overlay):
// the layer that slides into its place, or the new top one, becomes current (so base 2 over 0
// ends at index 1). Returns Nothing, changing nothing, when !CanComposite or the opacity is
// outside 0..100. Redraw and RebuildLayers are set, and RefreshColors when the Palette was
// rebuilt (palette documents).
// A floating selection must be released by the caller first, as the filters do (the dialog
// releases it when it takes its pictures: Deselect, its own "選択範囲クリア" step). Should a
// caller forget, the content is put down here within this step rather than left floating over
// a layer that may be removed.
EditResult CompositeLayers(Document& doc, int base, int overlay, int opacity);

}  // namespace pq
