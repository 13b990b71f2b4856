#include "core/ops/filters.h"

namespace pq {}  // namespace pq
