#include "core/formats/bmp_reader.h"

#include <algorithm>
#include <bit>
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

// The most bytes of pixel data the decoder can use: the rows of an uncompressed picture; for
// RLE, what codes of one pixel each (the longest encoding that makes sense) and an end of line
// per row take. Data beyond it is never read.
std::uint64_t PixelDataBound(const Headers& h) {
    const BitmapInfo& info = h.info;
    const std::uint64_t w = std::uint64_t(info.Width), ht = std::uint64_t(info.Height);
    const int c = info.Compression;
    if (c == kRle4 || c == kRle8 || c == kRle24) return (c == kRle24 ? 5 : 3) * w * ht + 4 * ht + 1024;
    return (w * std::uint64_t(info.BitsPerPixel) + 31) / 32 * 4 * ht;
}

FileResult DecodeParsed(std::span<const std::uint8_t> file, const Headers& h, Raster& picture);

FileResult DecodeRows(std::span<const std::uint8_t> f, const Headers& h, Raster& out) {
    const BitmapInfo& info = h.info;
    const int w = info.Width, ht = info.Height, bits = info.BitsPerPixel;
    const std::uint64_t rowBytes = (std::uint64_t(w) * bits + 31) / 32 * 4;
    // The last row may lack its padding.
    const std::uint64_t lastRow = (std::uint64_t(w) * bits + 7) / 8;
    if (h.pixelOffset + rowBytes * (ht - 1) + lastRow > f.size()) return Invalid();
    out.Resize(w, ht);
    const std::size_t paletteCount = std::min<std::size_t>(h.paletteCount, 256);
    for (int r = 0; r < ht; ++r) {
        const std::uint8_t* src = f.data() + h.pixelOffset + rowBytes * r;
        const int y = info.TopDown ? r : ht - 1 - r;
        std::uint8_t* dst = out.Row(y);
        if (bits <= 8) {
            const int perByte = 8 / bits;
            const unsigned valueMask = (1u << bits) - 1;
            for (int x = 0; x < w; ++x) {
                const int shift = 8 - bits * (x % perByte + 1);
                const unsigned index = (src[x / perByte] >> shift) & valueMask;
                if (index >= paletteCount) return Invalid();
                const Rgb c = h.palette[index];
                dst[3 * x] = c.b; dst[3 * x + 1] = c.g; dst[3 * x + 2] = c.r;
            }
        } else if (bits == 24) {
            std::copy(src, src + 3 * std::size_t(w), dst);
        } else {
            for (int x = 0; x < w; ++x) {
                const std::uint32_t v = bits == 16 ? LoadU16(src + 2 * x) : LoadU32(src + 4 * x);
                dst[3 * x] = h.blue.Get(v);
                dst[3 * x + 1] = h.green.Get(v);
                dst[3 * x + 2] = h.red.Get(v);
            }
        }
    }
    return FileResult::Success();
}

