#pragma once
// The language pqtool speaks: one per run, Japanese when the locale asks for it (LC_ALL, else
// LC_MESSAGES, else LANG starting with "ja"), English otherwise. Every text pqtool prints goes
// through here: its own texts come in both languages at the place they are written, and the
// editor's messages (Japanese, shared with the editor and left as they are) are rendered in
// English for an English run.

#include <string>
#include <string_view>

namespace pq::cli {

// True for a Japanese run. Read from the environment once.
bool Japanese();
// Test seam: forget the language read, so the next call reads the environment again.
void ResetLanguage();

// `english` or `japanese`, by the run's language.
std::string Say(std::string_view english, std::string_view japanese);

// One of the editor's messages (possibly several lines, possibly naming files in 「」) in the
// run's language: unchanged in a Japanese run; in an English run each known sentence is
// replaced by its English one and 「name」 becomes 'name'.
std::string EditorMessage(const std::string& japanese);

// The reason a system call failed with `err`, in the run's language, without the C library's
// own (English-only) wording.
std::string SystemError(int err);

}  // namespace pq::cli
