#include "core/ops/pixel_effects.h"

#include <algorithm>

#include "core/document/blend.h"
#include "core/ops/working_area.h"

namespace pq {
namespace {

EditResult Step(PixelEffectId id) {
    EditResult r = EditResult::Recorded(InfoOf(id).UndoName);
    r.Redraw = true;
    return r;
}

// Runs `body(planes, rectangle)` on the working planes of either colour mode and returns the
// effect's step.
template <class Body>
EditResult OnWorkingPlanes(Document& doc, PixelEffectId id, Body body) {
    const WorkingPlanes wp = GetWorkingPlanes(doc);
    if (!wp.Usable()) return EditResult::Nothing();
    body(wp, WorkingRectangle(doc));
    return Step(id);
}

// Painted: a non-zero mask byte, or in truecolour an alpha above 0.
bool Painted(const WorkingPlanes& wp, std::size_t p) { return wp.Pixels ? wp.Pixels[p].a != 0 : wp.Mask[p] != 0; }

// Every painted pixel of the rectangle in effect order (x outer, y inner).
template <class Visit>
void ForPaintedPixels(const WorkingPlanes& wp, Rect r, Visit visit) {
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < r.bottom; ++y) {
            const std::size_t p = wp.At(x, y);
            if (Painted(wp, p)) visit(p);
        }
}

// A truecolour pixel given the colour of `c`, its alpha kept.
void TakeColor(Rgba8& pixel, Rgb c) { pixel = Rgba8{c.r, c.g, c.b, pixel.a}; }
Rgb ColorPart(Rgba8 c) { return Rgb{c.r, c.g, c.b}; }

// Exact equality, except that every transparent pixel is the same colour: one cannot see the
// red, green and blue a pixel of alpha 0 happens to carry.
bool SameRgba(Rgba8 a, Rgba8 b) { return a == b || (a.a == 0 && b.a == 0); }

// v brought into [lo, lo + span) by whole spans.
int Wrap(int v, int lo, int span) {
    const int m = (v - lo) % span;
    return lo + (m < 0 ? m + span : m);
}

// The truecolour shadow: every pixel goes over the shadow cast onto it by the shape moved
// (dx, dy), that shadow being DrawRgba with alpha = shape alpha x DrawRgba alpha / 255, rounded.
void ShadowRgba(const WorkingPlanes& wp, Rgba8 draw, int dx, int dy) {
    const RgbaPlane before(wp.Pixels, wp.Pixels + wp.PixelCount());
    for (int x = 0; x < wp.Width; ++x)
        for (int y = 0; y < wp.Height; ++y) {
            if (!wp.Contains(x - dx, y - dy)) continue;
            const unsigned shape = before[wp.At(x - dx, y - dy)].a;
            const Rgba8 shadow{draw.r, draw.g, draw.b, uint8_t((shape * draw.a + 127u) / 255u)};
            if (shadow.a == 0) continue;   // nothing cast here: the pixel keeps every byte
            const std::size_t p = wp.At(x, y);
            wp.Pixels[p] = BlendOver(shadow, before[p]);
        }
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
    if (!wp.Usable() || r.Empty()) return EditResult::Nothing();
    FreshPlanes fresh(wp);
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < r.bottom; ++y) {
            const int r1 = rng.Next();
            const int r2 = rng.Next();
            const int sx = std::clamp(x + r1 % 3 - 1, r.left, r.right - 1);
            const int sy = std::clamp(y + r2 % 3 - 1, r.top, r.bottom - 1);
            fresh.Take(wp, wp.At(sx, sy), wp.At(x, y));
        }
    fresh.Store(wp);
    return Step(PixelEffectId::Diffuse);
}

EditResult Unify(Document& doc) {
    const uint8_t draw = uint8_t(doc.DrawColor);
    const Rgb drawRgb = ColorPart(doc.DrawRgba);
    return OnWorkingPlanes(doc, PixelEffectId::Unify, [&](const WorkingPlanes& wp, Rect r) {
        ForPaintedPixels(wp, r, [&](std::size_t p) {
            if (wp.Pixels)
                TakeColor(wp.Pixels[p], drawRgb);
            else
                wp.Indices[p] = draw;
        });
    });
}

EditResult Noise(Document& doc, Lcg& rng) {
    const uint8_t draw = uint8_t(doc.DrawColor), aux = uint8_t(doc.AuxColor);
    const Rgb drawRgb = ColorPart(doc.DrawRgba), auxRgb = ColorPart(doc.AuxRgba);
    return OnWorkingPlanes(doc, PixelEffectId::Noise, [&](const WorkingPlanes& wp, Rect r) {
        ForPaintedPixels(wp, r, [&](std::size_t p) {
            const bool odd = (rng.Next() & 1) != 0;
            if (wp.Pixels)
                TakeColor(wp.Pixels[p], odd ? drawRgb : auxRgb);
            else
                wp.Indices[p] = odd ? draw : aux;
        });
    });
}

EditResult ColorNoise(Document& doc, Lcg& rng) {
    const int colors = std::clamp(doc.ColorCount, 1, 256);
    return OnWorkingPlanes(doc, PixelEffectId::ColorNoise, [&](const WorkingPlanes& wp, Rect r) {
        ForPaintedPixels(wp, r, [&](std::size_t p) {
            const int entry = rng.Next() % colors;
            if (wp.Pixels)
                TakeColor(wp.Pixels[p], doc.ColorOf(entry));
            else
                wp.Indices[p] = uint8_t(entry);
        });
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
    if (!wp.Usable() || r.Empty()) return EditResult::Nothing();
    FreshPlanes fresh(wp);
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < r.bottom; ++y)
            fresh.Take(wp, wp.At(Wrap(x - dx, r.left, r.Width()), Wrap(y - dy, r.top, r.Height())), wp.At(x, y));
    fresh.Store(wp);
    return Step(PixelEffectId::Scroll);
}

EditResult Shadow(Document& doc, int dx, int dy) {
    const uint8_t draw = uint8_t(doc.DrawColor);
    const Rgba8 drawRgba = doc.DrawRgba;
    return OnWorkingPlanes(doc, PixelEffectId::Shadow, [&](const WorkingPlanes& wp, Rect) {
        if (wp.Pixels) return ShadowRgba(wp, drawRgba, dx, dy);
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
    const Rgba8 auxRgba = doc.AuxRgba, drawRgba = doc.DrawRgba;
    return OnWorkingPlanes(doc, PixelEffectId::ReplaceColor, [&](const WorkingPlanes& wp, Rect) {
        for (std::size_t p = 0; p < wp.PixelCount(); ++p) {
            if (!wp.Pixels) {
                if (wp.Indices[p] == aux) wp.Indices[p] = draw;
            } else if (SameRgba(wp.Pixels[p], auxRgba)) {
                wp.Pixels[p] = drawRgba;
            }
        }
    });
}

EditResult EraseDrawColor(Document& doc) {
    const int draw = doc.DrawColor;
    const Rgba8 drawRgba = doc.DrawRgba;
    return OnWorkingPlanes(doc, PixelEffectId::Erase, [&](const WorkingPlanes& wp, Rect) {
        for (std::size_t p = 0; p < wp.PixelCount(); ++p) {
            if (!wp.Pixels) {
                if (wp.Indices[p] == draw) wp.Mask[p] = 0;
            } else if (SameRgba(wp.Pixels[p], drawRgba)) {
                wp.Pixels[p] = Rgba8{};
            }
        }
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
