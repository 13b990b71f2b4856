#include "core/document/render.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "core/document/blend.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Recompose keeps colours as packed words 0x01RRGGBB, where bit 24 marks a painted pixel.
constexpr uint32_t kPainted = 1u << 24;
inline uint32_t Pack(Rgb c) { return uint32_t(c.b) | (uint32_t(c.g) << 8) | (uint32_t(c.r) << 16); }
inline void StorePacked(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
}

// One layer's planes onto its thumbnail row and, when visible, onto the composite row `top`.
// Branch-free: every pixel picks the palette colour or the checker/previous value by a mask,
// which keeps scattered painted pixels as cheap as solid areas.
void ComposeRow(const uint8_t* mask, const uint8_t* indices, const uint32_t* pal, const uint32_t* checker,
                uint32_t* thumb, uint32_t* top, bool visible, int width) {
    for (int x = 0; x < width; ++x) {
        const uint32_t sel = 0u - uint32_t(mask[x] != 0);
        const uint32_t c = pal[indices[x]];
        thumb[x] = (c & sel) | (checker[x] & ~sel);
    }
    if (visible)
        for (int x = 0; x < width; ++x) {
            const uint32_t sel = 0u - uint32_t(mask[x] != 0);
            top[x] = (pal[indices[x]] & sel) | (top[x] & ~sel);
        }
}

