#include "core/formats/picture_import.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <sys/mman.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "core/document/color_reduction.h"
#include "core/document/quality_reduction.h"
#include "core/formats/bmp_reader.h"
#include "core/formats/file_formats.h"
#include "core/formats/jpeg_reader.h"
#include "core/formats/png_file.h"

namespace pq {

PictureKind PictureKindOf(const std::filesystem::path& path) {
    const FileFormat* format = FormatOfPath(path);
    if (!format) return PictureKind::None;
    if (format->Reader == FormatReader::Bitmap) return PictureKind::Bitmap;
    if (format->Reader == FormatReader::Jpeg) return PictureKind::Jpeg;
    if (format->Reader == FormatReader::Png) return PictureKind::Png;
    return PictureKind::None;
}

FileResult LoadPicture(const std::filesystem::path& path, PictureKind kind, Raster& picture, Plane* transparent) {
    if (transparent) transparent->clear();
    switch (kind) {
        case PictureKind::Bitmap: return LoadBitmapFile(path, picture);
        case PictureKind::Jpeg: return LoadJpegFile(path, picture);
        case PictureKind::Png: return LoadPngPicture(path, picture, transparent);
        case PictureKind::None: break;
    }
    picture = Raster();
    return FileResult::Failure(kBitmapUnsupportedMessage);
}

void PictureOverWhite(const std::vector<Rgba8>& pixels, int width, int height, Raster& picture, Plane& transparent) {
    picture = Raster();
    transparent.clear();
    if (width <= 0 || height <= 0 || pixels.size() != std::size_t(width) * std::size_t(height)) return;
    picture.Resize(width, height);
    transparent.assign(pixels.size(), 0);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* o = picture.Row(y);
        for (int x = 0; x < width; ++x, o += 3) {
            const Rgba8 c = pixels[std::size_t(y) * width + x];
            const unsigned a = c.a;
            auto over = [a](unsigned v) { return std::uint8_t((v * a + 255 * (255 - a) + 127) / 255); };
            o[0] = over(c.b), o[1] = over(c.g), o[2] = over(c.r);
            transparent[std::size_t(y) * width + x] = a == 0;
        }
    }
}

namespace {

// The zeroed bytes of a laid-out ring. Its planes lie a band of rows apart, so laying out one row
// writes to, and summing one target row reads from, as many pages as the row has x positions: a
// ring of a megabyte or more is asked for in 2 MB pages, which keep those pages in a few
// translation entries.
class RingBuffer {
public:
    void Allocate(std::size_t n) {
        constexpr std::size_t kHuge = std::size_t(2) << 20;
        const std::size_t bytes = n >= kHuge / 2 ? (n + kHuge - 1) / kHuge * kHuge : n;
        void* p = nullptr;
        if (posix_memalign(&p, bytes >= kHuge ? kHuge : 64, bytes) != 0) throw std::bad_alloc();
        data_.reset(static_cast<std::uint8_t*>(p));
#ifdef MADV_HUGEPAGE
        if (bytes >= kHuge) madvise(p, bytes, MADV_HUGEPAGE);   // a hint: without it the ring is only slower
#endif
        std::memset(p, 0, n);
        size_ = n;
    }
    std::uint8_t* data() { return data_.get(); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t[], Free> data_;
    std::size_t size_ = 0;
};

// One sample position along an axis: the two source lines it lies between and their weights,
// computed exactly as the per-sample formula computes them.
struct Tap {
    int i0, i1;
    double w0, w1;   // 1 - f and f, f being the position's fraction
};

// The sample positions of one cell, one source pixel apart from `start` while below `end`, in
// the order the sum visits them; positions whose two neighbours are not both on the picture
// (0 .. limit - 1) are left out, as the sum skips them.
void CellTaps(double start, double end, int limit, std::vector<Tap>& out) {
    out.clear();
    for (double v = start; v < end; v += 1) {
        const double f0 = std::floor(v), f1 = std::ceil(v);
        if (f0 < 0 || f1 >= limit) continue;
        const double f = v - f0;
        out.push_back(Tap{int(f0), int(f1), 1 - f, f});
    }
}

// The bilinear value of one channel at a sample, evaluated term by term from the left,
// (p * wx) * wy: that order decides the rounding where a value lands next to a whole number.
// Where the second column's weight is 0 (a whole x) its terms are +0 and drop out exactly,
// and its pixels need not be read.
inline double Bilinear(const std::uint8_t* r0, const std::uint8_t* r1, const Tap& tx, const Tap& ty, int c) {
    const int x0 = 3 * tx.i0 + c;
    if (tx.w1 == 0) return r0[x0] * tx.w0 * ty.w0 + r1[x0] * tx.w0 * ty.w1;
    const int x1 = 3 * tx.i1 + c;
    return r0[x0] * tx.w0 * ty.w0 + r0[x1] * tx.w1 * ty.w0 + r1[x0] * tx.w0 * ty.w1 + r1[x1] * tx.w1 * ty.w1;
}

// Target pixels of a row whose sums advance side by side (see ResampleArea).
constexpr int kLanes = 8;

#if defined(__x86_64__) && defined(__GNUC__)
// One step of kLanes sums (each pixel's k-th x position over all y positions) where the
// processor has 256-bit registers: the three channels of a pixel advance in one register, v
// evaluated exactly as Bilinear does, term by term (at a whole x the second column's terms are
// +0 and are left out), and the sum truncated after each sample. Sums stay below 2^31 (the
// caller checks).
__attribute__((target("avx2"))) void AddStepWide(const std::uint8_t* const* rows, int base, const std::vector<Tap>& ys,
                                                  const Tap* const (&tx)[kLanes], bool wholeX,
                                                  long long (&sum)[kLanes][3]) {
    __m128i s[kLanes];
    int at0[kLanes], at1[kLanes], shift0[kLanes], shift1[kLanes];
    __m256d wx0[kLanes], wx1[kLanes];
    for (int q = 0; q < kLanes; ++q) {
        s[q] = _mm_set_epi32(0, int(sum[q][2]), int(sum[q][1]), int(sum[q][0]));
        const int x0 = 3 * tx[q]->i0, x1 = 3 * tx[q]->i1;
        at0[q] = x0 > 0 ? x0 - 1 : 0;
        shift0[q] = x0 > 0 ? 8 : 0;
        at1[q] = x1 > 0 ? x1 - 1 : 0;
        shift1[q] = x1 > 0 ? 8 : 0;
        wx0[q] = _mm256_set1_pd(tx[q]->w0);
        wx1[q] = _mm256_set1_pd(tx[q]->w1);
    }
    for (std::size_t m = 0; m < ys.size(); ++m) {
        const std::uint8_t* r0 = rows[ys[m].i0 - base];
        const std::uint8_t* r1 = rows[ys[m].i1 - base];
        const __m256d wy0 = _mm256_set1_pd(ys[m].w0), wy1 = _mm256_set1_pd(ys[m].w1);
        for (int q = 0; q < kLanes; ++q) {
            // A pixel's three bytes (and a 0) from one 32-bit read ending at its last byte
            // (starting at it for the first pixel), so that no read passes the end of the picture.
            std::uint32_t p00, p01, p10 = 0, p11 = 0;
            std::memcpy(&p00, r0 + at0[q], 4);
            std::memcpy(&p01, r1 + at0[q], 4);
            if (!wholeX) {
                std::memcpy(&p10, r0 + at1[q], 4);
                std::memcpy(&p11, r1 + at1[q], 4);
            }
            const __m256d d00 = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(int((p00 >> shift0[q]) & 0xFFFFFF))));
            const __m256d d01 = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(int((p01 >> shift0[q]) & 0xFFFFFF))));
            if (wholeX) {
                // The weight of a whole x is 1: (p * 1) * wy is p * wy exactly.
                const __m256d v = _mm256_add_pd(_mm256_mul_pd(d00, wy0), _mm256_mul_pd(d01, wy1));
                s[q] = _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_cvtepi32_pd(s[q]), v));
                continue;
            }
            __m256d v = _mm256_mul_pd(_mm256_mul_pd(d00, wx0[q]), wy0);
            const __m256d d10 = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(int((p10 >> shift1[q]) & 0xFFFFFF))));
            const __m256d d11 = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(int((p11 >> shift1[q]) & 0xFFFFFF))));
            v = _mm256_add_pd(v, _mm256_mul_pd(_mm256_mul_pd(d10, wx1[q]), wy0));
            v = _mm256_add_pd(v, _mm256_mul_pd(_mm256_mul_pd(d01, wx0[q]), wy1));
            v = _mm256_add_pd(v, _mm256_mul_pd(_mm256_mul_pd(d11, wx1[q]), wy1));
            s[q] = _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_cvtepi32_pd(s[q]), v));
        }
    }
    for (int q = 0; q < kLanes; ++q) {
        alignas(16) std::int32_t out[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(out), s[q]);
        for (int c = 0; c < 3; ++c) sum[q][c] = out[c];
    }
}
#endif


