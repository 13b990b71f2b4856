#pragma once
// The native layered document file (.pqf): size, colour count, the whole 256-entry palette and
// every layer with its name (Shift-JIS), visibility and both planes. Little-endian, no gaps:
//   "pqf\0", width, height, colours, 1024 palette bytes, layer count,
//   then per layer: name length, name bytes, visible byte, W*H indices, W*H mask.
// A truecolour document is the same layout with colours 32 and, in place of the two planes,
// W*H pixels of four bytes (red, green, blue, straight alpha); the palette holds its swatches.
// 16- and 256-colour documents are read and written exactly as before.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "core/document/document.h"
#include "core/io/file_result.h"

namespace pq {

// Shown for every .pqf file that cannot be read as a document.
inline constexpr const char* kDocumentOpenError = "開けませんでした。";

// Size limits a stored document must keep to be opened.
inline constexpr int kMaxImageSide = 4096;
// The colour field of a truecolour document's file.
inline constexpr int kTrueColorFileColors = 32;

// Reads a .pqf image into `doc`, set up as a blank document (InitBlankDocument with the zoom
// factor selected in the zoom list) and then filled. The bottom layer is current. Every size,
// count and length is checked against the model and the data; a file that does not fit is
// refused with kDocumentOpenError and `doc` is left untouched.
FileResult LoadDocumentBytes(std::span<const uint8_t> bytes, Document& doc, int selectedZoom);
// The same from a file; a file that cannot be read gives a message naming it.
FileResult LoadDocumentFile(const std::filesystem::path& path, Document& doc, int selectedZoom);

// The file image of a document. Names are converted to Shift-JIS. Empty when the document
// cannot be stored (not set up, colour count other than 16/256, a plane of the wrong size). A
// truecolour document is written with colours 32 and every layer's pixels.
std::vector<uint8_t> EncodeDocument(const Document& doc);
// Writes the document to `path` through a temporary file renamed over it.
FileResult SaveDocumentFile(const Document& doc, const std::filesystem::path& path);

}  // namespace pq
