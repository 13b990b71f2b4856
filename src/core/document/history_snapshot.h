#pragma once
// The bytes of one undo snapshot: the step name and the whole document (size, palette,
// selection, floating planes, layers, current layer). Little-endian, texts as a 32-bit length
// and Shift-JIS bytes:
//   name, width, height, colours, 1024 palette bytes, has-selection byte, selection left, top,
//   right, bottom, float dx, dy, spare byte, W*H float indices, W*H float mask, layer count,
//   per layer: name, visible byte, W*H indices, W*H mask; then the current layer.

#include <cstdint>
#include <string>
#include <vector>

#include "core/document/document.h"

namespace pq {

// The snapshot bytes of a document under a step name (UTF-8, stored as Shift-JIS).
std::vector<uint8_t> EncodeSnapshot(const Document& doc, const std::string& stepName);
// Reads snapshot bytes into the document (size, palette, selection, floating planes, layers,
// current layer). Refuses, leaving the document untouched, when the bytes do not fit.
bool DecodeSnapshot(const std::vector<uint8_t>& bytes, Document& doc, std::string* stepName = nullptr);

}  // namespace pq