// The sample positions of every target column and row (see ResampleArea).
struct AreaTaps {
    std::vector<std::vector<Tap>> columns, rows;
};

// The frame may have fractional corners (a frame of the full picture over a picture the decoder
// scaled down); whole corners give exactly the positions ResampleArea defines.
AreaTaps MakeTaps(int sw, int sh, double left, double top, double right, double bottom, int w, int h) {
    const double sx = (right - left) / w;
    const double sy = (bottom - top) / h;
    AreaTaps taps;
    taps.columns.resize(std::size_t(w));
    taps.rows.resize(std::size_t(h));
    for (int j = 0; j < w; ++j) CellTaps(left + sx * j, left + sx * (j + 1), sw, taps.columns[std::size_t(j)]);
    for (int i = 0; i < h; ++i) CellTaps(top + sy * i, top + sy * (i + 1), sh, taps.rows[std::size_t(i)]);
    return taps;
}

// Target row i from the source rows its y positions read (rows[y - base] is source row y's
// bytes; only those rows need be there). Each target pixel's sum advances sample by sample in its
// defined order, x outer, y inner, the fraction dropped each time a sample is added: a chain in
// which every step waits for the one before. Pixels of a target row are independent chains, so
// groups of kLanes advance side by side, one x position each per step, in vector registers
// where every pixel of the group has one.
void ResampleTargetRow(const std::uint8_t* const* rows, int base, const AreaTaps& taps, int i, Raster& target) {
    const int w = target.Width();
    const std::vector<Tap>& ys = taps.rows[std::size_t(i)];
    if (ys.empty()) return;   // no sample: the row stays white
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool wide = __builtin_cpu_supports("avx2");
#endif
    for (int j0 = 0; j0 < w; j0 += kLanes) {
        const std::vector<Tap>* xs[kLanes];
        std::size_t size[kLanes], steps = 0;
        for (int q = 0; q < kLanes; ++q) {
            xs[q] = j0 + q < w ? &taps.columns[std::size_t(j0 + q)] : nullptr;
            size[q] = xs[q] ? xs[q]->size() : 0;
            steps = std::max(steps, size[q]);
        }
        // 32 bits hold each sum while the samples stay below 2^23 (255 each at most).
        const bool narrow = steps * ys.size() < (std::size_t(1) << 23);
        long long sum[kLanes][3] = {};
        for (std::size_t k = 0; k < steps; ++k) {
            bool together = narrow, wholeX = true;
            const Tap* tx[kLanes];
            for (int q = 0; q < kLanes && together; ++q) {
                together = k < size[q];
                if (!together) break;
                tx[q] = &(*xs[q])[k];
                wholeX = wholeX && tx[q]->w1 == 0;
            }
#if defined(__x86_64__) && defined(__GNUC__)
            if (together && wide) {
                AddStepWide(rows, base, ys, tx, wholeX, sum);
                continue;
            }
#endif
            for (std::size_t m = 0; m < ys.size(); ++m) {
                const std::uint8_t* r0 = rows[ys[m].i0 - base];
                const std::uint8_t* r1 = rows[ys[m].i1 - base];
                for (int q = 0; q < kLanes; ++q) {
                    if (k >= size[q]) continue;
                    for (int c = 0; c < 3; ++c)
                        sum[q][c] = (long long)(double(sum[q][c]) + Bilinear(r0, r1, (*xs[q])[k], ys[m], c));
                }
            }
        }
        for (int q = 0; q < kLanes && j0 + q < w; ++q) {
            const long long n = (long long)(size[q] * ys.size());
            if (n == 0) continue;   // no sample: the pixel stays white
            target.SetPixelUnchecked(j0 + q, i,
                                     Rgb{std::uint8_t(sum[q][2] / n), std::uint8_t(sum[q][1] / n), std::uint8_t(sum[q][0] / n)});
        }
    }
}

// The sampler of the row-by-row import, where the processor has 512-bit registers. The sums of
// a target row (one per pixel and channel) are independent chains, so eight of them advance in
// one register. Their bytes are made adjacent once per source row: each arriving row is laid out
// by x position k and then by target pixel and channel (the byte the k-th x position of each
// pixel reads, and for positions between two columns the second column's byte in a plane of its
// own), so that a step of eight chains reads eight adjacent bytes. Each step evaluates v exactly
// as Bilinear does, term by term, and drops the fraction of the sum after it, as
// ResampleTargetRow does: the same bytes. A pixel with fewer x positions than the others adds +0
// for the missing ones (its weights are 0), which leaves its sum as it is.
struct PlanarTaps {
    static constexpr int kLanes = 8;              // chains in a register
    static constexpr int kGroup = 6;              // registers advanced side by side
    static constexpr int kBlock = kLanes * kGroup;
    int width = 0;                                // target pixels
    int steps = 0;                                // x positions of the pixel with the most
    int padded = 0;                               // 3 * width rounded up to kBlock: one plane's row
    std::vector<int> colA, colB;                  // [k * width + j]: the columns position k reads (0 when missing)
    std::vector<double> wx0, wx1;                 // [k * padded + 3j + c]: its weights (0 when missing)
    std::vector<std::uint8_t> whole;              // [k]: every pixel has position k on a whole column
    std::vector<std::uint8_t> pairA, pairB;       // [k]: every pixel's position k + 1 reads the column after k's
    std::vector<int> count;                       // [j]: the x positions of pixel j
    bool blended = false;                         // some position lies between two columns
    // From plane k of a laid-out row to plane k + 1. The rows of a ring lie side by side inside
    // each plane (see Sampler), so that one x position's bytes of successive rows are adjacent.
    std::size_t stride = 0;

