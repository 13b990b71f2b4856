#include "core/formats/bmp_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <vector>

#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"

namespace pq {

namespace {

enum Compression : int { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kRle24 = 4, kAlphaBitfields = 6 };

FileResult Invalid() { return FileResult::Failure(kBitmapInvalidMessage); }
FileResult Unsupported() { return FileResult::Failure(kBitmapUnsupportedMessage); }

// One colour channel of a BITFIELDS pixel: where it sits and how wide it is.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;   // mask >> shift
    // Scales the channel value to 0..255, rounding to nearest, so a full channel is 255.
    std::uint8_t Get(std::uint32_t pixel) const {
        const std::uint64_t v = (pixel & mask) >> shift;
        return std::uint8_t((v * 255 + max / 2) / max);
    }
};

bool MakeChannel(std::uint32_t mask, int bits, Channel& c) {
    if (mask == 0) return false;
    if (bits < 32 && (mask >> bits) != 0) return false;   // outside the pixel
    c.mask = mask;
    c.shift = std::countr_zero(mask);
    c.max = mask >> c.shift;
    return (c.max & (c.max + 1)) == 0;   // one contiguous run of bits
}

struct Headers {
    BitmapInfo info;
    int signedHeight = 0;
    std::uint32_t pixelOffset = 0;
    std::uint32_t sizeImage = 0;
    Channel red, green, blue;
    std::vector<Rgb> palette;
    std::size_t paletteCount = 0;   // entries declared (only the first 256 are kept)
};

// RLE codes may skip pixels (deltas, early ends of line and of bitmap), so a small file can
// declare a large picture. Beyond a fixed allowance, the picture may hold at most this many
// pixels per byte of compressed data: twice what runs of 255 pixels give, far beyond what any
// encoder writes.
// The headers, the bit masks and the first 256 colour table entries lie in this many bytes.
constexpr std::size_t kHeaderBytes = 64 * 1024;

constexpr std::uint64_t kRleAllowancePixels = 1u << 20;
constexpr std::uint64_t kRlePixelsPerByte = 256;

// `f` holds the file from its start, the whole of it or (for the header alone) enough for the
// headers, masks and the colour table; `fileSize` is the size of the whole file.
FileResult ParseHeaders(std::span<const std::uint8_t> f, std::uint64_t fileSize, Headers& h) {
    const std::uint64_t size = fileSize;
    const std::size_t avail = f.size();
    if (avail < 18 || f[0] != 'B' || f[1] != 'M') return Invalid();
    const std::uint8_t* d = f.data();
    if (LoadU32(d + 2) > size) return Invalid();   // the file claims more bytes than it has
    h.pixelOffset = LoadU32(d + 10);
    const std::uint32_t hs = LoadU32(d + 14);
    static constexpr std::uint32_t kSizes[] = {12, 16, 40, 52, 56, 64, 108, 124};
    if (std::find(std::begin(kSizes), std::end(kSizes), hs) == std::end(kSizes)) return Invalid();
    if (14 + std::size_t(hs) > avail) return Invalid();
    const std::uint8_t* ih = d + 14;
    BitmapInfo& info = h.info;
    info.HeaderSize = int(hs);

    std::int64_t width, height;
    int planes, bits;
    std::uint32_t compression = 0, colorsUsed = 0;
    std::int32_t xppm = 0, yppm = 0;
    if (hs == 12) {
        width = LoadU16(ih + 4);
        height = LoadU16(ih + 6);
        planes = LoadU16(ih + 8);
        bits = LoadU16(ih + 10);
    } else {
        width = LoadI32(ih + 4);
        height = LoadI32(ih + 8);
        planes = LoadU16(ih + 12);
        bits = LoadU16(ih + 14);
        if (hs >= 40) {
            compression = LoadU32(ih + 16);
            h.sizeImage = LoadU32(ih + 20);
            xppm = LoadI32(ih + 24);
            yppm = LoadI32(ih + 28);
            colorsUsed = LoadU32(ih + 32);
        }
    }
    // OS/2 2.x headers give compression 3 and 4 other meanings: Huffman 1D and RLE24.
    const bool os2 = hs == 16 || hs == 64;
    if (os2 && compression == 3) return Unsupported();
    if (os2 && compression == 4) compression = kRle24;
    else if (compression == 4 || compression == 5) return Unsupported();   // embedded JPEG / PNG
    else if (compression > kAlphaBitfields) return Unsupported();

    if (planes != 1) return Invalid();
    if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min()) return Invalid();
    info.TopDown = height < 0;
    h.signedHeight = int(height);
    if (height < 0) height = -height;
    if (width * height > kMaxPicturePixels) return FileResult::Failure(kPictureTooLargeMessage);
    info.Width = int(width);
    info.Height = int(height);
    // A pixel shape more than 1000 times wider than tall (or the reverse) is a broken header.
    if (xppm < 0 || yppm < 0) return Invalid();
    if (xppm > 0 && yppm > 0 && (std::int64_t(xppm) > 1000ll * yppm || std::int64_t(yppm) > 1000ll * xppm))
        return Invalid();

