#include "core/document/random.h"

namespace pq {

Lcg& SharedRandom() {
    static Lcg generator;
    return generator;
}

}  // namespace pq
