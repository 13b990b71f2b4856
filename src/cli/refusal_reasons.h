#pragma once
// Why pqtool refuses an input, said precisely: a name that is no regular file, an empty file, a
// file cut short (at which byte of how many), a file of another kind than its reader's (and what
// it looks like instead), a value over a limit, a damaged field. Every text is in the run's
// language (cli/messages.h).

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/formats/file_formats.h"
#include "core/formats/program_icons.h"

namespace pq::cli {

// Before anything is read: "" when `path` names a regular file with content (or a link to
// one), else why it cannot be an input (a folder, not a regular file, empty, missing).
std::string InputFileProblem(const std::string& path);

// What a file's first bytes look like, for a refusal that says the file is of another kind:
// "a PNG picture", "text", "a ZIP archive" ...; "" when nothing is recognised.
std::string LooksLike(std::span<const std::uint8_t> bytes);

// Why a reader of `reader`'s kind refuses `bytes` (the whole file), as one sentence: the first
// problem found, "" when the checks here find none. `image` is the icon image asked for.
std::string RefusalReason(FormatReader reader, std::span<const std::uint8_t> bytes, int image = 0);

// The reader's message in the run's language with RefusalReason(reader, bytes, image) on a line
// of its own when it finds one.
std::string RefusalWithReason(const std::string& readerMessage, FormatReader reader, std::span<const std::uint8_t> bytes,
                              int image = 0);

// Why an icon or cursor file was refused before it was read: "" unless it is larger than an
// icon file may be, then the over-limit reason naming its size and the limit.
std::string IconFileSizeReason(const std::string& path);

// A program file's problem as one sentence: "not a PE file: it looks like ...", "truncated at
// byte N of M: the file ends inside ...", "damaged header field: ..."; "" for none. `head` is
// the file's first bytes, for what a file that is no program looks like.
std::string ProgramProblemReason(const ProgramProblem& problem, std::span<const std::uint8_t> head);

}  // namespace pq::cli