    if (bits == 64) return Unsupported();
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return Invalid();
    info.BitsPerPixel = bits;
    info.Compression = int(compression);
    switch (compression) {
        case kRgb: break;
        case kRle8: if (bits != 8) return Invalid(); break;
        case kRle4: if (bits != 4) return Invalid(); break;
        case kRle24: if (bits != 24) return Invalid(); break;
        case kBitfields:
        case kAlphaBitfields: if (bits != 16 && bits != 32) return Invalid(); break;
        default: return Invalid();
    }
    const bool rle = compression == kRle8 || compression == kRle4 || compression == kRle24;
    if (rle && info.TopDown) return Invalid();

    // Colour masks: inside the header from 52 bytes on, otherwise right after it.
    std::size_t paletteStart = 14 + hs;
    if (bits == 16 || bits == 32) {
        std::uint32_t masks[3];
        if (compression == kBitfields || compression == kAlphaBitfields) {
            if (hs >= 52) {
                for (int i = 0; i < 3; ++i) masks[i] = LoadU32(ih + 40 + 4 * i);
            } else {
                const std::size_t n = compression == kAlphaBitfields ? 16 : 12;
                if (paletteStart + n > avail) return Invalid();
                for (int i = 0; i < 3; ++i) masks[i] = LoadU32(d + paletteStart + 4 * i);
                paletteStart += n;
            }
        } else if (bits == 16) {
            masks[0] = 0x7C00; masks[1] = 0x03E0; masks[2] = 0x001F;
        } else {
            masks[0] = 0xFF0000; masks[1] = 0xFF00; masks[2] = 0xFF;
        }
        if (!MakeChannel(masks[0], bits, h.red) || !MakeChannel(masks[1], bits, h.green) ||
            !MakeChannel(masks[2], bits, h.blue))
            return Invalid();
        if ((masks[0] & masks[1]) || (masks[0] & masks[2]) || (masks[1] & masks[2])) return Invalid();
    }

    // Palette: 3-byte entries after the core header, 4-byte entries otherwise. The core header
    // has no count: the palette fills the room up to the pixels, at most 2^bits entries.
    const std::size_t entrySize = hs == 12 ? 3 : 4;
    std::size_t count;
    if (hs == 12) {
        count = 0;
        if (bits <= 8 && h.pixelOffset > paletteStart)
            count = std::min<std::size_t>(std::size_t(1) << bits, (h.pixelOffset - paletteStart) / 3);
    } else {
        count = colorsUsed != 0 ? colorsUsed : (bits <= 8 ? std::size_t(1) << bits : 0);
    }
    if (bits <= 8 && count == 0) return Invalid();
    const std::uint64_t paletteEnd = paletteStart + std::uint64_t(count) * entrySize;
    if (paletteEnd > size) return Invalid();
    if (bits <= 8) {
        h.paletteCount = count;
        const std::size_t kept = std::min<std::size_t>(count, 256);
        if (paletteStart + kept * entrySize > avail) return Invalid();
        h.palette.resize(kept);
        for (std::size_t i = 0; i < kept; ++i) {
            const std::uint8_t* e = d + paletteStart + i * entrySize;
            h.palette[i] = Rgb{e[2], e[1], e[0]};
        }
    }
    if (h.pixelOffset < paletteEnd || h.pixelOffset > size) return Invalid();
    if (h.sizeImage > size - h.pixelOffset) return Invalid();
    if (rle && std::uint64_t(width) * std::uint64_t(height) >
                   kRleAllowancePixels + kRlePixelsPerByte * (size - h.pixelOffset))
        return Invalid();
    return FileResult::Success();
}

