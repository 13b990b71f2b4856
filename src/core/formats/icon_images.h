#pragma once
// Icon and cursor images beyond the palette ones: 1-, 16-, 24- and 32-bit DIBs with their AND
// masks and PNG images, decoded to straight RGBA and opened as a one-layer document: 32-bit and
// PNG images as truecolour with every value, the others through the colour reduction. Also what
// the image chooser shows for any entry.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/quality_reduction.h"
#include "core/formats/icon_file.h"
#include "core/io/file_result.h"

namespace pq {

// PNG images with a side above this are refused before any pixel memory is taken: compressed
// data does not bound the picture, so the side does (4 MB of pixels at most). A DIB's rows must
// lie in the file, which bounds it.
inline constexpr int kMaxPngIconSide = 1024;

// Width x Height pixels of red, green, blue, alpha, row-major from the top-left; colours are
// stored as the file gives them (not premultiplied).
struct RgbaImage {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Pixels;
};

// What an entry's own data says about it; Readable false when it holds no usable header.
struct IconImageFacts {
    bool Readable = false;
    bool Png = false;
    int Width = 0, Height = 0;
    int BitCount = 0;   // DIB bits per pixel; 32 for PNG
};
IconImageFacts DescribeIconImage(std::span<const uint8_t> file, const IconDirEntry& entry);

// True for 4- and 8-bit DIB entries, which the palette reader of icon_file.h opens unchanged.
bool IsPaletteIconImage(const IconDirEntry& entry);

// Decodes one image from `data` (its first byte up to the end of the file: the entry's byte
// count is trusted neither way). PNG: anything libpng reads, its size checked before any pixel
// memory is taken, 1..kMaxPngIconSide a side. DIB: uncompressed 1, 4 or 8 (with its colour
// table; an index past a short table shows black), 16 (5-5-5), 24 or 32 bits per pixel, sides 1..4096, the colour rows and the AND mask inside
// `data`. Opacity: a 32-bit image whose alpha bytes are not all 0 uses them, and may then lack
// the mask; otherwise a set mask bit gives alpha 0, a clear one 255 (a 32-bit image without
// either is opaque). False for anything else.
bool DecodeIconRgba(std::span<const uint8_t> data, RgbaImage& out);

// The document of a decoded image: InitBlankDocument(W, H, 256) at the selected zoom, its layer
// painted where alpha is at least options.alphaThreshold (128 by default), the painted colours
// reduced into 256 palette entries (ReducePaintedPicture with `options`); 16 colours when they
// need no more than 16 entries. `colors` 16 or 256 reduces into that many entries instead and
// keeps that colour count.
void DocumentFromRgba(Document& doc, const RgbaImage& image, int selectedZoom, int colors = 0,
                      const ReductionOptions& options = ReductionOptions{});

// True when the image data is a PNG or a 32-bit DIB: images that hold their own alpha, which open as truecolour
// documents (TrueColorDocumentFromRgba) rather than through the colour reduction.
bool IsTrueColorIconData(std::span<const uint8_t> data);

// The truecolour document of a decoded image: InitBlankTrueColorDocument(W, H) at the selected
// zoom, its one layer "レイヤ1" holding every pixel's colour and alpha exactly as decoded (the
// colour of a pixel of alpha 0 included).
void TrueColorDocumentFromRgba(Document& doc, const RgbaImage& image, int selectedZoom);

// The image's pixels as a truecolour layer composes them: pixels of alpha 0 become (0, 0, 0, 0),
// every other pixel is kept. What a truecolour page read from the image shows, to compare a
// page's composite with.
std::vector<Rgba8> ComposedRgba(const RgbaImage& image);

// Whether the entry's image opens, from its headers alone (cheap enough for listing every entry
// of a large directory): a PNG whose pixel data is damaged is only found out by opening it.
bool DecodedIconImageOpens(std::span<const uint8_t> file, const IconDirEntry& entry);

// Opens image `index` of the directory when it is not a palette image: DecodeIconRgba, then
// TrueColorDocumentFromRgba for a PNG or 32-bit image (`options` unused), DocumentFromRgba for
// the others (1, 16 and 24 bits), and RememberIconOrigin. Refused with kIconOpenError, `doc` untouched, when
// the image does not decode.
FileResult LoadDecodedIconImage(std::span<const uint8_t> file, const IconDirectory& dir, int index, Document& doc,
                                int selectedZoom, const ReductionOptions& options = ReductionOptions{});

// Records in a document just read from image `index` where it came from (Origin, without the
// path, which only the caller knows) and, for a cursor, the image's hotspot moved inside the
// canvas (HasHotspot set); other files leave the hotspot at (0, 0), unset.
void RememberIconOrigin(Document& doc, const IconDirectory& dir, int index);

// What an image holds, as every list of images names it: "2色", "16色", "256色" for 1, 4 and 8
// bits, "24ビット", "32ビット" for true-colour DIBs, "PNG" for PNG data.
std::string IconDepthText(bool png, int bitCount);
// The chooser's line for entry n, with the size and depth the image data states:
// "0： サイズ：32×32 色数：16色", "色数：32ビット", "色数：PNG" (IconDepthText). Entries without
// a readable header keep the directory's bytes (IconEntryLabel).
std::string IconChooserLabel(int n, std::span<const uint8_t> file, const IconDirEntry& entry);

}  // namespace pq
