#include "core/formats/picture_import.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "core/document/color_reduction.h"
#include "core/formats/bmp_reader.h"
#include "core/formats/file_formats.h"
#include "core/formats/jpeg_reader.h"

namespace pq {

PictureKind PictureKindOf(const std::filesystem::path& path) {
    const FileFormat* format = FormatOfPath(path);
    if (!format) return PictureKind::None;
    if (format->Reader == FormatReader::Bitmap) return PictureKind::Bitmap;
    if (format->Reader == FormatReader::Jpeg) return PictureKind::Jpeg;
    return PictureKind::None;
}

FileResult LoadPicture(const std::filesystem::path& path, PictureKind kind, Raster& picture) {
    switch (kind) {
        case PictureKind::Bitmap: return LoadBitmapFile(path, picture);
        case PictureKind::Jpeg: return LoadJpegFile(path, picture);
        case PictureKind::None: break;
    }
    picture = Raster();
    return FileResult::Failure(kBitmapUnsupportedMessage);
}

void ResampleArea(const Raster& source, int left, int top, int right, int bottom, Raster& target) {
    const int sw = source.Width(), sh = source.Height();
    const int w = target.Width(), h = target.Height();
    if (left >= sw || top >= sh || w == 0 || h == 0) return;
    const double sx = double(right - left) / w;
    const double sy = double(bottom - top) / h;
    for (int i = 0; i < h; ++i) {
        const double yStart = top + sy * i, yEnd = top + sy * (i + 1);
        for (int j = 0; j < w; ++j) {
            const double xStart = left + sx * j, xEnd = left + sx * (j + 1);
            long long sumR = 0, sumG = 0, sumB = 0, k = 0;
            for (double x = xStart; x < xEnd; x += 1) {
                const double fx0 = std::floor(x), fx1 = std::ceil(x);
                if (fx0 < 0 || fx1 >= sw) continue;
                const int x0 = int(fx0), x1 = int(fx1);
                const double fx = x - fx0;
                for (double y = yStart; y < yEnd; y += 1) {
                    const double fy0 = std::floor(y), fy1 = std::ceil(y);
                    if (fy0 < 0 || fy1 >= sh) continue;
                    const int y0 = int(fy0), y1 = int(fy1);
                    const double fy = y - fy0;
                    const std::uint8_t* p00 = source.Row(y0) + 3 * x0;
                    const std::uint8_t* p10 = source.Row(y0) + 3 * x1;
                    const std::uint8_t* p01 = source.Row(y1) + 3 * x0;
                    const std::uint8_t* p11 = source.Row(y1) + 3 * x1;
                    // Each channel's bilinear value is evaluated term by term from the left (this
                    // order decides the rounding where a value lands next to a whole number); the
                    // sum drops its fraction each time a sample is added.
                    auto add = [&](long long& sum, int c) {
                        const double v = p00[c] * (1 - fx) * (1 - fy) + p10[c] * fx * (1 - fy) +
                                         p01[c] * (1 - fx) * fy + p11[c] * fx * fy;
                        sum = (long long)(double(sum) + v);
                    };
                    add(sumB, 0);
                    add(sumG, 1);
                    add(sumR, 2);
                    ++k;
                }
            }
            if (k > 0) target.SetPixelUnchecked(j, i, Rgb{std::uint8_t(sumR / k), std::uint8_t(sumG / k), std::uint8_t(sumB / k)});
        }
    }
}

namespace {

// Copies the picture's area at (left, top) into the preview at 1:1; pixels off the picture
// leave the preview as it is.
void CopyAt(const Raster& picture, int left, int top, Raster& preview) {
    for (int y = 0; y < preview.Height(); ++y)
        for (int x = 0; x < preview.Width(); ++x)
            if (picture.Contains(left + x, top + y)) preview.SetPixelUnchecked(x, y, picture.PixelUnchecked(left + x, top + y));
}

}  // namespace

AreaPicker::AreaPicker(const Raster& picture, int previewWidth, int previewHeight)
    : picture_(picture), preview_(previewWidth, previewHeight) {
    preview_.Fill(kWhite);
    CopyAt(picture_, 0, 0, preview_);
}

void AreaPicker::SetOutputSize(int width, int height) {
    Raster resized(width, height);
    resized.Fill(kWhite);
    CopyAt(preview_, 0, 0, resized);
    preview_ = std::move(resized);
}

bool AreaPicker::InsideFrame(int x, int y) const {
    return x >= frame_.left && y >= frame_.top && x < frame_.right && y < frame_.bottom;
}

Rect AreaPicker::Band() const {
    return Rect{std::min(anchorX_, cornerX_), std::min(anchorY_, cornerY_), std::max(anchorX_, cornerX_),
                std::max(anchorY_, cornerY_)};
}

void AreaPicker::Press(int x, int y) {
    dragging_ = true;
    anchorX_ = cornerX_ = lastX_ = x;
    anchorY_ = cornerY_ = lastY_ = y;
    if (InsideFrame(x, y)) {
        moving_ = true;
        Move(x, y);
        Move(x, y);
        return;
    }
    moving_ = false;
    frame_ = Rect{x, y, x + preview_.Width(), y + preview_.Height()};
    anchorX_ = frame_.left;
    anchorY_ = frame_.top;
    cornerX_ = frame_.right;
    cornerY_ = frame_.bottom;
    preview_.Fill(kWhite);
    CopyAt(picture_, x, y, preview_);
}

void AreaPicker::Move(int x, int y) {
    if (!dragging_) return;
    cornerX_ = x;
    cornerY_ = y;
    if (moving_) {
        const int dx = x - lastX_, dy = y - lastY_;
        frame_ = Rect{frame_.left + dx, frame_.top + dy, frame_.right + dx, frame_.bottom + dy};
        anchorX_ = frame_.left;
        anchorY_ = frame_.top;
        cornerX_ = frame_.right;
        cornerY_ = frame_.bottom;
        lastX_ = x;
        lastY_ = y;
    } else if (Square) {
        // Square on the smaller extent, towards the side where the mouse is.
        if (std::abs(y - anchorY_) < std::abs(x - anchorX_)) {
            const int side = std::abs(cornerY_ - anchorY_);
            cornerX_ = x >= anchorX_ ? anchorX_ + side : anchorX_ - side;
        } else {
            const int side = std::abs(cornerX_ - anchorX_);
            cornerY_ = y >= anchorY_ ? anchorY_ + side : anchorY_ - side;
        }
    }
    LivePreview();
}

void AreaPicker::Release() {
    if (!dragging_) return;
    frame_ = Band();
    dragging_ = false;
    UpdatePreview();
}

void AreaPicker::UseWholePicture() {
    frame_ = Rect{};
    Square = false;
    Press(0, 0);
    Move(picture_.Width(), picture_.Height());
    Release();
}

void AreaPicker::UpdatePreview() {
    Raster fresh(preview_.Width(), preview_.Height());
    fresh.Fill(kWhite);
    ResampleArea(picture_, frame_.left, frame_.top, frame_.right, frame_.bottom, fresh);
    preview_ = std::move(fresh);
}

// While dragging the preview follows the band with a quick nearest-pixel stretch; the exact
// resampling follows on release.
void AreaPicker::LivePreview() {
    preview_.Fill(kWhite);
    const Rect band = Band();
    const int w = preview_.Width(), h = preview_.Height();
    if (band.Empty()) return;
    for (int y = 0; y < h; ++y) {
        const int sy = band.top + int((long long)(band.Height()) * y / h);
        for (int x = 0; x < w; ++x) {
            const int sx = band.left + int((long long)(band.Width()) * x / w);
            if (picture_.Contains(sx, sy)) preview_.SetPixelUnchecked(x, y, picture_.PixelUnchecked(sx, sy));
        }
    }
}

void ImportPictureDocument(Document& doc, const Raster& preview, int colorCount, int selectedZoom) {
    InitBlankDocument(doc, preview.Width(), preview.Height(), colorCount, selectedZoom);
    ReduceColors(doc, colorCount, 0, &preview);
    doc.DrawColor = 0;
    doc.AuxColor = 8;
}

}  // namespace pq
