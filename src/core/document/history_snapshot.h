#pragma once
// The bytes of one undo snapshot: the step name and the whole document (size, palette,
// selection, floating planes, layers, current layer). Little-endian, texts as a 32-bit length
// and Shift-JIS bytes:
//   name, width, height, colours, 1024 palette bytes, has-selection byte, selection left, top,
//   right, bottom, float dx, dy, spare byte, W*H float indices, W*H float mask, layer count,
//   per layer: name, visible byte, W*H indices, W*H mask; then the current layer.
// A truecolour document writes 32 as its colours, W*H RGBA pixels (red, green, blue, alpha
// bytes) in place of the two floating planes and in place of each layer's two planes.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/document/document.h"

namespace pq {

// The snapshot bytes of a document under a step name (UTF-8, stored as Shift-JIS).
std::vector<uint8_t> EncodeSnapshot(const Document& doc, const std::string& stepName);
// Reads snapshot bytes into the document (size, palette, selection, floating planes, layers,
// current layer). Refuses, leaving the document untouched, when the bytes do not fit.
bool DecodeSnapshot(const std::vector<uint8_t>& bytes, Document& doc, std::string* stepName = nullptr);

// DecodeSnapshot of a snapshot file read piece by piece: the planes are read straight into the
// document's new layers, so reading takes the document's own size in memory and no copy of the
// file. Refuses (document untouched) a file that is not a regular file of exactly `size` bytes
// or whose content does not fit; links are not followed.
bool ReadSnapshotFile(const std::filesystem::path& path, std::uint64_t size, Document& doc);

// What a snapshot file's headers say of it, read without loading its planes.
struct SnapshotShape {
    int Width = 0, Height = 0, ColorCount = 0, LayerCount = 0;
    std::uint64_t Size = 0;   // the file's size, exactly what the headers require
    bool TrueColor = false;   // a truecolour snapshot (ColorCount then 256, as in the document)
};
// Reads only the header and the layer headers of a snapshot file: its shape when the file is
// exactly as long as its width, height, colours and layers require; nullopt when it is missing,
// not a regular file, short, longer, or its headers make no document.
std::optional<SnapshotShape> ReadSnapshotShape(const std::filesystem::path& path);

// A 64-bit digest of snapshot bytes, to tell later whether a file holds exactly these bytes.
std::uint64_t SnapshotDigest(std::span<const std::uint8_t> bytes);
// The digest of everything a snapshot keeps of the document (pixels, palette, size, selection,
// layers), whatever step produced it: equal digests mean a state undo cannot tell apart.
std::uint64_t StateDigest(const Document& doc);
// The digest of a file's content, read piece by piece; nullopt when the file is not a regular
// file of exactly `size` bytes or cannot be read.
std::optional<std::uint64_t> FileDigest(const std::filesystem::path& path, std::uint64_t size);

}  // namespace pq
