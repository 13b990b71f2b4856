// libFuzzer target: the bitmap reader on arbitrary bytes, whole and band by band.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/formats/bmp_reader.h"

namespace {

// The pieces of rows handed over, collected into a picture; any piece out of order is a fault.
class Collect : public pq::PictureRowSink {
public:
    void Start(int width, int height) override { picture.Resize(width, height); }
    std::uint8_t* RowBuffer(int) override { std::abort(); }
    void RowDone(int) override { std::abort(); }
    PieceLayout Pieces() const override { return {0, picture.Width(), 5}; }
    void Piece(int y, int x, int n, const std::uint8_t* bgr, const std::uint8_t*) override {
        if (y != row_ || x != at_ || n <= 0 || n > 5 || x + n > picture.Width()) std::abort();
        std::memcpy(picture.Row(y) + 3 * std::size_t(x), bgr, 3 * std::size_t(n));
        at_ = x + n;
        if (at_ == picture.Width()) ++row_, at_ = 0;
    }
    pq::Raster picture;

private:
    int row_ = 0, at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pq::Raster picture;
    pq::BitmapInfo info;
    const pq::FileResult r = pq::DecodeBitmap(std::span(data, size), picture, &info);
    // A decoded picture has the size the headers gave; a refused one is empty.
    if (r.Ok != !picture.Empty()) std::abort();
    if (r.Ok && (picture.Width() != info.Width || picture.Height() != info.Height)) std::abort();
    if (r.Ok && std::int64_t(info.Width) * info.Height > (1 << 20)) return 0;
    // Read in bands of a few rows (and pieces of rows), it is the same picture or the same refusal.
    Collect rows;
    const pq::FileResult banded = pq::DecodeBitmapRows(std::span(data, size), rows, nullptr, 97);
    if (banded.Ok != r.Ok || banded.Message != r.Message) std::abort();
    if (r.Ok && !(rows.picture == picture)) std::abort();
    return 0;
}
