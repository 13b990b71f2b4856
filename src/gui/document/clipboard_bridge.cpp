#include "gui/document/clipboard_bridge.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImageReader>
#include <QMimeData>
#include <cstring>

#include "core/document/blend.h"

namespace pq::gui {

QImage ClipboardImageOf(const pq::Raster& raster) {
    if (raster.Empty()) return QImage();
    const QImage view(raster.Data(), raster.Width(), raster.Height(), raster.Stride(), QImage::Format_BGR888);
    return view.convertToFormat(QImage::Format_RGB32);
}

pq::Raster RasterOfClipboardImage(const QImage& image) {
    if (image.isNull()) return pq::Raster();
    if (image.hasAlphaChannel()) return RasterOnWhite(RgbaPictureOfImage(image));
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    pq::Raster out(bgr.width(), bgr.height());
    const std::size_t rowBytes = std::size_t(bgr.width()) * 3;
    for (int y = 0; y < bgr.height(); ++y) std::memcpy(out.Row(y), bgr.constScanLine(y), rowBytes);
    return out;
}

QImage ClipboardImageOf(const pq::RgbaPicture& picture) {
    if (picture.Width <= 0 || picture.Height <= 0 ||
        picture.Pixels.size() != std::size_t(picture.Width) * std::size_t(picture.Height))
        return QImage();
    QImage out(picture.Width, picture.Height, QImage::Format_RGBA8888);
    if (out.isNull()) return QImage();
    const std::size_t rowBytes = std::size_t(picture.Width) * 4;
    for (int y = 0; y < picture.Height; ++y)
        std::memcpy(out.scanLine(y), picture.Pixels.data() + std::size_t(y) * std::size_t(picture.Width), rowBytes);
    return out.convertToFormat(QImage::Format_ARGB32);
}

pq::RgbaPicture RgbaPictureOfImage(const QImage& image) {
    pq::RgbaPicture out;
    if (image.isNull()) return out;
    // Straight (not premultiplied) alpha in r, g, b, a byte order, as Rgba8 lays it out.
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    if (rgba.isNull()) return out;
    out.Width = rgba.width();
    out.Height = rgba.height();
    out.Pixels.resize(std::size_t(out.Width) * std::size_t(out.Height));
    const std::size_t rowBytes = std::size_t(out.Width) * 4;
    for (int y = 0; y < out.Height; ++y)
        std::memcpy(out.Pixels.data() + std::size_t(y) * std::size_t(out.Width), rgba.constScanLine(y), rowBytes);
    return out;
}

pq::Raster RasterOnWhite(const pq::RgbaPicture& picture) {
    if (picture.Pixels.size() != std::size_t(picture.Width) * std::size_t(picture.Height) || picture.Pixels.empty())
        return pq::Raster();
    pq::Raster out(picture.Width, picture.Height);
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x) {
            const pq::Rgba8 c = pq::BlendOver(pq::Rgba8{255, 255, 255, 255},
                                              picture.Pixels[std::size_t(x) + std::size_t(y) * std::size_t(picture.Width)]);
            out.SetPixelUnchecked(x, y, pq::Rgb{c.r, c.g, c.b});
        }
    return out;
}

namespace {

const char* const kPngFormat = "image/png";

class QtClipboardAccess : public ClipboardAccess {
public:
    bool HasPicture() const override {
        const QMimeData* data = QApplication::clipboard()->mimeData();
        return data && (data->hasImage() || data->hasFormat(kPngFormat));
    }
    QImage Picture() const override { return QApplication::clipboard()->image(); }
    bool SetPicture(const QImage& image) override {
        QClipboard* clipboard = QApplication::clipboard();
        clipboard->setImage(image);
        // QClipboard reports no failure; a picture that cannot be read back did not arrive.
        const QMimeData* data = clipboard->mimeData();
        if (!data || !data->hasImage()) return false;
        return clipboard->image().size() == image.size();
    }
    QByteArray Png() const override {
        const QMimeData* data = QApplication::clipboard()->mimeData();
        return data && data->hasFormat(kPngFormat) ? data->data(kPngFormat) : QByteArray();
    }
    bool SetPictureWithPng(const QImage& image, const QByteArray& png) override {
        QClipboard* clipboard = QApplication::clipboard();
        auto* data = new QMimeData;
        data->setImageData(image);
        data->setData(kPngFormat, png);
        clipboard->setMimeData(data);  // the clipboard owns it now
        const QMimeData* now = clipboard->mimeData();
        return now && now->hasImage() && now->data(kPngFormat).size() == png.size();
    }
};

QtClipboardAccess& QtAccess() {
    static QtClipboardAccess access;
    return access;
}

ClipboardAccess* g_installed = nullptr;

}  // namespace

ClipboardAccess& Clipboard() { return g_installed ? *g_installed : QtAccess(); }

ScopedClipboard::ScopedClipboard(ClipboardAccess& access) : previous_(g_installed) { g_installed = &access; }

ScopedClipboard::~ScopedClipboard() { g_installed = previous_; }

bool WriteClipboardPicture(const pq::Raster& picture) {
    const QImage image = ClipboardImageOf(picture);
    if (image.isNull()) return false;
    return Clipboard().SetPicture(image);
}

bool WriteClipboardRgbaPicture(const pq::RgbaPicture& picture) {
    const QImage image = ClipboardImageOf(picture);
    if (image.isNull()) return false;
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG") || png.isEmpty()) return false;
    return Clipboard().SetPictureWithPng(image, png);
}

ClipboardRgbaRead ReadClipboardRgbaPicture() {
    ClipboardRgbaRead result;
    const QByteArray png = Clipboard().Png();
    if (!png.isEmpty()) {
        QBuffer buffer;
        buffer.setData(png);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "png");
        // The header's size is checked before anything is decoded, so a PNG claiming a huge
        // picture costs nothing.
        const QSize size = reader.size();
        if (size.isValid()) {
            if (auto problem = pq::PastePictureProblem(size.width(), size.height())) {
                result.Problem = QString::fromStdString(*problem);
                return result;
            }
            const QImage image = reader.read();
            if (!image.isNull() && image.size() == size) {
                result.Picture = RgbaPictureOfImage(image);
                return result;
            }
        }
        // An unreadable PNG: the ordinary image data may still serve.
    }
    const QImage image = Clipboard().HasPicture() ? Clipboard().Picture() : QImage();
    if (auto problem = pq::PastePictureProblem(image.width(), image.height())) {
        result.Problem = QString::fromStdString(*problem);
        return result;
    }
    result.Picture = RgbaPictureOfImage(image);
    return result;
}

ClipboardRead ReadClipboardPicture() {
    ClipboardRead result;
    const QImage image = Clipboard().HasPicture() ? Clipboard().Picture() : QImage();
    if (auto problem = pq::PastePictureProblem(image.width(), image.height())) {
        result.Problem = QString::fromStdString(*problem);
        return result;
    }
    result.Picture = RasterOfClipboardImage(image);
    return result;
}

}  // namespace pq::gui
