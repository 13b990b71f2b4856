#pragma once
// Cursor themes: cursor sets given by role (the CSS cursor names) written as an Xcursor theme
// folder (index.theme, cursors/<name> at chosen sizes, the legacy X names as symbolic links) and,
// when asked, as a Windows pack beside it (every role a .cur or .ani, and an install.inf that
// installs the scheme).

#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/formats/cursor_animation.h"
#include "core/io/file_result.h"
#include "core/raster/raster.h"

namespace pq {

// The roles a theme may hold, in the order they are listed.
std::span<const std::string_view> CursorRoleNames();
bool IsCursorRole(std::string_view name);

// The legacy X cursor names and the role each one links to (left_ptr -> default, ...).
struct LegacyCursorName {
    std::string_view Legacy, Role;
};
std::span<const LegacyCursorName> LegacyCursorNames();

// Straight-alpha pixels (w x h) at nw x nh. The theme writer is handed the program's
// premultiplied area averaging (core/ops/resample.h ResampleRgba), which lives a level beside it.
using RgbaResampler = std::function<std::vector<Rgba8>(const std::vector<Rgba8>&, int w, int h, int nw, int nh)>;

// The animation with every frame at exactly the nominal `sizes`: a frame's page of that
// nominal size as it is, else its nearest larger one (its largest when none is larger) scaled
// by size / nominal (each side rounded, 1 at least), its hotspot scaled from pixel centre to
// pixel centre. Steps, times, title and author are kept.
CursorAnimation AnimationAtSizes(const CursorAnimation& anim, std::span<const int> sizes, const RgbaResampler& resample);

struct CursorThemeRole {
    std::string Role;   // a CursorRoleNames name
    CursorAnimation Animation;
};

inline constexpr int kDefaultThemeSizes[] = {24, 32, 48, 64, 96};
inline constexpr int kMaxThemeSize = 512;

struct CursorThemeOptions {
    std::string Name;                  // index.theme Name (the folder's name when empty)
    std::string Comment;
    std::string Inherits;              // left out of index.theme when empty
    std::vector<int> Sizes{std::begin(kDefaultThemeSizes), std::end(kDefaultThemeSizes)};
    bool Windows = false;              // also write windows/: the .cur / .ani files and install.inf
    bool Replace = false;              // replace a folder that holds other files
    RgbaResampler Resample;
};

// index.theme's text.
std::string IndexThemeText(const CursorThemeOptions& options, const std::string& folderName);
// install.inf's text (CRLF lines) for the roles written as `files` (role -> file name).
std::string InstallInfText(const std::string& schemeName, std::span<const std::pair<std::string, std::string>> files);

// Writes the theme folder. The whole folder is made beside the target under a temporary name
// (every file through the atomic writer) and renamed into place, so a failure leaves the target
// as it was. Refused, writing nothing: no roles, an unknown or repeated role, a size outside
// 1..kMaxThemeSize, a target that is not a folder (or is a symbolic link), a folder holding
// other files without Replace, an animation the writers refuse.
FileResult WriteCursorTheme(const std::filesystem::path& folder, std::span<const CursorThemeRole> roles,
                            const CursorThemeOptions& options);

}  // namespace pq