// Packed words to a raster row: four-byte stores that overlap by one byte (each pixel's spare
// byte is overwritten by the next pixel), the last pixel stored exactly so nothing lands past
// the row.
void StoreRow(uint8_t* out, const uint32_t* v, int width) {
    if (width <= 0) return;
    if constexpr (std::endian::native == std::endian::little)
        for (int x = 0; x + 1 < width; ++x) std::memcpy(out + 3 * x, &v[x], 4);
    else
        for (int x = 0; x + 1 < width; ++x) StorePacked(out + 3 * x, v[x]);
    StorePacked(out + 3 * (width - 1), v[width - 1]);
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

Rect UnionRect(const Rect& a, const Rect& b) {
    if (a.Empty()) return b.Empty() ? Rect{} : b;
    if (b.Empty()) return a;
    return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

Rect ClipRect(const Rect& r, int width, int height) {
    const Rect c{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width), std::min(r.bottom, height)};
    return c.Empty() ? Rect{} : c;
}

namespace {

// Composes the image pixels [x0, x1) x [y0, y1) of every thumbnail and of the composite; the
// rasters are already of the canvas size.
void ComposeArea(const Document& doc, const TransparencyColors& colors, int x0, int y0, int x1, int y1,
                 Composite& out) {
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    const int n = doc.LayerCount();
    const int aw = x1 - x0, ah = y1 - y0;

    uint32_t pal[256];
    for (std::size_t i = 0; i < 256; ++i) pal[i] = Pack(EntryColor(doc.Palette[i])) | kPainted;
    // The thumbnails' 4-pixel checker over the columns composed: one row per row-block parity.
    std::vector<uint32_t> checker[2];
    for (int p = 0; p < 2; ++p) {
        checker[p].resize(std::size_t(aw));
        for (int x = x0; x < x1; ++x) checker[p][std::size_t(x - x0)] = Pack(CheckerColor(x / 4, p, colors));
    }
    // The composite so far: the topmost visible painted colour of each pixel, 0 where none.
    std::vector<uint32_t> top(std::size_t(aw) * std::size_t(ah), 0);
    std::vector<uint32_t> thumb(static_cast<std::size_t>(aw));

    // The floating content lies on the canvas where both the selection rectangle and the
    // shifted planes cover it: positions whose source is left of / above the planes are
    // skipped, and a row stops where the source runs past the right or bottom edge.
    const bool floatUsable = doc.HasSelection && doc.FloatIndices.size() >= pixels && doc.FloatMask.size() >= pixels;
    const int fx0 = std::max({doc.SelLeft, 0, doc.FloatDX, x0});
    const int fy0 = std::max({doc.SelTop, 0, doc.FloatDY, y0});
    const int fx1 = std::min({doc.SelRight, w, w + doc.FloatDX, x1});
    const int fy1 = std::min({doc.SelBottom, h, h + doc.FloatDY, y1});

    for (int i = 0; i < n; ++i) {
        const Layer& layer = doc.LayerAt(i);
        const bool visible = layer.Visible != 0;
        // Planes that do not match the canvas (never produced by the model) show nothing
        // rather than being read past their end.
        const bool planesOk = layer.Mask.size() >= pixels && layer.Indices.size() >= pixels;
        const bool floating = floatUsable && i == doc.CurrentLayer() && fx0 < fx1 && fy0 < fy1;
        Raster& preview = out.LayerPreviews[std::size_t(i)];
        for (int y = y0; y < y1; ++y) {
            const std::size_t row = std::size_t(y) * std::size_t(w) + std::size_t(x0);
            const uint32_t* chk = checker[(y / 4) & 1].data();
            uint32_t* t = top.data() + std::size_t(y - y0) * std::size_t(aw);
            if (planesOk)
                ComposeRow(layer.Mask.data() + row, layer.Indices.data() + row, pal, chk, thumb.data(), t, visible, aw);
            else
                std::copy(chk, chk + aw, thumb.begin());
            if (floating && y >= fy0 && y < fy1) {
                // Plane offset of canvas pixel (x, y) is src + x; x - FloatDX >= 0 here.
                const std::ptrdiff_t src = std::ptrdiff_t(y - doc.FloatDY) * w - doc.FloatDX;
                for (int x = fx0; x < fx1; ++x) {
                    const std::size_t at = std::size_t(src + x);
                    if (doc.FloatMask[at] == 0) continue;
                    const uint32_t c = pal[doc.FloatIndices[at]];
                    thumb[std::size_t(x - x0)] = c;
                    if (visible) t[x - x0] = c;
                }
            }
            StoreRow(preview.Row(y) + 3 * x0, thumb.data(), aw);
        }
    }

    // White where nothing visible is painted; the mask is white exactly where something is.
    std::vector<uint32_t>& rowColor = thumb;
    std::vector<uint32_t> rowMask(static_cast<std::size_t>(aw));
    for (int y = y0; y < y1; ++y) {
        const uint32_t* t = top.data() + std::size_t(y - y0) * std::size_t(aw);
        for (int x = 0; x < aw; ++x) {
            const uint32_t sel = 0u - (t[x] >> 24);
            rowColor[std::size_t(x)] = (t[x] & sel) | (0xFFFFFFu & ~sel);
            rowMask[std::size_t(x)] = 0xFFFFFFu & sel;
        }
        StoreRow(out.CompositeColor.Row(y) + 3 * x0, rowColor.data(), aw);
        StoreRow(out.CompositeMask.Row(y) + 3 * x0, rowMask.data(), aw);
    }
}

inline Rgba8 Opaque(Rgb c) { return Rgba8{c.r, c.g, c.b, 255}; }
inline Rgb ColorPart(Rgba8 c) { return Rgb{c.r, c.g, c.b}; }

// Truecolour rows. An Rgba8 read as one little-endian word is r | g << 8 | b << 16 | a << 24.
static_assert(sizeof(Rgba8) == 4);

// Each pixel of `src` over the opaque pixel of `under` at the same place (its alpha is
// ignored), as packed words for StoreRow (byte 3 undefined): BlendOverOpaque, its division by
// 255 done exactly by a multiply and a shift ((v x 0x8081) >> 23 is v / 255 for any 16-bit v).
void OverOpaqueRow(const Rgba8* src, const Rgba8* under, uint32_t* out, int n) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i c255 = _mm_set1_epi16(255), c127 = _mm_set1_epi16(127);
    const __m128i magic = _mm_set1_epi16(short(0x8081));
    // Two pixels as 16-bit lanes r, g, b, a, r, g, b, a; the result lanes come out b, g, r, -.
    auto two = [&](__m128i s, __m128i u) {
        const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
        __m128i v = _mm_add_epi16(_mm_mullo_epi16(s, a), _mm_mullo_epi16(u, _mm_sub_epi16(c255, a)));
        v = _mm_srli_epi16(_mm_mulhi_epu16(_mm_add_epi16(v, c127), magic), 7);
        return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xC6), 0xC6);
    };
    for (; x + 4 <= n; x += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
        const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(under + x));
        const __m128i lo = two(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(u, zero));
        const __m128i hi = two(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(u, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; x < n; ++x) out[x] = Pack(BlendOverOpaque(ColorPart(under[x]), src[x]));
}