    explicit PlanarTaps(const std::vector<std::vector<Tap>>& columns) {
        width = int(columns.size());
        for (const std::vector<Tap>& xs : columns) steps = std::max(steps, int(xs.size()));
        padded = (3 * width + kBlock - 1) / kBlock * kBlock;
        colA.assign(std::size_t(steps) * std::size_t(width), 0);
        colB = colA;
        whole.assign(std::size_t(steps), 1);
        for (const std::vector<Tap>& xs : columns)
            for (std::size_t k = 0; k < std::size_t(steps); ++k)
                if (k >= xs.size() || xs[k].w1 != 0) whole[k] = 0;
        for (std::uint8_t w : whole) blended = blended || !w;
        // The weights are read only where some position lies between two columns or is missing.
        if (blended) {
            wx0.assign(std::size_t(steps) * std::size_t(padded), 0.0);
            wx1 = wx0;
        }
        // Positions one column apart are laid two at a time from one eight-byte read per pixel.
        auto pairs = [&](const std::vector<int>& cols, std::vector<std::uint8_t>& out) {
            out.assign(std::size_t(steps), 0);
            for (int k = 0; k + 1 < steps; ++k) {
                bool next = true;
                for (int j = 0; j < width && next; ++j)
                    next = cols[std::size_t(k + 1) * std::size_t(width) + std::size_t(j)] ==
                           cols[std::size_t(k) * std::size_t(width) + std::size_t(j)] + 1;
                out[std::size_t(k)] = next;
            }
        };
        count.resize(std::size_t(width));
        for (int j = 0; j < width; ++j) {
            const std::vector<Tap>& xs = columns[std::size_t(j)];
            count[std::size_t(j)] = int(xs.size());
            for (int k = 0; k < steps; ++k) {
                const std::size_t at = std::size_t(k) * std::size_t(width) + std::size_t(j);
                if (k >= int(xs.size())) continue;
                const Tap& t = xs[std::size_t(k)];
                colA[at] = t.i0;
                colB[at] = t.i1;
                if (!blended) continue;
                for (int c = 0; c < 3; ++c) {
                    wx0[std::size_t(k) * std::size_t(padded) + std::size_t(3 * j + c)] = t.w0;
                    wx1[std::size_t(k) * std::size_t(padded) + std::size_t(3 * j + c)] = t.w1;
                }
            }
        }
        pairs(colA, pairA);
        pairs(colB, pairB);
    }

#if defined(__x86_64__) && defined(__GNUC__)
#define PQ_GATHER_LAYOUT 1
    // Lay with sixteen pixels at a time: their four bytes gathered, the first three of each
    // packed together and stored.
    __attribute__((target("avx512f,avx512bw,avx512vbmi"))) void LayPlaneGathered(const std::uint8_t* raw, const int* cols,
                                                                                std::uint8_t* out) const {
        alignas(64) std::uint8_t order[64];
        for (int i = 0; i < 64; ++i) order[i] = std::uint8_t(i < 48 ? i / 3 * 4 + i % 3 : 0);
        const __m512i pack = _mm512_load_si512(order);
        const __m512i three = _mm512_set1_epi32(3);
        for (int j = 0; j < width; j += 16) {
            const int n = std::min(16, width - j);
            const __mmask16 in = __mmask16((1u << n) - 1);
            const __m512i at = _mm512_mullo_epi32(_mm512_maskz_loadu_epi32(in, cols + j), three);
            const __m512i px = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), in, at, raw, 1);
            _mm512_mask_storeu_epi8(out + 3 * j, __mmask64((1ull << (3 * n)) - 1), _mm512_permutexvar_epi8(pack, px));
        }
    }
    // Planes k and k + 1 where each pixel's position k + 1 reads the column after k's: eight
    // bytes per pixel (both positions' three and two more) gathered for sixteen pixels, and each
    // plane's bytes picked from the two registers.
    __attribute__((target("avx512f,avx512bw,avx512vbmi"))) void LayPairGathered(const std::uint8_t* raw, const int* cols,
                                                                               std::uint8_t* out0, std::uint8_t* out1) const {
        alignas(64) std::uint8_t order[64];
        for (int i = 0; i < 64; ++i) order[i] = std::uint8_t(i < 48 ? i / 3 / 8 * 64 + i / 3 % 8 * 8 + i % 3 : 0);
        const __m512i pick0 = _mm512_load_si512(order);
        const __m512i pick1 = _mm512_add_epi8(pick0, _mm512_set1_epi8(3));
        const __m512i three = _mm512_set1_epi32(3);
        for (int j = 0; j < width; j += 16) {
            const int n = std::min(16, width - j);
            const __mmask16 in = __mmask16((1u << n) - 1);
            const __mmask8 lo = __mmask8(in), hi = __mmask8(in >> 8);
            const __m512i at = _mm512_mullo_epi32(_mm512_maskz_loadu_epi32(in, cols + j), three);
            const __m256i at0 = _mm512_castsi512_si256(at), at1 = _mm512_extracti64x4_epi64(at, 1);
            const __m512i p0 = _mm512_mask_i32gather_epi64(_mm512_setzero_si512(), lo, at0, raw, 1);
            const __m512i p1 = _mm512_mask_i32gather_epi64(_mm512_setzero_si512(), hi, at1, raw, 1);
            const __mmask64 bytes = __mmask64((1ull << (3 * n)) - 1);
            _mm512_mask_storeu_epi8(out0 + 3 * j, bytes, _mm512_permutex2var_epi8(p0, pick0, p1));
            _mm512_mask_storeu_epi8(out1 + 3 * j, bytes, _mm512_permutex2var_epi8(p0, pick1, p1));
        }
    }
    void LayGathered(const std::uint8_t* raw, std::uint8_t* a, std::uint8_t* b) const {
        auto plane = [&](const std::vector<int>& cols, const std::vector<std::uint8_t>& pair, std::uint8_t* out, bool (*wanted)(const PlanarTaps&, int)) {
            for (int k = 0; k < steps; ++k) {
                if (!wanted(*this, k)) continue;
                const int* c = &cols[std::size_t(k) * std::size_t(width)];
                if (pair[std::size_t(k)] && wanted(*this, k + 1)) {
                    LayPairGathered(raw, c, out + std::size_t(k) * stride, out + std::size_t(k + 1) * stride);
                    ++k;
                } else {
                    LayPlaneGathered(raw, c, out + std::size_t(k) * stride);
                }
            }
        };
        plane(colA, pairA, a, [](const PlanarTaps&, int) { return true; });
        if (b) plane(colB, pairB, b, [](const PlanarTaps& t, int k) { return !t.whole[std::size_t(k)]; });
    }
#endif

    // The bytes of a ring of `rows` laid-out rows: row slot s starts at s * padded, its plane k
    // k * stride further; with room after the last plane for the last pixel's four-byte write.
    std::size_t RingBytes(std::size_t rows) {
        stride = rows * std::size_t(padded);
        return std::size_t(steps) * stride + 4;
    }

    // One source row (its bytes from the first column any sample reads, with one byte of room
    // after the last) into the layout. Each pixel moves as four bytes, the fourth overwritten by
    // the next pixel or lying in the padding.
    void Lay(const std::uint8_t* raw, std::uint8_t* a, std::uint8_t* b) const {
        auto lay = [&](const int* cols, std::uint8_t* out) {
            // The fourth byte lands in the next pixel or the padding, except after the last
            // pixel of a row without padding, where it would reach the next slot's plane.
            for (int j = 0; j < width; ++j) {
                std::uint32_t v;
                std::memcpy(&v, raw + 3 * std::size_t(cols[j]), 4);
                std::memcpy(out + 3 * j, &v, j + 1 < width || 3 * width < padded ? 4 : 3);
            }
        };
#ifdef PQ_GATHER_LAYOUT
        static const bool gather = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
        if (gather) {
            LayGathered(raw, a, b);
            return;
        }
#endif
        for (int k = 0; k < steps; ++k) {
            lay(&colA[std::size_t(k) * std::size_t(width)], a + std::size_t(k) * stride);
            if (b && !whole[std::size_t(k)])
                lay(&colB[std::size_t(k) * std::size_t(width)], b + std::size_t(k) * stride);
        }
    }
};

