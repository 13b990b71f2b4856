#include "core/ops/compositing.h"

#include <algorithm>
#include <array>

#include "core/document/blend.h"
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

std::vector<Rgba8> BlendRgbaPlanes(const RgbaPlane& base, const RgbaPlane& overlay, int opacity) {
    if (base.size() != overlay.size()) return {};
    const int p = std::clamp(opacity, kMinOpacity, kMaxOpacity);
    std::vector<Rgba8> out(base.size());
    for (std::size_t i = 0; i < base.size(); ++i) out[i] = BlendOver(base[i], AtOpacity(overlay[i], p));
    return out;
}

namespace {

// A truecolour plane over the thumbnails' checkerboard; a plane of the wrong length shows the
// checkerboard alone.
Raster OverChecker(const std::vector<Rgba8>& pixels, int width, int height, const TransparencyColors& colors) {
    Raster r(width, height);
    PaintChecker(r, 4, colors);
    if (pixels.size() != std::size_t(width) * std::size_t(height)) return r;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgba8 c = pixels[std::size_t(x) + std::size_t(y) * std::size_t(width)];
            if (c.a == 0) continue;
            const Rgb under = r.Pixel(x, y);
            const Rgba8 shown = BlendOver(Rgba8{under.r, under.g, under.b, 255}, c);
            r.SetPixel(x, y, Rgb{shown.r, shown.g, shown.b});
        }
    return r;
}

bool ValidLayer(const Document& doc, int index) { return index >= 0 && index < doc.LayerCount(); }

}  // namespace

CompositePictures PreviewComposite(const Document& doc, int base, int overlay, int opacity,
                                   const TransparencyColors& colors) {
    CompositePictures out;
    if (!ValidLayer(doc, base) || !ValidLayer(doc, overlay)) return out;
    if (!doc.TrueColor) {
        out.Base = LayerToBitmap(doc, base);
        out.Overlay = LayerToBitmap(doc, overlay);
        out.Result = BlendPictures(out.Base, out.Overlay, opacity);
        return out;
    }
    const RgbaPlane& b = doc.LayerAt(base).Pixels;
    const RgbaPlane& o = doc.LayerAt(overlay).Pixels;
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    out.Base = OverChecker(b, w, h, colors);
    out.Overlay = OverChecker(o, w, h, colors);
    out.Result = OverChecker(BlendRgbaPlanes(b, o, opacity), w, h, colors);
    return out;
}

bool CanComposite(const Document& doc, int base, int overlay) {
    if (!OperationApplies(doc, OperationFamily::Compositing)) return false;
    if (!ValidLayer(doc, base) || !ValidLayer(doc, overlay) || base == overlay) return false;
    // Truecolour planes that do not fit the canvas cannot be blended pixel by pixel.
    return !doc.TrueColor || (LayerFits(doc, doc.LayerAt(base)) && LayerFits(doc, doc.LayerAt(overlay)));
}

EditResult CompositeLayers(Document& doc, int base, int overlay, int opacity) {
    if (!CanComposite(doc, base, overlay) || opacity < kMinOpacity || opacity > kMaxOpacity)
        return EditResult::Nothing();
    if (doc.HasSelection) {
        DropSelection(doc);
        doc.HasSelection = false;
    }
    if (doc.TrueColor) {
        doc.LayerAt(base).Pixels = BlendRgbaPlanes(doc.LayerAt(base).Pixels, doc.LayerAt(overlay).Pixels, opacity);
    } else {
        const Raster blend = BlendPictures(LayerToBitmap(doc, base), LayerToBitmap(doc, overlay), opacity);
        BitmapToLayer(doc, base, blend);
    }
    doc.RemoveLayer(overlay);
    EditResult r = EditResult::Recorded(CompositeCommand().Step);
    r.Redraw = true;
    r.RefreshColors = !doc.TrueColor;
    r.RebuildLayers = true;
    return r;
}

}  // namespace pq
