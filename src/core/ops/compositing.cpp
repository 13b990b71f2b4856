#include "core/ops/compositing.h"

#include <algorithm>
#include <array>

#include "core/document/color_reduction.h"
#include "core/document/selection.h"
#include "core/ops/working_area.h"

namespace pq {

const CompositeCommandInfo& CompositeCommand() {
    static constexpr CompositeCommandInfo kInfo{"N21", "合成", "合成", ""};
    return kInfo;
}

int BlendChannel(int c1, int c2, int opacity) { return c1 * (100 - opacity) / 100 + c2 * opacity / 100; }

Raster BlendPictures(const Raster& base, const Raster& overlay, int opacity) {
    if (base.Width() != overlay.Width() || base.Height() != overlay.Height()) return Raster();
    const int p = std::clamp(opacity, kMinOpacity, kMaxOpacity);
    // Every channel value of either picture meets the same weight, and BlendChannel truncates
    // each picture's share on its own: two tables of 256 shares give it exactly.
    std::array<uint8_t, 256> fromBase, fromOverlay;
    for (int v = 0; v < 256; ++v) {
        fromBase[std::size_t(v)] = uint8_t(BlendChannel(v, 0, p));
        fromOverlay[std::size_t(v)] = uint8_t(BlendChannel(0, v, p));
    }
    Raster out(base.Width(), base.Height());
    const int bytes = 3 * base.Width();
    for (int y = 0; y < base.Height(); ++y) {
        const uint8_t* a = base.Row(y);
        const uint8_t* b = overlay.Row(y);
        uint8_t* o = out.Row(y);
        for (int i = 0; i < bytes; ++i) o[i] = uint8_t(fromBase[a[i]] + fromOverlay[b[i]]);
    }
    return out;
}

bool CanComposite(const Document& doc, int base, int overlay) {
    const int n = doc.LayerCount();
    if (!OperationApplies(doc, OperationFamily::Compositing)) return false;
    return base >= 0 && base < n && overlay >= 0 && overlay < n && base != overlay;
}

EditResult CompositeLayers(Document& doc, int base, int overlay, int opacity) {
    if (!CanComposite(doc, base, overlay) || opacity < kMinOpacity || opacity > kMaxOpacity)
        return EditResult::Nothing();
    if (doc.HasSelection) {
        DropSelection(doc);
        doc.HasSelection = false;
    }
    const Raster blend = BlendPictures(LayerToBitmap(doc, base), LayerToBitmap(doc, overlay), opacity);
    BitmapToLayer(doc, base, blend);
    doc.RemoveLayer(overlay);
    EditResult r = EditResult::Recorded(CompositeCommand().Step);
    r.Redraw = true;
    r.RefreshColors = true;
    r.RebuildLayers = true;
    return r;
}

}  // namespace pq