#if defined(__x86_64__) && defined(__GNUC__)
#define PQ_PLANAR_SAMPLER 1

// Products and sums each rounded by themselves, to nearest, as the scalar code rounds them: the
// operations with their rounding named are never fused into one multiply-add by the compiler.
constexpr int kNearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
__attribute__((target("avx512f,avx512dq"))) inline __m512d Mul(__m512d a, __m512d b) { return _mm512_mul_round_pd(a, b, kNearest); }
__attribute__((target("avx512f,avx512dq"))) inline __m512d Add(__m512d a, __m512d b) { return _mm512_add_round_pd(a, b, kNearest); }
__attribute__((target("avx512f,avx512dq"))) inline __m512d Sub(__m512d a, __m512d b) { return _mm512_sub_round_pd(a, b, kNearest); }

__attribute__((target("avx512f,avx512dq"))) inline __m512d LoadLanes(const std::uint8_t* p) {
    return _mm512_cvtepi64_pd(_mm512_cvtepu8_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}

// Whether w times any byte is a double exactly: w has at most 45 significant bits.
bool ExactByteProducts(double w) {
    int e = 0;
    const double m = std::frexp(w, &e);   // w = m * 2^e, 0.5 <= m < 1
    return std::ldexp(m, 45) == std::floor(std::ldexp(m, 45));
}

// One x position's steps of a group of lanes where every pixel reads a whole column:
// (p * 1) * wy is p * wy, and the second column's terms are +0. With `exact` (every weight's
// products with bytes are exact, ExactByteProducts) the sum of the two products, which is then
// rounded once, is the same one multiply-add.
template <bool exact>
__attribute__((target("avx512f,avx512dq"), always_inline)) inline void WholeColumnSums(const std::uint8_t* const* a, int base,
                                                                                    const std::vector<Tap>& ys, std::size_t off,
                                                                                    __m512d* s) {
    constexpr int G = PlanarTaps::kGroup, L = PlanarTaps::kLanes;
    const __m512d big = _mm512_set1_pd(4503599627370496.0);   // 2^52
    __m512d d0[G], d1[G];
    for (int q = 0; q < G; ++q) d0[q] = d1[q] = _mm512_setzero_pd();
    int prev = -1;
    for (const Tap& ty : ys) {
        const __m512d wy0 = _mm512_set1_pd(ty.w0), wy1 = _mm512_set1_pd(ty.w1);
        const std::uint8_t* r0 = a[ty.i0 - base] + off;
        const std::uint8_t* r1 = a[ty.i1 - base] + off;
#pragma GCC unroll 6
        for (int q = 0; q < G; ++q) {
            d0[q] = ty.i0 == prev ? d1[q] : LoadLanes(r0 + L * q);
            d1[q] = LoadLanes(r1 + L * q);
            const __m512d v = exact ? _mm512_fmadd_round_pd(d0[q], wy0, Mul(d1[q], wy1), kNearest)
                                    : Add(Mul(d0[q], wy0), Mul(d1[q], wy1));
            const __m512d x = Add(s[q], v);
            s[q] = Sub(_mm512_add_round_pd(x, big, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC), big);
        }
        prev = ty.i1;
    }
}

// The sums of target row i (`sums`: PlanarTaps::padded values, 3j + c) from the laid-out rows
// (a[y - base], b[y - base]) its y positions read. Sums stay far below 2^52, where adding 2^52
// rounding towards zero and taking it away again drops the fraction exactly.
__attribute__((target("avx512f,avx512dq"))) void PlanarSums(const std::uint8_t* const* a, const std::uint8_t* const* b, int base,
                                                    const std::vector<Tap>& ys, const PlanarTaps& t, double* sums) {
    constexpr int G = PlanarTaps::kGroup, L = PlanarTaps::kLanes;
    const __m512d big = _mm512_set1_pd(4503599627370496.0);   // 2^52
    bool exactProducts = true;
    for (const Tap& ty : ys) exactProducts = exactProducts && ExactByteProducts(ty.w0) && ExactByteProducts(ty.w1);
    // x position by x position, each one's plane read for every group of lanes while it is in
    // the cache; each lane's chain still visits its samples in its own order.
    std::fill(sums, sums + t.padded, 0.0);
    for (int k = 0; k < t.steps; ++k) {
        for (int g = 0; g < t.padded; g += PlanarTaps::kBlock) {
            __m512d s[G];
            for (int q = 0; q < G; ++q) s[q] = _mm512_loadu_pd(sums + g + L * q);
            const std::size_t off = std::size_t(k) * t.stride + std::size_t(g);
            const std::size_t woff = std::size_t(k) * std::size_t(t.padded) + std::size_t(g);
            int prev = -1;
            if (t.whole[std::size_t(k)]) {
                if (exactProducts)
                    WholeColumnSums<true>(a, base, ys, off, s);
                else
                    WholeColumnSums<false>(a, base, ys, off, s);
                for (int q = 0; q < G; ++q) _mm512_storeu_pd(sums + g + L * q, s[q]);
                continue;
            }
            // p * wx of a row's two columns, kept for the next y position when it reads the same row.
            __m512d e0[G], e1[G], f0[G], f1[G];
            for (int q = 0; q < G; ++q) e0[q] = e1[q] = f0[q] = f1[q] = _mm512_setzero_pd();
            for (const Tap& ty : ys) {
                const __m512d wy0 = _mm512_set1_pd(ty.w0), wy1 = _mm512_set1_pd(ty.w1);
                const std::uint8_t* r0a = a[ty.i0 - base] + off;
                const std::uint8_t* r0b = b[ty.i0 - base] + off;
                const std::uint8_t* r1a = a[ty.i1 - base] + off;
                const std::uint8_t* r1b = b[ty.i1 - base] + off;
#pragma GCC unroll 6
                for (int q = 0; q < G; ++q) {
                    const __m512d w0 = _mm512_loadu_pd(&t.wx0[woff + std::size_t(L * q)]);
                    const __m512d w1 = _mm512_loadu_pd(&t.wx1[woff + std::size_t(L * q)]);
                    if (ty.i0 == prev) {
                        e0[q] = f0[q];
                        e1[q] = f1[q];
                    } else {
                        e0[q] = Mul(LoadLanes(r0a + L * q), w0);
                        e1[q] = Mul(LoadLanes(r0b + L * q), w1);
                    }
                    f0[q] = Mul(LoadLanes(r1a + L * q), w0);
                    f1[q] = Mul(LoadLanes(r1b + L * q), w1);
                    __m512d v = Mul(e0[q], wy0);
                    v = Add(v, Mul(e1[q], wy0));
                    v = Add(v, Mul(f0[q], wy1));
                    v = Add(v, Mul(f1[q], wy1));
                    const __m512d x = Add(s[q], v);
                    s[q] = Sub(_mm512_add_round_pd(x, big, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC), big);
                }
                prev = ty.i1;
            }
            for (int q = 0; q < G; ++q) _mm512_storeu_pd(sums + g + L * q, s[q]);
        }
    }
}

// acc[i] += row[i] for n bytes.
__attribute__((target("avx512f,avx512bw"))) void AddBytesWide(const std::uint8_t* row, std::size_t n, std::uint16_t* acc) {
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m512i v = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i)));
        _mm512_storeu_si512(acc + i, _mm512_add_epi16(_mm512_loadu_si512(acc + i), v));
    }
    for (; i < n; ++i) acc[i] = std::uint16_t(acc[i] + row[i]);
}
#endif

