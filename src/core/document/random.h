#pragma once
// The program's one pseudo-random generator: state = state * 22695477 + 1 (mod 2^32), result
// bits 16-30. The state is 1 at start-up and never reseeded, so the first value is 346 and a
// given sequence of airbrush bursts and random effects repeats on every run.

#include <cstdint>

namespace pq {

class Lcg {
public:
    int Next() {
        state_ = state_ * 22695477u + 1u;
        return int((state_ >> 16) & 0x7FFFu);
    }
    uint32_t State() const { return state_; }
    void SetState(uint32_t s) { state_ = s; }  // tests only

private:
    uint32_t state_ = 1;
};

// The one instance shared by the whole program.
Lcg& SharedRandom();

}  // namespace pq
