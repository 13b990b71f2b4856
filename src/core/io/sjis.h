#pragma once
// Conversion between UTF-8 (used everywhere in memory) and Shift-JIS code page 932 (used for
// every text stored in files: layer names, undo step names).

#include <optional>
#include <string>

namespace pq {

// Characters that code page 932 cannot hold become '?'.
std::string Utf8ToSjis(const std::string& utf8);
// Bytes that are not valid code page 932 are replaced by U+FFFD; never fails.
std::string SjisToUtf8(const std::string& sjis);

// True when the system's converter knows code page 932. Without it texts are stored as their
// UTF-8 bytes, which other programs read as garbage: the editor says so at start.
bool SjisAvailable();
// The first character of `utf8` that code page 932 cannot hold, as UTF-8 (an invalid byte
// counts as such a character); nothing when every character fits.
std::optional<std::string> FirstCharacterNotInSjis(const std::string& utf8);

}  // namespace pq