void AddBytes(const std::uint8_t* row, std::size_t n, std::uint16_t* acc) {
#ifdef PQ_PLANAR_SAMPLER
    static const bool wide = __builtin_cpu_supports("avx512bw");
    if (wide) {
        AddBytesWide(row, n, acc);
        return;
    }
#endif
    for (std::size_t i = 0; i < n; ++i) acc[i] = std::uint16_t(acc[i] + row[i]);
}

}  // namespace

void ResampleArea(const Raster& source, int left, int top, int right, int bottom, Raster& target) {
    const int sw = source.Width(), sh = source.Height();
    const int w = target.Width(), h = target.Height();
    if (left >= sw || top >= sh || w == 0 || h == 0) return;
    const AreaTaps taps = MakeTaps(sw, sh, left, top, right, bottom, w, h);
    std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(sh));
    for (int y = 0; y < sh; ++y) rows[std::size_t(y)] = source.Row(y);
    for (int i = 0; i < h; ++i) ResampleTargetRow(rows.data(), 0, taps, i, target);
}

namespace {

// Which target pixels of target row i have more transparent samples than opaque ones, each
// sample counted as the source pixel it lies nearest to (the first of two at equal distance);
// clearRows[y - base] holds source row y's transparency (1 = transparent), in the columns the
// taps name.
void TransparencyTargetRow(const std::uint8_t* const* clearRows, int base, const AreaTaps& taps, int i, int w, Plane& out) {
    const std::vector<Tap>& ys = taps.rows[std::size_t(i)];
    auto nearest = [](const Tap& t) { return t.w1 > t.w0 ? t.i1 : t.i0; };
    for (int j = 0; j < w; ++j) {
        const std::vector<Tap>& xs = taps.columns[std::size_t(j)];
        std::size_t clear = 0;
        for (const Tap& tx : xs)
            for (const Tap& ty : ys) clear += clearRows[nearest(ty) - base][nearest(tx)] != 0;
        out[std::size_t(i) * std::size_t(w) + std::size_t(j)] = 2 * clear > xs.size() * ys.size();
    }
}

}  // namespace

// The rows arrive in order; each target row is made as soon as the last row it reads is in,
// from a ring holding the rows target rows read (their y positions lie one source row apart, so
// one target row reads a band a little taller than the frame's height over the target's), and
// of each row only the columns the frame's samples read. Everything runs on the decoder's
// thread: the sampling costs a small part of the decoding, and a second thread would only add
// its hand-overs and waiting to the process's CPU time.
class AreaResampler::Sampler {
public:
    Sampler(int sw, int sh, double left, double top, double right, double bottom, Raster& target, Plane* unpainted)
        : target_(target), unpainted_(unpainted),
          taps_(MakeTaps(sw, sh, left, top, right, bottom, target.Width(), target.Height())) {
        // The columns any sample reads; the column taps are made relative to the first of them.
        int first = sw, end = 0;
        for (const std::vector<Tap>& xs : taps_.columns)
            for (const Tap& t : xs) first = std::min(first, t.i0), end = std::max(end, t.i1 + 1);
        if (first >= end) first = 0, end = 1;
        first_ = first;
        end_ = end;
        for (std::vector<Tap>& xs : taps_.columns)
            for (Tap& t : xs) t.i0 -= first, t.i1 -= first;
        std::size_t band = 1;
        for (const std::vector<Tap>& ys : taps_.rows)
            if (!ys.empty()) band = std::max(band, std::size_t(ys.back().i1 - ys.front().i0 + 1));
#ifdef PQ_PLANAR_SAMPLER
        static const bool planar = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
        if (planar) {
            // Each row is decoded into one row of room and laid out into its ring slot at once.
            planar_.emplace(taps_.columns);
            // Room for the eight-byte reads of LayPairGathered after the last column's bytes.
            scratch_.assign(3 * std::size_t(end_ - first_) + 5 + kJpegRowSlack, 0);
            slots_ = band;
            planeA_.Allocate(planar_->RingBytes(band));
            if (planar_->blended) planeB_.Allocate(planeA_.size());
            sums_.resize(std::size_t(planar_->padded));
            PlanWholeRows(sh);
        }
#endif
        ring_.resize(planar_ ? 0 : band);
        // One byte more than the row: the wide sampler reads a pixel's three bytes four at a time.
        for (auto& row : ring_) row.assign(3 * std::size_t(end_ - first_) + 1, 0);
        bandRows_ = band;
        Skip();
    }

    int First() const { return first_; }
    int End() const { return end_; }
    bool Done() const { return next_ >= int(taps_.rows.size()); }

    // Where row y's columns [First, End) go, and (with transparency) its transparency.
    std::uint8_t* Buffer(int y) {
        return planar_ ? JpegRowStart(scratch_.data()) : ring_[std::size_t(y) % ring_.size()].data();
    }
    // Null until a row has brought a transparent pixel: until then every row's transparency
    // is 0, and so is the target's.
    std::uint8_t* ClearBuffer(int y) {
        return clearRing_.empty() ? nullptr : clearRing_[std::size_t(y) % clearRing_.size()].data();
    }
    // A piece brought transparency: the ring is made, every row before it all 0.
    void SawClear() {
        if (!unpainted_ || !clearRing_.empty()) return;
        clearRing_.resize(bandRows_);
        for (auto& row : clearRing_) row.assign(std::size_t(end_ - first_), 0);
    }

    void RowDone(int y) {
        if (planar_) {
            const std::uint8_t* raw = JpegRowStart(scratch_.data());
            if (owner_[std::size_t(y)] >= 0) AddBytes(raw, columnSums_.size(), columnSums_.data());
            if (laid_[std::size_t(y)]) {
                const std::size_t at = std::size_t(y) % slots_ * std::size_t(planar_->padded);
                planar_->Lay(raw, planeA_.data() + at, planeB_.empty() ? nullptr : planeB_.data() + at);
            }
        }
        while (!Done() && taps_.rows[std::size_t(next_)].back().i1 == y) {
            MakeRow(next_);
            ++next_;
            Skip();
        }
    }

private:
    // Target rows whose every sample lies on a whole pixel in both directions have each sample's
    // v equal to its pixel's byte and every partial sum a whole number, so their sums are plain
    // integer sums in any order: the byte sums of their rows' columns, added up as each row
    // arrives (the bands of two such rows never share a row), then over each pixel's columns.
    // The laid-out layout is made only of rows some other target row reads.
    void PlanWholeRows(int sh) {
        bool wholeX = true;
        for (const std::vector<Tap>& xs : taps_.columns)
            for (const Tap& t : xs) wholeX = wholeX && t.w1 == 0;
        owner_.assign(std::size_t(sh), -1);
        laid_.assign(std::size_t(sh), 0);
        wholeRow_.assign(taps_.rows.size(), 0);
        for (std::size_t i = 0; i < taps_.rows.size(); ++i) {
            const std::vector<Tap>& ys = taps_.rows[i];
            if (ys.empty()) continue;
            // 16 bits hold a column's byte sum over at most 257 rows.
            bool whole = wholeX && ys.size() <= 257;
            for (const Tap& t : ys) whole = whole && t.w1 == 0;
            wholeRow_[i] = whole;
            if (whole)
                for (const Tap& t : ys) owner_[std::size_t(t.i0)] = int(i);
            else
                std::fill(laid_.begin() + ys.front().i0, laid_.begin() + ys.back().i1 + 1, std::uint8_t(1));
        }
        if (std::find(wholeRow_.begin(), wholeRow_.end(), 1) != wholeRow_.end())
            columnSums_.assign(3 * std::size_t(end_ - first_), 0);
    }

