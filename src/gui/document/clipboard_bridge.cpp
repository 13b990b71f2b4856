#include "gui/document/clipboard_bridge.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <cstring>

#include "core/document/clipboard_pictures.h"

namespace pq::gui {

QImage ClipboardImageOf(const pq::Raster& raster) {
    if (raster.Empty()) return QImage();
    const QImage view(raster.Data(), raster.Width(), raster.Height(), raster.Stride(), QImage::Format_BGR888);
    return view.convertToFormat(QImage::Format_RGB32);
}

pq::Raster RasterOfClipboardImage(const QImage& image) {
    if (image.isNull()) return pq::Raster();
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    pq::Raster out(bgr.width(), bgr.height());
    const std::size_t rowBytes = std::size_t(bgr.width()) * 3;
    for (int y = 0; y < bgr.height(); ++y) std::memcpy(out.Row(y), bgr.constScanLine(y), rowBytes);
    return out;
}

namespace {

class QtClipboardAccess : public ClipboardAccess {
public:
    bool HasPicture() const override {
        const QMimeData* data = QApplication::clipboard()->mimeData();
        return data && data->hasImage();
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
