#include "core/document/clipboard_pictures.h"

#include <algorithm>
#include <cstddef>

#include "core/document/blend.h"
#include "core/document/color_reduction.h"
#include "core/document/quality_reduction.h"
#include "core/document/selection.h"

namespace pq {
namespace {

// `picture` drawn at (0, 0) on a white width x height picture.
Raster OnWhite(const Raster& picture, int width, int height) {
    Raster out(width, height);
    out.Fill(kWhite);
    const int w = std::min(width, picture.Width()), h = std::min(height, picture.Height());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) out.SetPixelUnchecked(x, y, picture.PixelUnchecked(x, y));
    return out;
}

// The pixel shown at (x, y) of the copied content, with alpha: the floating source while a
// selection exists, else the current layer.
Rgba8 CopiedPixel(const Document& doc, int x, int y) {
    int px = x, py = y;
    if (doc.HasSelection) px -= doc.FloatDX, py -= doc.FloatDY;
    if (!doc.OnCanvas(px, py) || doc.CurrentLayer() < 0) return Rgba8{};
    const std::size_t p = std::size_t(px) + std::size_t(py) * std::size_t(doc.ImageWidth);
    const std::size_t n = std::size_t(doc.PixelCount());
    if (doc.TrueColor) {
        const RgbaPlane& plane = doc.HasSelection ? doc.FloatPixels : doc.Current().Pixels;
        return plane.size() == n ? plane[p] : Rgba8{};
    }
    const Plane& indices = doc.HasSelection ? doc.FloatIndices : doc.Current().Indices;
    const Plane& mask = doc.HasSelection ? doc.FloatMask : doc.Current().Mask;
    if (indices.size() != n || mask.size() != n || mask[p] == 0) return Rgba8{};
    const Rgb c = doc.ColorOf(indices[p]);
    return Rgba8{c.r, c.g, c.b, 255};
}

// The rectangle copy and cut take: the selection, or the whole canvas.
Rect CopiedRect(const Document& doc) {
    return doc.HasSelection ? doc.Selection() : Rect{0, 0, doc.ImageWidth, doc.ImageHeight};
}

}  // namespace

RgbaPicture ClipboardRgbaPicture(const Document& doc) {
    const Rect r = CopiedRect(doc);
    RgbaPicture pic;
    if (r.Empty()) return pic;
    pic.Width = r.Width();
    pic.Height = r.Height();
    pic.Pixels.resize(std::size_t(pic.Width) * std::size_t(pic.Height));
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            pic.Pixels[std::size_t(x - r.left) + std::size_t(y - r.top) * std::size_t(pic.Width)] = CopiedPixel(doc, x, y);
    return pic;
}

Raster ClipboardPicture(const Document& doc) {
    if (doc.TrueColor) {
        const RgbaPicture rgba = ClipboardRgbaPicture(doc);
        Raster pic(rgba.Width, rgba.Height);
        for (int y = 0; y < rgba.Height; ++y)
            for (int x = 0; x < rgba.Width; ++x) {
                const Rgba8 c = BlendOver(Rgba8{255, 255, 255, 255}, rgba.Pixels[std::size_t(x) + std::size_t(y) * rgba.Width]);
                pic.SetPixelUnchecked(x, y, Rgb{c.r, c.g, c.b});
            }
        return pic;
    }
    const int w = doc.ImageWidth;
    if (!doc.HasSelection) {
        Raster pic(w, doc.ImageHeight);
        pic.Fill(kWhite);
        const Layer& layer = doc.Current();
        for (int y = 0; y < doc.ImageHeight; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t p = std::size_t(x) + std::size_t(y) * w;
                if (layer.Mask[p] != 0) pic.SetPixelUnchecked(x, y, doc.ColorOf(layer.Indices[p]));
            }
        return pic;
    }
    const Rect r = doc.Selection();
    if (r.Empty()) return Raster();
    Raster pic(r.Width(), r.Height());
    pic.Fill(kWhite);
    const std::size_t n = std::size_t(doc.PixelCount());
    if (doc.FloatMask.size() != n || doc.FloatIndices.size() != n) return pic;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const int sx = x - doc.FloatDX, sy = y - doc.FloatDY;
            if (!doc.OnCanvas(sx, sy)) continue;
            const std::size_t s = std::size_t(sx) + std::size_t(sy) * w;
            if (doc.FloatMask[s] != 0) pic.SetPixelUnchecked(x - r.left, y - r.top, doc.ColorOf(doc.FloatIndices[s]));
        }
    return pic;
}

