// Any bytes given to the .ani reader: refused or read, never a crash; what is read writes back.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/formats/ani_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pq::AniFile file;
    if (pq::ReadAni(std::span<const uint8_t>(data, size), 20, file)) {
        std::vector<uint8_t> again;
        pq::EncodeAni(file.Animation, &file.Source, again);
    }
    return 0;
}
