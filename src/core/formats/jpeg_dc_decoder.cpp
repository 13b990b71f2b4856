#include "core/formats/jpeg_dc_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "core/formats/bmp_reader.h"

namespace pq {

namespace {

// Codes up to this many bits are found with one look-up of the next bits; longer ones walk
// the canonical code lengths.
constexpr int kLookBits = 9;
// AC symbols whose codes lie in the next kWalkBits bits are passed over in one look-up,
// several at a time.
constexpr int kWalkBits = 13;
// The value tables' width: a symbol whose code and extra bits fit in it is decoded in one look-up.
constexpr int kSkipBits = 12;

// A kWalkBits look-up entry: the symbols whose codes lie in those bits (the extra bits of the
// last may run past them), up to an end of block. A symbol moves the coefficient index k by
// run + 1, or 16 for a run of zeros.
// - Bits (0-5; the entry itself can be the shift): the bits of all of them.
// - Move: how far they move k, at most 63 (which ends any block, k being at least 1); with an
//   end of block last, 64 + the move of the symbols before it (at most 63). Either way k reaches
//   64 or more exactly when the entry may hold the end of the block: the walk stops there and
//   checks.
// An entry without symbols (a longer code) has Bits 0 and Move 63: the walk stops and takes
// that code the slow way.
struct Skip {
    using Entry = std::uint16_t;
    static constexpr Entry kNone = Entry(63u << 6);
    static constexpr Entry Make(int bits, int move, bool end) {
        return Entry(bits | (end ? 64 + std::min(move, 63) : std::min(move, 63)) << 6);
    }
    static int Bits(Entry e) { return int(e & 63); }
    static int Move(Entry e) { return int(e >> 6); }
    // The block ended at the entry's end-of-block symbol: k + Move(e) is what k became.
    static bool EndsBlock(Entry e, int k) { return (e & (64u << 6)) && k < 128; }
};

struct HuffTable {
    bool defined = false;
    // kLookBits look-up: code length (0: longer code) | symbol << 8.
    std::array<std::uint16_t, 1 << kLookBits> look{};
    std::array<Skip::Entry, 1 << kWalkBits> skip{};   // AC tables only
    std::array<std::int32_t, 1 << kSkipBits> fastAc{};   // AC tables only: see FastAc
    std::array<std::int32_t, 18> maxCode{};   // per length, the largest code; -1 none
    std::array<std::int32_t, 17> valOffset{};
    std::array<std::uint8_t, 256> values{};
};

// How far an AC symbol moves the coefficient index; a zero size with a run other than 15 ends
// the block, as libjpeg reads it.
int AcMove(int sym) {
    const int run = sym >> 4, size = sym & 15;
    return size ? run + 1 : run == 15 ? 16 : 64;
}

// The symbol whose code starts the `avail` bits `bits` (code length in `len`); -1 for none.
int CodeAt(const HuffTable& t, std::uint32_t bits, int avail, int& len) {
    for (len = 1; len <= std::min(avail, 16); ++len) {
        const std::int32_t code = std::int32_t(bits >> (avail - len));
        if (code <= t.maxCode[std::size_t(len)]) return t.values[std::size_t(code + t.valOffset[std::size_t(len)])];
    }
    return -1;
}

void BuildSkip(HuffTable& t) {
    for (std::uint32_t j = 0; j < (1u << kWalkBits); ++j) {
        int used = 0, move = 0, count = 0;
        bool end = false;
        while (used < kWalkBits) {
            int len = 0;
            const int avail = kWalkBits - used;
            const int sym = CodeAt(t, j & ((1u << avail) - 1), avail, len);
            if (sym < 0) break;
            used += len + (sym & 15);
            ++count;
            const int m = AcMove(sym);
            if (m == 64) {
                end = true;
                break;
            }
            move += m;
            if (move >= 63) break;
        }
        t.skip[j] = count ? Skip::Make(used, move, end) : Skip::kNone;
    }
}

// A kSkipBits look-up entry for decoding an AC symbol with its value at once, when its code and
// extra bits lie in those bits: how many bits they take, how far the coefficient index moves
// (run + 1; 16 for a run of zeros, whose "value" 0 lands on a place that is zero anyway), the
// end of the block, and the value itself. 0: the slow way. The bits are the entry's low six, so
// that the entry itself can be the shift.
struct FastAc {
    static constexpr std::int32_t kValid = 1 << 12, kEnd = 1 << 11;
    static int Bits(std::int32_t e) { return e & 63; }
    static int Move(std::int32_t e) { return e >> 6 & 31; }
    static int Value(std::int32_t e) { return e >> 16; }
};

void BuildFastAc(HuffTable& t) {
    for (std::uint32_t j = 0; j < (1u << kSkipBits); ++j) {
        int len = 0;
        const int sym = CodeAt(t, j, kSkipBits, len);
        t.fastAc[j] = 0;
        if (sym < 0) continue;
        const int run = sym >> 4, size = sym & 15;
        if (len + size > kSkipBits) continue;
        std::int32_t e = FastAc::kValid | std::int32_t(len + size);
        if (size == 0 && run != 15) {
            e |= FastAc::kEnd;
        } else if (size == 0) {
            e |= 16 << 6;
        } else {
            const int raw = int(j >> (kSkipBits - len - size)) & ((1 << size) - 1);
            const int value = raw < (1 << (size - 1)) ? raw - (1 << size) + 1 : raw;
            e |= (run + 1) << 6 | std::int32_t(std::uint32_t(value) << 16);
        }
        t.fastAc[j] = e;
    }
}

// Builds the decoding tables from a DHT entry's counts and symbols; false for counts that do
// not form a prefix code or symbols a baseline table cannot hold.
bool BuildTable(HuffTable& t, const std::uint8_t* counts, const std::uint8_t* symbols, int total, bool ac) {
    t = HuffTable{};
    for (int i = 0; i < total; ++i) {
        if (!ac && symbols[i] > 11) return false;
        if (ac && (symbols[i] & 15) > 10) return false;
        t.values[std::size_t(i)] = symbols[i];
    }
    std::uint32_t code = 0;
    int k = 0;
    for (int len = 1; len <= 16; ++len) {
        const int n = counts[len - 1];
        t.valOffset[std::size_t(len)] = k - std::int32_t(code);
        for (int i = 0; i < n; ++i, ++k, ++code) {
            if (code >= (1u << len)) return false;
            if (len <= kLookBits) {
                const int shift = kLookBits - len;
                for (std::uint32_t j = code << shift; j < ((code + 1) << shift); ++j)
                    t.look[j] = std::uint16_t(len | symbols[k] << 8);
            }
        }
        t.maxCode[std::size_t(len)] = n ? std::int32_t(code) - 1 : -1;
        code <<= 1;
    }
    t.maxCode[17] = 0x7FFFFFFF;   // sentinel: no code is longer than 16 bits
    if (ac) {
        BuildSkip(t);
        BuildFastAc(t);
    }
    t.defined = true;
    return true;
}

// The entropy-coded bits, left-aligned in `acc` (its top `count` bits are valid; below them it
// may hold the start of the bytes at `pos`). Stuffed zero bytes are removed; at a marker (or
// the end of the data) the reader stops and feeds zero bits, counted in `padded`, so that
// reading past the segment is detected afterwards. `clean` is the first 0xFF at or after `pos`
// (or the end of the data): the eight bytes at `pos` can be taken as they are while they lie
// before it.
struct Bits {
    std::uint64_t acc = 0;
    int count = 0;
    int padded = 0;
    const std::uint8_t* pos = nullptr;
    const std::uint8_t* clean = nullptr;
};

const std::uint8_t* FirstFF(const std::uint8_t* from, const std::uint8_t* end) {
    const void* ff = from < end ? std::memchr(from, 0xFF, std::size_t(end - from)) : nullptr;
    return ff ? static_cast<const std::uint8_t*>(ff) : end;
}

[[gnu::noinline]] Bits RefillSlow(Bits b, const std::uint8_t* end) {
    while (b.count < 56) {   // at most 63 bits: Refill takes (63 - count) / 8 bytes
        std::uint8_t byte = 0;
        if (b.padded == 0 && b.pos < end) {
            if (*b.pos != 0xFF) {
                byte = *b.pos++;
            } else {
                const std::uint8_t* p = b.pos + 1;
                while (p < end && *p == 0xFF) ++p;
                if (p < end && *p == 0) {
                    byte = 0xFF;
                    b.pos = p + 1;
                } else {
                    b.padded += 8;   // a marker: stay on it
                }
            }
        } else {
            b.padded += 8;
        }
        // Below count the bits are 0 or already this byte's.
        b.acc |= std::uint64_t(byte) << (56 - b.count);
        b.count += 8;
    }
    b.clean = b.padded ? b.pos : FirstFF(b.pos, end);
    return b;
}

// Tops the reader up to 56 to 63 bits. Eight bytes before the next 0xFF are taken at once:
// the whole bytes that fit are counted, and the bits of the rest that land in the accumulator
// are the same that a later top-up puts there.
[[gnu::always_inline]] inline void Refill(Bits& b, const std::uint8_t* end) {
    if (__builtin_expect(b.clean - b.pos >= 8, 1)) {
        std::uint64_t w;
        std::memcpy(&w, b.pos, 8);
        b.acc |= __builtin_bswap64(w) >> b.count;
        b.pos += (63 - b.count) >> 3;
        b.count |= 56;
        return;
    }
    b = RefillSlow(b, end);
}

// Every look-up peeks at its bits before the reader is topped up (a top-up adds bits only below
// those it holds), so that the top-up, with its tests, runs while the look-up is under way
// instead of before it on a test of the count that the processor cannot foresee. A top-up
// leaves at least 56 bits and no step takes more than 27 before the next, so a peek always
// finds at least 29 (the scan tops up at its start and after each restart marker).
[[gnu::always_inline]] inline std::uint32_t Peek(const Bits& b, int n) { return std::uint32_t(b.acc >> (64 - n)); }
[[gnu::always_inline]] inline void Drop(Bits& b, int n) {
    b.acc <<= n;
    b.count -= n;
}

// A symbol of `t`; -1 for bits that are no code. Needs 16 bits in the reader.
[[gnu::always_inline]] inline int DecodeSymbol(Bits& b, const HuffTable& t) {
    if (const std::uint16_t e = t.look[Peek(b, kLookBits)]) {
        Drop(b, e & 31);
        return e >> 8;
    }
    const std::uint32_t bits16 = Peek(b, 16);
    for (int len = kLookBits + 1; len <= 16; ++len) {
        const std::int32_t code = std::int32_t(bits16 >> (16 - len));
        if (code <= t.maxCode[std::size_t(len)]) {
            Drop(b, len);
            return t.values[std::size_t(code + t.valOffset[std::size_t(len)])];
        }
    }
    return -1;
}

inline std::uint8_t Clamp255(int v) { return std::uint8_t(std::clamp(v, 0, 255)); }

// Walks over a block's AC symbols from index k to its end without computing them. False for
// bits that are no code.
[[gnu::always_inline]] inline bool SkipAc(Bits& b, const std::uint8_t* end, const HuffTable& ac, int k) {
    const Skip::Entry* skip = ac.skip.data();
    for (;;) {
        Bits before;
        int kBefore;
        Skip::Entry e;
        do {
            // The look-up's bits are read before the reader is topped up, which adds bits only
            // below them: the top-up runs while the look-up is under way.
            const std::uint32_t at = Peek(b, kWalkBits);
            Refill(b, end);
            e = skip[at];
            before = b;
            kBefore = k;
            b.acc <<= Skip::Bits(e);
            b.count -= Skip::Bits(e);
            k += Skip::Move(e);
        } while (k < 64);
        if (__builtin_expect(Skip::EndsBlock(e, k), 1)) return true;
        // The block may have ended inside the entry, or its next code is longer: one symbol the
        // slow way, from where the entry began.
        b = before;
        k = kBefore;
        const int sym = DecodeSymbol(b, ac);
        if (sym < 0) return false;
        const int run = sym >> 4, size = sym & 15;
        if (size) {
            Drop(b, size);
            k += run + 1;
        } else if (run == 15) {
            k += 16;
        } else {
            return true;
        }
        if (k >= 64) return true;
    }
}

// A block's DC difference added to the running sum `pred`. False for bits that are no code or
// a sum beyond 16 bits (damage; libjpeg would wrap it).
[[gnu::always_inline]] inline bool DecodeDc(Bits& b, const std::uint8_t* end, const HuffTable& dc, int& pred) {
    const std::uint32_t at = Peek(b, kLookBits);
    Refill(b, end);
    int s;
    if (const std::uint16_t e = dc.look[at]) {
        Drop(b, e & 31);
        s = e >> 8;
    } else {
        s = DecodeSymbol(b, dc);
        if (s < 0) return false;
    }
    // The s extra bits (none for s = 0: the top bit shifted out first, so that no shift is by
    // 64), and below half the range a negative value, raw - (2^s - 1). Without a branch, as
    // whether a difference is 0, and its sign, are coin tosses.
    const int raw = int((b.acc >> 1) >> (63 - s));
    Drop(b, s);
    pred += raw - (raw < ((1 << s) >> 1) ? (1 << s) - 1 : 0);
    return pred >= -32768 && pred <= 32767;
}

// One block: its DC (the running sum `pred`, a libjpeg 1 x 1 inverse DCT into `out`), and its
// AC symbols walked over. False for bits that are no code or a DC beyond 16 bits (damage;
// libjpeg would wrap it).
[[gnu::always_inline]] inline bool DecodeBlock(Bits& b, const std::uint8_t* end, const HuffTable& dc, const HuffTable& ac,
                                               int quant, int& pred, std::uint8_t& out) {
    if (!DecodeDc(b, end, dc, pred)) return false;
    out = Clamp255(((pred * quant + 4) >> 3) + 128);
    return SkipAc(b, end, ac, 1);
}

// The natural (row-major) place of each zigzag index; the 16 past the end catch a run that
// overshoots the block in damaged data, as libjpeg's own table does.
constexpr std::array<std::uint8_t, 80> kNatural = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13,
    6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31,
    39, 46, 53, 60, 61, 54, 47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// libjpeg's reduced-size 2 x 2 inverse DCT works in fixed point with 13 fraction bits, two more
// kept between its passes; only rows and columns 0, 1, 3, 5 and 7 take part. Its first pass
// multiplies each dequantized coefficient by a constant of its row: both factors are folded
// here into one per place, exact in 64 bits.
constexpr std::int64_t kIdct1 = 29692, kIdct3 = -10426, kIdct5 = 6967, kIdct7 = -5906;   // sqrt(2) * sums of cosines
constexpr int kIdctConst = 13, kIdctPass1 = 2;

using Idct2x2Factors = std::array<std::int64_t, 64>;

Idct2x2Factors MakeIdct2x2Factors(const std::uint16_t* q) {
    Idct2x2Factors m{};
    const std::int64_t byRow[8] = {std::int64_t(1) << (kIdctConst + 2), kIdct1, 0, kIdct3, 0, kIdct5, 0, kIdct7};
    for (int i = 0; i < 64; ++i) m[std::size_t(i)] = byRow[i / 8] * q[i];
    return m;
}

// The 2 x 2 inverse DCT of a block whose coefficients (natural order) are `c`, into `out` and
// the row `stride` below it. Written out in full: it runs for every chroma block of a 4:2:0
// file.
[[gnu::always_inline]] inline void Idct2x2(const std::int16_t* c, const std::int64_t* m, std::uint8_t* out,
                                           std::size_t stride) {
    const auto at = [&](int i) { return std::int64_t(c[i]) * m[i]; };
    std::int64_t w0[8], w1[8];
    const auto column = [&](int col) {
        const std::int64_t even = at(col);
        const std::int64_t odd = at(56 + col) + at(40 + col) + at(24 + col) + at(8 + col);
        constexpr int shift = kIdctConst - kIdctPass1 + 2;
        constexpr std::int64_t half = std::int64_t(1) << (shift - 1);
        w0[col] = (even + odd + half) >> shift;
        w1[col] = (even - odd + half) >> shift;
    };
    column(0);
    column(1);
    column(3);
    column(5);
    column(7);
    const auto row = [&](const std::int64_t* w, std::uint8_t* o) {
        const std::int64_t even = w[0] << (kIdctConst + 2);
        const std::int64_t odd = kIdct7 * w[7] + kIdct5 * w[5] + kIdct3 * w[3] + kIdct1 * w[1];
        constexpr int shift = kIdctConst + kIdctPass1 + 3 + 2;
        constexpr std::int64_t half = std::int64_t(1) << (shift - 1);
        o[0] = Clamp255(int(std::clamp<std::int64_t>((even + odd + half) >> shift, -512, 512)) + 128);
        o[1] = Clamp255(int(std::clamp<std::int64_t>((even - odd + half) >> shift, -512, 512)) + 128);
    };
    row(w0, out);
    row(w1, out + stride);
}


// A block decoded in full (its AC values too) and turned into 2 x 2 pixels at `out`, rows
// `stride` apart: chroma sampled half each way, which libjpeg's 1/8 scale decodes at 2 x 2 so
// that it needs no upsampling. False as DecodeBlock.
[[gnu::always_inline]] inline bool DecodeBlock2x2(Bits& b, const std::uint8_t* end, const HuffTable& dc, const HuffTable& ac,
                           const std::int64_t* factors, int& pred, std::uint8_t* out, std::size_t stride) {
    if (!DecodeDc(b, end, dc, pred)) return false;
    // Every place written without a test; the inverse DCT reads only its 25 and dequantizes them.
    std::int16_t c[64] = {};   // as libjpeg keeps them; the DC was checked to fit
    c[0] = std::int16_t(pred);
    const std::int32_t* fast = ac.fastAc.data();
    for (int k = 1; k < 64;) {
        const std::uint32_t at = Peek(b, kSkipBits);
        Refill(b, end);
        const std::int32_t e = fast[at];
        if (__builtin_expect(e != 0, 1)) {
            Drop(b, FastAc::Bits(e));
            if (e & FastAc::kEnd) break;
            k += FastAc::Move(e);
            c[kNatural[std::size_t(k - 1)]] = std::int16_t(FastAc::Value(e));
            continue;
        }
        const int sym = DecodeSymbol(b, ac);
        if (sym < 0) return false;
        const int run = sym >> 4, size = sym & 15;
        if (size) {
            k += run;
            const int raw = int(Peek(b, size));
            Drop(b, size);
            c[kNatural[std::size_t(k)]] = std::int16_t(raw + (((raw - (1 << (size - 1))) >> 31) & (1 - (1 << size))));
            ++k;
        } else if (run == 15) {
            k += 16;
        } else {
            break;
        }
    }
    Idct2x2(c, factors, out, stride);
    return true;
}

struct Component {
    int id = 0, h = 1, v = 1, quant = 0;
    int dcTable = 0, acTable = 0;
    int scanIndex = -1;
};

std::uint16_t Read16(const std::uint8_t* p) { return std::uint16_t(p[0] << 8 | p[1]); }

// libjpeg's YCbCr to RGB: the JFIF equations in 16-bit fixed point, rounded by adding one half.
struct ColourTables {
    std::array<int, 256> crR{}, cbB{}, crG{}, cbG{};
    ColourTables() {
        constexpr int kScale = 16;
        constexpr std::int64_t kHalf = std::int64_t(1) << (kScale - 1);
        auto fix = [](double x) { return std::int64_t(x * (1 << kScale) + 0.5); };
        for (int i = 0; i < 256; ++i) {
            const std::int64_t x = i - 128;
            crR[std::size_t(i)] = int((fix(1.40200) * x + kHalf) >> kScale);
            cbB[std::size_t(i)] = int((fix(1.77200) * x + kHalf) >> kScale);
            crG[std::size_t(i)] = int(-fix(0.71414) * x);
            cbG[std::size_t(i)] = int(-fix(0.34414) * x + kHalf);
        }
    }
};

class DcDecoder {
public:
    explicit DcDecoder(std::span<const std::uint8_t> file)
        : data_(file.data()), end_(file.data() + file.size()), fileSize_(file.size()), fileOffset_(file.size()) {}

