#pragma once
// Whole-file input and output for every reader and writer of the program. Reading takes only
// regular files and can refuse a file above a size before reading any of it. Writing goes
// through a temporary file in the target's folder that is flushed to disk and renamed over the
// target, so a failed write never destroys the file that was there.

#include <cstdint>
#include <filesystem>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "core/io/file_result.h"

namespace pq {

enum class ReadStatus {
    Ok,
    Missing,      // no such file
    NotRegular,   // a folder, FIFO, device or socket: refused without touching it
    TooLarge,     // larger than the caller's limit: refused before reading
    Failed,       // cannot be opened or read
};

inline constexpr std::uint64_t kNoSizeLimit = std::numeric_limits<std::uint64_t>::max();

// Reads the whole file into `out` (left empty on failure). Never blocks on a FIFO.
ReadStatus ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& out,
                         std::uint64_t maxBytes = kNoSizeLimit);

// ReadWholeFile with the message the user sees: every failure names the file.
FileResult ReadFileBytes(const std::filesystem::path& path, std::vector<std::uint8_t>& out);

// A new content for `target`, committed in two steps so that a caller can prepare it before
// removing other files: Write creates the temporary file beside the target, writes and flushes
// it; Commit renames it over the target. A temporary file that was not committed is removed
// when the object goes. Both return 0 or the errno of the failure.
class ReplacingWriter {
public:
    explicit ReplacingWriter(std::filesystem::path target);
    ~ReplacingWriter();
    ReplacingWriter(const ReplacingWriter&) = delete;
    ReplacingWriter& operator=(const ReplacingWriter&) = delete;

    int Write(std::span<const std::uint8_t> bytes);
    int Commit();

private:
    std::filesystem::path target_;
    std::string temp_;
};

// Writes `bytes` as the new content of `path` (ReplacingWriter). An existing target keeps its
// permission bits. On any failure the old file is left as it was and the message names the file.
FileResult WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace pq