// dst[x] = BlendOver(dst[x], src[x]) for every x, to the bit. Four pixels at a time in single
// precision: every product and sum is an integer below 2^24, so exact, and the quotient is below
// 256 and at least 1/65025 from the next integer unless it is one, so truncating the correctly
// rounded division gives the integer division's result.
void OverRow(Rgba8* dst, const Rgba8* src, int n) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), low = _mm_set1_epi32(0xFF);
    const __m128i c127 = _mm_set1_epi32(127), c255 = _mm_set1_epi32(255), magic = _mm_set1_epi32(0x8081);
    const __m128i c255w = _mm_set1_epi16(255), c127w = _mm_set1_epi16(127), magicw = _mm_set1_epi16(short(0x8081));
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    const __m128 f255 = _mm_set1_ps(255.0f), f1 = _mm_set1_ps(1.0f);
    auto channel = [&](__m128i v, int shift) {
        return _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(v, shift), low));
    };
    for (; x + 4 <= n; x += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
        const __m128i sAlpha = _mm_srli_epi32(s, 24);
        // Four transparent sources leave the destination as it is.
        const __m128i clear = _mm_cmpeq_epi32(sAlpha, zero);
        if (_mm_movemask_epi8(clear) == 0xFFFF) continue;
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + x));
        // When each source is opaque, or lies over transparency, or is transparent itself, the
        // result is the source or (transparent source) the destination.
        const __m128i simple = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi32(sAlpha, c255), clear),
                                            _mm_cmpeq_epi32(_mm_srli_epi32(d, 24), zero));
        if (_mm_movemask_epi8(simple) == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_or_si128(_mm_and_si128(clear, d), _mm_andnot_si128(clear, s)));
            continue;
        }
        // Over an opaque destination the weights sum to 255 x 255: BlendOverOpaque, alpha 255.
        const __m128i dAlpha = _mm_srli_epi32(d, 24);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(dAlpha, c255)) == 0xFFFF) {
            auto two = [&](__m128i s16, __m128i d16) {
                const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, 0xFF), 0xFF);
                const __m128i v = _mm_add_epi16(_mm_mullo_epi16(s16, a), _mm_mullo_epi16(d16, _mm_sub_epi16(c255w, a)));
                return _mm_srli_epi16(_mm_mulhi_epu16(_mm_add_epi16(v, c127w), magicw), 7);
            };
            const __m128i lo = two(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
            const __m128i hi = two(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_or_si128(_mm_packus_epi16(lo, hi), opaque));
            continue;
        }
        const __m128 sa = _mm_cvtepi32_ps(sAlpha), da = _mm_cvtepi32_ps(dAlpha);
        const __m128 ws = _mm_mul_ps(sa, f255);                       // source weight
        const __m128 wd = _mm_mul_ps(da, _mm_sub_ps(f255, sa));        // what shows of dst
        const __m128 total = _mm_add_ps(ws, wd);
        const __m128 half = _mm_cvtepi32_ps(_mm_srli_epi32(_mm_cvttps_epi32(total), 1));
        const __m128 den = _mm_max_ps(total, f1);
        auto mix = [&](int shift) {
            const __m128 num = _mm_add_ps(_mm_add_ps(_mm_mul_ps(channel(s, shift), ws), _mm_mul_ps(channel(d, shift), wd)), half);
            return _mm_slli_epi32(_mm_cvttps_epi32(_mm_div_ps(num, den)), shift);
        };
        // (total + 127) / 255 by the multiply of OverOpaqueRow: the sum fits in 16 bits.
        const __m128i alpha = _mm_srli_epi32(_mm_mulhi_epu16(_mm_add_epi32(_mm_cvttps_epi32(total), c127), magic), 7);
        __m128i r = _mm_or_si128(_mm_or_si128(mix(0), mix(8)), _mm_or_si128(mix(16), _mm_slli_epi32(alpha, 24)));
        // Both transparent: dst stays, colour bytes included.
        const __m128i keep = _mm_castps_si128(_mm_cmpeq_ps(total, _mm_setzero_ps()));
        r = _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), r);
    }
