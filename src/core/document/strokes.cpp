#include "core/document/strokes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/raster/drawing.h"

namespace pq {
namespace {

bool PlanesFit(const Plane& indices, const Plane& mask, std::size_t n) {
    return indices.size() >= n && mask.size() >= n;
}

// The EditTarget, or an empty one (covering nothing) when the model cannot take writes: no
// layer yet, or planes shorter than the canvas. The engines then write nothing instead of
// writing out of bounds.
EditTarget TargetOf(Document& doc) {
    if (doc.ImageWidth <= 0 || doc.ImageHeight <= 0) return EditTarget{};
    if (doc.HasSelection) {
        if (!FloatFits(doc)) return EditTarget{};
    } else {
        if (doc.CurrentLayer() < 0 || !LayerFits(doc, doc.Current())) return EditTarget{};
    }
    return GetEditTarget(doc);
}

bool Usable(const EditTarget& t) { return t.Indices != nullptr || t.Pixels != nullptr; }
bool Writable(const EditTarget& t, int x, int y) { return Usable(t) && t.Covers(x, y); }

// What a painting engine writes into one pixel, in either colour mode.
struct Ink {
    uint8_t Index = 0;
    uint8_t Mask = 1;       // 0 erases
    Rgba8 Color{0, 0, 0, 255};
};
Ink InkOf(const StrokeContext& ctx, uint8_t maskValue) { return Ink{ctx.StrokeColor, maskValue, ctx.StrokeRgba}; }

void Put(const EditTarget& t, std::size_t o, const Ink& ink) {
    if (t.Pixels) {
        t.Pixels[o] = ink.Mask != 0 ? ink.Color : Rgba8{};
        return;
    }
    t.Indices[o] = ink.Index;
    t.Mask[o] = ink.Mask;
}

// The stencil sized to the canvas and cleared to white.
Raster& ClearStencil(Document& doc) {
    Raster& s = doc.StrokeBitmap;
    if (s.Width() != doc.ImageWidth || s.Height() != doc.ImageHeight) s.Resize(doc.ImageWidth, doc.ImageHeight);
    s.Fill(kWhite);
    return s;
}

int PenWidth(const StrokeContext& ctx) { return std::clamp(ctx.BrushSize, 1, 10); }

// The brush line of StampLine and CloneStroke: the traced line plus the end point's footprint.
void StampStencil(Document& doc, const StrokeContext& ctx, int x1, int y1, int x2, int y2) {
    Raster& s = ClearStencil(doc);
    TraceLine(s, ctx.BrushSize, x1, y1, x2, y2);
    StampBrush(s, ctx.BrushSize, x2, y2);
}

bool IsBlack(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; }

// The bounding box of the pixels an engine wrote, grown one write at a time.
struct Touched {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool any = false;
    void Add(int x, int y) {
        if (!any) {
            x0 = x1 = x;
            y0 = y1 = y;
            any = true;
            return;
        }
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
    }
    Rect Box() const { return any ? Rect{x0, y0, x1 + 1, y1 + 1} : Rect{}; }
};

}  // namespace

void StampBrush(Raster& stencil, int size, int x, int y) {
    if (size < 2) {
        stencil.SetPixel(x, y, kBlack);
        return;
    }
    const int h = size / 2;
    DrawEllipse(stencil, x - h, y - h, x - h + size, y - h + size, 1, kBlack, true, kBlack);
}

// Stamps |major| + 1 points from the start to the end. The minor coordinate is the exact line
// position plus 0.5 truncated toward zero, so left of or above the origin it rounds toward 0.
void TraceLine(Raster& stencil, int size, int x1, int y1, int x2, int y2) {
    if (x1 == x2 && y1 == y2) return;
    const int ddx = x2 - x1, ddy = y2 - y1;
    const int sx = ddx > 0 ? 1 : -1, sy = ddy > 0 ? 1 : -1;
    if (std::abs(ddy) < std::abs(ddx)) {
        const double slope = double(ddy) / double(ddx);
        for (int i = 0; i <= std::abs(ddx); ++i) {
            const int x = x1 + i * sx;
            const int y = int(double(x - x1) * slope + y1 + 0.5);
            StampBrush(stencil, size, x, y);
        }
    } else {
        const double slope = double(ddx) / double(ddy);
        for (int i = 0; i <= std::abs(ddy); ++i) {
            const int y = y1 + i * sy;
            const int x = int(double(y - y1) * slope + x1 + 0.5);
            StampBrush(stencil, size, x, y);
        }
    }
}

Rect TransferStroke(Document& doc, uint8_t index, uint8_t maskValue, Rgba8 rgba) {
    const EditTarget t = TargetOf(doc);
    if (!Usable(t)) return Rect{};
    const Ink ink{index, maskValue, rgba};
    const Raster& s = doc.StrokeBitmap;
    Touched touched;
    for (int y = 0; y < s.Height(); ++y) {
        const uint8_t* row = s.Row(y);
        for (int x = 0; x < s.Width(); ++x) {
            if (!IsBlack(row + 3 * x) || !t.Covers(x, y)) continue;
            Put(t, t.Offset(x, y), ink);
            touched.Add(x, y);
        }
    }
    return touched.Box();
}

Rect StampLine(Document& doc, const StrokeContext& ctx, int x1, int y1, int x2, int y2, bool erase) {
    StampStencil(doc, ctx, x1, y1, x2, y2);
    return erase ? TransferStroke(doc, 0, 0) : TransferStroke(doc, ctx.StrokeColor, 1, ctx.StrokeRgba);
}

// Each dot takes four numbers in a fixed order (angle and radius across, angle and radius
// down); the offsets are independent, so dots fill a square-ish cloud rather than a circle.
Rect Spray(Document& doc, const StrokeContext& ctx, int x, int y, int count, uint8_t maskValue, Lcg& random) {
    if (count <= 0) return Rect{};
    const EditTarget t = TargetOf(doc);
    constexpr double kPi = std::numbers::pi;
    Touched touched;
    for (int i = 0; i < count; ++i) {
        const double ax = double(random.Next() % 360) * kPi / 180.0;
        const int px = int(double(x) + double(random.Next() % count) * 0.5 * std::cos(ax));
        const double ay = double(random.Next() % 360) * kPi / 180.0;
        const int py = int(double(y) + double(random.Next() % count) * 0.5 * std::sin(ay));
        if (!Writable(t, px, py)) continue;
        Put(t, t.Offset(px, py), InkOf(ctx, maskValue));
        touched.Add(px, py);
    }
    return touched.Box();
}

// Matching is by palette index (or by transparency), never by colour: the pixels that match
// the start pixel are drawn black on a white work raster, the black region connected to the
// start is flooded white, and every pixel that changed is written.
Rect FloodFillAt(Document& doc, const StrokeContext& ctx, int x, int y, uint8_t maskValue) {
    const EditTarget t = TargetOf(doc);
    if (!Writable(t, x, y)) return Rect{};
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    const std::size_t start = t.Offset(x, y);
    const bool painted = t.Pixels ? t.Pixels[start].a != 0 : t.Mask[start] != 0;
    const uint8_t seed = t.Indices ? t.Indices[start] : 0;
    const Rgba8 seedRgba = t.Pixels ? t.Pixels[start] : Rgba8{};
    // Erasing a transparent region would only scribble over the hidden index bytes.
    if (!painted && maskValue == 0) return Rect{};
    auto matches = [&](std::size_t o) {
        if (t.Pixels) return painted ? t.Pixels[o] == seedRgba : t.Pixels[o].a == 0;
        return painted ? (t.Mask[o] != 0 && t.Indices[o] == seed) : t.Mask[o] == 0;
    };

    Raster work(w, h);
    work.Fill(kWhite);
    for (int py = 0; py < h; ++py) {
        for (int px = 0; px < w; ++px) {
            if (!t.Covers(px, py)) continue;
            if (matches(t.Offset(px, py))) work.SetPixelUnchecked(px, py, kBlack);
        }
    }
    const Raster before = work;
    FloodFillSurface(work, x, y, kBlack, kWhite);
    Touched touched;
    for (int py = 0; py < h; ++py) {
        const uint8_t* a = work.Row(py);
        const uint8_t* b = before.Row(py);
        for (int px = 0; px < w; ++px) {
            if (a[3 * px] == b[3 * px] || !t.Covers(px, py)) continue;
            Put(t, t.Offset(px, py), InkOf(ctx, maskValue));
            touched.Add(px, py);
        }
    }
    return touched.Box();
}

// Column by column, top to bottom; source and target may be the same planes, and a read sees
// what this pass already wrote, which is what makes a stroke next to its own source smear.
Rect CloneStroke(Document& doc, const StrokeContext& ctx, int x1, int y1, int x2, int y2) {
    StampStencil(doc, ctx, x1, y1, x2, y2);
    const EditTarget t = TargetOf(doc);
    if (!Usable(t)) return Rect{};
    const std::size_t n = std::size_t(doc.PixelCount());
    uint8_t* srcIndices = nullptr;
    uint8_t* srcMask = nullptr;
    Rgba8* srcPixels = nullptr;
    if (doc.HasSelection && doc.CloneLayer == doc.CurrentLayer()) {
        srcIndices = doc.FloatIndices.data();
        srcMask = doc.FloatMask.data();
        srcPixels = doc.FloatPixels.data();
    } else {
        // A source layer that no longer exists clones nothing.
        if (doc.CloneLayer < 0 || doc.CloneLayer >= doc.LayerCount()) return Rect{};
        Layer& l = doc.LayerAt(doc.CloneLayer);
        if (doc.TrueColor ? l.Pixels.size() < n : !PlanesFit(l.Indices, l.Mask, n)) return Rect{};
        srcIndices = l.Indices.data();
        srcMask = l.Mask.data();
        srcPixels = l.Pixels.data();
    }
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    const Raster& s = doc.StrokeBitmap;
    Touched touched;
    for (int x = 0; x < w; ++x) {
        for (int y = 0; y < h; ++y) {
            if (!IsBlack(s.Row(y) + 3 * x) || !t.Covers(x, y)) continue;
            const int sx = doc.CloneSourceX + x - doc.CloneAnchorX;
            const int sy = doc.CloneSourceY + y - doc.CloneAnchorY;
            if (!doc.OnCanvas(sx, sy)) continue;
            const std::size_t so = std::size_t(sx) + std::size_t(sy) * std::size_t(w);
            const std::size_t to = t.Offset(x, y);
            if (t.Pixels) {
                if (srcPixels[so].a == 0) continue;
                t.Pixels[to] = srcPixels[so];
            } else {
                if (srcMask[so] == 0) continue;
                t.Indices[to] = srcIndices[so];
                t.Mask[to] = srcMask[so];
            }
            touched.Add(x, y);
        }
    }
    return touched.Box();
}

namespace {

// src over dst by coverage c (1..255) on premultiplied values, each rounded to nearest once:
// weights src.a * c and dst.a * (255 - c), the sums of BlendOver when src.a is 255.
Rgba8 CoverageMix(Rgba8 dst, Rgba8 src, unsigned c) {
    if (c >= 255) return src;
    const unsigned ws = unsigned(src.a) * c, wd = unsigned(dst.a) * (255u - c);
    const unsigned total = ws + wd;
    if (total == 0) return Rgba8{};
    auto mix = [&](unsigned s, unsigned d) { return uint8_t((s * ws + d * wd + total / 2) / total); };
    return Rgba8{mix(src.r, dst.r), mix(src.g, dst.g), mix(src.b, dst.b), uint8_t((total + 127) / 255)};
}

}  // namespace

Rect DrawTextAt(Document& doc, const StrokeContext& ctx, int x, int y, const std::string& utf8Text,
                const FontSpec& font, TextDrawer& drawer) {
    if (utf8Text.empty()) return Rect{};
    Raster& s = ClearStencil(doc);
    if (!doc.TrueColor) {
        drawer.DrawText(s, x, y, utf8Text, font);
        return TransferStroke(doc, ctx.StrokeColor, 1);
    }
    drawer.DrawSmoothText(s, x, y, utf8Text, font);
    // Truecolour: the stencil's darkness is the glyph's coverage of each pixel.
    const EditTarget t = TargetOf(doc);
    if (!Usable(t)) return Rect{};
    Touched touched;
    for (int py = 0; py < s.Height(); ++py) {
        const uint8_t* row = s.Row(py);
        for (int px = 0; px < s.Width(); ++px) {
            const uint8_t* p = row + 3 * px;
            const unsigned grey = (unsigned(p[0]) + p[1] + p[2] + 1) / 3;
            if (grey >= 255 || !t.Covers(px, py)) continue;
            Rgba8& dst = t.Pixels[t.Offset(px, py)];
            dst = CoverageMix(dst, ctx.StrokeRgba, 255 - grey);
            touched.Add(px, py);
        }
    }
    return touched.Box();
}

Rect DrawRectShape(Document& doc, const StrokeContext& ctx, int x1, int y1, int x2, int y2, bool filled) {
    Raster& s = ClearStencil(doc);
    DrawRectangle(s, x1, y1, x2, y2, PenWidth(ctx), kBlack, filled, kBlack);
    return TransferStroke(doc, ctx.StrokeColor, 1, ctx.StrokeRgba);
}

Rect DrawEllipseShape(Document& doc, const StrokeContext& ctx, int x1, int y1, int x2, int y2, bool filled) {
    Raster& s = ClearStencil(doc);
    DrawEllipse(s, x1, y1, x2, y2, PenWidth(ctx), kBlack, filled, kBlack);
    return TransferStroke(doc, ctx.StrokeColor, 1, ctx.StrokeRgba);
}

std::optional<Rgba8> PickTargetRgba(const Document& doc, int x, int y) {
    if (!doc.TrueColor || doc.CurrentLayer() < 0) return std::nullopt;
    const RgbaPlane& plane = doc.HasSelection ? doc.FloatPixels : doc.Current().Pixels;
    const int px = doc.HasSelection ? x - doc.FloatDX : x, py = doc.HasSelection ? y - doc.FloatDY : y;
    if (!doc.OnCanvas(px, py) || plane.size() != std::size_t(doc.PixelCount())) return std::nullopt;
    const Rgba8 c = plane[std::size_t(px) + std::size_t(py) * std::size_t(doc.ImageWidth)];
    if (c.a == 0) return std::nullopt;
    return c;
}

}  // namespace pq