// Where the file's bytes come from: the whole file in memory, or a regular file read as needed.
struct BmpInput {
    std::span<const std::uint8_t> bytes;
    const RegularFile* file = nullptr;
    std::uint64_t size = 0;
    // n bytes at `offset`, pointing into memory or read into `scratch`; nullptr when they are not
    // all in the file or cannot be read.
    const std::uint8_t* At(std::uint64_t offset, std::size_t n, std::vector<std::uint8_t>& scratch) const {
        if (offset > size || n > size - offset) return nullptr;
        if (!file) return bytes.data() + offset;
        if (n == 0) return scratch.data();
        if (!file->ReadAt(offset, n, scratch)) return nullptr;
        return scratch.data();
    }
};

// Pixels [x, x + n) of one uncompressed row into blue, green and red. `src` points at the byte
// holding column srcX (srcX a multiple of the pixels per byte). False for an index outside the
// palette.
bool ConvertPixels(const Headers& h, const std::uint8_t* src, int srcX, int x, int n, std::uint8_t* dst) {
    const int bits = h.info.BitsPerPixel;
    if (bits <= 8) {
        const int perByte = 8 / bits;
        const unsigned valueMask = (1u << bits) - 1;
        const std::size_t paletteCount = h.palette.size();
        for (int k = 0; k < n; ++k, dst += 3) {
            const int c = x + k - srcX;
            const int shift = 8 - bits * (c % perByte + 1);
            const unsigned index = (src[c / perByte] >> shift) & valueMask;
            if (index >= paletteCount) return false;
            const Rgb v = h.palette[index];
            dst[0] = v.b; dst[1] = v.g; dst[2] = v.r;
        }
    } else if (bits == 24) {
        std::memcpy(dst, src + 3 * std::size_t(x - srcX), 3 * std::size_t(n));
    } else {
        for (int k = 0; k < n; ++k, dst += 3) {
            const std::size_t c = std::size_t(x + k - srcX);
            const std::uint32_t v = bits == 16 ? LoadU16(src + 2 * c) : LoadU32(src + 4 * c);
            dst[0] = h.blue.Get(v);
            dst[1] = h.green.Get(v);
            dst[2] = h.red.Get(v);
        }
    }
    return true;
}