#endif
    for (; x < n; ++x) dst[x] = BlendOver(dst[x], src[x]);
}

// The truecolour form of ComposeArea, row by row: each layer's row (with the floating pixels
// blended over the current layer's first) goes over the thumbnails' checker and, when the
// layer is visible, over the composite row, bottom layer first over transparency, exactly as
// ComposeRgbaLayers composes them.
void ComposeAreaTrueColor(const Document& doc, const TransparencyColors& colors, int x0, int y0, int x1, int y1,
                          Composite& out) {
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    const int n = doc.LayerCount();
    const int aw = x1 - x0;
    if (out.CompositeRgba.size() != pixels) out.CompositeRgba.assign(pixels, Rgba8{});
    const bool floatUsable = doc.HasSelection && doc.FloatPixels.size() == pixels;
    const int fx0 = std::max({doc.SelLeft, 0, doc.FloatDX, x0});
    const int fy0 = std::max({doc.SelTop, 0, doc.FloatDY, y0});
    const int fx1 = std::min({doc.SelRight, w, w + doc.FloatDX, x1});
    const int fy1 = std::min({doc.SelBottom, h, h + doc.FloatDY, y1});

    // The thumbnails' 4-pixel checker over the columns composed, one row per row-block parity,
    // and white under the composite.
    std::vector<Rgba8> checker[2];
    for (int p = 0; p < 2; ++p) {
        checker[p].resize(std::size_t(aw));
        for (int x = x0; x < x1; ++x) checker[p][std::size_t(x - x0)] = Opaque(CheckerColor(x / 4, p, colors));
    }
    const std::vector<Rgba8> white(std::size_t(aw), Opaque(kWhite));
    // A plane that does not match the canvas shows nothing rather than being read past its end.
    const std::vector<Rgba8> transparent(std::size_t(aw), Rgba8{});
    std::vector<Rgba8> lifted(static_cast<std::size_t>(aw));   // the current layer's row with the floating pixels
    std::vector<uint32_t> words(static_cast<std::size_t>(aw));

    for (int y = y0; y < y1; ++y) {
        const std::size_t row = std::size_t(y) * std::size_t(w) + std::size_t(x0);
        Rgba8* acc = out.CompositeRgba.data() + row;
        std::fill(acc, acc + aw, Rgba8{});
        const Rgba8* chk = checker[(y / 4) & 1].data();
        for (int i = 0; i < n; ++i) {
            const Layer& layer = doc.LayerAt(i);
            const Rgba8* src = layer.Pixels.size() == pixels ? layer.Pixels.data() + row : transparent.data();
            if (floatUsable && i == doc.CurrentLayer() && y >= fy0 && y < fy1 && fx0 < fx1) {
                std::copy(src, src + aw, lifted.begin());
                const Rgba8* fl = doc.FloatPixels.data() + std::ptrdiff_t(y - doc.FloatDY) * w - doc.FloatDX;
                for (int x = fx0; x < fx1; ++x) lifted[std::size_t(x - x0)] = BlendOver(lifted[std::size_t(x - x0)], fl[x]);
                src = lifted.data();
            }
            OverOpaqueRow(src, chk, words.data(), aw);
            StoreRow(out.LayerPreviews[std::size_t(i)].Row(y) + 3 * x0, words.data(), aw);
            if (layer.Visible) OverRow(acc, src, aw);
        }
        OverOpaqueRow(acc, white.data(), words.data(), aw);
        StoreRow(out.CompositeColor.Row(y) + 3 * x0, words.data(), aw);
        for (int x = 0; x < aw; ++x) words[std::size_t(x)] = acc[x].a != 0 ? 0xFFFFFFu : 0u;
        StoreRow(out.CompositeMask.Row(y) + 3 * x0, words.data(), aw);
    }
}