    // A file read piece by piece: its first kFirstPiece bytes (the headers must lie in them),
    // then kPiece at a time as the scan reaches them.
    DcDecoder(std::uint64_t size, const JpegDcPieceReader& read) : read_(&read), fileSize_(size) {
        // Read into as they are: never cleared first.
        buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(std::max(kFirstPiece, kMargin + kPiece));
        std::size_t n = std::size_t(std::min<std::uint64_t>(size, kFirstPiece));
        if (!read(0, n, buffer_.get())) n = 0;
        fileOffset_ = n;
        data_ = buffer_.get();
        end_ = data_ + n;
    }

    JpegDcOutcome Run(PictureRowSink& sink) {
        // The scan's bit shifts by a variable count are single instructions with BMI2.
        static const bool bmi2 = __builtin_cpu_supports("bmi2");
        if (!ReadHeaders() || !(bmi2 ? DecodeScanBmi2() : DecodeScanPlain()) || !AtEndOfImage())
            return JpegDcOutcome::NotHandled;
        Emit(sink);
        return JpegDcOutcome::Decoded;
    }

private:
    // Markers up to and including the scan header; false for anything this decoder leaves to
    // libjpeg or any segment that does not fit the file.
    bool ReadHeaders() {
        const std::uint8_t* p = data_;
        if (end_ - p < 2 || p[0] != 0xFF || p[1] != 0xD8) return false;
        p += 2;
        bool sawJfif = false, sawAdobe = false;
        int adobeTransform = 0;
        for (;;) {
            if (p >= end_ || *p != 0xFF) return false;
            while (p < end_ && *p == 0xFF) ++p;
            if (p >= end_) return false;
            const std::uint8_t marker = *p++;
            if (end_ - p < 2) return false;
            const int length = Read16(p);
            if (length < 2 || end_ - p < length) return false;
            const std::uint8_t* seg = p + 2;
            const int n = length - 2;
            p += length;
            if (marker == 0xC0 || marker == 0xC1) {
                if (!ReadFrame(seg, n)) return false;
            } else if (marker == 0xC4) {
                if (!ReadHuffman(seg, n)) return false;
            } else if (marker == 0xDB) {
                if (!ReadQuant(seg, n)) return false;
            } else if (marker == 0xDD) {
                if (n != 2) return false;
                restartInterval_ = Read16(seg);
            } else if (marker == 0xE0) {
                if (n >= 14 && std::memcmp(seg, "JFIF", 5) == 0) sawJfif = true;
            } else if (marker == 0xEE) {
                if (n >= 12 && std::memcmp(seg, "Adobe", 5) == 0) {
                    sawAdobe = true;
                    adobeTransform = seg[11];
                }
            } else if ((marker >= 0xE1 && marker <= 0xEF) || marker == 0xFE) {
                // other application data and comments
            } else if (marker == 0xDA) {
                if (!frame_) return false;
                if (components_.size() == 3) {
                    // The colour space libjpeg settles on must be YCbCr.
                    if (sawAdobe && adobeTransform != 1) return false;
                    if (!sawJfif && !sawAdobe &&
                        !(components_[0].id == 1 && components_[1].id == 2 && components_[2].id == 3))
                        return false;
                }
                if (!ReadScanHeader(seg, n)) return false;
                pos_ = p;
                return true;
            } else {
                return false;   // progressive, lossless, arithmetic, DNL, a second image...
            }
        }
    }

