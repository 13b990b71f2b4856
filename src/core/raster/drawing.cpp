#include "core/raster/drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace pq {
namespace {

using i64 = int64_t;
using i128 = __int128;

// A run of columns [l, r) of one row.
struct Span {
    i64 l = 0, r = 0;
    bool Empty() const { return r <= l; }
};

Span Intersect(Span a, Span b) { return Span{std::max(a.l, b.l), std::min(a.r, b.r)}; }
Span Shrink(Span s, i64 k) { return Span{s.l + k, s.r - k}; }

// A box given by two corners, normalised: left/top inclusive, w x h pixels.
struct Box {
    i64 left = 0, top = 0, w = 0, h = 0;
};

Box Normalise(int x1, int y1, int x2, int y2) {
    return Box{std::min<i64>(x1, x2), std::min<i64>(y1, y2), std::llabs(i64(x2) - x1), std::llabs(i64(y2) - y1)};
}

// Paints columns [l, r) of row y, clipped to the raster.
void PaintRun(Raster& r, i64 y, i64 l, i64 rr, Rgb c) {
    if (y < 0 || y >= r.Height()) return;
    l = std::max<i64>(l, 0);
    rr = std::min<i64>(rr, r.Width());
    if (rr <= l) return;
    uint8_t* p = r.Row(int(y)) + 3 * l;
    for (i64 x = l; x < rr; ++x, p += 3) {
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
    }
}

// Row j (0 .. h-1) of the ellipse that fills a w x h box, box-relative.
//
// Work in doubled coordinates from the box centre: pixel column i is X = 2i + 1 - w, row j is
// Y = 2j + 1 - h. A pixel is inside when X^2 / (w^2 - 4c) + Y^2 / (h^2 - 4c) <= 1 with c = 7/16:
// the ellipse through the box edges pulled in by a fraction of a pixel, which keeps the corner
// pixels of small boxes out (a 3 x 3 box gives a plus sign) and the 2 x 2 box full. Multiplied
// out by 4: 4X^2 B + 4Y^2 A <= A B with A = 4w^2 - 7, B = 4h^2 - 7.
// The middle row(s) always span the whole width and every row holds at least the middle
// column(s), so the shape touches all four sides of the box, however thin it is.
Span EllipseRow(i64 w, i64 h, i64 j) {
    if (j < 0 || j >= h || w <= 0) return Span{};
    const i64 Y = 2 * j + 1 - h;
    if (w == 1 || h == 1 || std::llabs(Y) <= 1) return Span{0, w};
    i64 k;  // largest |X| allowed in this row
    if (w <= (i64(1) << 24) && h <= (i64(1) << 24)) {
        // Exact integer test; with sides up to 2^24 every product fits 128 bits.
        const i128 A = i128(4) * w * w - 7, B = i128(4) * h * h - 7;
        const i128 N = A * (B - i128(4) * Y * Y), D = 4 * B;  // X^2 * D <= N
        if (N < 0) {
            k = -1;
        } else {
            k = i64(std::sqrt(double(N) / double(D)));
            while (k > 0 && i128(k) * k * D > N) --k;
            while (i128(k + 1) * (k + 1) * D <= N) ++k;
        }
    } else {
        // Boxes this large are far beyond any raster; an approximation is enough.
        const long double A = 4.0L * w * w - 7, B = 4.0L * h * h - 7;
        const long double v = A * (B - 4.0L * Y * Y) / (4.0L * B);
        k = v < 0 ? -1 : i64(std::sqrt(v));
    }
    if (k > w - 1) k = w - 1;
    if ((k - (w - 1)) % 2 != 0) --k;  // X has the parity of w - 1
    const i64 minK = (w % 2 == 1) ? 0 : 1;
    if (k < minK) k = minK;
    return Span{(w - 1 - k) / 2, (w + 1 + k) / 2};
}

// Draws a shape given by its row spans (box-relative, symmetric, one run per row). The pen
// covers the pixels of the shape within `pen` steps (4-neighbour moves) of a pixel outside
// it, so pen 1 is exactly the border of the filled shape and a wide pen stays inside the box;
// the rest is the interior, painted with the brush when filled.
template <class RowFn>
void DrawShape(Raster& r, const Box& box, RowFn row, int penWidth, Rgb pen, bool filled, Rgb brush) {
    if (box.w <= 0 || box.h <= 0 || r.Empty()) return;
    const i64 p = std::max(penWidth, 1);
    const i64 j0 = std::max<i64>(0, -box.top);
    const i64 j1 = std::min<i64>(box.h, i64(r.Height()) - box.top);
    for (i64 j = j0; j < j1; ++j) {
        const Span s = row(j);
        if (s.Empty()) continue;
        Span inner = Shrink(s, p);
        for (i64 d = 1; d <= p && !inner.Empty(); ++d) {
            inner = Intersect(inner, Shrink(row(j - d), p - d));
            inner = Intersect(inner, Shrink(row(j + d), p - d));
        }
        const i64 y = box.top + j;
        if (inner.Empty()) {
            PaintRun(r, y, box.left + s.l, box.left + s.r, pen);
            continue;
        }
        PaintRun(r, y, box.left + s.l, box.left + inner.l, pen);
        PaintRun(r, y, box.left + inner.r, box.left + s.r, pen);
        if (filled) PaintRun(r, y, box.left + inner.l, box.left + inner.r, brush);
    }
}

}  // namespace

