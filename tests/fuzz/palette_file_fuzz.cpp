// libFuzzer target: the palette reader on arbitrary bytes under each name that selects a
// different path (.pqp, .pal, .act), for 16- and 256-colour documents. A refusal must leave
// the palette untouched.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/formats/palette_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    for (const char* name : {"a.pqp", "a.pal", "a.act"})
        for (int colors : {16, 256}) {
            pq::PaletteTable palette{};
            palette[200].red = 1;
            const pq::PaletteTable before = palette;
            if (!pq::LoadPaletteBytes(bytes, name, colors, palette) && palette != before) std::abort();
            (void)pq::DescribePaletteFile(bytes, name);
        }
    return 0;
}
