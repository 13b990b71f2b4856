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

// Whose file a path names. A user's file may be a symbolic link: reading follows it, and writing
// gives the new content to the file it points to. A file of the program's own folder (the
// settings folder: snapshots, recovery notes, settings files) is never reached through a link:
// reading a link refuses it (NotRegular), and writing replaces the link itself by the new file,
// so whatever it pointed to is never read or written.
enum class Owner { User, Program };

// Reads the whole file into `out` (left empty on failure). Never blocks on a FIFO.
ReadStatus ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& out,
                         std::uint64_t maxBytes = kNoSizeLimit, Owner owner = Owner::User);
// Reads at most the first `maxBytes` bytes of the file (all of a shorter file).
ReadStatus ReadFilePrefix(const std::filesystem::path& path, std::size_t maxBytes, std::vector<std::uint8_t>& out,
                          Owner owner = Owner::User);

// A regular file open for reading at any offset, without loading it: for files whose tables
// point into them (programs) and for reading a header before deciding to read more.
class RegularFile {
public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    ReadStatus Open(const std::filesystem::path& path, Owner owner = Owner::User);
    bool IsOpen() const { return fd_ >= 0; }
    std::uint64_t Size() const { return size_; }
    // Reads exactly n bytes at `offset`; false (out emptied) when they are not all in the file
    // or cannot be read.
    bool ReadAt(std::uint64_t offset, std::size_t n, std::vector<std::uint8_t>& out) const;
    // The same into n bytes of room at `out`, left undefined on failure.
    bool ReadInto(std::uint64_t offset, std::size_t n, std::uint8_t* out) const;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

// "「path」を読み込めませんでした。": the message of a file that cannot be read.
std::string CannotReadMessage(const std::filesystem::path& path);

// ReadWholeFile with the message the user sees: every failure names the file.
FileResult ReadFileBytes(const std::filesystem::path& path, std::vector<std::uint8_t>& out);
// The same for a format with a largest meaningful size: a larger file is refused with the
// format's own message before anything is read.
FileResult ReadFileBytes(const std::filesystem::path& path, std::vector<std::uint8_t>& out, std::uint64_t maxBytes,
                         const std::string& tooLargeMessage);

// A new content for `target`, committed in two steps so that a caller can prepare it before
// removing other files: Write writes the content into an unnamed temporary file in the target's
// folder (O_TMPFILE) and flushes it; Commit gives it a short temporary name (".pqtmp-" and six
// characters, so that any legal target name works) and renames that over the target, or links
// it straight to the name of a target that did not exist. A process that dies before Commit
// leaves nothing in the folder. Where the file system has no unnamed files, Write makes the
// named temporary file at once (mkostemp). Every temporary file is locked (flock) by its writer
// for its whole life, so RemoveStaleTempFiles can tell a leftover from a file being written. A
// temporary file that was not committed is removed when the object goes. Both return 0 or the
// errno of the failure.
// The target is the file a symbolic link points to (followed to its end) for a user's file; for
// a file of the program's own (Owner::Program) a link at the target is replaced, never followed.
// An existing target
// that is not a regular file (EISDIR for a folder, EINVAL otherwise) or that may not be written
// (EACCES: no write permission bit at all, or none for this user) is refused before anything is
// written.
// When the target may be written but no file can be created beside it (EACCES or EPERM: a
// folder without write permission), Write keeps the content and reserves the space it needs in
// the target, so a full disk is found before the old content is touched; Commit then writes
// the content into the target itself, cuts it to length and flushes it.
// Whether a write reaches the disk before it returns (Now), or with the next FlushFileSystem
// (Later: for many files written in a row, each flush costs as much as the whole batch).
enum class Flush { Now, Later };

class ReplacingWriter {
public:
    explicit ReplacingWriter(std::filesystem::path target, Flush flush = Flush::Now, Owner owner = Owner::User);
    ~ReplacingWriter();
    ReplacingWriter(const ReplacingWriter&) = delete;
    ReplacingWriter& operator=(const ReplacingWriter&) = delete;

    int Write(std::span<const std::uint8_t> bytes);
    int Commit();

private:
    enum class Mode { None, Unnamed, Named, InPlace };
    void Discard();
    int PrepareInPlace(std::span<const std::uint8_t> bytes);
    int CommitInPlace();

    std::filesystem::path target_;   // the link's final target when `target` was a link
    std::string temp_;               // the named temporary file while it exists
    std::vector<std::uint8_t> inPlace_;   // the content an in-place save writes at Commit
    int fd_ = -1;                    // the temporary file (locked), or the target in place
    Mode mode_ = Mode::None;
    bool targetExisted_ = false;
    Flush flush_;
    Owner owner_;
};

// The prefix of the temporary files ReplacingWriter leaves behind only when the process dies
// between naming and renaming one (cleaners may look for it).
inline constexpr const char* kTempFilePrefix = ".pqtmp-";

// Removes the temporary files of ReplacingWriter in `folder` that no living writer holds: regular
// files named kTempFilePrefix... whose lock is free (symbolic links and folders are left alone).
// Only for the program's own folders: a user's folder is never cleaned behind their back.
void RemoveStaleTempFiles(const std::filesystem::path& folder);

// The reason shown to the user for a failed write with this errno, in Japanese.
std::string JapaneseErrorText(int err);

// Test seam: the system calls of ReplacingWriter a test may observe or fail. When a hook is set,
// it is called before each step and returns 0 to let the step run, or the errno the step then
// fails with. For Write (each write(2)/pwrite(2)), `bytes` is the count about to be written and
// may be lowered to make a short write. CreateUnnamed failing with EOPNOTSUPP drives the path
// of a file system without unnamed files. nullptr (the default) in production; not thread-safe.
enum class WriteStep { CreateUnnamed, Write, Sync, Link, Rename };
using WriteStepHook = int (*)(WriteStep step, std::size_t& bytes);
void SetWriteStepHook(WriteStepHook hook);

// Writes `bytes` as the new content of `path` (ReplacingWriter). An existing target keeps its
// permission bits; a read-only one is refused (EACCES) and kept; a symbolic link keeps being a
// link and the file it points to gets the content. On any failure the old file is left as it
// was and the message names the file.
FileResult WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                               Flush flush = Flush::Now, Owner owner = Owner::User);
// Makes everything written on the file system that holds `folder` durable; false when it
// cannot be flushed.
bool FlushFileSystem(const std::filesystem::path& folder);

}  // namespace pq
