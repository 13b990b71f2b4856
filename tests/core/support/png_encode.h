#pragma once
// PNG files made in the tests: libpng's simplified writer, so the readers are checked against
// bytes they did not write themselves.

#include <cstdint>
#include <vector>

namespace pq::test {

// A w x h picture of RGBA bytes, row by row from the top, as a PNG file's bytes.
std::vector<uint8_t> EncodePng(int w, int h, const std::vector<uint8_t>& rgba);

}  // namespace pq::test
