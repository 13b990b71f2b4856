// libFuzzer target: the bitmap reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/formats/bmp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pq::Raster picture;
    pq::BitmapInfo info;
    const pq::FileResult r = pq::DecodeBitmap(std::span(data, size), picture, &info);
    // A decoded picture has the size the headers gave; a refused one is empty.
    if (r.Ok != !picture.Empty()) std::abort();
    if (r.Ok && (picture.Width() != info.Width || picture.Height() != info.Height)) std::abort();
    return 0;
}
