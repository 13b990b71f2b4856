#pragma once
// PNG output of a document: the visible layers composed bottom to top as 8-bit RGBA, fully
// transparent (0, 0, 0, 0) where no visible layer paints, opaque elsewhere. PNG input of a
// picture for the picture import: its colours over white, and where it is fully transparent.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "core/document/document.h"
#include "core/formats/picture_rows.h"
#include "core/io/file_result.h"

namespace pq {

// Row-major RGBA bytes of the flattened visible layers (ImageWidth x ImageHeight x 4). A
// truecolour document gives its layers composed by ComposeRgbaLayers, every alpha value kept
// (empty when a layer's pixels do not match the size).
std::vector<uint8_t> FlattenToRgba(const Document& doc);

// The PNG file image of FlattenToRgba; empty when the document is not set up or encoding fails.
std::vector<uint8_t> EncodePng(const Document& doc);

// A PNG of straight (not premultiplied) RGBA bytes, row by row from the top, every colour and
// alpha value kept; empty when the size does not match the bytes or encoding fails.
std::vector<uint8_t> EncodeRgbaPng(int width, int height, std::span<const uint8_t> rgba);

// Writes the PNG through a temporary file renamed over `path`.
FileResult SavePngFile(const Document& doc, const std::filesystem::path& path);

inline constexpr const char* kPngUnreadableMessage = "PNG画像が正しくありません。";

// A PNG's header: its size, how its pixels are stored, and whether any of them can be
// transparent (an alpha channel, or a tRNS chunk).
struct PngInfo {
    int Width = 0, Height = 0;
    int BitDepth = 0;       // 1, 2, 4, 8 or 16 bits per sample
    int ColorType = 0;      // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
    bool Interlaced = false;
    bool MayBeTransparent = false;
};

// PNG pictures are read with their samples as stored: no gamma or colour-space conversion
// (a gAMA, cHRM, sRGB or iCCP chunk changes nothing), 16-bit samples rounded to 8 bits
// ((v * 255 + 32767) / 65535), 1, 2 and 4-bit grey scaled to 0..255.

// A PNG file held in memory as a picture: every pixel's colour composed over white, and in
// `transparent` (when given, width x height bytes) 1 where its alpha is 0. A picture may hold
// no more pixels than kMaxPicturePixels, nor more than 1 M plus 8256 per byte of the file
// (deflate expands at most about 1032 times, 8 one-bit pixels a byte), which is checked before
// anything is allocated: kPictureTooLargeMessage. A file libpng refuses, or cut short:
// kPngUnreadableMessage. On failure both outputs are left empty.
FileResult DecodePngPicture(std::span<const std::uint8_t> file, Raster& picture, Plane* transparent);
// The same from a file, read in chunks as the decoder needs them: anything but a regular file
// is refused with kPictureFileOpenMessage, a file above kMaxPictureFileBytes with
// kPictureTooLargeMessage.
FileResult LoadPngPicture(const std::filesystem::path& path, Raster& picture, Plane* transparent);
// LoadPngPicture that also keeps every pixel as stored (straight RGBA, width x height from the
// top), from the one decode: for an import that may take the alpha as well.
FileResult LoadPngPictureRgba(const std::filesystem::path& path, Raster& picture, Plane& transparent,
                              std::vector<Rgba8>& pixels);

// The same pictures handed to `sink` row by row as they are decoded (in pieces of at most
// bandBytes / 4 pixels, with their transparency when the picture can have any): only one
// stored row is held, or for an interlaced picture its stored rows (its passes fill them all).
// The same checks, limits and messages.
FileResult DecodePngRows(std::span<const std::uint8_t> file, PictureRowSink& sink, PngInfo* info = nullptr,
                         std::size_t bandBytes = kPictureBandBytes);
FileResult LoadPngFileRows(const std::filesystem::path& path, PictureRowSink& sink, PngInfo* info = nullptr,
                           std::size_t bandBytes = kPictureBandBytes);

// The header only: the chunks before the pixel data (a file is read in chunks of 256 KB as far
// as those go).
FileResult ReadPngInfo(std::span<const std::uint8_t> file, PngInfo& info);
FileResult ReadPngFileInfo(const std::filesystem::path& path, PngInfo& info);

// A PNG (an icon's image) as straight RGBA bytes, 4 per pixel row by row from the top, its
// samples as stored like the pictures above: false when libpng refuses it, it is cut short or
// a side lies outside 1..maxSide (checked before the pixels are decoded).
bool DecodePngRgba(std::span<const std::uint8_t> file, int maxSide, int& width, int& height,
                   std::vector<std::uint8_t>& rgba);

}  // namespace pq
