#pragma once
// Animated cursors and Xcursor files on the command line: recognising them (by their first
// bytes, or the name's .ani), opening any input pqtool reads as a cursor animation, and the
// words that describe a page.

#include <optional>
#include <string>
#include <vector>

#include "core/formats/ani_file.h"
#include "core/formats/cursor_animation.h"
#include "core/formats/cursor_theme.h"

namespace pq::cli {

enum class CursorFileKind { None, Ani, Xcursor };

// The kind the file's first bytes show, else .ani by the name; None for anything else (and for
// files that cannot be read: the reader then says why).
CursorFileKind CursorFileKindOf(const std::string& path);

// Opens an .ani or Xcursor file. `source` receives what an .ani was read as. Refusals are in
// the run's language.
struct CursorOpen {
    int Exit = 0;
    std::string Message;
};
CursorOpen OpenCursorFile(const std::string& path, CursorFileKind kind, CursorAnimation& out, AniSource* source = nullptr);

// Any input as an animation: .ani and Xcursor files as they are; an icon or cursor file as one
// frame of all its images; anything else OpenInput reads (documents, pictures with their alpha)
// as one frame of one page, its hotspot `hotspot` when given (an .ico's and a picture's is
// (0, 0) otherwise).
CursorOpen OpenAsAnimation(const std::string& path, CursorAnimation& out,
                           std::optional<std::pair<int, int>> hotspot = std::nullopt);

// "4-bit", "8-bit", "32-bit".
std::string PageDepth(const Document& doc);

// ResampleRgba, for the theme writer.
RgbaResampler ProgramResampler();

}  // namespace pq::cli
