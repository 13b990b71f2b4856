#pragma once
// The five-image icon the icon-set tests share: 16 x 16 4-bit, 24 x 24 8-bit, 32 x 32 32-bit,
// 48 x 48 8-bit and 256 x 256 PNG, each a different pattern with unpainted pixels, each image's
// data followed by three bytes no encoder writes (so a kept image and a rewritten one differ).

#include <cstdint>
#include <vector>

#include "core/document/document.h"

namespace pq::test {

// The page the file holds as image `index` (0..4), as a document.
Document FiveImagePage(int index);
// The whole file (resource type 1 icon, 2 cursor with hotspots at a third of each side).
std::vector<uint8_t> FiveImageIcon(int resourceType = 1);

}  // namespace pq::test
