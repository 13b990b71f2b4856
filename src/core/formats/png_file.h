#pragma once
// PNG output of a document: the visible layers composed bottom to top as 8-bit RGBA, fully
// transparent (0, 0, 0, 0) where no visible layer paints, opaque elsewhere. PNG input of a
// picture for the picture import: its colours over white, and where it is fully transparent.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "core/document/document.h"
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

// A PNG file held in memory as a picture: every pixel's colour composed over white, and in
// `transparent` (when given, width x height bytes) 1 where its alpha is 0. A picture may hold
// no more pixels than kMaxPicturePixels, nor more than 1 M plus 8256 per byte of the file
// (deflate expands at most about 1032 times, 8 one-bit pixels a byte), which is checked before
// anything is allocated: kPictureTooLargeMessage. A file libpng refuses, or cut short:
// kPngUnreadableMessage. On failure both outputs are left empty.
FileResult DecodePngPicture(std::span<const std::uint8_t> file, Raster& picture, Plane* transparent);
// The same from a file (ReadPictureFileBytes: regular files within the picture size cap).
FileResult LoadPngPicture(const std::filesystem::path& path, Raster& picture, Plane* transparent);

}  // namespace pq
