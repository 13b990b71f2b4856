#pragma once
// Animated cursors (.ani): a RIFF "ACON" file holding an `anih` header (frame and step counts,
// default rate, flags), optional `rate` (jiffies per step) and `seq ` (frame per step) chunks, a
// `LIST fram` of `icon` chunks (each a whole .cur or .ico file of one or more sizes) and an
// optional `LIST INFO` (INAM title, IART author). Read into a CursorAnimation whose frames are
// icon sets; written back byte for byte while nothing changed.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "core/formats/cursor_animation.h"
#include "core/io/file_result.h"

namespace pq {

inline constexpr const char* kAniOpenError = "このアニメーションカーソルは開けません。";
// Steps beyond this are refused before anything is decoded (frames are bounded by their pages:
// kMaxIconSetPages pages and kMaxAnimationPixels pixels over all frames).
inline constexpr std::uint32_t kMaxAniSteps = 16384;
// The largest display rate taken, in jiffies (about 9.9 hours): keeps milliseconds in an int.
inline constexpr std::uint32_t kMaxAniJiffies = 2'000'000;

// True when the bytes begin as an .ani file does ("RIFF", size, "ACON").
bool LooksLikeAni(std::span<const std::uint8_t> bytes);

// What a file was read as: its bytes and the state they show, so that an animation still in
// that state is written back as those bytes.
struct AniSource {
    std::vector<std::uint8_t> Bytes;
    std::vector<std::vector<std::uint8_t>> FrameFiles;   // each frame re-encoded as read
    std::vector<int> Steps, StepMilliseconds;
    std::string Title, Author;
    int ResourceType = 0;
    std::uint32_t Width = 0, Height = 0, BitCount = 0, Planes = 1;   // anih fields kept on writing
};

struct AniFile {
    CursorAnimation Animation;
    AniSource Source;
};

// Reads an .ani file: every frame and every size opens (LoadIconSet: palette images as palette
// pages, 32-bit and PNG images as truecolour pages), a cursor page with its hotspot; the steps
// name frames (a frame shown twice is one frame named twice); title and author are kept.
// Refused with kAniOpenError and, on the next line, what is wrong (a chunk running past its
// parent or missing its padding byte, a missing or short anih, counts beyond what the chunks
// hold, a seq naming a missing frame, more than kMaxIconSetPages pages, kMaxAnimationPixels pixels or
// kMaxAniSteps steps,
// nested lists, a frame that does not open), `out` untouched.
FileResult ReadAni(std::span<const std::uint8_t> bytes, int selectedZoom, AniFile& out);
// The same from a file: refused at once when it is not a regular file or is larger than
// kMaxIconFileBytes.
FileResult ReadAniFile(const std::filesystem::path& path, int selectedZoom, AniFile& out);

// Each frame as the .cur (or .ico) file it is written as: a page that still shows the image it
// was read as keeps that image's bytes (a cursor's entry taking the page's hotspot), any other
// page is encoded (EncodeIconPage in its kind). Empty when a page cannot be encoded.
std::vector<std::uint8_t> EncodeAniFrame(const CursorFrame& frame, int resourceType);

// The whole file. `source` (may be null) is what the animation was read as: when the animation
// still shows it, its bytes come back unchanged. Otherwise anih, `rate` only when the steps'
// times differ, `seq ` only when the order is not 0..n-1, LIST fram and LIST INFO when a
// title or author is set. Refused (CheckCursorAnimation, or a page that cannot be encoded,
// naming frame and page) with `out` untouched.
FileResult EncodeAni(const CursorAnimation& anim, const AniSource* source, std::vector<std::uint8_t>& out);
// EncodeAni written through the atomic writer.
FileResult SaveAniFile(const CursorAnimation& anim, const AniSource* source, const std::filesystem::path& path);

}  // namespace pq