void FillRect(Raster& r, int x1, int y1, int x2, int y2, Rgb c) {
    const Box b = Normalise(x1, y1, x2, y2);
    const i64 top = std::max<i64>(b.top, 0), bottom = std::min<i64>(b.top + b.h, r.Height());
    for (i64 y = top; y < bottom; ++y) PaintRun(r, y, b.left, b.left + b.w, c);
}

// Steps along the major axis; the minor coordinate of step i is the exact line position
// rounded to the nearest pixel. Halfway cases round toward the nearer end point, and at the very
// middle toward the smaller coordinate, so a line covers the same pixels in both directions.
void DrawLine(Raster& r, int x1, int y1, int x2, int y2, Rgb c) {
    if (r.Empty()) return;
    const i64 dx = i64(x2) - x1, dy = i64(y2) - y1;
    const i64 adx = std::llabs(dx), ady = std::llabs(dy);
    const i64 sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const bool xMajor = adx >= ady;
    const i64 major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
    const i64 start = xMajor ? x1 : y1, step = xMajor ? sx : sy;
    const i64 limit = xMajor ? r.Width() : r.Height();
    // Only the steps whose major coordinate lies on the raster can draw.
    i64 i0 = 0, i1 = major;
    if (step > 0) {
        i0 = std::max<i64>(i0, -start);
        i1 = std::min<i64>(i1, limit - 1 - start);
    } else {
        i0 = std::max<i64>(i0, start - (limit - 1));
        i1 = std::min<i64>(i1, start);
    }
    for (i64 i = i0; i <= i1; ++i) {
        i64 m = 0;
        if (major != 0) {
            const i128 num = i128(2) * i * minor + major, den = i128(2) * major;
            m = i64(num / den);
            if (num % den == 0) {  // exactly halfway between two pixels
                const i64 minorStep = xMajor ? sy : sx;
                if (2 * i < major || (2 * i == major && minorStep > 0)) --m;
            }
        }
        const i64 x = xMajor ? x1 + sx * i : x1 + sx * m;
        const i64 y = xMajor ? y1 + sy * m : y1 + sy * i;
        if (x >= 0 && y >= 0 && x < r.Width() && y < r.Height()) r.SetPixelUnchecked(int(x), int(y), c);
    }
}

void DrawRectangle(Raster& r, int x1, int y1, int x2, int y2, int penWidth, Rgb pen, bool filled, Rgb brush) {
    const Box b = Normalise(x1, y1, x2, y2);
    const i64 w = b.w, h = b.h;
    DrawShape(r, b, [w, h](i64 j) { return (j < 0 || j >= h) ? Span{} : Span{0, w}; }, penWidth, pen, filled,
              brush);
}

void DrawEllipse(Raster& r, int x1, int y1, int x2, int y2, int penWidth, Rgb pen, bool filled, Rgb brush) {
    const Box b = Normalise(x1, y1, x2, y2);
    const i64 w = b.w, h = b.h;
    DrawShape(r, b, [w, h](i64 j) { return EllipseRow(w, h, j); }, penWidth, pen, filled, brush);
}

void FrameRect(Raster& r, int x1, int y1, int x2, int y2, Rgb c) {
    DrawRectangle(r, x1, y1, x2, y2, 1, c, false, c);
}

void FrameRectPattern(Raster& r, int x1, int y1, int x2, int y2, const Pattern8& pattern, Rgb black, Rgb white) {
    const Box b = Normalise(x1, y1, x2, y2);
    if (b.w <= 0 || b.h <= 0) return;
    auto plot = [&](i64 x, i64 y) {
        if (x < 0 || y < 0 || x >= r.Width() || y >= r.Height()) return;
        r.SetPixelUnchecked(int(x), int(y), pattern[std::size_t(y & 7)][std::size_t(x & 7)] ? black : white);
    };
    const i64 right = b.left + b.w - 1, bottom = b.top + b.h - 1;
    const i64 xa = std::max<i64>(b.left, 0), xb = std::min<i64>(right, r.Width() - 1);
    for (i64 x = xa; x <= xb; ++x) {
        plot(x, b.top);
        plot(x, bottom);
    }
    const i64 ya = std::max<i64>(b.top + 1, 0), yb = std::min<i64>(bottom - 1, r.Height() - 1);
    for (i64 y = ya; y <= yb; ++y) {
        plot(b.left, y);
        plot(right, y);
    }
}

