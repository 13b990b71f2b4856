#include "core/document/render.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pq {
namespace {

constexpr Rgb kGridColor{100, 100, 100};

// Writes `count` pixels of colour c starting at p (blue, green, red byte order).
inline void FillPixels(uint8_t* p, int count, Rgb c) {
    for (int i = 0; i < count; ++i) {
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
        p += 3;
    }
}

inline void PutPixel(uint8_t* p, const uint8_t* bgr) {
    p[0] = bgr[0];
    p[1] = bgr[1];
    p[2] = bgr[2];
}

// The palette as ready-to-copy blue-green-red triples.
std::array<std::array<uint8_t, 3>, 256> PaletteBgr(const Document& doc) {
    std::array<std::array<uint8_t, 3>, 256> t{};
    for (std::size_t i = 0; i < 256; ++i) t[i] = {doc.Palette[i].blue, doc.Palette[i].green, doc.Palette[i].red};
    return t;
}

// Floor division and non-negative remainder, for canvas positions left of or above the origin.
inline int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
inline int FloorMod(int a, int b) { return a - FloorDiv(a, b) * b; }

// Checker colour of the row blocks `rowBlock` and column block `colBlock`.
inline Rgb CheckerColor(int colBlock, int rowBlock, const TransparencyColors& colors) {
    return ((colBlock + rowBlock) & 1) == 0 ? colors.Color1 : colors.Color2;
}

// One row of the checkerboard for canvas columns [x0, x0 + width) in row block `rowBlock`.
void CheckerRow(uint8_t* out, int x0, int width, int size, int rowBlock, const TransparencyColors& colors) {
    int x = x0;
    const int end = x0 + width;
    while (x < end) {
        const int block = FloorDiv(x, size);
        const int blockEnd = std::min(end, (block + 1) * size);
        FillPixels(out + 3 * (x - x0), blockEnd - x, CheckerColor(block, rowBlock, colors));
        x = blockEnd;
    }
}

// Grid lines on the view pixels [vx0, vx1) x [vy0, vy1) of a view whose pixel (0, 0) is the
// canvas position (originX, originY).
void DrawGridIn(Raster& view, int zoom, int originX, int originY, int vx0, int vy0, int vx1, int vy1) {
    if (zoom < 3 || vx0 >= vx1 || vy0 >= vy1) return;
    for (int vy = vy0; vy < vy1; ++vy) {
        uint8_t* row = view.Row(vy);
        if (FloorMod(originY + vy, zoom) == zoom - 1) {
            FillPixels(row + 3 * vx0, vx1 - vx0, kGridColor);
            continue;
        }
        // First grid column at or after vx0.
        int vx = vx0 + (zoom - 1 - FloorMod(originX + vx0, zoom));
        for (; vx < vx1; vx += zoom) FillPixels(row + 3 * vx, 1, kGridColor);
    }
}

// Writes the palette colour of every painted pixel of one plane pair into the preview, and
// into the composite when `visible`. `sx0..sx1` / `sy0..sy1` restrict the canvas area and
// (dx, dy) offsets the planes (the floating content); the planes are width x height.
struct PaintTarget {
    Raster* preview;
    Composite* comp;
    bool visible;
};

void PaintPlanes(const uint8_t* indices, const uint8_t* mask, int width, int dx, int dy, int x0, int y0, int x1,
                 int y1, const std::array<std::array<uint8_t, 3>, 256>& pal, const PaintTarget& t) {
    static const uint8_t kWhiteBgr[3] = {255, 255, 255};
    for (int y = y0; y < y1; ++y) {
        const std::size_t rowOffset = std::size_t(y - dy) * std::size_t(width);
        const uint8_t* m = mask + rowOffset;
        const uint8_t* ix = indices + rowOffset;
        uint8_t* prev = t.preview->Row(y);
        uint8_t* col = t.visible ? t.comp->CompositeColor.Row(y) : nullptr;
        uint8_t* msk = t.visible ? t.comp->CompositeMask.Row(y) : nullptr;
        for (int x = x0; x < x1; ++x) {
            const int sx = x - dx;
            if (m[sx] == 0) continue;
            const uint8_t* c = pal[ix[sx]].data();
            PutPixel(prev + 3 * x, c);
            if (col) {
                PutPixel(col + 3 * x, c);
                PutPixel(msk + 3 * x, kWhiteBgr);
            }
        }
    }
}

}  // namespace