    bool ReadFrame(const std::uint8_t* s, int n) {
        if (frame_ || n < 6 || s[0] != 8) return false;
        height_ = Read16(s + 1);
        width_ = Read16(s + 3);
        const int count = s[5];
        if (width_ == 0 || height_ == 0 || (count != 1 && count != 3) || n != 6 + 3 * count) return false;
        if (std::int64_t(width_) * height_ > kMaxPicturePixels) return false;
        for (int i = 0; i < count; ++i) {
            Component c;
            c.id = s[6 + 3 * i];
            c.h = s[7 + 3 * i] >> 4;
            c.v = s[7 + 3 * i] & 15;
            c.quant = s[8 + 3 * i];
            if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quant > 3) return false;
            components_.push_back(c);
        }
        if (count == 3) {
            if (components_[0].h > 2 || components_[0].v > 2) return false;
            for (int i = 1; i < 3; ++i)
                if (components_[std::size_t(i)].h != 1 || components_[std::size_t(i)].v != 1) return false;
        }
        frame_ = true;
        return true;
    }

    bool ReadHuffman(const std::uint8_t* s, int n) {
        while (n > 0) {
            if (n < 17) return false;
            const int cls = s[0] >> 4, slot = s[0] & 15;
            if (cls > 1 || slot > 3) return false;
            int total = 0;
            for (int i = 0; i < 16; ++i) total += s[1 + i];
            if (total > 256 || n < 17 + total) return false;
            // Kept as they stand and built only for the scan: a file may redefine its tables
            // any number of times.
            RawTable& t = raw_[std::size_t(cls)][std::size_t(slot)];
            t.defined = true;
            t.total = total;
            std::memcpy(t.counts.data(), s + 1, 16);
            std::memcpy(t.symbols.data(), s + 17, std::size_t(total));
            s += 17 + total;
            n -= 17 + total;
        }
        return true;
    }