// Uncompressed rows, handed over top to bottom whichever way the file stores them: a band of
// rows is read at a time (from the end of a bottom-up file first), or, when one row is larger
// than a band, the columns the sink reads a piece at a time.
FileResult StreamRows(const BmpInput& in, const Headers& h, PictureRowSink& sink, std::size_t bandBytes) {
    const BitmapInfo& info = h.info;
    const int w = info.Width, ht = info.Height, bits = info.BitsPerPixel;
    const std::uint64_t rowBytes = (std::uint64_t(w) * bits + 31) / 32 * 4;
    // The last row may lack its padding.
    const std::uint64_t lastRow = (std::uint64_t(w) * bits + 7) / 8;
    if (h.pixelOffset + rowBytes * (ht - 1) + lastRow > in.size) return Invalid();
    sink.Start(w, ht);
    RowPieces pieces(sink, w, false, std::max<std::size_t>(8, bandBytes / 3));
    const int perByte = bits < 8 ? 8 / bits : 1;
    auto fileRow = [&](int y) { return info.TopDown ? y : ht - 1 - y; };
    auto rowStart = [&](int r) { return std::uint64_t(h.pixelOffset) + rowBytes * std::uint64_t(r); };
    std::vector<std::uint8_t> scratch;

    if (rowBytes > bandBytes) {
        // One row is more than a band: each piece's bytes are read as the piece is made.
        for (int y = 0; y < ht; ++y) {
            const std::uint64_t start = rowStart(fileRow(y));
            bool read = true;
            const bool ok = pieces.Row(y, [&](int x, int n, std::uint8_t* bgr, std::uint8_t*) {
                const int from = x / perByte * perByte;
                const std::uint64_t first = std::uint64_t(from) * bits / 8;
                const std::uint64_t end = (std::uint64_t(x + n) * bits + 7) / 8;
                const std::uint8_t* src = in.At(start + first, std::size_t(end - first), scratch);
                if (!src) return read = false;
                return ConvertPixels(h, src, from, x, n, bgr);
            });
            if (!read) return FileResult::Failure(kPictureFileOpenMessage);
            if (!ok) return Invalid();
        }
        return FileResult::Success();
    }
    const int band = int(std::min<std::uint64_t>(std::uint64_t(ht), std::max<std::uint64_t>(1, bandBytes / rowBytes)));
    for (int y0 = 0; y0 < ht; y0 += band) {
        const int y1 = std::min(ht, y0 + band);
        const int lo = std::min(fileRow(y0), fileRow(y1 - 1)), hi = std::max(fileRow(y0), fileRow(y1 - 1));
        const std::uint64_t length = rowBytes * std::uint64_t(hi - lo) + (hi == ht - 1 ? lastRow : rowBytes);
        const std::uint8_t* block = in.At(rowStart(lo), std::size_t(length), scratch);
        if (!block) return FileResult::Failure(kPictureFileOpenMessage);
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* src = block + rowBytes * std::uint64_t(fileRow(y) - lo);
            if (!pieces.Row(y, [&](int x, int n, std::uint8_t* bgr, std::uint8_t*) { return ConvertPixels(h, src, 0, x, n, bgr); }))
                return Invalid();
        }
    }
    return FileResult::Success();
}

// The compressed data of an RLE bitmap, read forward from any position (a window of it at a
// time when it comes from a file).
class RleCodes {
public:
    RleCodes(const BmpInput& in, std::uint64_t start) : in_(in), start_(start), size_(in.size - start) {}
    std::uint64_t Size() const { return size_; }
    // k bytes at position p of the data (the caller has checked p + k <= Size()).
    const std::uint8_t* Get(std::uint64_t p, std::size_t k) {
        if (!in_.file) return in_.bytes.data() + start_ + p;
        if (p < at_ || p + k > at_ + window_.size()) {
            const std::size_t n = std::size_t(std::min<std::uint64_t>(size_ - p, std::max<std::size_t>(k, kWindow)));
            if (!in_.file->ReadAt(start_ + p, n, window_)) {
                failed_ = true;
                window_.assign(k, 0);
            }
            at_ = p;
        }
        return window_.data() + (p - at_);
    }
    bool Failed() const { return failed_; }

private:
    static constexpr std::size_t kWindow = 1u << 20;
    const BmpInput& in_;
    std::uint64_t start_, size_;
    std::vector<std::uint8_t> window_;
    std::uint64_t at_ = 0;
    bool failed_ = false;
};

// Where the RLE decoder stands: the next code, the position it writes at (rows counted from
// the bottom), and whether the end-of-bitmap code was met.
struct RleState {
    std::uint64_t p = 0;
    int x = 0, y = 0;
    bool ended = false;
};

