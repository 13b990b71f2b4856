// libFuzzer target: the JPEG decoder on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/formats/jpeg_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pq::Raster picture;
    pq::JpegInfo info;
    const pq::FileResult r = pq::DecodeJpeg(std::span(data, size), picture, &info);
    if (r.Ok != !picture.Empty()) std::abort();
    if (r.Ok && (picture.Width() != info.Width || picture.Height() != info.Height)) std::abort();
    return 0;
}