    // The decoding tables of a defined table, once.
    bool Build(int cls, int slot, HuffTable& t) {
        const RawTable& r = raw_[std::size_t(cls)][std::size_t(slot)];
        if (t.defined) return true;
        return r.defined && BuildTable(t, r.counts.data(), r.symbols.data(), r.total, cls == 1);
    }

    bool ReadQuant(const std::uint8_t* s, int n) {
        while (n > 0) {
            const int precision = s[0] >> 4, slot = s[0] & 15;
            if (precision > 1 || slot > 3) return false;
            const int size = 1 + (precision ? 128 : 64);
            if (n < size) return false;
            // Stored in zigzag order; kept in natural order.
            for (int k = 0; k < 64; ++k)
                quant_[std::size_t(slot)][std::size_t(kNatural[std::size_t(k)])] =
                    std::uint16_t(precision ? Read16(s + 1 + 2 * k) : s[1 + k]);
            quantDefined_[std::size_t(slot)] = true;
            s += size;
            n -= size;
        }
        return true;
    }

    // One scan holding every component, the whole of the spectrum.
    bool ReadScanHeader(const std::uint8_t* s, int n) {
        if (n < 1) return false;
        const int count = s[0];
        if (count != int(components_.size()) || n != 4 + 2 * count) return false;
        for (int i = 0; i < count; ++i) {
            const int id = s[1 + 2 * i];
            const int tables = s[2 + 2 * i];
            auto it = std::find_if(components_.begin(), components_.end(), [&](const Component& c) { return c.id == id; });
            if (it == components_.end() || it->scanIndex >= 0) return false;
            it->scanIndex = i;
            it->dcTable = tables >> 4;
            it->acTable = tables & 15;
            if (it->dcTable > 3 || it->acTable > 3 || !quantDefined_[std::size_t(it->quant)] ||
                !Build(0, it->dcTable, dc_[std::size_t(it->dcTable)]) || !Build(1, it->acTable, ac_[std::size_t(it->acTable)]))
                return false;
            scanOrder_.push_back(int(it - components_.begin()));
        }
        const std::uint8_t* t = s + 1 + 2 * count;
        return t[0] == 0 && t[1] == 63 && t[2] == 0;
    }

