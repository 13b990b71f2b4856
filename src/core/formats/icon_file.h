#pragma once
// Icon (.ico) and cursor (.cur) files: the directory, reading one 4- or 8-bit image with its
// AND mask into a one-layer document, and writing a document as a one-image icon or cursor
// (4 bits for 16 colours, 8 bits for 256, bottom-up rows, 40-byte image header).

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/quality_reduction.h"
#include "core/io/file_result.h"

namespace pq {

// Shown for every icon or cursor image that cannot be opened.
inline constexpr const char* kIconOpenError = "このアイコンは開けません。";

inline constexpr int kIconResourceType = 1;
inline constexpr int kCursorResourceType = 2;

// One directory entry as stored, plus what the image data says about itself.
struct IconDirEntry {
    int Width = 0;          // width byte (0 stands for 256)
    int Height = 0;         // height byte
    int ColorCountByte = 0; // colour count byte (0 for 256 or more colours)
    int PlanesOrHotspotX = 0;
    int BitCountOrHotspotY = 0;
    uint32_t BytesInRes = 0;
    uint32_t ImageOffset = 0;
    // From the image data when it lies inside the file: a PNG image, or the bits per pixel of
    // the image header (0 when neither can be read).
    bool IsPng = false;
    int ImageBitCount = 0;
};

struct IconDirectory {
    int Reserved = 0;
    int ResourceType = 0;   // 1 icon, 2 cursor (not checked by the reader)
    std::vector<IconDirEntry> Entries;
};

// Reads the 6-byte header and the directory. Refused with kIconOpenError when the file is too
// short for them or lists no image.
FileResult ReadIconDirectory(std::span<const uint8_t> bytes, IconDirectory& dir);

// The chooser's line for entry n: "0： サイズ：32×32 色数：16色" (a colour byte 0 shows 256).
std::string IconEntryLabel(int n, const IconDirEntry& entry);

// Reads image `index` of the directory into `doc` as a blank document (InitBlankDocument with
// the selected zoom) with one visible layer "レイヤ1": 4-bit images give 16 colours, 8-bit
// ones 256. The hotspot of a cursor is dropped. The image header gives the size (width, half
// the height), as the directory bytes only hold its low byte; its header length and
// colours-used fields place the colour table and the rows. The entry's byte count is not
// consulted: the image is read wherever its data lies inside the file. Refused with
// kIconOpenError, leaving `doc` untouched: an index outside the directory, a colour byte other
// than 16 or 0, PNG, monochrome and true-colour images, a compressed image, sizes outside
// 1..4096, and image data running past the end of the file.
FileResult LoadIconBytes(std::span<const uint8_t> bytes, int index, Document& doc, int selectedZoom);
// The same with the directory already read (so listing every entry stays linear).
// `options` is how 1-, 16-, 24- and 32-bit and PNG images are reduced (LoadDecodedIconImage).
FileResult LoadIconImage(std::span<const uint8_t> bytes, const IconDirectory& dir, int index, Document& doc,
                         int selectedZoom, const ReductionOptions& options = ReductionOptions{});
// Whether LoadIconImage opens the entry, without decoding it.
bool IconImageOpens(std::span<const uint8_t> bytes, const IconDirEntry& entry);
// The size the entry's image data states (DIB: width and half the height; PNG: its header),
// which is the size the reader opens; false when the data holds no readable header.
bool IconImageSize(std::span<const uint8_t> bytes, const IconDirEntry& entry, int& width, int& height);

// No meaningful icon file is larger (the largest image the reader opens takes about 19 MB):
// larger files are refused with kIconOpenError before anything is read.
inline constexpr std::uint64_t kMaxIconFileBytes = 64u << 20;
// The whole file, refused at once when it is not a regular file or larger than kMaxIconFileBytes.
FileResult ReadIconFileBytes(const std::filesystem::path& path, std::vector<uint8_t>& bytes);
FileResult LoadIconFile(const std::filesystem::path& path, int index, Document& doc, int selectedZoom);

// Icons and cursors hold at most 256 x 256 pixels (the directory has one byte per side).
inline constexpr int kMaxIconFileSide = 256;
inline constexpr const char* kIconTooLargeMessage =
    "アイコンとカーソルに保存できるのは幅と高さが256ピクセルまでの画像です。";

// The one-image icon (resourceType 1) or cursor (2, with the hotspot) of the visible layers
// composed bottom to top; pixels no visible layer paints are transparent with index 0. The
// directory holds the sides, 256 as 0. Empty when the document cannot be written (not set up,
// colour count other than 16/256, a side above kMaxIconFileSide, a plane of the wrong size);
// SaveIconFile then writes nothing, naming the size limit when that was the reason. A truecolour
// document is written as one 32-bit image of its composed visible layers with every colour and
// alpha value kept (a PNG image at 256 x 256), its AND mask set where alpha is 0.
std::vector<uint8_t> EncodeIcon(const Document& doc, int resourceType, int hotspotX, int hotspotY);
FileResult SaveIconFile(const Document& doc, const std::filesystem::path& path, int resourceType, int hotspotX,
                        int hotspotY);

}  // namespace pq
