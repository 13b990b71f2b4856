#pragma once
// The system clipboard as the document commands see it: true-colour pictures in and out, and
// pictures with alpha as "image/png" beside the ordinary image data. The clipboard is reached through ClipboardAccess so that tests can stand in a clipboard that
// refuses writes; production uses QClipboard.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <optional>

#include "core/document/clipboard_pictures.h"
#include "core/raster/raster.h"

namespace pq::gui {

// A 24-bit picture as the QImage put on the clipboard (a deep copy).
QImage ClipboardImageOf(const pq::Raster& raster);
// Any QImage as a 24-bit raster. A picture with alpha is shown over white, so that its
// transparent parts do not bring in the colours they hide.
pq::Raster RasterOfClipboardImage(const QImage& image);

class ClipboardAccess {
public:
    virtual ~ClipboardAccess() = default;
    // True when the clipboard offers a picture (paste is enabled exactly then).
    virtual bool HasPicture() const = 0;
    // The offered picture; a null image when there is none.
    virtual QImage Picture() const = 0;
    // Replaces the clipboard's contents; false when the picture did not arrive there.
    virtual bool SetPicture(const QImage& image) = 0;
    // The offered "image/png" bytes; empty when the clipboard holds none.
    virtual QByteArray Png() const { return QByteArray(); }
    // Replaces the clipboard's contents with a picture with alpha: `image` as the ordinary image
    // data and `png` as "image/png". False when they did not arrive there. By default the
    // ordinary picture alone is written.
    virtual bool SetPictureWithPng(const QImage& image, const QByteArray& png) {
        (void)png;
        return SetPicture(image);
    }
};

// The clipboard of this process: QClipboard, unless a test installed another one.
ClipboardAccess& Clipboard();

// Installs `access` as the clipboard for as long as the object lives (tests).
class ScopedClipboard {
public:
    explicit ScopedClipboard(ClipboardAccess& access);
    ~ScopedClipboard();
    ScopedClipboard(const ScopedClipboard&) = delete;
    ScopedClipboard& operator=(const ScopedClipboard&) = delete;

private:
    ClipboardAccess* previous_;
};

// Puts a document picture on the clipboard; false when the clipboard could not be written.
bool WriteClipboardPicture(const pq::Raster& picture);

// A picture with straight alpha as a QImage (ARGB32, a deep copy), and back; a null image gives
// an empty picture.
QImage ClipboardImageOf(const pq::RgbaPicture& picture);
pq::RgbaPicture RgbaPictureOfImage(const QImage& image);
// The picture shown over white, as the area picker and a 16/256-colour paste see it.
pq::Raster RasterOnWhite(const pq::RgbaPicture& picture);

// Puts a picture with alpha on the clipboard: "image/png" encoded from it, plus the ordinary
// image data; false when the clipboard could not be written.
bool WriteClipboardRgbaPicture(const pq::RgbaPicture& picture);

// The clipboard picture for paste, or the message for the user when there is none or it cannot
// be used (empty, or too large); the size is checked before the picture is converted.
struct ClipboardRead {
    std::optional<pq::Raster> Picture;
    QString Problem;
};
ClipboardRead ReadClipboardPicture();

// The clipboard picture with its alpha: "image/png" when offered (its size is checked from the
// header before it is decoded), otherwise the ordinary image (opaque unless it carries alpha).
struct ClipboardRgbaRead {
    std::optional<pq::RgbaPicture> Picture;
    QString Problem;
};
ClipboardRgbaRead ReadClipboardRgbaPicture();

}  // namespace pq::gui
