#pragma once
// PNG output of a document: the visible layers composed bottom to top as 8-bit RGBA, fully
// transparent (0, 0, 0, 0) where no visible layer paints, opaque elsewhere.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "core/document/document.h"
#include "core/io/file_result.h"

namespace pq {

// Row-major RGBA bytes of the flattened visible layers (ImageWidth x ImageHeight x 4).
std::vector<uint8_t> FlattenToRgba(const Document& doc);

// The PNG file image of FlattenToRgba; empty when the document is not set up or encoding fails.
std::vector<uint8_t> EncodePng(const Document& doc);

// Writes the PNG through a temporary file renamed over `path`.
FileResult SavePngFile(const Document& doc, const std::filesystem::path& path);

}  // namespace pq
