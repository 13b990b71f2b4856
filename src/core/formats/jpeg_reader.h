#pragma once
// JPEG decoding through libjpeg(-turbo): the whole picture at full size into a 24-bit raster,
// or row by row into a PictureRowSink, so that a picture can be resampled as it is decoded
// without ever being held whole. Colour, grayscale and CMYK/YCCK files are accepted. Decoder errors come back as a failure
// (the library never ends the process), and a file cut short anywhere, even just its final
// end-of-image marker, is refused rather than shown half grey.
// Work and memory follow the file's real content: a file too short to hold one bit per block
// of the picture it declares is refused before decoding (it is cut short), arithmetic-coded
// files are refused, progressive scans may walk the picture's blocks at most 12 times, and the
// decoder's own memory stays within three times the decoded picture plus 16 MB.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

#include "core/formats/picture_rows.h"
#include "core/io/atomic_write.h"
#include "core/io/file_result.h"
#include "core/raster/raster.h"

namespace pq {

inline constexpr const char* kJpegInvalidMessage = "JPEG画像が正しくありません。";

struct JpegInfo {
    int Width = 0, Height = 0;
    int Components = 0;   // 1 grayscale, 3 colour, 4 CMYK/YCCK
};


// On failure `picture` is left empty. Pictures above kMaxPicturePixels (bmp_reader.h) are
// refused with kPictureTooLargeMessage.
FileResult DecodeJpeg(std::span<const std::uint8_t> file, Raster& picture, JpegInfo* info = nullptr);

// Reads the frame header only (size and components).
FileResult ReadJpegInfo(std::span<const std::uint8_t> file, JpegInfo& info);
// The same from a file, reading no further than the header.
FileResult ReadJpegFileInfo(const std::filesystem::path& path, JpegInfo& info);

// Decodes a file, read in chunks as the decoder needs them. Anything but a regular file is
// refused at once with kPictureFileOpenMessage; a file above kMaxPictureFileBytes with
// kPictureTooLargeMessage.
FileResult LoadJpegFile(const std::filesystem::path& path, Raster& picture, JpegInfo* info = nullptr);

// Where a sink that reads each row back at once best lets the decoder write it: `room` holds
// 3 * width + kJpegRowSlack bytes, and the row starts at the returned byte, which never lies on
// a 32-byte boundary. The decoder's SIMD colour conversion writes rows that start on one with
// stores that bypass the cache, and a row read back right after would then come from memory.
// (The decoder copies a row meant for such a boundary through a row of its own.)
inline constexpr std::size_t kJpegRowSlack = 16;
inline std::uint8_t* JpegRowStart(std::uint8_t* room) {
    return reinterpret_cast<std::uintptr_t>(room) % 32 == 0 ? room + 16 : room;
}

// DecodeJpeg and LoadJpegFile handing the rows to `sink` as they are decoded; the same checks,
// limits and messages.
FileResult DecodeJpegRows(std::span<const std::uint8_t> file, PictureRowSink& sink, JpegInfo* info = nullptr);
FileResult LoadJpegFileRows(const std::filesystem::path& path, PictureRowSink& sink, JpegInfo* info = nullptr);
// LoadJpegFileRows of a file its caller has open already (a header read from it before, say):
// read from the start, with the same size limit, checks and messages.
FileResult ReadJpegFileRows(const RegularFile& file, PictureRowSink& sink, JpegInfo* info = nullptr);

}  // namespace pq
