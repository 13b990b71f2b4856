#include "gui/palettes/preview_window.h"

#include <QPainter>

#include "core/formats/settings_files.h"
#include "core/raster/drawing.h"

namespace pq::gui {

namespace {
constexpr int kClient = 50;
}

TfrmView::TfrmView(QWidget* frame, const std::filesystem::path& settingsFolder)
    : TToolWindow(frame, "ビュー", settingsFolder / pq::kPreviewFile), picture_(kClient, kClient, QImage::Format_RGB32) {
    setObjectName("TfrmView");
    setFixedSize(kClient, kClient);
    Blank();
    move(660, 340);
    ReadPosition();
}

QColor TfrmView::DesktopColor() { return QColor(58, 110, 165); }

void TfrmView::PaintFrom(const pq::Composite& comp, int width, int height) {
    const QColor desk = DesktopColor();
    pq::Raster r(kClient, kClient);
    r.Fill(pq::Rgb{uint8_t(desk.red()), uint8_t(desk.green()), uint8_t(desk.blue())});
    const int left = kClient / 2 - width / 2, top = kClient / 2 - height / 2;
    // Painted pixels: OR with the white mask then AND with the colours gives the colour; elsewhere
    // OR with black and AND with white keep the desktop.
    pq::CopyRect(r, left, top, comp.CompositeMask, 0, 0, width, height, pq::RasterOp::Or);
    pq::CopyRect(r, left, top, comp.CompositeColor, 0, 0, width, height, pq::RasterOp::And);
    const QImage wrapped(r.Data(), r.Width(), r.Height(), r.Stride(), QImage::Format_BGR888);
    picture_ = wrapped.convertToFormat(QImage::Format_RGB32);
    update();
}

void TfrmView::Blank() {
    picture_.fill(DesktopColor());
    update();
}

void TfrmView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

}  // namespace pq::gui
