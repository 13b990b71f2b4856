#include "core/ops/pixel_effects.h"

namespace pq {}  // namespace pq