EditResult ApplyCut(Document& doc) {
    ClearTarget(doc);
    EditResult r = EditResult::Recorded("切り取り");
    r.Redraw = true;
    return r;
}

std::optional<std::string> PastePictureProblem(int width, int height) {
    if (width <= 0 || height <= 0) return std::string("クリップボードの画像が空のため、貼り付けできません。");
    if (width > kMaxPasteSide || height > kMaxPasteSide || (long long)width * height > kMaxPastePixels)
        return "クリップボードの画像（" + std::to_string(width) + "×" + std::to_string(height) +
               "ピクセル）は大きすぎるため、貼り付けできません。";
    return std::nullopt;
}

Raster InitialPasteArea(const Document& doc, const Raster& clipboardPicture) {
    return OnWhite(clipboardPicture, doc.ImageWidth, doc.ImageHeight);
}

EditResult PastePicture(Document& doc, const Raster& area, bool optimize, const ReductionOptions& options) {
    DropSelection(doc);
    doc.HasSelection = false;
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    const Raster picture = (area.Width() == w && area.Height() == h) ? area : OnWhite(area, w, h);
    doc.AppendLayer();
    if (doc.TrueColor) {
        Layer& layer = doc.Current();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Rgb c = picture.PixelUnchecked(x, y);
                layer.Pixels[std::size_t(x) + std::size_t(y) * w] = Rgba8{c.r, c.g, c.b, 255};
            }
    } else if (optimize) {
        ReduceColors(doc, doc.ColorCount, doc.CurrentLayer(), &picture, options);
        doc.DrawColor = 0;
        doc.AuxColor = 8;
    } else {
        const int n = std::clamp(doc.ColorCount, 1, 256);
        Layer& layer = doc.Current();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t p = std::size_t(x) + std::size_t(y) * w;
                layer.Indices[p] = uint8_t(NearestColor(picture.PixelUnchecked(x, y), doc.Palette.data(), n));
                layer.Mask[p] = 1;
            }
    }
    EditResult r = EditResult::Recorded("貼り付け");
    r.RebuildLayers = true;
    r.Redraw = true;
    r.RefreshColors = true;
    return r;
}

EditResult PasteRgbaPicture(Document& doc, const RgbaPicture& area, bool optimize, const ReductionOptions& options) {
    const bool sized = area.Width >= 0 && area.Height >= 0 &&
                       area.Pixels.size() == std::size_t(area.Width) * std::size_t(area.Height);
    const int aw = sized ? area.Width : 0, ah = sized ? area.Height : 0;
    if (!doc.TrueColor) {
        Raster onWhite(aw, ah);
        for (int y = 0; y < ah; ++y)
            for (int x = 0; x < aw; ++x) {
                const Rgba8 c = BlendOver(Rgba8{255, 255, 255, 255}, area.Pixels[std::size_t(x) + std::size_t(y) * aw]);
                onWhite.SetPixelUnchecked(x, y, Rgb{c.r, c.g, c.b});
            }
        return PastePicture(doc, onWhite, optimize, options);
    }
    DropSelection(doc);
    doc.HasSelection = false;
    doc.AppendLayer();
    Layer& layer = doc.Current();
    const int w = std::min(doc.ImageWidth, aw), h = std::min(doc.ImageHeight, ah);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            layer.Pixels[std::size_t(x) + std::size_t(y) * std::size_t(doc.ImageWidth)] =
                area.Pixels[std::size_t(x) + std::size_t(y) * std::size_t(aw)];
    EditResult r = EditResult::Recorded("貼り付け");
    r.RebuildLayers = true;
    r.Redraw = true;
    return r;
}

}  // namespace pq