// RLE4, RLE8 and RLE24. Rows are filled from the bottom. Pixels the codes skip (deltas, early
// end of line or of bitmap) take palette entry 0, or black for RLE24. A run that passes the end
// of a row or of the picture, an index outside the palette and data that ends before the
// end-of-bitmap code are refused.
FileResult DecodeRle(std::span<const std::uint8_t> f, const Headers& h, Raster& out) {
    const BitmapInfo& info = h.info;
    const int w = info.Width, ht = info.Height;
    const int mode = info.Compression == kRle4 ? 4 : info.Compression == kRle8 ? 8 : 24;
    const std::uint8_t* d = f.data() + h.pixelOffset;
    const std::size_t n = f.size() - h.pixelOffset;
    const std::size_t paletteCount = std::min<std::size_t>(h.paletteCount, 256);
    out.Resize(w, ht);
    if (mode != 24) out.Fill(h.palette[0]);

    auto put = [&](int x, int y, const std::uint8_t* bgr, unsigned index) -> bool {
        std::uint8_t* p = out.Row(ht - 1 - y) + 3 * x;
        if (mode == 24) {
            p[0] = bgr[0]; p[1] = bgr[1]; p[2] = bgr[2];
            return true;
        }
        if (index >= paletteCount) return false;
        const Rgb c = h.palette[index];
        p[0] = c.b; p[1] = c.g; p[2] = c.r;
        return true;
    };

    int x = 0, y = 0;
    std::size_t p = 0;
    for (;;) {
        if (p + 2 > n) return Invalid();
        const unsigned count = d[p];
        if (count > 0) {
            // Encoded run: count pixels of one value (RLE4: two alternating nibbles).
            const std::size_t unit = mode == 24 ? 3 : 1;
            if (p + 1 + unit > n) return Invalid();
            const std::uint8_t* value = d + p + 1;
            p += 1 + unit;
            if (y >= ht || x + int(count) > w) return Invalid();
            for (unsigned i = 0; i < count; ++i) {
                const unsigned index = mode == 4 ? (i % 2 == 0 ? value[0] >> 4 : value[0] & 15) : value[0];
                if (!put(x + int(i), y, value, index)) return Invalid();
            }
            x += int(count);
            continue;
        }
        const unsigned code = d[p + 1];
        p += 2;
        if (code == 0) {            // end of line
            x = 0;
            if (++y > ht) return Invalid();
        } else if (code == 1) {     // end of bitmap
            break;
        } else if (code == 2) {     // delta: move right and up
            if (p + 2 > n) return Invalid();
            x += d[p];
            y += d[p + 1];
            p += 2;
            if (x > w || y > ht) return Invalid();
        } else {                    // absolute run of `code` pixels, padded to 16 bits
            const std::size_t bytes = mode == 4 ? (code + 1) / 2 : mode == 8 ? code : 3 * std::size_t(code);
            const std::size_t padded = bytes + (bytes & 1);
            if (p + padded > n) return Invalid();
            if (y >= ht || x + int(code) > w) return Invalid();
            const std::uint8_t* src = d + p;
            for (unsigned i = 0; i < code; ++i) {
                unsigned index = 0;
                const std::uint8_t* bgr = src;
                if (mode == 4) index = i % 2 == 0 ? src[i / 2] >> 4 : src[i / 2] & 15;
                else if (mode == 8) index = src[i];
                else bgr = src + 3 * i;
                if (!put(x + int(i), y, bgr, index)) return Invalid();
            }
            x += int(code);
            p += padded;
        }
    }
    return FileResult::Success();
}

FileResult DecodeParsed(std::span<const std::uint8_t> file, const Headers& h, Raster& picture) {
    const int c = h.info.Compression;
    Raster out;
    FileResult r = (c == kRle4 || c == kRle8 || c == kRle24) ? DecodeRle(file, h, out) : DecodeRows(file, h, out);
    if (r) picture = std::move(out);
    return r;
}

FileResult OpenPictureFile(const std::filesystem::path& path, RegularFile& file) {
    if (file.Open(path) != ReadStatus::Ok) return FileResult::Failure(kPictureFileOpenMessage);
    if (file.Size() > kMaxPictureFileBytes) return FileResult::Failure(kPictureTooLargeMessage);
    return FileResult::Success();
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
    r = DecodeParsed(file, h, picture);
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
    if (FileResult r = OpenPictureFile(path, file); !r) return r;
    std::vector<std::uint8_t> head;
    if (!file.ReadAt(0, std::size_t(std::min<std::uint64_t>(file.Size(), kHeaderBytes)), head))
        return FileResult::Failure(kPictureFileOpenMessage);
    Headers h;
    FileResult r = ParseHeaders(head, file.Size(), h);
    if (r) info = h.info;
    return r;
}

FileResult LoadBitmapFile(const std::filesystem::path& path, Raster& picture, BitmapInfo* info) {
    picture = Raster();
    RegularFile file;
    if (FileResult r = OpenPictureFile(path, file); !r) return r;
    // The headers first; then only the bytes the pixels can need, so that memory follows the
    // picture's size, not whatever else the file holds.
    std::vector<std::uint8_t> bytes;
    if (!file.ReadAt(0, std::size_t(std::min<std::uint64_t>(file.Size(), kHeaderBytes)), bytes))
        return FileResult::Failure(kPictureFileOpenMessage);
    Headers h;
    if (FileResult r = ParseHeaders(bytes, file.Size(), h); !r) return r;
    const std::uint64_t end = std::min<std::uint64_t>(file.Size(), h.pixelOffset + PixelDataBound(h));
    if (end > bytes.size() && !file.ReadAt(0, std::size_t(end), bytes)) return FileResult::Failure(kPictureFileOpenMessage);
    FileResult r = DecodeParsed(std::span(bytes).first(std::size_t(end)), h, picture);
    if (r && info) *info = h.info;
    return r;
}

}  // namespace pq
