#include "core/formats/picture_import.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

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

namespace {

// One sample position along an axis: the two source lines it lies between and their weights,
// computed exactly as the per-sample formula computes them.
struct Tap {
    int i0, i1;
    double w0, w1;   // 1 - f and f, f being the position's fraction
};

// The sample positions of one cell, one source pixel apart from `start` while below `end`, in
// the order the sum visits them; positions whose two neighbours are not both on the picture
// (0 .. limit - 1) are left out, as the sum skips them.
void CellTaps(double start, double end, int limit, std::vector<Tap>& out) {
    out.clear();
    for (double v = start; v < end; v += 1) {
        const double f0 = std::floor(v), f1 = std::ceil(v);
        if (f0 < 0 || f1 >= limit) continue;
        const double f = v - f0;
        out.push_back(Tap{int(f0), int(f1), 1 - f, f});
    }
}

// sum = (long long)(double(sum) + v), the truncation the sum takes after each sample, without
// waiting on the floating-point round trip in the common case: for 0 <= v < 256 and a sum below
// 2^33 the result is sum + trunc(v) unless v's fraction lies within 2^-16 of 1 (where adding it
// to the sum may round up to the next whole number).
inline void AddTruncated(long long& sum, double v) {
    const long long whole = (long long)v;
    if (v - double(whole) < 1 - 0x1p-16 && sum < (1ll << 33))
        sum += whole;
    else
        sum = (long long)(double(sum) + v);
}

}  // namespace

void ResampleArea(const Raster& source, int left, int top, int right, int bottom, Raster& target) {
    const int sw = source.Width(), sh = source.Height();
    const int w = target.Width(), h = target.Height();
    if (left >= sw || top >= sh || w == 0 || h == 0) return;
    const double sx = double(right - left) / w;
    const double sy = double(bottom - top) / h;
    // The positions depend only on the column (x) or the row (y) of the target pixel.
    std::vector<std::vector<Tap>> columns(static_cast<std::size_t>(w)), rows(static_cast<std::size_t>(h));
    for (int j = 0; j < w; ++j) CellTaps(left + sx * j, left + sx * (j + 1), sw, columns[std::size_t(j)]);
    for (int i = 0; i < h; ++i) CellTaps(top + sy * i, top + sy * (i + 1), sh, rows[std::size_t(i)]);

    for (int i = 0; i < h; ++i) {
        const std::vector<Tap>& ys = rows[std::size_t(i)];
        for (int j = 0; j < w; ++j) {
            const std::vector<Tap>& xs = columns[std::size_t(j)];
            const long long k = (long long)(xs.size() * ys.size());
            if (k == 0) continue;   // no sample: the pixel stays white
            long long sumR = 0, sumG = 0, sumB = 0;
            // Samples in the order x outer, y inner. Each channel's bilinear value is evaluated
            // term by term from the left, (p * wx) * wy, as that order decides the rounding
            // where a value lands next to a whole number; the sum drops its fraction each time
            // a sample is added. Where a weight is 0 its terms are +0 and drop out exactly.
            for (const Tap& tx : xs) {
                const int x0 = 3 * tx.i0, x1 = 3 * tx.i1;
                if (tx.w1 == 0) {
                    for (const Tap& ty : ys) {
                        const std::uint8_t* p00 = source.Row(ty.i0) + x0;
                        const std::uint8_t* p01 = source.Row(ty.i1) + x0;
                        AddTruncated(sumB, p00[0] * tx.w0 * ty.w0 + p01[0] * tx.w0 * ty.w1);
                        AddTruncated(sumG, p00[1] * tx.w0 * ty.w0 + p01[1] * tx.w0 * ty.w1);
                        AddTruncated(sumR, p00[2] * tx.w0 * ty.w0 + p01[2] * tx.w0 * ty.w1);
                    }
                    continue;
                }
                for (const Tap& ty : ys) {
                    const std::uint8_t* r0 = source.Row(ty.i0);
                    const std::uint8_t* r1 = source.Row(ty.i1);
                    const std::uint8_t *p00 = r0 + x0, *p10 = r0 + x1, *p01 = r1 + x0, *p11 = r1 + x1;
                    for (int c = 0; c < 3; ++c) {
                        const double v = p00[c] * tx.w0 * ty.w0 + p10[c] * tx.w1 * ty.w0 + p01[c] * tx.w0 * ty.w1 +
                                         p11[c] * tx.w1 * ty.w1;
                        AddTruncated(c == 0 ? sumB : c == 1 ? sumG : sumR, v);
                    }
                }
            }
            target.SetPixelUnchecked(j, i, Rgb{std::uint8_t(sumR / k), std::uint8_t(sumG / k), std::uint8_t(sumB / k)});
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
