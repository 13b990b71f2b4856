// libFuzzer target: the JPEG decoder on arbitrary bytes, whole and through the DC-only 1/8 path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/formats/jpeg_dc_decoder.h"
#include "core/formats/jpeg_reader.h"

namespace {

// The 1/8 picture into a raster, as the fast import asks for it.
class EighthSink : public pq::PictureRowSink {
public:
    void Start(int w, int h) override { picture.Resize(w, h); }
    int ScaleDenominator(int, int) override { return 8; }
    std::uint8_t* RowBuffer(int y) override { return picture.Row(y); }
    void RowDone(int) override {}
    pq::Raster picture;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pq::Raster picture;
    pq::JpegInfo info;
    const pq::FileResult r = pq::DecodeJpeg(std::span(data, size), picture, &info);
    if (r.Ok != !picture.Empty()) std::abort();
    if (r.Ok && (picture.Width() != info.Width || picture.Height() != info.Height)) std::abort();
    EighthSink direct;
    if (pq::DecodeJpegDcRows(std::span(data, size), direct) == pq::JpegDcOutcome::Decoded && direct.picture.Empty())
        std::abort();
    EighthSink reduced;
    pq::JpegInfo eighthInfo;
    if (pq::DecodeJpegRows(std::span(data, size), reduced, &eighthInfo) &&
        (reduced.picture.Width() != (eighthInfo.Width + 7) / 8 || reduced.picture.Height() != (eighthInfo.Height + 7) / 8))
        std::abort();
    return 0;
}
