#pragma once
// An animated cursor or icon as a list of frames: every frame holds one or more sizes (pages,
// each a document with its hotspot), and the animation shows the frames in a step order, each
// step for its own time. The .ani and Xcursor readers and writers share this model.

#include <cstdint>
#include <string>
#include <vector>

#include "core/formats/icon_set.h"
#include "core/io/file_result.h"

namespace pq {

struct CursorFrame {
    std::vector<IconSetPage> Sizes;
    // The nominal size each page is chosen for (Xcursor); 0 stands for the page's larger side.
    std::vector<int> NominalSizes;
};

struct CursorAnimation {
    int ResourceType = kCursorResourceType;   // frames are cursors (2) or icons (1)
    std::vector<CursorFrame> Frames;
    // The frame shown at each step (every index below Frames.size()), and how long, in
    // milliseconds. Always the same length.
    std::vector<int> Steps;
    std::vector<int> StepMilliseconds;
    std::string Title, Author;   // bytes as the file holds them, empty when absent
};

// The nominal size of page `i` of a frame: the recorded one, else the page's larger side.
int NominalSizeOf(const CursorFrame& frame, std::size_t i);

// How many pages all frames hold together.
std::size_t PageCount(const CursorAnimation& anim);

// Display rates of .ani files are in jiffies (1/60 s). Milliseconds are rounded to nearest, so
// jiffies -> milliseconds -> jiffies gives back the same count.
int JiffiesToMilliseconds(std::uint32_t jiffies);
std::uint32_t MillisecondsToJiffies(int milliseconds);

// True when every step shows frame i at step i and there are as many steps as frames.
bool HasTrivialOrder(const CursorAnimation& anim);

// Checks what every writer relies on: at least one frame, every frame with at least one page
// (and NominalSizes empty or one per page), Steps and StepMilliseconds of equal non-zero length,
// every step naming a frame, no negative time. The message names the first fault.
FileResult CheckCursorAnimation(const CursorAnimation& anim);

// An animation for callers that have plain frames:
// frame i holds `frames[i]`, steps 0..n-1 each `milliseconds` long.
CursorAnimation AnimationOfFrames(std::vector<CursorFrame> frames, int milliseconds, int resourceType);

// An animation's pages hold at most this many pixels in all (a quarter of an icon set's): frames
// of small compressed images could otherwise make a file of 1 MB take most of a gigabyte.
// 256 frames of 256 x 256, or five theme sizes up to 96 of several hundred frames, fit.
inline constexpr std::uint64_t kMaxAnimationPixels = std::uint64_t(16) << 20;
inline constexpr const char* kAnimationTooManyPixelsMessage =
    "このアニメーションは画像が大きすぎるため開けません。一度に開けるのは合わせて16,777,216ピクセルまでです。";

inline constexpr const char* kAnimationBrokenMessage = "このアニメーションは書き込めません。";

}  // namespace pq
