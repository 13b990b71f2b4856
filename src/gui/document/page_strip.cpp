#include "gui/document/page_strip.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "core/document/render.h"
#include "gui/document/image_form.h"
#include "gui/kit/frame_services.h"

namespace pq::gui {

namespace {
constexpr int kGap = 8;      // between cells and around the strip
constexpr int kFrame = 2;    // the current page's frame
}  // namespace

PageView& SharedPageView() {
    static PageView view;
    return view;
}

void SavePageView() {
    const PageView& view = SharedPageView();
    if (!view.File.empty()) pq::WritePageViewSettings(view.File, view.Settings);
}

QSize StripPictureSize(int w, int h, int side) {
    const int longest = std::max(w, h);
    if (longest <= side || longest <= 0) return QSize(w, h);
    // Rounded to the nearest pixel, never below one.
    return QSize(std::max(1, (w * side + longest / 2) / longest), std::max(1, (h * side + longest / 2) / longest));
}

TPageStrip::TPageStrip(TImageForm* form) : QWidget(form), form_(form) {
    setObjectName("PageStrip");
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

int TPageStrip::LabelHeight() const { return fontMetrics().height() + 2; }

int TPageStrip::PictureHeight() const { return SharedPageView().Settings.StripHeight; }

QRect TPageStrip::CellRect(int i) const {
    const int side = PictureHeight();
    auto width = [&](int k) {
        const pq::Document& d = form_->PageDoc(k);
        return qMax(StripPictureSize(d.ImageWidth, d.ImageHeight, side).width(),
                    fontMetrics().horizontalAdvance(form_->PageLabel(k)));
    };
    int x = kGap;
    for (int k = 0; k < i; ++k) x += width(k) + kGap;
    return QRect(x, kGap, width(i), side + LabelHeight());
}

QRect TPageStrip::PictureRect(int i) const {
    const QRect cell = CellRect(i);
    const pq::Document& doc = form_->PageDoc(i);
    const QSize size = StripPictureSize(doc.ImageWidth, doc.ImageHeight, PictureHeight());
    return QRect(cell.left() + (cell.width() - size.width()) / 2, cell.bottom() + 1 - LabelHeight() - size.height(),
                 size.width(), size.height());
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

void TPageStrip::UpdatePagePart(int i, const QRect& pixels) {
    const QRect pic = PictureRect(i);
    const pq::Document& doc = form_->PageDoc(i);
    if (pic.size() == QSize(doc.ImageWidth, doc.ImageHeight)) update(pixels.translated(pic.topLeft()));
    else update(pic);
}

int TPageStrip::DropPlace(int from, int x) const {
    // Counted over the other pages: the dragged one goes before the first whose middle lies right of x.
    int place = 0;
    for (int i = 0; i < form_->PageCount(); ++i) {
        if (i == from) continue;
        if (CellRect(i).center().x() < x) ++place;
    }
    return place;
}

const QImage& TPageStrip::Thumbnail(int i) const {
    thumbs_.resize(std::size_t(form_->PageCount()));
    const QImage& full = form_->PagePicture(i);
    Cached& c = thumbs_[std::size_t(i)];
    const QSize size = StripPictureSize(full.width(), full.height(), PictureHeight());
    if (c.Key != full.cacheKey() || c.Picture.size() != size) {
        c.Key = full.cacheKey();
        // Averaged down, so a large page still reads as itself at a glance.
        c.Picture = size == full.size() ? full : full.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return c.Picture;
}

void TPageStrip::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const pq::TransparencyColors colors = form_->Frame().TransparencyColors();
    for (int i = 0; i < form_->PageCount(); ++i) {
        const QRect cell = CellRect(i);
        // A stroke repaints a part of one page: the others are not built again.
        if (!event->rect().intersects(cell.adjusted(-kFrame - 1, -kFrame - 1, kFrame + 1, kFrame + 1))) continue;
        // Pages stand on their labels, so small ones sit beside the bottom of large ones.
        const QRect picture = PictureRect(i);
        pq::Raster checker(picture.width(), picture.height());
        pq::PaintChecker(checker, 4, colors);
        p.drawImage(picture.topLeft(), QImage(checker.Data(), checker.Width(), checker.Height(), checker.Stride(),
                                              QImage::Format_BGR888));
        p.drawImage(picture.topLeft(), Thumbnail(i));
        if (i == form_->CurrentPage()) {
            p.setPen(QPen(palette().highlight(), kFrame));
            p.drawRect(picture.adjusted(-kFrame / 2 - 1, -kFrame / 2 - 1, kFrame / 2, kFrame / 2));
        }
        p.setPen(palette().windowText().color());
        p.drawText(QRect(cell.left(), cell.bottom() + 1 - LabelHeight(), cell.width(), LabelHeight()),
                   Qt::AlignHCenter | Qt::AlignBottom, form_->PageLabel(i));
    }
    if (dragging_ && dropX_ >= 0) {
        // Where the page would go: a bar in the gap before that place.
        const int place = DropPlace(pressPage_, dropX_);
        int x = kGap / 2;
        for (int i = 0, k = 0; i < form_->PageCount(); ++i) {
            if (i == pressPage_) continue;
            if (k++ == place) break;
            x = CellRect(i).right() + 1 + kGap / 2;
        }
        p.fillRect(x - 1, kGap / 2, 3, height() - kGap, palette().highlight());
    }
}

void TPageStrip::mousePressEvent(QMouseEvent* event) {
    const int page = PageAt(event->position().toPoint());
    if (page < 0 || event->button() != Qt::LeftButton) return;
    pressPage_ = page;
    pressAt_ = event->position().toPoint();
    dragging_ = false;
    form_->SelectPage(page);
}

void TPageStrip::mouseMoveEvent(QMouseEvent* event) {
    if (pressPage_ < 0 || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint at = event->position().toPoint();
    if (!dragging_ && (at - pressAt_).manhattanLength() < QApplication::startDragDistance()) return;
    dragging_ = true;
    dropX_ = at.x();
    setCursor(Qt::ClosedHandCursor);
    update();
}

void TPageStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int from = pressPage_;
    const bool dragged = dragging_;
    pressPage_ = -1;
    dragging_ = false;
    dropX_ = -1;
    unsetCursor();
    update();
    if (from < 0 || !dragged) return;
    const int to = DropPlace(from, event->position().toPoint().x());
    if (to != from) form_->MovePageTo(from, to);
}

}  // namespace pq::gui