// Runs the RLE4, RLE8 or RLE24 codes from `s` on, until the end-of-bitmap code or, before any
// code, a row at or above `stop`; `put(x, y, bgr, index)` gets the pixels of rows `low` and up.
// With `marks`, the state is recorded as the codes first reach each band of `bandRows` rows.
// A run that passes the end of a row or of the picture, an index outside the palette and data
// that ends before the end-of-bitmap code are refused.
template <class Put>
bool RunRle(RleCodes& codes, const Headers& h, RleState& s, int low, int stop, Put&& put,
            std::vector<RleState>* marks = nullptr, int bandRows = 1) {
    const BitmapInfo& info = h.info;
    const int w = info.Width, ht = info.Height;
    const int mode = info.Compression == kRle4 ? 4 : info.Compression == kRle8 ? 8 : 24;
    const std::uint64_t n = codes.Size();
    const std::size_t paletteCount = h.palette.size();
    auto index = [&](unsigned i) { return mode == 24 || i < paletteCount; };
    std::uint64_t p = s.p;
    int x = s.x, y = s.y;
    for (;;) {
        if (marks)
            while (marks->size() * std::size_t(bandRows) <= std::size_t(std::max(y, 0)) &&
                   marks->size() * std::size_t(bandRows) < std::size_t(ht))
                marks->push_back(RleState{p, x, y, false});
        if (y >= stop) break;
        if (p + 2 > n) return false;
        const std::uint8_t* d = codes.Get(p, 2);
        const unsigned count = d[0];
        if (count > 0) {
            // Encoded run: count pixels of one value (RLE4: two alternating nibbles).
            const std::size_t unit = mode == 24 ? 3 : 1;
            if (p + 1 + unit > n) return false;
            const std::uint8_t* value = codes.Get(p + 1, unit);
            p += 1 + unit;
            if (y >= ht || x + int(count) > w) return false;
            for (unsigned i = 0; i < count; ++i) {
                const unsigned v = mode == 4 ? (i % 2 == 0 ? value[0] >> 4 : value[0] & 15) : value[0];
                if (!index(v)) return false;
                if (y >= low) put(x + int(i), y, value, v);
            }
            x += int(count);
            continue;
        }
        const unsigned code = d[1];
        p += 2;
        if (code == 0) {            // end of line
            x = 0;
            if (++y > ht) return false;
        } else if (code == 1) {     // end of bitmap
            s.ended = true;
            break;
        } else if (code == 2) {     // delta: move right and up
            if (p + 2 > n) return false;
            const std::uint8_t* delta = codes.Get(p, 2);
            x += delta[0];
            y += delta[1];
            p += 2;
            if (x > w || y > ht) return false;
        } else {                    // absolute run of `code` pixels, padded to 16 bits
            const std::size_t bytes = mode == 4 ? (code + 1) / 2 : mode == 8 ? code : 3 * std::size_t(code);
            const std::size_t padded = bytes + (bytes & 1);
            if (p + padded > n) return false;
            if (y >= ht || x + int(code) > w) return false;
            const std::uint8_t* src = codes.Get(p, padded);
            for (unsigned i = 0; i < code; ++i) {
                unsigned v = 0;
                const std::uint8_t* bgr = src;
                if (mode == 4) v = i % 2 == 0 ? src[i / 2] >> 4 : src[i / 2] & 15;
                else if (mode == 8) v = src[i];
                else bgr = src + 3 * i;
                if (!index(v)) return false;
                if (y >= low) put(x + int(i), y, bgr, v);
            }
            x += int(code);
            p += padded;
        }
    }
    if (marks)
        while (marks->size() * std::size_t(bandRows) < std::size_t(ht)) marks->push_back(RleState{p, x, y, true});
    s.p = p;
    s.x = x;
    s.y = y;
    return true;
}

