#pragma once
// The frames of an animated icon set, kept beside its pages' recovery notes in the snapshot
// folder ("anim" + the set's window number): the frame of each page by its place in the set, and
// the steps with their times. The page notes say which set and place a page had; this file adds
// what an animation needs so that a set restored after a crash keeps its frames and times. A
// set that is not animated has no such file.

#include <filesystem>
#include <optional>
#include <vector>

namespace pq {

struct FrameNote {
    std::vector<int> PageFrames;         // by the page's place in its set
    std::vector<int> Steps, StepMilliseconds;
};

std::filesystem::path FrameNotePath(const std::filesystem::path& folder, int setWindow);
// Written whole or not at all (the atomic writer); false when it could not be written.
bool WriteFrameNote(const std::filesystem::path& folder, int setWindow, const FrameNote& note);
void RemoveFrameNote(const std::filesystem::path& folder, int setWindow);
// The note of a set of `pages` pages; none when the file is missing, damaged or does not fit
// (another page count, a frame without a page, a step naming no frame, a time outside
// 1..maxMilliseconds, steps and times of different lengths).
std::optional<FrameNote> ReadFrameNote(const std::filesystem::path& folder, int setWindow, int pages,
                                       int maxMilliseconds);

}  // namespace pq
