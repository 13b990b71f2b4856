#pragma once
// Whole-file input and output for the format readers and writers. Writing goes through a
// temporary file in the target's folder that is flushed to disk and renamed over the target,
// so a failed save never destroys the file that was there.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "core/formats/file_result.h"

namespace pq {

// Reads the whole file. Failure (missing, unreadable, not a regular file) carries a message
// naming the file.
FileResult ReadFileBytes(const std::filesystem::path& path, std::vector<uint8_t>& out);

// Writes `bytes` as the new content of `path`: temp file beside it, fsync, rename over it. An
// existing target keeps its permission bits. On any failure the temp file is removed, the old
// file is left as it was and the failure names the file.
FileResult WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes);

}  // namespace pq
