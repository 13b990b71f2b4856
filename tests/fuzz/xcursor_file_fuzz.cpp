// Any bytes given to the Xcursor reader: refused or read, never a crash; what is read writes back.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/formats/xcursor_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pq::CursorAnimation anim;
    if (pq::ReadXcursor(std::span<const uint8_t>(data, size), 20, anim)) {
        std::vector<uint8_t> again;
        pq::EncodeXcursor(anim, again);
    }
    return 0;
}
