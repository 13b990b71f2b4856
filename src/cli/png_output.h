#pragma once
// The PNG writer is a core format (core/formats/png_file.h); these names keep the tools that
// used it from here working.
#include "core/formats/png_file.h"

namespace pq::cli {
using pq::EncodePng;
using pq::FlattenToRgba;
using pq::SavePngFile;
}  // namespace pq::cli
