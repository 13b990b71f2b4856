// libFuzzer target: the PNG picture reader on arbitrary bytes, then the area picker and the
// import over what it decoded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/formats/picture_import.h"
#include "core/formats/png_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pq::Raster picture;
    pq::Plane transparent;
    const pq::FileResult r = pq::DecodePngPicture(std::span(data, size), picture, &transparent);
    // A refused file leaves nothing behind; a decoded one has one transparency byte per pixel.
    if (r.Ok == picture.Empty()) std::abort();
    if (transparent.size() != std::size_t(picture.Width()) * std::size_t(picture.Height())) std::abort();
    if (!r.Ok || picture.Width() > 4096 || picture.Height() > 4096) return 0;
    pq::AreaPicker picker(picture, 16, 16, &transparent);
    picker.UseWholePicture();
    pq::Document doc;
    pq::ImportPictureDocument(doc, picker.Preview(), 16, 20, &picker.PreviewUnpainted());
    if (doc.LayerAt(0).Mask.size() != 256) std::abort();
    return 0;
}