// Scanline fill with an explicit stack of seeds: memory grows with the region's outline, never
// the call stack, so any raster size is safe.
void FloodFillSurface(Raster& r, int x, int y, Rgb surface, Rgb fill) {
    if (!r.Contains(x, y) || r.PixelUnchecked(x, y) != surface || surface == fill) return;
    const int w = r.Width(), h = r.Height();
    std::vector<std::pair<int, int>> seeds;
    seeds.emplace_back(x, y);
    while (!seeds.empty()) {
        auto [sx, sy] = seeds.back();
        seeds.pop_back();
        if (r.PixelUnchecked(sx, sy) != surface) continue;
        int l = sx, rr = sx;
        while (l > 0 && r.PixelUnchecked(l - 1, sy) == surface) --l;
        while (rr + 1 < w && r.PixelUnchecked(rr + 1, sy) == surface) ++rr;
        for (int i = l; i <= rr; ++i) r.SetPixelUnchecked(i, sy, fill);
        // One seed per run of surface pixels in the rows above and below.
        for (int ny : {sy - 1, sy + 1}) {
            if (ny < 0 || ny >= h) continue;
            bool inRun = false;
            for (int i = l; i <= rr; ++i) {
                const bool match = r.PixelUnchecked(i, ny) == surface;
                if (match && !inRun) seeds.emplace_back(i, ny);
                inRun = match;
            }
        }
    }
}

void CopyRect(Raster& dst, int dx, int dy, const Raster& src, int sx, int sy, int w, int h, RasterOp op) {
    if (w <= 0 || h <= 0) return;
    if (&dst == &src) {
        // Overlapping copy inside one raster: go through a copy of the part of the source
        // rectangle that lies on the raster (the rest is skipped anyway).
        const i64 cx0 = std::max<i64>(0, -i64(sx)), cy0 = std::max<i64>(0, -i64(sy));
        const i64 cx1 = std::min<i64>(w, i64(src.Width()) - sx), cy1 = std::min<i64>(h, i64(src.Height()) - sy);
        if (cx1 <= cx0 || cy1 <= cy0) return;
        Raster tmp(int(cx1 - cx0), int(cy1 - cy0));
        CopyRect(tmp, 0, 0, src, int(sx + cx0), int(sy + cy0), tmp.Width(), tmp.Height(), RasterOp::Copy);
        CopyRect(dst, int(dx + cx0), int(dy + cy0), tmp, 0, 0, tmp.Width(), tmp.Height(), op);
        return;
    }
    // Clip the rectangle against both rasters.
    i64 x0 = 0, y0 = 0, x1 = w, y1 = h;
    x0 = std::max({x0, -i64(sx), -i64(dx)});
    y0 = std::max({y0, -i64(sy), -i64(dy)});
    x1 = std::min({x1, i64(src.Width()) - sx, i64(dst.Width()) - dx});
    y1 = std::min({y1, i64(src.Height()) - sy, i64(dst.Height()) - dy});
    if (x1 <= x0 || y1 <= y0) return;
    const std::size_t bytes = std::size_t(x1 - x0) * 3;
    for (i64 j = y0; j < y1; ++j) {
        const uint8_t* s = src.Row(int(sy + j)) + 3 * (sx + x0);
        uint8_t* d = dst.Row(int(dy + j)) + 3 * (dx + x0);
        switch (op) {
            case RasterOp::Copy:
                std::copy(s, s + bytes, d);
                break;
            case RasterOp::Or:
                for (std::size_t k = 0; k < bytes; ++k) d[k] |= s[k];
                break;
            case RasterOp::And:
                for (std::size_t k = 0; k < bytes; ++k) d[k] &= s[k];
                break;
        }
    }
}

void StretchCopy(Raster& dst, const Rect& to, const Raster& src, const Rect& from) {
    if (to.Empty() || from.Empty() || src.Empty()) return;
    const i64 tw = to.Width(), th = to.Height(), fw = from.Width(), fh = from.Height();
    const i64 xa = std::max<i64>(to.left, 0), xb = std::min<i64>(to.right, dst.Width());
    const i64 ya = std::max<i64>(to.top, 0), yb = std::min<i64>(to.bottom, dst.Height());
    for (i64 y = ya; y < yb; ++y) {
        const i64 syy = from.top + i64((i128(2) * (y - to.top) + 1) * fh / (2 * th));
        if (syy < 0 || syy >= src.Height()) continue;
        for (i64 x = xa; x < xb; ++x) {
            const i64 sxx = from.left + i64((i128(2) * (x - to.left) + 1) * fw / (2 * tw));
            if (sxx < 0 || sxx >= src.Width()) continue;
            dst.SetPixelUnchecked(int(x), int(y), src.PixelUnchecked(int(sxx), int(syy)));
        }
    }
}

}  // namespace pq
