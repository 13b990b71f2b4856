#pragma once
// Reader of Windows bitmap files (.bmp) into a 24-bit picture: 1, 2, 4, 8, 16, 24 and 32 bits
// per pixel; uncompressed, RLE4, RLE8, RLE24 (OS/2), BITFIELDS and ALPHABITFIELDS; bottom-up
// and top-down rows; the OS/2 core header (12 bytes), OS/2 2.x headers (16 or 64 bytes) and
// the Windows 40, 52, 56, 108 and 124-byte headers. Alpha is ignored. Every size, count and
// offset is checked against the data before use; anything that does not fit is refused. An RLE
// picture may hold at most 256 pixels per byte of its compressed data beyond 1 M pixels (its
// codes can skip pixels, but not that many), so a small file cannot claim a huge picture.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "core/formats/picture_rows.h"
#include "core/io/file_result.h"
#include "core/raster/raster.h"

namespace pq {

// Messages of the bitmap reader.
inline constexpr const char* kBitmapInvalidMessage = "ビットマップ画像が正しくありません。";
inline constexpr const char* kBitmapUnsupportedMessage = "この形式のビットマップには対応していません。";
inline constexpr const char* kPictureTooLargeMessage = "画像が大きすぎます。";
inline constexpr const char* kPictureFileOpenMessage = "ファイルを開けません。";

// Pictures with more pixels than this are refused before anything is allocated (a 24-bit copy
// is kept in memory: 192 MB at most).
inline constexpr std::int64_t kMaxPicturePixels = 64ll * 1024 * 1024;

struct BitmapInfo {
    int Width = 0, Height = 0;   // Height is positive for top-down files too
    int BitsPerPixel = 0;
    int Compression = 0;         // 0 RGB, 1 RLE8, 2 RLE4, 3 BITFIELDS, 4 RLE24, 6 ALPHABITFIELDS
    bool TopDown = false;
    int HeaderSize = 0;
};

// No picture within kMaxPicturePixels needs a larger file (32 bits per pixel take 256 MB).
inline constexpr std::uint64_t kMaxPictureFileBytes = (256u << 20) + (1u << 20);

// Reads a whole picture file (.bmp or .jpg) into memory. Anything but a regular file is refused
// at once with kPictureFileOpenMessage, a file above kMaxPictureFileBytes with
// kPictureTooLargeMessage before anything is read.
FileResult ReadPictureFileBytes(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes);

// Decodes a whole .bmp file held in memory. On failure `picture` is left empty.
FileResult DecodeBitmap(std::span<const std::uint8_t> file, Raster& picture, BitmapInfo* info = nullptr);

// Reads just the headers (size and depth) without decoding the pixels.
FileResult ReadBitmapInfo(std::span<const std::uint8_t> file, BitmapInfo& info);

// Reads the headers of a .bmp file, and only those.
FileResult ReadBitmapFileInfo(const std::filesystem::path& path, BitmapInfo& info);

// Reads and decodes a .bmp file: the headers, then the pixels band by band as they are decoded.
FileResult LoadBitmapFile(const std::filesystem::path& path, Raster& picture, BitmapInfo* info = nullptr);

// The same pictures handed to `sink` row by row, top to bottom, in pieces (PictureRowSink), with
// about bandBytes of pixels held at a time: uncompressed files are read a band of rows at a time
// (a bottom-up file from its end), or a piece of a row at a time when one row is larger; RLE
// codes are checked through to their end first, then decoded band by band from the top. Only
// the columns the sink reads are decoded. The same checks and messages as DecodeBitmap; the
// rows handed over before a failure are of no use.
FileResult DecodeBitmapRows(std::span<const std::uint8_t> file, PictureRowSink& sink, BitmapInfo* info = nullptr,
                            std::size_t bandBytes = kPictureBandBytes);
FileResult LoadBitmapFileRows(const std::filesystem::path& path, PictureRowSink& sink, BitmapInfo* info = nullptr,
                              std::size_t bandBytes = kPictureBandBytes);

// A 32-bit bitmap stores blue, green, red and alpha bytes (uncompressed, or bit fields giving that
// very layout); the bitmap reader gives its colours, this sets the alpha of `pixels` (width x
// height, from the top) from those bytes. They are used only when not all 0, as a 32-bit icon
// image's are: many 32-bit bitmaps leave that byte unused, and then nothing changes.
void ApplyBitmapAlpha(std::span<const std::uint8_t> file, std::vector<Rgba8>& pixels, int width, int height);

}  // namespace pq