// RLE pictures fill their rows from the bottom, so the codes are run twice: once through to
// the end, checking them all and marking where each band of rows starts, then band by band
// from the top one down, each band decoded from its mark into a buffer of the columns the sink
// reads. Pixels the codes skip (deltas, early end of line or of bitmap) take palette entry 0,
// or black for RLE24.
FileResult StreamRle(const BmpInput& in, const Headers& h, PictureRowSink& sink, std::size_t bandBytes) {
    const BitmapInfo& info = h.info;
    const int w = info.Width, ht = info.Height;
    const bool rle24 = info.Compression == kRle24;
    RleCodes codes(in, h.pixelOffset);
    const int bandRows = int(std::min<std::uint64_t>(std::uint64_t(ht), std::max<std::uint64_t>(1, bandBytes / (3 * std::uint64_t(w)))));
    std::vector<RleState> marks;
    RleState s;
    if (!RunRle(codes, h, s, ht, ht + 1, [](int, int, const std::uint8_t*, unsigned) {}, &marks, bandRows))
        return codes.Failed() ? FileResult::Failure(kPictureFileOpenMessage) : Invalid();
    if (codes.Failed()) return FileResult::Failure(kPictureFileOpenMessage);

    sink.Start(w, ht);
    RowPieces pieces(sink, w, false, std::max<std::size_t>(8, bandBytes / 3));
    const int first = pieces.First(), span = pieces.End() - first;
    const Rgb fill = rle24 ? kBlack : h.palette[0];
    std::vector<std::uint8_t> band(3 * std::size_t(span) * std::size_t(bandRows));
    const int bands = int(marks.size());
    for (int b = bands - 1; b >= 0; --b) {
        const int low = b * bandRows, high = std::min(ht, low + bandRows);
        for (std::size_t i = 0; i < band.size(); i += 3) band[i] = fill.b, band[i + 1] = fill.g, band[i + 2] = fill.r;
        RleState at = marks[std::size_t(b)];
        if (!at.ended) {
            auto put = [&](int x, int y, const std::uint8_t* bgr, unsigned index) {
                if (y >= high || x < first || x >= first + span) return;
                std::uint8_t* q = band.data() + 3 * (std::size_t(y - low) * std::size_t(span) + std::size_t(x - first));
                if (rle24) {
                    q[0] = bgr[0]; q[1] = bgr[1]; q[2] = bgr[2];
                } else {
                    const Rgb c = h.palette[index];
                    q[0] = c.b; q[1] = c.g; q[2] = c.r;
                }
            };
            if (!RunRle(codes, h, at, low, high, put)) return Invalid();
            if (codes.Failed()) return FileResult::Failure(kPictureFileOpenMessage);
        }
        for (int yb = high - 1; yb >= low; --yb) {
            const std::uint8_t* row = band.data() + 3 * std::size_t(yb - low) * std::size_t(span);
            pieces.Row(ht - 1 - yb, [&](int x, int n, std::uint8_t* bgr, std::uint8_t*) {
                std::memcpy(bgr, row + 3 * std::size_t(x - first), 3 * std::size_t(n));
                return true;
            });
        }
    }
    return FileResult::Success();
}

FileResult StreamParsed(const BmpInput& in, const Headers& h, PictureRowSink& sink, std::size_t bandBytes) {
    const int c = h.info.Compression;
    bandBytes = std::max<std::size_t>(1, bandBytes);
    return (c == kRle4 || c == kRle8 || c == kRle24) ? StreamRle(in, h, sink, bandBytes) : StreamRows(in, h, sink, bandBytes);
}

FileResult DecodeParsed(const BmpInput& in, const Headers& h, Raster& picture) {
    Raster out;
    RasterRowSink sink(out);
    FileResult r = StreamParsed(in, h, sink, kPictureBandBytes);
    if (r) picture = std::move(out);
    return r;
}

FileResult OpenPictureFile(const std::filesystem::path& path, RegularFile& file) {
    if (file.Open(path) != ReadStatus::Ok) return FileResult::Failure(kPictureFileOpenMessage);
    if (file.Size() > kMaxPictureFileBytes) return FileResult::Failure(kPictureTooLargeMessage);
    return FileResult::Success();
}

// Opens a bitmap file and parses its headers from its first bytes.
FileResult OpenBitmap(const std::filesystem::path& path, RegularFile& file, Headers& h) {
    if (FileResult r = OpenPictureFile(path, file); !r) return r;
    std::vector<std::uint8_t> head;
    if (!file.ReadAt(0, std::size_t(std::min<std::uint64_t>(file.Size(), kHeaderBytes)), head))
        return FileResult::Failure(kPictureFileOpenMessage);
    return ParseHeaders(head, file.Size(), h);
}

}  // namespace

FileResult ReadBitmapInfo(std::span<const std::uint8_t> file, BitmapInfo& info) {
    Headers h;
    FileResult r = ParseHeaders(file, file.size(), h);
    if (r) info = h.info;
    return r;
}