    // Bits left over at the end of an interval are only the padding of its last byte, and
    // nothing was read past it.
    bool IntervalEnded(const Bits& b) const {
        const int real = b.count - b.padded;
        return real >= 0 && real < 8;
    }

    // The marker at the reader's place (after any fill bytes), which it then passes.
    bool Marker(std::uint8_t wanted) {
        const std::uint8_t* p = pos_;
        if (p >= end_ || *p != 0xFF) return false;
        while (p < end_ && *p == 0xFF) ++p;
        if (p >= end_ || *p != wanted) return false;
        pos_ = p + 1;
        return true;
    }

    [[gnu::noinline]] bool DecodeScanPlain() { return DecodeScan(); }
    [[gnu::noinline, gnu::target("bmi2")]] bool DecodeScanBmi2() { return DecodeScan(); }

    [[gnu::always_inline]] bool DecodeScan() {
        const bool single = components_.size() == 1;
        const int hMax = single ? 1 : components_[0].h, vMax = single ? 1 : components_[0].v;
        mcuCols_ = (width_ + 8 * hMax - 1) / (8 * hMax);
        mcuRows_ = (height_ + 8 * vMax - 1) / (8 * vMax);
        // Huffman coding spends at least two bits on every block.
        std::uint64_t blocks = 0;
        for (Component& c : components_) {
            if (single) c.h = c.v = 1;
            blocks += std::uint64_t(mcuCols_) * c.h * mcuRows_ * c.v;
        }
        if (blocks > 4 * LeftFrom(pos_)) return false;
        // Chroma at half the luma's resolution both ways comes out at 2 x 2 per block.
        chroma2x2_ = components_.size() == 3 && hMax == 2 && vMax == 2;
        for (std::size_t ci = 0; ci < components_.size(); ++ci) {
            const Component& c = components_[ci];
            const int scale = chroma2x2_ && ci > 0 ? 2 : 1;
            planes_.emplace_back(std::size_t(mcuCols_) * c.h * scale * std::size_t(mcuRows_) * c.v * scale);
            strides_.push_back(mcuCols_ * c.h * scale);
        }

        // The blocks of one MCU in their coded order, each with its tables, its predictor and
        // its place in its component's plane relative to the MCU's first block.
        struct Slot {
            const HuffTable* dc;
            const HuffTable* ac;
            const std::uint16_t* quant;
            int pred;
            std::uint8_t* plane;
            std::size_t offset;
            int h, v, stride;
            bool full;   // decoded in full into 2 x 2 pixels
            const std::int64_t* factors;   // then its inverse DCT's
        };
        for (std::size_t t = 0; t < quant_.size(); ++t) factors_[t] = MakeIdct2x2Factors(quant_[t].data());
        std::array<Slot, 10> slots{};
        int count = 0;
        for (std::size_t si = 0; si < scanOrder_.size(); ++si) {
            const int ci = scanOrder_[si];
            const Component& c = components_[std::size_t(ci)];
            for (int v = 0; v < c.v; ++v)
                for (int h = 0; h < c.h; ++h)
                    slots[std::size_t(count++)] = {&dc_[std::size_t(c.dcTable)], &ac_[std::size_t(c.acTable)],
                                                   quant_[std::size_t(c.quant)].data(), int(si),
                                                   planes_[std::size_t(ci)].data(),
                                                   std::size_t(v) * std::size_t(strides_[std::size_t(ci)]) + std::size_t(h),
                                                   c.h, c.v, strides_[std::size_t(ci)], chroma2x2_ && ci > 0,
                                                   factors_[std::size_t(c.quant)].data()};
        }
        std::array<int, 3> pred{};
        Bits b;
        b.pos = pos_;
        int left = restartInterval_;
        int restarts = 0;
        const std::uint8_t* end = end_;
        // The reader's place is passed by value, so that the reader stays in registers.
        {
            const std::uint8_t* at = b.pos;
            if (!Ensure(at)) return false;
            b.pos = at;
        }
        end = end_;
        b.clean = FirstFF(b.pos, end);
        Refill(b, end);
        for (int my = 0; my < mcuRows_; ++my) {
            for (int mx = 0; mx < mcuCols_; ++mx) {
                if (read_ && std::size_t(end - b.pos) < kMargin) {
                    const std::uint8_t* at = b.pos;
                    if (!Ensure(at)) return false;
                    b.pos = at;
                    end = end_;
                    b.clean = b.padded ? b.pos : FirstFF(b.pos, end);
                }
                if (restartInterval_ && left == 0) {
                    if (!IntervalEnded(b)) return false;
                    pos_ = b.pos;
                    if (!Marker(std::uint8_t(0xD0 + (restarts & 7)))) return false;
                    ++restarts;
                    b = Bits{};
                    b.pos = pos_;
                    b.clean = FirstFF(b.pos, end);
                    Refill(b, end);
                    pred = {};
                    left = restartInterval_;
                }
                --left;
                for (int i = 0; i < count; ++i) {
                    const Slot& sl = slots[std::size_t(i)];
                    if (sl.full) {
                        std::uint8_t* out = sl.plane + std::size_t(2 * my) * std::size_t(sl.stride) + std::size_t(2 * mx);
                        if (!DecodeBlock2x2(b, end, *sl.dc, *sl.ac, sl.factors, pred[std::size_t(sl.pred)], out,
                                            std::size_t(sl.stride)))
                            return false;
                        continue;
                    }
                    std::uint8_t* out = sl.plane + std::size_t(my * sl.v) * std::size_t(sl.stride) + std::size_t(mx * sl.h) + sl.offset;
                    if (!DecodeBlock(b, end, *sl.dc, *sl.ac, sl.quant[0], pred[std::size_t(sl.pred)], *out)) return false;
                }
            }
            // Data that ran out shows here as zero bits read past the end.
            if (b.padded > b.count) return false;
        }
        if (!IntervalEnded(b)) return false;
        pos_ = b.pos;
        return true;
    }

