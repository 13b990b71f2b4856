#pragma once
// Writing a document as a 24-bit Windows bitmap (.bmp): the visible layers composed bottom to
// top over white, 14-byte file header, 40-byte image header, bottom-up rows padded to 4 bytes.
// Transparency is lost. A truecolour document's composed layers are blended over white.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "core/document/document.h"
#include "core/io/file_result.h"

namespace pq {

// The file image; empty when the document is not set up or a plane has the wrong size.
std::vector<uint8_t> EncodeBitmap(const Document& doc);
FileResult SaveBitmapFile(const Document& doc, const std::filesystem::path& path);

}  // namespace pq
