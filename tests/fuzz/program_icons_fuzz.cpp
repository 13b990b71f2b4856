// libFuzzer target: reading icon groups from a program file and extracting every icon.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/formats/program_icons.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const pq::ProgramIcons icons = pq::ProgramIcons::FromBytes(std::vector<std::uint8_t>(data, data + size));
    // Many groups may share one broken image; a handful shows every path.
    for (int i = 0; i < icons.Count() && i < 16; ++i) {
        pq::IconPicture p;
        if (icons.Extract(i, p) && (p.Color.Width() != 32 || p.Mask.Height() != 32)) std::abort();
    }
    // The image decoder on its own, for DIB and PNG data not wrapped in a program.
    pq::IconPicture p;
    if (pq::DecodeIconImage(std::span(data, size), p) && p.Color.Empty()) std::abort();
    return 0;
}
