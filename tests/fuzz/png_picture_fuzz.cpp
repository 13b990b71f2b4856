// libFuzzer target: the PNG picture reader on arbitrary bytes, then the area picker and the
// import over what it decoded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/formats/picture_import.h"
#include "core/formats/png_file.h"

namespace {

// The pieces of rows handed over, collected into a picture and its transparency.
class Collect : public pq::PictureRowSink {
public:
    void Start(int width, int height) override {
        picture.Resize(width, height);
        clear.assign(std::size_t(width) * std::size_t(height), 0);
    }
    std::uint8_t* RowBuffer(int) override { std::abort(); }
    void RowDone(int) override { std::abort(); }
    PieceLayout Pieces() const override { return {0, picture.Width(), 3}; }
    void Piece(int y, int x, int n, const std::uint8_t* bgr, const std::uint8_t* c) override {
        if (y != row_ || x != at_ || n <= 0 || n > 3 || x + n > picture.Width()) std::abort();
        std::memcpy(picture.Row(y) + 3 * std::size_t(x), bgr, 3 * std::size_t(n));
        if (c) std::memcpy(clear.data() + std::size_t(y) * std::size_t(picture.Width()) + std::size_t(x), c, std::size_t(n));
        at_ = x + n;
        if (at_ == picture.Width()) ++row_, at_ = 0;
    }
    pq::Raster picture;
    pq::Plane clear;

private:
    int row_ = 0, at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pq::Raster picture;
    pq::Plane transparent;
    const pq::FileResult r = pq::DecodePngPicture(std::span(data, size), picture, &transparent);
    // A refused file leaves nothing behind; a decoded one has one transparency byte per pixel.
    if (r.Ok == picture.Empty()) std::abort();
    if (transparent.size() != std::size_t(picture.Width()) * std::size_t(picture.Height())) std::abort();
    if (!r.Ok || picture.Width() > 4096 || picture.Height() > 4096) return 0;
    // Row by row in small pieces, the same picture.
    Collect rows;
    if (!pq::DecodePngRows(std::span(data, size), rows, nullptr, 12).Ok) std::abort();
    if (!(rows.picture == picture) || rows.clear != transparent) std::abort();
    pq::AreaPicker picker(picture, 16, 16, &transparent);
    picker.UseWholePicture();
    pq::Document doc;
    pq::ImportPictureDocument(doc, picker.Preview(), 16, 20, &picker.PreviewUnpainted());
    if (doc.LayerAt(0).Mask.size() != 256) std::abort();
    return 0;
}