void ComposeAny(const Document& doc, const TransparencyColors& colors, int x0, int y0, int x1, int y1,
                Composite& out) {
    if (doc.TrueColor) {
        ComposeAreaTrueColor(doc, colors, x0, y0, x1, y1, out);
        return;
    }
    out.CompositeRgba.clear();
    ComposeArea(doc, colors, x0, y0, x1, y1, out);
}

// The truecolour composite the zoomed view shows, or null when there is none of the canvas size.
const Rgba8* TrueColorComposite(const Document& doc, const Composite& comp) {
    if (!doc.TrueColor || comp.CompositeRgba.size() != std::size_t(doc.PixelCount())) return nullptr;
    return comp.CompositeRgba.data();
}

}  // namespace

void Recompose(const Document& doc, const TransparencyColors& colors, Composite& out) {
    if (!doc.Ready || doc.LayerCount() < 1) return;
    const int w = std::max(doc.ImageWidth, 0), h = std::max(doc.ImageHeight, 0);
    auto fit = [w, h](Raster& r) {
        if (r.Width() != w || r.Height() != h) r.Resize(w, h);
    };
    fit(out.CompositeColor);
    fit(out.CompositeMask);
    out.LayerPreviews.resize(std::size_t(doc.LayerCount()));
    for (Raster& r : out.LayerPreviews) fit(r);
    out.Colors = colors;
    out.Changed = ClipRect(Rect{0, 0, w, h}, w, h);
    if (!out.Changed.Empty()) ComposeAny(doc, colors, 0, 0, w, h, out);
}

void Recompose(const Document& doc, const TransparencyColors& colors, const Rect& area, Composite& out) {
    if (!doc.Ready || doc.LayerCount() < 1) return;
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    auto fits = [w, h](const Raster& r) { return r.Width() == w && r.Height() == h; };
    bool built = out.Colors == colors && fits(out.CompositeColor) && fits(out.CompositeMask) &&
                 out.LayerPreviews.size() == std::size_t(doc.LayerCount());
    for (std::size_t i = 0; built && i < out.LayerPreviews.size(); ++i) built = fits(out.LayerPreviews[i]);
    // A composite built in the other colour mode is rebuilt whole.
    if (built) built = doc.TrueColor == (out.CompositeRgba.size() == std::size_t(w) * std::size_t(h) && w * h > 0);
    if (!built) {
        Recompose(doc, colors, out);
        return;
    }
    out.Changed = ClipRect(area, w, h);
    if (out.Changed.Empty()) return;
    ComposeAny(doc, colors, out.Changed.left, out.Changed.top, out.Changed.right, out.Changed.bottom, out);
}

void DrawGrid(Raster& view, int zoom, int originX, int originY) {
    DrawGridIn(view, zoom, originX, originY, 0, 0, view.Width(), view.Height());
}

