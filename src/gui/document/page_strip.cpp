#include "gui/document/page_strip.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "core/document/render.h"
#include "gui/document/image_form.h"
#include "gui/kit/frame_services.h"

namespace pq::gui {

namespace {
constexpr int kGap = 8;      // between cells and around the strip
constexpr int kFrame = 2;    // the current page's frame
}  // namespace

TPageStrip::TPageStrip(TImageForm* form) : QWidget(form), form_(form) {
    setObjectName("PageStrip");
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

int TPageStrip::LabelHeight() const { return fontMetrics().height() + 2; }

QRect TPageStrip::CellRect(int i) const {
    int x = kGap;
    int tallest = 0;
    for (int k = 0; k < form_->PageCount(); ++k) tallest = qMax(tallest, form_->PageDoc(k).ImageHeight);
    for (int k = 0; k < i; ++k)
        x += qMax(form_->PageDoc(k).ImageWidth, fontMetrics().horizontalAdvance(form_->PageLabel(k))) + kGap;
    const int width = qMax(form_->PageDoc(i).ImageWidth, fontMetrics().horizontalAdvance(form_->PageLabel(i)));
    return QRect(x, kGap, width, tallest + LabelHeight());
}

QRect TPageStrip::PictureRect(int i) const {
    const QRect cell = CellRect(i);
    const pq::Document& doc = form_->PageDoc(i);
    return QRect(cell.left() + (cell.width() - doc.ImageWidth) / 2, cell.bottom() + 1 - LabelHeight() - doc.ImageHeight,
                 doc.ImageWidth, doc.ImageHeight);
}

QSize TPageStrip::sizeHint() const {
    if (form_->PageCount() == 0) return QSize(0, 0);
    const QRect last = CellRect(form_->PageCount() - 1);
    return QSize(last.right() + 1 + kGap, last.bottom() + 1 + kGap);
}

int TPageStrip::PageAt(QPoint point) const {
    for (int i = 0; i < form_->PageCount(); ++i)
        if (CellRect(i).adjusted(-kFrame, -kFrame, kFrame, kFrame).contains(point)) return i;
    return -1;
}

void TPageStrip::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const pq::TransparencyColors colors = form_->Frame().TransparencyColors();
    for (int i = 0; i < form_->PageCount(); ++i) {
        const QRect cell = CellRect(i);
        // A stroke repaints a part of one page: the others are not built again.
        if (!event->rect().intersects(cell.adjusted(-kFrame - 1, -kFrame - 1, kFrame + 1, kFrame + 1))) continue;
        const pq::Document& doc = form_->PageDoc(i);
        // Pages stand on their labels, so small ones sit beside the bottom of large ones.
        const QRect picture = PictureRect(i);
        pq::Raster checker(doc.ImageWidth, doc.ImageHeight);
        pq::PaintChecker(checker, 4, colors);
        p.drawImage(picture.topLeft(), QImage(checker.Data(), checker.Width(), checker.Height(), checker.Stride(),
                                              QImage::Format_BGR888));
        p.drawImage(picture.topLeft(), form_->PagePicture(i));
        if (i == form_->CurrentPage()) {
            p.setPen(QPen(palette().highlight(), kFrame));
            p.drawRect(picture.adjusted(-kFrame / 2 - 1, -kFrame / 2 - 1, kFrame / 2, kFrame / 2));
        }
        p.setPen(palette().windowText().color());
        p.drawText(QRect(cell.left(), cell.bottom() + 1 - LabelHeight(), cell.width(), LabelHeight()),
                   Qt::AlignHCenter | Qt::AlignBottom, form_->PageLabel(i));
    }
}

void TPageStrip::mousePressEvent(QMouseEvent* event) {
    const int page = PageAt(event->position().toPoint());
    if (page >= 0 && event->button() == Qt::LeftButton) form_->SelectPage(page);
}

}  // namespace pq::gui