    // Whole target row i from the column sums of its band, which are then cleared for the next.
    void MakeWholeRow(int i) {
        const long long n = (long long)taps_.rows[std::size_t(i)].size();
        const PlanarTaps& t = *planar_;
        for (int j = 0; j < t.width; ++j) {
            const int positions = t.count[std::size_t(j)];
            if (positions == 0) continue;   // no sample: the pixel stays white
            long long sum[3] = {};
            for (int k = 0; k < positions; ++k) {
                const std::uint16_t* p = &columnSums_[3 * std::size_t(t.colA[std::size_t(k) * std::size_t(t.width) + std::size_t(j)])];
                sum[0] += p[0], sum[1] += p[1], sum[2] += p[2];
            }
            const long long cell = n * positions;
            target_.SetPixelUnchecked(j, i, Rgb{std::uint8_t(sum[2] / cell), std::uint8_t(sum[1] / cell), std::uint8_t(sum[0] / cell)});
        }
        std::fill(columnSums_.begin(), columnSums_.end(), std::uint16_t(0));
    }

    // Target row i from the rows of its band, each still in its ring slot.
    void MakeRow(int i) {
        const std::vector<Tap>& ys = taps_.rows[std::size_t(i)];
        const int base = ys.front().i0, count = ys.back().i1 - base + 1;
        band_.resize(std::size_t(count));
        if (planar_ && wholeRow_[std::size_t(i)]) {
            MakeWholeRow(i);
        } else if (planar_) {
#ifdef PQ_PLANAR_SAMPLER
            bandB_.assign(std::size_t(count), nullptr);
            for (int k = 0; k < count; ++k) {
                const std::size_t at = std::size_t(base + k) % slots_ * std::size_t(planar_->padded);
                band_[std::size_t(k)] = planeA_.data() + at;
                if (!planeB_.empty()) bandB_[std::size_t(k)] = planeB_.data() + at;
            }
            PlanarSums(band_.data(), bandB_.data(), base, ys, *planar_, sums_.data());
            const long long n = (long long)ys.size();
            for (int j = 0; j < target_.Width(); ++j) {
                const long long cell = n * planar_->count[std::size_t(j)];
                if (cell == 0) continue;   // no sample: the pixel stays white
                const double* p = &sums_[3 * std::size_t(j)];
                target_.SetPixelUnchecked(j, i, Rgb{std::uint8_t((long long)p[2] / cell), std::uint8_t((long long)p[1] / cell),
                                                    std::uint8_t((long long)p[0] / cell)});
            }
#endif
        } else {
            for (int k = 0; k < count; ++k) band_[std::size_t(k)] = ring_[std::size_t(base + k) % ring_.size()].data();
            ResampleTargetRow(band_.data(), base, taps_, i, target_);
        }
        if (clearRing_.empty()) return;   // no transparency so far: the target's stays 0
        for (int k = 0; k < count; ++k) band_[std::size_t(k)] = clearRing_[std::size_t(base + k) % clearRing_.size()].data();
        TransparencyTargetRow(band_.data(), base, taps_, i, target_.Width(), *unpainted_);
    }

    // Past target rows without samples, which stay white.
    void Skip() {
        while (!Done() && taps_.rows[std::size_t(next_)].empty()) ++next_;
    }

    Raster& target_;
    Plane* unpainted_;
    AreaTaps taps_;
    int first_ = 0, end_ = 1;
    std::vector<std::vector<std::uint8_t>> ring_;        // source row y in slot y % size
    std::vector<std::vector<std::uint8_t>> clearRing_;   // its transparency, likewise (once there is any)
    std::size_t bandRows_ = 1;                           // the most rows one target row reads
    std::vector<const std::uint8_t*> band_;
    // The 512-bit sampler's layout of the rows (PlanarTaps), when the processor has it.
    std::optional<PlanarTaps> planar_;
    std::vector<std::uint8_t> scratch_;                  // the row being decoded
    RingBuffer planeA_, planeB_;   // laid-out row y in slot y % slots_ (PlanarTaps::RingBytes)
    std::size_t slots_ = 1;
    std::vector<const std::uint8_t*> bandB_;
    std::vector<double> sums_;
    std::vector<std::uint8_t> wholeRow_;   // [i]: target row i is made from column sums
    std::vector<int> owner_;               // [y]: the whole target row that reads source row y, or -1
    std::vector<std::uint8_t> laid_;       // [y]: some other target row reads source row y
    std::vector<std::uint16_t> columnSums_;   // byte sums of the current whole row's band so far
    int next_ = 0;                              // the next target row to make
};

AreaResampler::AreaResampler(int left, int top, int right, int bottom, Raster& target, Plane* unpainted, bool reduced)
    : left_(left), top_(top), right_(right), bottom_(bottom), target_(target), unpainted_(unpainted), reduced_(reduced) {
    if (unpainted_) unpainted_->assign(std::size_t(target.Width()) * std::size_t(target.Height()), 0);
}

AreaResampler::~AreaResampler() = default;

int AreaResampler::ScaleDenominator(int width, int height) {
    scale_ = reduced_ ? ReducedScale(right_ - left_, bottom_ - top_, target_.Width(), target_.Height()) : 1;
    fullWidth_ = width;
    fullHeight_ = height;
    return scale_;
}

void AreaResampler::Start(int width, int height) {
    sampler_.reset();
    box_.reset();
    width_ = width;
    idle_.clear();
    if (scale_ > 1) {
        if (target_.Width() > 0 && target_.Height() > 0)
            box_ = std::make_unique<ReducedBoxAverager>(fullWidth_, fullHeight_, scale_, left_, top_, right_, bottom_, target_);
        return;
    }
    // A picture the decoder scaled down by scale_ has the frame's corners divided by it, and
    // moved by the offset of a reduced pixel's centre from its first full pixel's (d - 1) / 2,
    // so that each sample stands for the full pixels around the exact sample's position.
    const double d = scale_, shift = (d - 1) / 2;
    const double left = (left_ - shift) / d, top = (top_ - shift) / d, right = (right_ - shift) / d,
                 bottom = (bottom_ - shift) / d;
    if (left >= width || top >= height || target_.Width() == 0 || target_.Height() == 0) return;
    sampler_ = std::make_unique<Sampler>(width, height, left, top, right, bottom, target_, unpainted_);
    if (sampler_->Done()) sampler_.reset();
}

