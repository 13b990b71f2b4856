#include "core/ops/pixel_effects.h"

#include <algorithm>

#include "core/ops/working_area.h"

namespace pq {
namespace {

EditResult Step(PixelEffectId id) {
    EditResult r = EditResult::Recorded(InfoOf(id).UndoName);
    r.Redraw = true;
    return r;
}

// Runs `body(planes, rectangle)` on the working planes and returns the effect's step.
template <class Body>
EditResult OnWorkingPlanes(Document& doc, PixelEffectId id, Body body) {
    const WorkingPlanes wp = GetWorkingPlanes(doc);
    if (!wp.Valid()) return EditResult::Nothing();
    body(wp, WorkingRectangle(doc));
    return Step(id);
}

// Every painted pixel of the rectangle in effect order (x outer, y inner).
template <class Visit>
void ForPaintedPixels(const WorkingPlanes& wp, Rect r, Visit visit) {
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < r.bottom; ++y) {
            const std::size_t p = wp.At(x, y);
            if (wp.Mask[p] != 0) visit(p);
        }
}

// v brought into [lo, lo + span) by whole spans.
int Wrap(int v, int lo, int span) {
    const int m = (v - lo) % span;
    return lo + (m < 0 ? m + span : m);
}

}  // namespace

const PixelEffectInfo& InfoOf(PixelEffectId id) {
    for (const PixelEffectInfo& e : kPixelEffects)
        if (e.Id == id) return e;
    return kPixelEffects[0];
}

std::optional<PixelEffectId> FindPixelEffect(std::string_view key) {
    for (const PixelEffectInfo& e : kPixelEffects)
        if (key == e.Key) return e.Id;
    return std::nullopt;
}

EditResult Diffuse(Document& doc, Lcg& rng) {
    const WorkingPlanes wp = GetWorkingPlanes(doc);
    const Rect r = WorkingRectangle(doc);
    // Rebuilding the planes from an empty rectangle would only wipe them.
    if (!wp.Valid() || r.Empty()) return EditResult::Nothing();
    FreshPlanes fresh(wp);
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < r.bottom; ++y) {
            const int r1 = rng.Next();
            const int r2 = rng.Next();
            const int sx = std::clamp(x + r1 % 3 - 1, r.left, r.right - 1);
            const int sy = std::clamp(y + r2 % 3 - 1, r.top, r.bottom - 1);
            const std::size_t s = wp.At(sx, sy), t = wp.At(x, y);
            fresh.Indices[t] = wp.Indices[s];
            fresh.Mask[t] = wp.Mask[s];
        }
    fresh.Store(wp);
    return Step(PixelEffectId::Diffuse);
}

EditResult Unify(Document& doc) {
    const uint8_t draw = uint8_t(doc.DrawColor);
    return OnWorkingPlanes(doc, PixelEffectId::Unify, [&](const WorkingPlanes& wp, Rect r) {
        ForPaintedPixels(wp, r, [&](std::size_t p) { wp.Indices[p] = draw; });
    });
}

EditResult Noise(Document& doc, Lcg& rng) {
    const uint8_t draw = uint8_t(doc.DrawColor), aux = uint8_t(doc.AuxColor);
    return OnWorkingPlanes(doc, PixelEffectId::Noise, [&](const WorkingPlanes& wp, Rect r) {
        ForPaintedPixels(wp, r, [&](std::size_t p) { wp.Indices[p] = (rng.Next() & 1) ? draw : aux; });
    });
}

EditResult ColorNoise(Document& doc, Lcg& rng) {
    const int colors = std::clamp(doc.ColorCount, 1, 256);
    return OnWorkingPlanes(doc, PixelEffectId::ColorNoise, [&](const WorkingPlanes& wp, Rect r) {
        ForPaintedPixels(wp, r, [&](std::size_t p) { wp.Indices[p] = uint8_t(rng.Next() % colors); });
    });
}