    bool AtEndOfImage() { return Marker(0xD9); }

    void Emit(PictureRowSink& sink) {
        const int w = (width_ + 7) / 8, h = (height_ + 7) / 8;
        sink.Start(w, h);
        if (components_.size() == 1) {
            for (int y = 0; y < h; ++y) {
                std::uint8_t* row = sink.RowBuffer(y);
                const std::uint8_t* grey = planes_[0].data() + std::size_t(y) * std::size_t(strides_[0]);
                for (int x = 0; x < w; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = grey[x];
                sink.RowDone(y);
            }
            return;
        }
        static const ColourTables tables;
        const int hy = chroma2x2_ ? 1 : components_[0].h, vy = chroma2x2_ ? 1 : components_[0].v;
        for (int y = 0; y < h; ++y) {
            std::uint8_t* row = sink.RowBuffer(y);
            const std::uint8_t* lum = planes_[0].data() + std::size_t(y) * std::size_t(strides_[0]);
            const std::uint8_t* cb = planes_[1].data() + std::size_t(y / vy) * std::size_t(strides_[1]);
            const std::uint8_t* cr = planes_[2].data() + std::size_t(y / vy) * std::size_t(strides_[2]);
            for (int x = 0; x < w; ++x) {
                const int yy = lum[x], b = cb[x / hy], r = cr[x / hy];
                row[3 * x] = Clamp255(yy + tables.cbB[std::size_t(b)]);
                row[3 * x + 1] = Clamp255(yy + ((tables.cbG[std::size_t(b)] + tables.crG[std::size_t(r)]) >> 16));
                row[3 * x + 2] = Clamp255(yy + tables.crR[std::size_t(r)]);
            }
            sink.RowDone(y);
        }
    }

    // When reading piece by piece: at least this much of the file (more than any MCU's data
    // can take) lies ahead of the scan at the start of every MCU, until the file's end.
    static constexpr std::size_t kMargin = 16 << 10, kPiece = 256 << 10, kFirstPiece = 512 << 10;

    // Moves the unread bytes from `at` to the buffer's start and appends the next piece, when
    // less than kMargin is left ahead; `at` (the reader's place) follows. False when the file
    // cannot be read.
    bool Ensure(const std::uint8_t*& at) {
        if (!read_ || std::size_t(end_ - at) >= kMargin || fileOffset_ >= fileSize_) return true;
        const std::size_t keep = std::size_t(end_ - at);
        const std::size_t n = std::size_t(std::min<std::uint64_t>(fileSize_ - fileOffset_, kPiece));
        std::memmove(buffer_.get(), at, keep);
        if (!(*read_)(fileOffset_, n, buffer_.get() + keep)) return false;
        fileOffset_ += n;
        data_ = buffer_.get();
        at = data_;
        end_ = data_ + keep + n;
        return true;
    }

    // Bytes from `at` to the end of the file.
    std::uint64_t LeftFrom(const std::uint8_t* at) const { return fileSize_ - fileOffset_ + std::uint64_t(end_ - at); }

    const JpegDcPieceReader* read_ = nullptr;
    std::unique_ptr<std::uint8_t[]> buffer_;   // when reading piece by piece
    const std::uint8_t* data_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    const std::uint8_t* pos_ = nullptr;
    std::uint64_t fileSize_ = 0, fileOffset_ = 0;
    bool frame_ = false;
    int width_ = 0, height_ = 0;
    int restartInterval_ = 0;
    int mcuCols_ = 0, mcuRows_ = 0;
    bool chroma2x2_ = false;
    std::vector<Component> components_;
    std::vector<int> scanOrder_;
    struct RawTable {
        bool defined = false;
        int total = 0;
        std::array<std::uint8_t, 16> counts{};
        std::array<std::uint8_t, 256> symbols{};
    };
    std::array<std::array<RawTable, 4>, 2> raw_{};   // DC, AC
    std::array<HuffTable, 4> dc_{}, ac_{};
    std::array<std::array<std::uint16_t, 64>, 4> quant_{};
    std::array<bool, 4> quantDefined_{};
    std::array<Idct2x2Factors, 4> factors_{};
    std::vector<std::vector<std::uint8_t>> planes_;
    std::vector<int> strides_;
};

}  // namespace

// The decoder holds about 150 KB of tables: on the heap, not on a caller's stack.
JpegDcOutcome DecodeJpegDcRows(std::span<const std::uint8_t> file, PictureRowSink& sink) {
    return std::make_unique<DcDecoder>(file)->Run(sink);
}

JpegDcOutcome DecodeJpegDcRows(std::uint64_t size, const JpegDcPieceReader& read, PictureRowSink& sink) {
    return std::make_unique<DcDecoder>(size, read)->Run(sink);
}

}  // namespace pq