void PaintChecker(Raster& r, int size, const TransparencyColors& colors) {
    if (r.Empty() || size < 1) return;
    const std::size_t bytes = std::size_t(r.Width()) * 3;
    for (int y = 0; y < r.Height(); ++y) {
        // The first row of each row block is built; the rest of the block copies it.
        if (y % size == 0)
            CheckerRow(r.Row(y), 0, r.Width(), size, y / size, colors);
        else
            std::memcpy(r.Row(y), r.Row(y - 1), bytes);
    }
}

Pattern8 OutlinePattern(int frame) {
    Pattern8 p{};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) p[std::size_t(y)][std::size_t(x)] = FloorMod(x + y - frame, 8) < 4;
    return p;
}

void Recompose(const Document& doc, const TransparencyColors& colors, Composite& out) {
    if (!doc.Ready || doc.LayerCount() < 1) return;
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    const std::size_t pixels = std::size_t(std::max(w, 0)) * std::size_t(std::max(h, 0));

    if (out.CompositeColor.Width() != w || out.CompositeColor.Height() != h) out.CompositeColor.Resize(w, h);
    if (out.CompositeMask.Width() != w || out.CompositeMask.Height() != h) out.CompositeMask.Resize(w, h);
    out.CompositeColor.Fill(kWhite);
    out.CompositeMask.Fill(kBlack);

    Raster smallChecker(w, h);
    PaintChecker(smallChecker, 4, colors);

    const auto pal = PaletteBgr(doc);
    const int n = doc.LayerCount();
    out.LayerPreviews.resize(std::size_t(n));

    // The floating content lies on the canvas where both the selection rectangle and the
    // shifted planes cover it: positions whose source is left of / above the planes are
    // skipped, and a row stops where the source runs past the right or bottom edge.
    const bool floatUsable = doc.HasSelection && doc.FloatIndices.size() >= pixels && doc.FloatMask.size() >= pixels;
    const int fx0 = std::max({doc.SelLeft, 0, doc.FloatDX});
    const int fy0 = std::max({doc.SelTop, 0, doc.FloatDY});
    const int fx1 = std::min({doc.SelRight, w, w + doc.FloatDX});
    const int fy1 = std::min({doc.SelBottom, h, h + doc.FloatDY});

    for (int i = 0; i < n; ++i) {
        const Layer& layer = doc.LayerAt(i);
        Raster& preview = out.LayerPreviews[std::size_t(i)];
        preview = smallChecker;  // reuses the existing allocation when the size is unchanged
        PaintTarget target{&preview, &out, layer.Visible != 0};
        // A layer whose planes do not match the canvas (never produced by the model) shows
        // nothing rather than reading past its planes.
        if (layer.Mask.size() >= pixels && layer.Indices.size() >= pixels)
            PaintPlanes(layer.Indices.data(), layer.Mask.data(), w, 0, 0, 0, 0, w, h, pal, target);
        if (floatUsable && i == doc.CurrentLayer() && fx0 < fx1 && fy0 < fy1)
            PaintPlanes(doc.FloatIndices.data(), doc.FloatMask.data(), w, doc.FloatDX, doc.FloatDY, fx0, fy0, fx1,
                        fy1, pal, target);
    }
}

void DrawGrid(Raster& view, int zoom, int originX, int originY) {
    DrawGridIn(view, zoom, originX, originY, 0, 0, view.Width(), view.Height());
}