EditResult SwapPixelsHorizontal(Document& doc) {
    return OnWorkingPlanes(doc, PixelEffectId::SwapPixelsHorizontal, [](const WorkingPlanes& wp, Rect r) {
        // An odd last column has no partner inside the rectangle and stays.
        for (int x = r.left; x + 1 < r.right; x += 2)
            for (int y = r.top; y < r.bottom; ++y) wp.Swap(wp.At(x, y), wp.At(x + 1, y));
    });
}

EditResult SwapPixelsVertical(Document& doc) {
    return OnWorkingPlanes(doc, PixelEffectId::SwapPixelsVertical, [](const WorkingPlanes& wp, Rect r) {
        // An odd last row has no partner inside the rectangle and stays.
        for (int x = r.left; x < r.right; ++x)
            for (int y = r.top; y + 1 < r.bottom; y += 2) wp.Swap(wp.At(x, y), wp.At(x, y + 1));
    });
}

EditResult ScrollImage(Document& doc, int dx, int dy) {
    const WorkingPlanes wp = GetWorkingPlanes(doc);
    const Rect r = WorkingRectangle(doc);
    if (!wp.Valid() || r.Empty()) return EditResult::Nothing();
    FreshPlanes fresh(wp);
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < r.bottom; ++y) {
            const std::size_t s = wp.At(Wrap(x - dx, r.left, r.Width()), Wrap(y - dy, r.top, r.Height()));
            const std::size_t t = wp.At(x, y);
            fresh.Indices[t] = wp.Indices[s];
            fresh.Mask[t] = wp.Mask[s];
        }
    fresh.Store(wp);
    return Step(PixelEffectId::Scroll);
}

EditResult Shadow(Document& doc, int dx, int dy) {
    const uint8_t draw = uint8_t(doc.DrawColor);
    return OnWorkingPlanes(doc, PixelEffectId::Shadow, [&](const WorkingPlanes& wp, Rect) {
        // Judged on the mask as it was, so the new shadow pixels cast none themselves.
        const Plane before(wp.Mask, wp.Mask + wp.PixelCount());
        for (int x = 0; x < wp.Width; ++x)
            for (int y = 0; y < wp.Height; ++y) {
                if (!wp.Contains(x - dx, y - dy)) continue;
                const std::size_t p = wp.At(x, y);
                if (before[p] == 0 && before[wp.At(x - dx, y - dy)] == 1) {
                    wp.Indices[p] = draw;
                    wp.Mask[p] = 1;
                }
            }
    });
}

EditResult ReplaceColor(Document& doc) {
    const int aux = doc.AuxColor;
    const uint8_t draw = uint8_t(doc.DrawColor);
    return OnWorkingPlanes(doc, PixelEffectId::ReplaceColor, [&](const WorkingPlanes& wp, Rect) {
        for (std::size_t p = 0; p < wp.PixelCount(); ++p)
            if (wp.Indices[p] == aux) wp.Indices[p] = draw;
    });
}

EditResult EraseDrawColor(Document& doc) {
    const int draw = doc.DrawColor;
    return OnWorkingPlanes(doc, PixelEffectId::Erase, [&](const WorkingPlanes& wp, Rect) {
        for (std::size_t p = 0; p < wp.PixelCount(); ++p)
            if (wp.Indices[p] == draw) wp.Mask[p] = 0;
    });
}

EditResult ApplyPixelEffect(Document& doc, PixelEffectId id, Lcg& rng, int dx, int dy) {
    switch (id) {
    case PixelEffectId::Diffuse: return Diffuse(doc, rng);
    case PixelEffectId::Unify: return Unify(doc);
    case PixelEffectId::Noise: return Noise(doc, rng);
    case PixelEffectId::ColorNoise: return ColorNoise(doc, rng);
    case PixelEffectId::SwapPixelsHorizontal: return SwapPixelsHorizontal(doc);
    case PixelEffectId::SwapPixelsVertical: return SwapPixelsVertical(doc);
    case PixelEffectId::Scroll: return ScrollImage(doc, dx, dy);
    case PixelEffectId::Shadow: return Shadow(doc, dx, dy);
    case PixelEffectId::ReplaceColor: return ReplaceColor(doc);
    case PixelEffectId::Erase: return EraseDrawColor(doc);
    }
    return EditResult::Nothing();
}

}  // namespace pq
