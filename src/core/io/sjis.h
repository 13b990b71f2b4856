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

}  // namespace pq
