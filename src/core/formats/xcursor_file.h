#pragma once
// Xcursor files (the cursors of X11 themes), read and written through libXcursor: every image
// with its nominal size, hotspot and delay becomes a truecolour page. The file stores ARGB
// premultiplied by alpha; pages hold straight alpha, converted exactly both ways (a file's
// premultiplied pixel read and written again is the same pixel).

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "core/formats/cursor_animation.h"
#include "core/io/file_result.h"

namespace pq {

inline constexpr const char* kXcursorOpenError = "このXcursorファイルは開けません。";
// Sides above this are refused before libXcursor allocates anything (it would take 32767).
inline constexpr int kMaxXcursorSide = 1024;

// True when the bytes begin with the magic "Xcur".
bool LooksLikeXcursor(std::span<const std::uint8_t> bytes);

// Premultiplied (r, g, b at most a) to straight alpha, rounded to nearest; alpha 0 gives
// (0, 0, 0, 0). A premultiplied channel above its alpha (not a valid pixel) saturates at 255.
Rgba8 StraightFromPremultiplied(std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b);
// Straight to premultiplied, rounded to nearest: (c * a + 127) / 255.
std::uint32_t PremultipliedArgb(Rgba8 p);

// Reads every image: the images of each nominal size in file order are that size's frames, so
// frame k holds the k-th image of every size (sizes in order of first appearance), steps 0..n-1
// each the delay of the frame's first image. Every page is a truecolour document (TrueColor
// kind) with its hotspot set. Refused with kXcursorOpenError and, on the next line, what is
// wrong (not an Xcursor file, a table or image running past the end of the file, a side outside
// 1..kMaxXcursorSide, a hotspot outside its image, no image, more than kMaxIconSetPages images or
// kMaxAnimationPixels pixels), checked before libXcursor reads anything.
FileResult ReadXcursor(std::span<const std::uint8_t> bytes, int selectedZoom, CursorAnimation& out);
FileResult ReadXcursorFile(const std::filesystem::path& path, int selectedZoom, CursorAnimation& out);

// The file of an animation: for every nominal size (in order of first appearance) one image per
// step, showing that step's frame at that size for the step's time (a frame without that size
// is left out at that size). Palette pages are written as their composed colours. Hotspots are
// moved inside their images. Refused (CheckCursorAnimation, a page of no pixels) with `out`
// untouched.
FileResult EncodeXcursor(const CursorAnimation& anim, std::vector<std::uint8_t>& out);
FileResult SaveXcursorFile(const CursorAnimation& anim, const std::filesystem::path& path);

}  // namespace pq
