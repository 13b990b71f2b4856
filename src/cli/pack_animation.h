#pragma once
// pqtool pack's animated outputs: an .ani OUT, or an Xcursor file with --xcursor.

#include <span>
#include <string>

namespace pq::cli {

// True when the words ask for an animation: --xcursor, or an OUT ending in .ani.
bool PacksAnimation(std::span<const std::string> args);
int RunPackAnimation(std::span<const std::string> args);

}  // namespace pq::cli