void RenderZoomedView(const Document& doc, const Composite& comp, int zoom, const TransparencyColors& colors,
                      bool grid, const Rect& area, Raster& out) {
    const int outW = std::max(area.Width(), 0), outH = std::max(area.Height(), 0);
    // A raster of the right size is reused (the canvas part is overwritten below and the rest
    // blackened), which saves clearing the whole picture on every paint.
    const bool reused = out.Width() == outW && out.Height() == outH;
    if (!reused) out.Resize(outW, outH);
    if (out.Empty()) return;

    // The part of `area` on the canvas, in canvas pixels (empty when nothing can be shown).
    const bool drawable = zoom >= 1 && doc.ImageWidth > 0 && doc.ImageHeight > 0;
    const int cx0 = std::max(area.left, 0), cy0 = std::max(area.top, 0);
    const int cx1 = drawable ? std::min(area.right, doc.ImageWidth * zoom) : cx0;
    const int cy1 = drawable ? std::min(area.bottom, doc.ImageHeight * zoom) : cy0;
    const bool onCanvas = cx0 < cx1 && cy0 < cy1;
    const int ox = cx0 - area.left;  // view column of canvas column cx0
    if (reused) {
        for (int vy = 0; vy < outH; ++vy) {
            uint8_t* row = out.Row(vy);
            const int cy = area.top + vy;
            if (!onCanvas || cy < cy0 || cy >= cy1) {
                std::memset(row, 0, std::size_t(outW) * 3);
                continue;
            }
            std::memset(row, 0, std::size_t(ox) * 3);
            const int vx1 = cx1 - area.left;
            std::memset(row + 3 * vx1, 0, std::size_t(outW - vx1) * 3);
        }
    }
    if (!onCanvas) return;
    const int width = cx1 - cx0;
    const std::size_t bytes = std::size_t(width) * 3;

    const bool haveComposite = comp.CompositeMask.Width() == doc.ImageWidth &&
                               comp.CompositeMask.Height() == doc.ImageHeight &&
                               comp.CompositeColor.Width() == doc.ImageWidth &&
                               comp.CompositeColor.Height() == doc.ImageHeight;
    const bool drawGrid = grid && zoom >= 3;
    const Rgba8* rgba = TrueColorComposite(doc, comp);

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
        if (haveComposite && rgba) {
            // Each screen pixel of a square blends the composite pixel over its own checker
            // colour: a square at a high zoom spans several checker squares.
            const Rgba8* src = rgba + std::size_t(iy) * std::size_t(doc.ImageWidth);
            for (int ix = ix0; ix < ix1; ++ix) {
                const Rgba8 c = src[ix];
                if (c.a == 0) continue;
                const int s = std::max(ix * zoom, cx0), e = std::min((ix + 1) * zoom, cx1);
                if (c.a == 255) {
                    FillPixels(row + 3 * (s - cx0), e - s, ColorPart(c));
                    continue;
                }
                // The square's colour over each of the two checker colours, filled block by block.
                const Rgb over[2] = {BlendOverOpaque(colors.Color1, c), BlendOverOpaque(colors.Color2, c)};
                for (int x = s; x < e;) {
                    const int block = x / 8, end = std::min(e, (block + 1) * 8);
                    FillPixels(row + 3 * (x - cx0), end - x, over[(block + parity) & 1]);
                    x = end;
                }
            }
        } else if (haveComposite) {
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
        const Rgba8* rgba = TrueColorComposite(doc, comp);
        for (int y = 0; y < doc.ImageHeight; ++y)
            for (int x = 0; x < doc.ImageWidth; ++x) {
                if (rgba) {
                    // Truecolour: the composite pixel over whatever checker colour each screen
                    // pixel of its square shows.
                    const Rgba8 c = rgba[std::size_t(y) * std::size_t(doc.ImageWidth) + std::size_t(x)];
                    for (int sy = y * zoom; sy < (y + 1) * zoom; ++sy)
                        for (int sx = x * zoom; sx < (x + 1) * zoom; ++sx) {
                            const Rgb under = view.PixelUnchecked(sx, sy);
                            view.SetPixelUnchecked(sx, sy, ColorPart(BlendOver(Opaque(under), c)));
                        }
                    continue;
                }
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
