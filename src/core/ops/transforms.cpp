#include "core/ops/transforms.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/document/selection.h"
#include "core/ops/resample.h"

namespace pq {
namespace {

// A plane of the old canvas size w x h at the new size: anchored at the top-left (cropped, or
// extended with `blank`) or, with `scale`, resampled by nearest neighbour. A plane that does
// not match the old canvas has nothing trustworthy to keep and comes back blank. The same
// geometry for index, mask and RGBA planes.
template <class P>
P ResizedPlane(const P& old, int w, int h, int newWidth, int newHeight, bool scale, typename P::value_type blank) {
    const std::size_t oldPixels = std::size_t(std::max(w, 0)) * std::size_t(std::max(h, 0));
    P out(std::size_t(newWidth) * std::size_t(newHeight), blank);
    if (oldPixels == 0 || old.size() != oldPixels) return out;
    for (int y = 0; y < newHeight; ++y)
        for (int x = 0; x < newWidth; ++x) {
            int sx = x, sy = y;
            if (scale) {
                sx = int(int64_t(x) * w / newWidth);
                sy = int(int64_t(y) * h / newHeight);
            } else if (x >= w || y >= h) {
                continue;
            }
            out[std::size_t(x) + std::size_t(y) * std::size_t(newWidth)] = old[std::size_t(sx) + std::size_t(sy) * std::size_t(w)];
        }
    return out;
}

// The smooth rotation of an RGBA plane: each target pixel samples the rotated position the
// nearest rule truncates, bilinearly from its four neighbours of the rectangle (any outside
// count as transparent), on premultiplied values divided back once.
void RotateSmooth(const WorkingPlanes& wp, Rect r, int cx, int cy, double c, double s) {
    // cos and sin of a right angle are not exactly 0 and 1: positions within this of a whole
    // pixel are taken as that pixel, so right angles move pixels exactly.
    constexpr double kSnap = 1e-9;
    auto snapped = [](double v) {
        const double whole = std::round(v);
        return std::abs(v - whole) < kSnap ? whole : v;
    };
    RgbaPlane out(wp.PixelCount(), Rgba8{});
    for (int y = 0; y < wp.Height; ++y)
        for (int x = 0; x < wp.Width; ++x) {
            const double u = snapped(cx + ((x - cx) * c - (y - cy) * s));
            const double v = snapped(cy + ((x - cx) * s + (y - cy) * c));
            const double fu = std::floor(u), fv = std::floor(v);
            // Far outside the rectangle: no neighbour to blend.
            if (fu < r.left - 1 || fu >= r.right || fv < r.top - 1 || fv >= r.bottom) continue;
            const int i0 = int(fu), j0 = int(fv);
            const double ax = u - fu, ay = v - fv;
            double sa = 0, sr = 0, sg = 0, sb = 0;
            for (int dj = 0; dj < 2; ++dj)
                for (int di = 0; di < 2; ++di) {
                    const int i = i0 + di, j = j0 + dj;
                    if (i < r.left || i >= r.right || j < r.top || j >= r.bottom) continue;
                    const double w = (di ? ax : 1 - ax) * (dj ? ay : 1 - ay);
                    const Rgba8 p = wp.Pixels[wp.At(i, j)];
                    const double wa = w * p.a;
                    sa += wa, sr += wa * p.r, sg += wa * p.g, sb += wa * p.b;
                }
            out[wp.At(x, y)] = PremultipliedMean(sa, sr, sg, sb);
        }
    std::copy(out.begin(), out.end(), wp.Pixels);
}

EditResult Step(TransformId id) {
    EditResult r = EditResult::Recorded(InfoOf(id).UndoName);
    r.Redraw = true;
    return r;
}

}  // namespace

const TransformInfo& InfoOf(TransformId id) {
    for (const TransformInfo& t : kTransforms)
        if (t.Id == id) return t;
    return kTransforms[0];
}

std::optional<TransformId> FindTransform(std::string_view key) {
    for (const TransformInfo& t : kTransforms)
        if (key == t.Key) return t.Id;
    return std::nullopt;
}

void FlipHorizontalIn(const WorkingPlanes& planes, Rect r) {
    const int half = (r.left + r.right) / 2;
    for (int x = r.left; x < half; ++x)
        for (int y = r.top; y < r.bottom; ++y) planes.Swap(planes.At(x, y), planes.At(r.left + r.right - 1 - x, y));
}

void FlipVerticalIn(const WorkingPlanes& planes, Rect r) {
    const int half = (r.top + r.bottom) / 2;
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < half; ++y) planes.Swap(planes.At(x, y), planes.At(x, r.top + r.bottom - 1 - y));
}