// Only decoders of whole rows ask for one, and only they need a whole row's room. When the
// samples read every column the row is decoded straight into its ring slot.
std::uint8_t* AreaResampler::RowBuffer(int y) {
    if (!box_ && sampler_ && sampler_->First() == 0 && sampler_->End() == width_) return sampler_->Buffer(y);
    idle_.resize(3 * std::size_t(width_) + kJpegRowSlack);
    return JpegRowStart(idle_.data());
}

void AreaResampler::RowDone(int y) {
    if (box_) {
        box_->AddRow(y, JpegRowStart(idle_.data()));
        return;
    }
    if (!sampler_) return;
    // A whole row: the columns the samples read go into the ring, unless it was decoded there.
    const std::size_t first = std::size_t(sampler_->First()), n = std::size_t(sampler_->End()) - first;
    if (n != std::size_t(width_)) std::memcpy(sampler_->Buffer(y), JpegRowStart(idle_.data()) + 3 * first, 3 * n);
    // Whole rows carry no transparency.
    if (std::uint8_t* clear = sampler_->ClearBuffer(y)) std::memset(clear, 0, n);
    Finish(y);
}

AreaResampler::PieceLayout AreaResampler::Pieces() const {
    if (!sampler_) return {0, std::max(1, std::min(width_, 1)), 0};
    return {sampler_->First(), sampler_->End(), 0};
}

void AreaResampler::Piece(int y, int x, int n, const std::uint8_t* bgr, const std::uint8_t* clear) {
    if (!sampler_) return;
    const int first = sampler_->First();
    if (x == first) pieceRow_ = sampler_->Buffer(y);
    std::memcpy(pieceRow_ + 3 * std::size_t(x - first), bgr, 3 * std::size_t(n));
    if (unpainted_ && clear && !sampler_->ClearBuffer(y) &&
        std::find_if(clear, clear + n, [](std::uint8_t c) { return c != 0; }) != clear + n)
        sampler_->SawClear();
    if (std::uint8_t* ring = sampler_->ClearBuffer(y)) {
        if (clear)
            std::memcpy(ring + (x - first), clear, std::size_t(n));
        else
            std::memset(ring + (x - first), 0, std::size_t(n));
    }
    if (x + n >= sampler_->End()) Finish(y);
}

void AreaResampler::Finish(int y) {
    sampler_->RowDone(y);
    if (sampler_->Done()) sampler_.reset();   // the rest of the file is still decoded and checked
}

int ReducedScale(int frameWidth, int frameHeight, int width, int height) {
    for (int d : {8, 4, 2})
        if (std::int64_t(frameWidth) >= 2 * std::int64_t(d) * width && std::int64_t(frameHeight) >= 2 * std::int64_t(d) * height)
            return d;
    return 1;
}

FileResult ResampleJpegFileArea(const std::filesystem::path& path, int left, int top, int right, int bottom,
                                Raster& target, bool reduced) {
    AreaResampler resampler(left, top, right, bottom, target, nullptr, reduced);
    return LoadJpegFileRows(path, resampler);
}

FileResult ResamplePictureFileArea(const std::filesystem::path& path, PictureKind kind, int left, int top, int right,
                                   int bottom, Raster& target, Plane* unpainted, bool reduced) {
    AreaResampler resampler(left, top, right, bottom, target, unpainted, reduced);
    return ReadPictureFileRows(path, kind, resampler);
}

FileResult ReadPictureFileRows(const std::filesystem::path& path, PictureKind kind, PictureRowSink& sink) {
    switch (kind) {
        case PictureKind::Bitmap: return LoadBitmapFileRows(path, sink);
        case PictureKind::Jpeg: return LoadJpegFileRows(path, sink);
        case PictureKind::Png: return LoadPngFileRows(path, sink);
        case PictureKind::None: break;
    }
    return FileResult::Failure(kBitmapUnsupportedMessage);
}

namespace {

// Copies the picture's area at (left, top) into the preview at 1:1; pixels off the picture
// leave the preview as it is.
void CopyAt(const Raster& picture, int left, int top, Raster& preview) {
    for (int y = 0; y < preview.Height(); ++y)
        for (int x = 0; x < preview.Width(); ++x)
            if (picture.Contains(left + x, top + y)) preview.SetPixelUnchecked(x, y, picture.PixelUnchecked(left + x, top + y));
}

// The same for a plane of sw x sh bytes into one of w x h.
void CopyPlaneAt(const Plane& source, int sw, int sh, int left, int top, Plane& target, int w, int h) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (left + x >= 0 && top + y >= 0 && left + x < sw && top + y < sh)
                target[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                    source[std::size_t(top + y) * std::size_t(sw) + std::size_t(left + x)];
}

// Which of the w x h target pixels ResampleArea makes from the rectangle (left, top, right,
// bottom) have more transparent samples than opaque ones; the samples are ResampleArea's, each
// counted as the source pixel it lies nearest to.
Plane ResampleTransparency(const Plane& transparent, int sw, int sh, int left, int top, int right, int bottom, int w,
                           int h) {
    Plane out(std::size_t(w) * std::size_t(h), 0);
    if (left >= sw || top >= sh || w == 0 || h == 0) return out;
    const double sx = double(right - left) / w, sy = double(bottom - top) / h;
    std::vector<Tap> xs, ys;
    auto nearest = [](const Tap& t) { return t.w1 > t.w0 ? t.i1 : t.i0; };
    for (int i = 0; i < h; ++i) {
        CellTaps(top + sy * i, top + sy * (i + 1), sh, ys);
        for (int j = 0; j < w; ++j) {
            CellTaps(left + sx * j, left + sx * (j + 1), sw, xs);
            std::size_t clear = 0;
            for (const Tap& tx : xs)
                for (const Tap& ty : ys)
                    clear += transparent[std::size_t(nearest(ty)) * std::size_t(sw) + std::size_t(nearest(tx))] != 0;
            out[std::size_t(i) * std::size_t(w) + std::size_t(j)] = 2 * clear > xs.size() * ys.size();
        }
    }
    return out;
}

}  // namespace

AreaPicker::AreaPicker(const Raster& picture, int previewWidth, int previewHeight, const Plane* transparent)
    : picture_(picture), transparent_(transparent), preview_(previewWidth, previewHeight) {
    // Transparency only when it matches the picture.
    if (transparent_ && transparent_->size() != std::size_t(picture.Width()) * std::size_t(picture.Height()))
        transparent_ = nullptr;
    preview_.Fill(kWhite);
    CopyAt(picture_, 0, 0, preview_);
    previewClear_.assign(std::size_t(previewWidth) * std::size_t(previewHeight), 0);
    if (transparent_)
        CopyPlaneAt(*transparent_, picture_.Width(), picture_.Height(), 0, 0, previewClear_, previewWidth, previewHeight);
}

void AreaPicker::SetOutputSize(int width, int height) {
    Raster resized(width, height);
    resized.Fill(kWhite);
    CopyAt(preview_, 0, 0, resized);
    Plane clear(std::size_t(width) * std::size_t(height), 0);
    CopyPlaneAt(previewClear_, preview_.Width(), preview_.Height(), 0, 0, clear, width, height);
    preview_ = std::move(resized);
    previewClear_ = std::move(clear);
}

bool AreaPicker::InsideFrame(int x, int y) const {
    return x >= frame_.left && y >= frame_.top && x < frame_.right && y < frame_.bottom;
}

