#include "core/ops/transforms.h"

namespace pq {}  // namespace pq