void RenderZoomedView(const Document& doc, const Composite& comp, int zoom, const TransparencyColors& colors,
                      bool grid, const Rect& area, Raster& out) {
    out.Resize(std::max(area.Width(), 0), std::max(area.Height(), 0));
    if (out.Empty() || zoom < 1 || doc.ImageWidth <= 0 || doc.ImageHeight <= 0) return;

    // The part of `area` on the canvas, in canvas pixels.
    const int cx0 = std::max(area.left, 0), cy0 = std::max(area.top, 0);
    const int cx1 = std::min(area.right, doc.ImageWidth * zoom), cy1 = std::min(area.bottom, doc.ImageHeight * zoom);
    if (cx0 >= cx1 || cy0 >= cy1) return;
    const int width = cx1 - cx0;
    const int ox = cx0 - area.left;  // view column of canvas column cx0
    const std::size_t bytes = std::size_t(width) * 3;

    const bool haveComposite = comp.CompositeMask.Width() == doc.ImageWidth &&
                               comp.CompositeMask.Height() == doc.ImageHeight &&
                               comp.CompositeColor.Width() == doc.ImageWidth &&
                               comp.CompositeColor.Height() == doc.ImageHeight;
    const bool drawGrid = grid && zoom >= 3;

    // The two checker rows (even and odd row blocks) of the columns shown.
    std::vector<uint8_t> checker[2];
    for (int p = 0; p < 2; ++p) {
        checker[p].resize(bytes);
        CheckerRow(checker[p].data(), cx0, width, 8, p, colors);
    }
    // Grid columns shown, as offsets from cx0.
    std::vector<int> gridCols;
    if (drawGrid)
        for (int x = cx0 + (zoom - 1 - cx0 % zoom); x < cx1; x += zoom) gridCols.push_back(x - cx0);
    // Image columns touched by the area.
    const int ix0 = cx0 / zoom, ix1 = (cx1 - 1) / zoom + 1;

    // Within one image row a screen row depends only on the checker parity (or is the grid
    // row), so at most two distinct rows are built per image row and the others copied.
    int cachedImageRow = -1;
    int cachedRowY[2] = {-1, -1};  // view row holding the built row of each parity
    for (int cy = cy0; cy < cy1; ++cy) {
        uint8_t* row = out.Row(cy - area.top) + 3 * ox;
        if (drawGrid && cy % zoom == zoom - 1) {
            FillPixels(row, width, kGridColor);
            continue;
        }
        const int iy = cy / zoom;
        const int parity = (cy / 8) & 1;
        if (iy != cachedImageRow) {
            cachedImageRow = iy;
            cachedRowY[0] = cachedRowY[1] = -1;
        }
        if (cachedRowY[parity] >= 0) {
            std::memcpy(row, out.Row(cachedRowY[parity]) + 3 * ox, bytes);
            continue;
        }
        std::memcpy(row, checker[parity].data(), bytes);
        if (haveComposite) {
            const uint8_t* mask = comp.CompositeMask.Row(iy);
            const uint8_t* color = comp.CompositeColor.Row(iy);
            for (int ix = ix0; ix < ix1; ++ix) {
                if (mask[3 * ix] == 0 && mask[3 * ix + 1] == 0 && mask[3 * ix + 2] == 0) continue;
                const int s = std::max(ix * zoom, cx0), e = std::min((ix + 1) * zoom, cx1);
                const uint8_t* c = color + 3 * ix;
                FillPixels(row + 3 * (s - cx0), e - s, Rgb{c[2], c[1], c[0]});
            }
        }
        for (int gx : gridCols) FillPixels(row + 3 * gx, 1, kGridColor);
        cachedRowY[parity] = cy - area.top;
    }
}

Raster BuildFullZoomedView(const Document& doc, const Composite& comp, int zoom, const TransparencyColors& colors,
                           bool grid) {
    if (zoom < 1 || doc.ImageWidth <= 0 || doc.ImageHeight <= 0) return Raster();
    // Step 1: the 8-pixel checkerboard over the whole canvas.
    Raster view(doc.ImageWidth * zoom, doc.ImageHeight * zoom);
    PaintChecker(view, 8, colors);
    // Step 2: one filled square per opaque image pixel.
    if (comp.CompositeMask.Width() == doc.ImageWidth && comp.CompositeMask.Height() == doc.ImageHeight &&
        comp.CompositeColor.Width() == doc.ImageWidth && comp.CompositeColor.Height() == doc.ImageHeight) {
        for (int y = 0; y < doc.ImageHeight; ++y)
            for (int x = 0; x < doc.ImageWidth; ++x) {
                if (comp.CompositeMask.PixelUnchecked(x, y) == kBlack) continue;
                const Rgb c = comp.CompositeColor.PixelUnchecked(x, y);
                for (int sy = y * zoom; sy < (y + 1) * zoom; ++sy)
                    for (int sx = x * zoom; sx < (x + 1) * zoom; ++sx) view.SetPixelUnchecked(sx, sy, c);
            }
    }
    // Step 3: the grid, vertical lines then horizontal ones.
    if (grid && zoom >= 3) {
        for (int x = zoom - 1; x < view.Width(); x += zoom)
            for (int y = 0; y < view.Height(); ++y) view.SetPixelUnchecked(x, y, kGridColor);
        for (int y = zoom - 1; y < view.Height(); y += zoom)
            for (int x = 0; x < view.Width(); ++x) view.SetPixelUnchecked(x, y, kGridColor);
    }
    return view;
}

}  // namespace pq