FileResult DecodeBitmap(std::span<const std::uint8_t> file, Raster& picture, BitmapInfo* info) {
    picture = Raster();
    Headers h;
    FileResult r = ParseHeaders(file, file.size(), h);
    if (!r) return r;
    r = DecodeParsed(BmpInput{file, nullptr, file.size()}, h, picture);
    if (r && info) *info = h.info;
    return r;
}

FileResult DecodeBitmapRows(std::span<const std::uint8_t> file, PictureRowSink& sink, BitmapInfo* info,
                            std::size_t bandBytes) {
    Headers h;
    FileResult r = ParseHeaders(file, file.size(), h);
    if (!r) return r;
    r = StreamParsed(BmpInput{file, nullptr, file.size()}, h, sink, bandBytes);
    if (r && info) *info = h.info;
    return r;
}

FileResult ReadPictureFileBytes(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    RegularFile file;
    if (FileResult r = OpenPictureFile(path, file); !r) return r;
    if (!file.ReadAt(0, std::size_t(file.Size()), bytes)) return FileResult::Failure(kPictureFileOpenMessage);
    return FileResult::Success();
}

FileResult ReadBitmapFileInfo(const std::filesystem::path& path, BitmapInfo& info) {
    RegularFile file;
    Headers h;
    FileResult r = OpenBitmap(path, file, h);
    if (r) info = h.info;
    return r;
}

FileResult LoadBitmapFile(const std::filesystem::path& path, Raster& picture, BitmapInfo* info) {
    picture = Raster();
    RegularFile file;
    Headers h;
    if (FileResult r = OpenBitmap(path, file, h); !r) return r;
    FileResult r = DecodeParsed(BmpInput{{}, &file, file.Size()}, h, picture);
    if (r && info) *info = h.info;
    return r;
}

FileResult LoadBitmapFileRows(const std::filesystem::path& path, PictureRowSink& sink, BitmapInfo* info,
                              std::size_t bandBytes) {
    RegularFile file;
    Headers h;
    if (FileResult r = OpenBitmap(path, file, h); !r) return r;
    FileResult r = StreamParsed(BmpInput{{}, &file, file.Size()}, h, sink, bandBytes);
    if (r && info) *info = h.info;
    return r;
}

namespace {

std::uint32_t BitmapU32At(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

}  // namespace

void ApplyBitmapAlpha(std::span<const std::uint8_t> file, std::vector<Rgba8>& pixels, int width, int height) {
    BitmapInfo info;
    if (!ReadBitmapInfo(file, info) || info.BitsPerPixel != 32 || info.Width != width || info.Height != height) return;
    if (info.HeaderSize < 40 || file.size() < 14 + std::size_t(info.HeaderSize)) return;
    if (info.Compression == 3 || info.Compression == 6) {
        const bool alphaMask = info.Compression == 6 || info.HeaderSize >= 56;
        if (file.size() < 70 || BitmapU32At(file, 54) != 0xFF0000u || BitmapU32At(file, 58) != 0xFF00u || BitmapU32At(file, 62) != 0xFFu ||
            !alphaMask || BitmapU32At(file, 66) != 0xFF000000u)
            return;
    } else if (info.Compression != 0) {
        return;
    }
    const std::uint64_t offset = BitmapU32At(file, 10), stride = 4 * std::uint64_t(width);
    if (offset > file.size() || (file.size() - offset) / stride < std::uint64_t(height)) return;
    bool anyAlpha = false;
    for (std::uint64_t i = 0; i < stride * std::uint64_t(height) && !anyAlpha; i += 4) anyAlpha = file[offset + i + 3] != 0;
    if (!anyAlpha) return;
    for (int y = 0; y < height; ++y) {
        const std::size_t stored = std::size_t(info.TopDown ? y : height - 1 - y);
        const std::uint8_t* row = file.data() + offset + stored * stride;
        Rgba8* out = pixels.data() + std::size_t(y) * std::size_t(width);
        for (int x = 0; x < width; ++x) out[x].a = row[4 * x + 3];
    }
}


}  // namespace pq