Rect AreaPicker::Band() const {
    return Rect{std::min(anchorX_, cornerX_), std::min(anchorY_, cornerY_), std::max(anchorX_, cornerX_),
                std::max(anchorY_, cornerY_)};
}

void AreaPicker::Press(int x, int y) {
    dragging_ = true;
    anchorX_ = cornerX_ = lastX_ = x;
    anchorY_ = cornerY_ = lastY_ = y;
    if (InsideFrame(x, y)) {
        moving_ = true;
        Move(x, y);
        Move(x, y);
        return;
    }
    moving_ = false;
    frame_ = Rect{x, y, x + preview_.Width(), y + preview_.Height()};
    anchorX_ = frame_.left;
    anchorY_ = frame_.top;
    cornerX_ = frame_.right;
    cornerY_ = frame_.bottom;
    preview_.Fill(kWhite);
    CopyAt(picture_, x, y, preview_);
    std::fill(previewClear_.begin(), previewClear_.end(), uint8_t(0));
    if (transparent_)
        CopyPlaneAt(*transparent_, picture_.Width(), picture_.Height(), x, y, previewClear_, preview_.Width(),
                    preview_.Height());
}

void AreaPicker::Move(int x, int y) {
    if (!dragging_) return;
    cornerX_ = x;
    cornerY_ = y;
    if (moving_) {
        const int dx = x - lastX_, dy = y - lastY_;
        frame_ = Rect{frame_.left + dx, frame_.top + dy, frame_.right + dx, frame_.bottom + dy};
        anchorX_ = frame_.left;
        anchorY_ = frame_.top;
        cornerX_ = frame_.right;
        cornerY_ = frame_.bottom;
        lastX_ = x;
        lastY_ = y;
    } else if (Square) {
        // Square on the smaller extent, towards the side where the mouse is.
        if (std::abs(y - anchorY_) < std::abs(x - anchorX_)) {
            const int side = std::abs(cornerY_ - anchorY_);
            cornerX_ = x >= anchorX_ ? anchorX_ + side : anchorX_ - side;
        } else {
            const int side = std::abs(cornerX_ - anchorX_);
            cornerY_ = y >= anchorY_ ? anchorY_ + side : anchorY_ - side;
        }
    }
    LivePreview();
}

void AreaPicker::Release() {
    if (!dragging_) return;
    frame_ = Band();
    dragging_ = false;
    UpdatePreview();
}

void AreaPicker::UseWholePicture() {
    frame_ = Rect{};
    Square = false;
    Press(0, 0);
    Move(picture_.Width(), picture_.Height());
    const int d = Fast ? ReducedScale(picture_.Width(), picture_.Height(), preview_.Width(), preview_.Height()) : 1;
    if (d == 1) {
        Release();
        return;
    }
    frame_ = Band();
    dragging_ = false;
    // Each block of d x d pixels (fewer at the right and bottom edges) averaged, rounded to
    // nearest, then the reduced picture averaged by area as the fast import does.
    const int sw = picture_.Width(), sh = picture_.Height();
    const int rw = (sw + d - 1) / d, rh = (sh + d - 1) / d;
    Raster reduced(rw, rh);
    std::vector<std::uint32_t> sums(3 * std::size_t(rw));
    for (int by = 0; by < rh; ++by) {
        std::fill(sums.begin(), sums.end(), 0u);
        const int y0 = by * d, y1 = std::min(sh, y0 + d);
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* row = picture_.Row(y);
            for (int bx = 0, x = 0; bx < rw; ++bx) {
                std::uint32_t* sum = &sums[3 * std::size_t(bx)];
                for (const int end = std::min(sw, x + d); x < end; ++x)
                    sum[0] += row[3 * x], sum[1] += row[3 * x + 1], sum[2] += row[3 * x + 2];
            }
        }
        std::uint8_t* out = reduced.Row(by);
        for (int bx = 0; bx < rw; ++bx) {
            const std::uint32_t n = std::uint32_t(std::min(sw, (bx + 1) * d) - bx * d) * std::uint32_t(y1 - y0);
            for (int c = 0; c < 3; ++c) out[3 * bx + c] = std::uint8_t((sums[3 * std::size_t(bx) + std::size_t(c)] + n / 2) / n);
        }
    }
    Raster fresh(preview_.Width(), preview_.Height());
    fresh.Fill(kWhite);
    AverageReducedPicture(reduced, sw, sh, d, 0, 0, sw, sh, fresh);
    preview_ = std::move(fresh);
    previewClear_.assign(std::size_t(preview_.Width()) * std::size_t(preview_.Height()), 0);
    if (transparent_)
        previewClear_ = ResampleTransparency(*transparent_, sw, sh, 0, 0, sw, sh, preview_.Width(), preview_.Height());
}

void AreaPicker::UpdatePreview() {
    Raster fresh(preview_.Width(), preview_.Height());
    fresh.Fill(kWhite);
    ResampleArea(picture_, frame_.left, frame_.top, frame_.right, frame_.bottom, fresh);
    preview_ = std::move(fresh);
    previewClear_.assign(std::size_t(preview_.Width()) * std::size_t(preview_.Height()), 0);
    if (transparent_)
        previewClear_ = ResampleTransparency(*transparent_, picture_.Width(), picture_.Height(), frame_.left, frame_.top,
                                             frame_.right, frame_.bottom, preview_.Width(), preview_.Height());
}

// While dragging the preview follows the band with a quick nearest-pixel stretch; the exact
// resampling follows on release.
void AreaPicker::LivePreview() {
    preview_.Fill(kWhite);
    std::fill(previewClear_.begin(), previewClear_.end(), uint8_t(0));
    const Rect band = Band();
    const int w = preview_.Width(), h = preview_.Height();
    if (band.Empty()) return;
    for (int y = 0; y < h; ++y) {
        const int sy = band.top + int((long long)(band.Height()) * y / h);
        for (int x = 0; x < w; ++x) {
            const int sx = band.left + int((long long)(band.Width()) * x / w);
            if (!picture_.Contains(sx, sy)) continue;
            preview_.SetPixelUnchecked(x, y, picture_.PixelUnchecked(sx, sy));
            if (transparent_)
                previewClear_[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                    (*transparent_)[std::size_t(sy) * std::size_t(picture_.Width()) + std::size_t(sx)];
        }
    }
}

void ImportPictureDocument(Document& doc, const Raster& preview, int colorCount, int selectedZoom,
                           const Plane* unpainted, const ReductionOptions& options) {
    InitBlankDocument(doc, preview.Width(), preview.Height(), colorCount, selectedZoom);
    const std::size_t pixels = std::size_t(preview.Width()) * std::size_t(preview.Height());
    if (unpainted && unpainted->size() == pixels && std::find(unpainted->begin(), unpainted->end(), 1) != unpainted->end()) {
        Plane painted(pixels);
        for (std::size_t i = 0; i < pixels; ++i) painted[i] = (*unpainted)[i] == 0;
        // Nothing painted keeps the default palette, as a new document has.
        ReducePaintedPicture(doc, colorCount, 0, preview, painted, options);
        doc.DrawColor = 0;
        doc.AuxColor = 8;
        return;
    }
    ReduceColors(doc, colorCount, 0, &preview, options);
    doc.DrawColor = 0;
    doc.AuxColor = 8;
}

}  // namespace pq