EditResult FlipHorizontal(Document& doc) {
    const WorkingPlanes wp = GetWorkingPlanes(doc);
    if (!wp.Usable()) return EditResult::Nothing();
    FlipHorizontalIn(wp, NormalizedWorkingRectangle(doc));
    return Step(TransformId::FlipHorizontal);
}

EditResult FlipVertical(Document& doc) {
    const WorkingPlanes wp = GetWorkingPlanes(doc);
    if (!wp.Usable()) return EditResult::Nothing();
    FlipVerticalIn(wp, NormalizedWorkingRectangle(doc));
    return Step(TransformId::FlipVertical);
}

EditResult HalfTurn(Document& doc) {
    const WorkingPlanes wp = GetWorkingPlanes(doc);
    if (!wp.Usable()) return EditResult::Nothing();
    const Rect r = NormalizedWorkingRectangle(doc);
    FlipHorizontalIn(wp, r);
    FlipVerticalIn(wp, r);
    return Step(TransformId::Rotate180);
}

EditResult QuarterTurn(Document& doc, bool clockwise) {
    const WorkingPlanes wp = GetWorkingPlanes(doc);
    if (!wp.Usable()) return EditResult::Nothing();
    const Rect r = NormalizedWorkingRectangle(doc);
    // Rebuilding the planes from an empty rectangle would only wipe them.
    if (r.Empty()) return EditResult::Nothing();
    if (doc.HasSelection) {
        const int w = doc.SelRight - doc.SelLeft, h = doc.SelBottom - doc.SelTop;
        SetSelection(doc, doc.SelLeft, doc.SelTop, doc.SelLeft + h, doc.SelTop + w);
    }
    // Transpose about the top-left corner; what lands off the planes is dropped.
    FreshPlanes fresh(wp);
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < r.bottom; ++y) {
            const int tx = r.left + (y - r.top), ty = r.top + (x - r.left);
            if (!wp.Contains(tx, ty)) continue;
            fresh.Take(wp, wp.At(x, y), wp.At(tx, ty));
        }
    fresh.Store(wp);
    // The flip spans the rectangle as it is now: with a selection the exchanged one.
    const Rect now = WorkingRectangle(doc);
    if (clockwise) FlipHorizontalIn(wp, now);
    else FlipVerticalIn(wp, now);
    return Step(clockwise ? TransformId::Rotate90 : TransformId::Rotate270);
}

EditResult RotateByAngle(Document& doc, int angleDegrees, Sampling sampling) {
    const WorkingPlanes wp = GetWorkingPlanes(doc);
    if (!wp.Usable()) return EditResult::Nothing();
    const Rect r = NormalizedWorkingRectangle(doc);
    if (r.Empty()) return EditResult::Nothing();
    const int cx = r.left + r.Width() / 2, cy = r.top + r.Height() / 2;
    const double theta = angleDegrees * 0.017453292519943295;
    const double c = std::cos(theta), s = std::sin(theta);
    if (sampling == Sampling::Smooth && wp.Pixels) {
        RotateSmooth(wp, r, cx, cy, c, s);
        return Step(TransformId::RotateByAngle);
    }
    FreshPlanes fresh(wp);
    for (int x = 0; x < wp.Width; ++x)
        for (int y = 0; y < wp.Height; ++y) {
            // Truncation toward zero: values between -1 and 0 become 0.
            const int sx = int(cx + ((x - cx) * c - (y - cy) * s));
            const int sy = int(cy + ((x - cx) * s + (y - cy) * c));
            if (sx < r.left || sx >= r.right || sy < r.top || sy >= r.bottom) continue;
            fresh.Take(wp, wp.At(sx, sy), wp.At(x, y));
        }
    fresh.Store(wp);
    return Step(TransformId::RotateByAngle);
}

