#pragma once
// Icon and cursor files as containers of images: the images as stored, writing a document back
// in place of the image it was opened from (every other image kept byte for byte), and packing
// several documents into one file.

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "core/document/document.h"
#include "core/io/file_result.h"

namespace pq {

// One image as the file stores it: its 16 directory bytes and its data.
struct StoredIconImage {
    std::array<uint8_t, 16> Entry{};   // the offset field (the last four bytes) is rewritten on writing
    std::vector<uint8_t> Data;
};

struct StoredIconFile {
    uint16_t Reserved = 0;
    uint16_t ResourceType = 1;
    std::vector<StoredIconImage> Images;
};

// Splits a file into its images. Each image's data is the entry's byte count of bytes from its
// offset, cut at the end of the file (empty when the offset lies beyond it), so that nothing
// the file holds is lost and nothing beyond it is invented. Refused with kIconOpenError when
// the header or directory is not there (ReadIconDirectory).
FileResult ReadStoredIconFile(std::span<const uint8_t> bytes, StoredIconFile& out);

// The file: header, directory (offsets recomputed, everything else as stored), then the images'
// data in directory order.
std::vector<uint8_t> EncodeStoredIconFile(const StoredIconFile& file);

// The image a one-image icon (1) or cursor (2) file of the document would hold (EncodeIcon); a
// cursor's carries the document's hotspot (ClampedHotspot). False when the document cannot be
// written as an icon.
bool EncodeIconImage(const Document& doc, int resourceType, StoredIconImage& out);

// The document's hotspot moved inside its canvas.
void ClampedHotspot(const Document& doc, int& x, int& y);

// Writes the document as an icon (1) or cursor (2). When the document was opened from image N
// of this very file (doc.Origin names the same file), only image N is replaced, at the
// document's size and in the image's own kind (EncodeIconPage with StoredPageKind: a 32-bit
// image stays 32-bit, a PNG image PNG, the others 4-bit or 8-bit by the document's colour
// count), and the file keeps its resource type and every other image byte
// for byte; image N itself keeps its bytes when it still shows the document (PageShowsImage), a
// cursor's entry taking the document's hotspot; refused, writing nothing, when the file no longer has an image N. Any other file
// becomes the one-image file of SaveIconFile, with the document's hotspot for a cursor.
FileResult SaveIconKeepingOthers(const Document& doc, const std::filesystem::path& path, int resourceType);

// True when writing `doc` to `path` would replace one image of the file it was opened from.
bool WritesBackIntoOrigin(const Document& doc, const std::filesystem::path& path);

// One file holding each document as an image, in order (EncodeIconImage). Refused, writing
// nothing, when there is no document or one of them cannot be an icon image; the message names
// its place in the list (counted from 1).
FileResult PackIconFile(std::span<const Document* const> docs, const std::filesystem::path& path, int resourceType);

inline constexpr const char* kIconChangedMessage = "ファイルの内容が開いたときから変わっています。";

}  // namespace pq