EditResult ResizeCanvas(Document& doc, int newWidth, int newHeight, bool scale, Sampling sampling) {
    if (doc.LayerCount() == 0) return EditResult::Nothing();
    if (newWidth < 1 || newHeight < 1 || newWidth > kMaxCanvasSide || newHeight > kMaxCanvasSide)
        return EditResult::Nothing();
    if (doc.HasSelection) DropSelection(doc);
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    const std::size_t oldPixels = std::size_t(std::max(w, 0)) * std::size_t(std::max(h, 0));
    const std::size_t newPixels = std::size_t(newWidth) * std::size_t(newHeight);
    for (int i = 0; i < doc.LayerCount(); ++i) {
        Layer& layer = doc.LayerAt(i);
        if (doc.TrueColor) {
            if (scale && sampling == Sampling::Smooth && oldPixels > 0 && layer.Pixels.size() == oldPixels)
                layer.Pixels = ScaleRgbaSmooth(layer.Pixels, w, h, newWidth, newHeight);
            else
                layer.Pixels = ResizedPlane(layer.Pixels, w, h, newWidth, newHeight, scale, Rgba8{});
            continue;
        }
        // A layer whose planes do not match the canvas has nothing trustworthy to keep.
        const bool fits = oldPixels > 0 && layer.Indices.size() == oldPixels && layer.Mask.size() == oldPixels;
        layer.Indices = fits ? ResizedPlane(layer.Indices, w, h, newWidth, newHeight, scale, uint8_t(0)) : Plane(newPixels, 0);
        layer.Mask = fits ? ResizedPlane(layer.Mask, w, h, newWidth, newHeight, scale, uint8_t(0)) : Plane(newPixels, 0);
    }
    doc.ImageWidth = newWidth;
    doc.ImageHeight = newHeight;
    doc.StrokeBitmap.Resize(newWidth, newHeight);
    doc.StrokeBitmap.Fill(kWhite);
    doc.HasSelection = false;
    doc.SelLeft = doc.SelTop = doc.SelRight = doc.SelBottom = 0;
    // The floating planes follow the canvas size, as for a new document.
    if (doc.TrueColor) {
        doc.FloatPixels.assign(newPixels, Rgba8{});
    } else {
        doc.FloatIndices.assign(newPixels, 0);
        doc.FloatMask.assign(newPixels, 0);
    }
    doc.FloatDX = doc.FloatDY = 0;
    doc.CloneSourceX = doc.CloneSourceY = doc.CloneAnchorX = doc.CloneAnchorY = 0;
    doc.CloneLayer = doc.CloneState = 0;
    if (newWidth > 16 && doc.Zoom > 10) doc.Zoom = 10;
    EditResult r = Step(TransformId::Resize);
    r.RebuildLayers = true;
    r.SizeChanged = true;
    return r;
}

EditResult ApplyTransform(Document& doc, TransformId id, const TransformArgs& args) {
    switch (id) {
    case TransformId::Resize: return ResizeCanvas(doc, args.NewWidth, args.NewHeight, args.Scale, args.Sample);
    case TransformId::FlipHorizontal: return FlipHorizontal(doc);
    case TransformId::FlipVertical: return FlipVertical(doc);
    case TransformId::Rotate90: return QuarterTurn(doc, true);
    case TransformId::Rotate180: return HalfTurn(doc);
    case TransformId::Rotate270: return QuarterTurn(doc, false);
    case TransformId::RotateByAngle: return RotateByAngle(doc, args.AngleDegrees, args.Sample);
    }
    return EditResult::Nothing();
}

}  // namespace pq
