#include "gui/palettes/preview_window.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <cstring>

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
    setPages_.clear();
    setCurrent_ = -1;
    if (size() != QSize(kClient, kClient)) setFixedSize(kClient, kClient);
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

namespace {

constexpr int kGap = 4, kMark = 2;

// The box of the pixels that differ between two pictures of the same size and format, empty
// when none does.
QRect ChangedBox(const QImage& a, const QImage& b) {
    int top = -1, bottom = -1, left = a.width(), right = -1;
    const std::size_t bytes = std::size_t(a.width()) * 4;
    for (int y = 0; y < a.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        if (std::memcmp(ra, rb, bytes) == 0) continue;
        if (top < 0) top = y;
        bottom = y;
        int x = 0;
        while (ra[x] == rb[x]) ++x;
        left = qMin(left, x);
        x = a.width() - 1;
        while (ra[x] == rb[x]) --x;
        right = qMax(right, x);
    }
    return top < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

}  // namespace

void TfrmView::PaintSet(const std::vector<QImage>& pages, int current, const pq::TransparencyColors& colors) {
    // Same layout and only the current page's pixels differ: its changed part alone is painted.
    bool partial = !setPages_.empty() && pages.size() == setPages_.size() && current == setCurrent_ &&
                   colors == setColors_ && current >= 0 && std::size_t(current) < pages.size();
    for (std::size_t i = 0; partial && i < pages.size(); ++i) {
        const QImage& now = pages[i];
        const QImage& then = setPages_[i];
        partial = now.size() == then.size() && now.format() == then.format() &&
                  (int(i) == current ? now.format() == QImage::Format_ARGB32 : now == then);
    }
    if (!partial) {
        setPages_ = pages;
        setCurrent_ = current;
        setColors_ = colors;
        PaintLastSet();
        return;
    }
    const std::size_t i = std::size_t(current);
    const QRect box = ChangedBox(setPages_[i], pages[i]);
    setPages_[i] = pages[i];
    if (box.isEmpty()) return;
    QPainter p(&picture_);
    PaintPagePart(p, i, box);
    p.end();
    update(box.translated(PageOrigin(i)));
}

void TfrmView::SetBackgroundKind(SetBackground background) {
    background_ = background;
    if (!setPages_.empty()) PaintLastSet();
}

QPoint TfrmView::PageOrigin(std::size_t i) const {
    int x = kGap, height = 0;
    for (const QImage& page : setPages_) height = qMax(height, page.height());
    for (std::size_t k = 0; k < i; ++k) x += setPages_[k].width() + kGap;
    // Pages stand on a common base line above the current page's mark.
    return QPoint(x, kGap + (height - setPages_[i].height()));
}

void TfrmView::PaintPagePart(QPainter& p, std::size_t i, const QRect& area) const {
    const QImage& page = setPages_[i];
    const QPoint at = PageOrigin(i) + area.topLeft();
    if (background_ == SetBackground::Transparency) {
        // The 4-pixel checker from the page's own top-left corner.
        pq::Raster checker(area.width(), area.height());
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x) {
                const bool even = (((area.left() + x) / 4 + (area.top() + y) / 4) & 1) == 0;
                checker.SetPixelUnchecked(x, y, even ? setColors_.Color1 : setColors_.Color2);
            }
        p.drawImage(at, QImage(checker.Data(), checker.Width(), checker.Height(), checker.Stride(), QImage::Format_BGR888));
    } else {
        p.fillRect(QRect(at, area.size()), background_ == SetBackground::Dark ? QColor(32, 32, 32) : QColor(240, 240, 240));
    }
    p.drawImage(at, page, area);
}

void TfrmView::PaintLastSet() {
    int width = kGap, height = 0;
    for (const QImage& page : setPages_) {
        width += page.width() + kGap;
        height = qMax(height, page.height());
    }
    height += 2 * kGap + kMark + 1;
    QImage picture(qMax(width, kClient), qMax(height, kClient), QImage::Format_RGB32);
    const QColor light(240, 240, 240), dark(32, 32, 32);
    picture.fill(background_ == SetBackground::Dark ? dark : light);
    QPainter p(&picture);
    for (std::size_t i = 0; i < setPages_.size(); ++i) {
        const QImage& page = setPages_[i];
        PaintPagePart(p, i, page.rect());
        if (int(i) == setCurrent_) {
            const QPoint at = PageOrigin(i);
            p.fillRect(at.x(), at.y() + page.height() + 1, page.width(), kMark,
                       background_ == SetBackground::Dark ? QColor(255, 200, 0) : QColor(0, 90, 200));
        }
    }
    p.end();
    picture_ = picture;
    setFixedSize(picture_.size());
    update();
}

void TfrmView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    auto* group = new QActionGroup(&menu);
    const std::pair<const char*, SetBackground> entries[] = {{"透明色の背景", SetBackground::Transparency},
                                                             {"明るい背景", SetBackground::Light},
                                                             {"暗い背景", SetBackground::Dark}};
    for (const auto& [caption, kind] : entries) {
        QAction* action = menu.addAction(caption);
        action->setCheckable(true);
        action->setChecked(kind == background_);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, kind = kind] { SetBackgroundKind(kind); });
    }
    menu.exec(event->globalPos());
}

void TfrmView::Blank() {
    setPages_.clear();
    setCurrent_ = -1;
    if (picture_.size() != QSize(kClient, kClient)) {
        picture_ = QImage(kClient, kClient, QImage::Format_RGB32);
        setFixedSize(kClient, kClient);
    }
    picture_.fill(DesktopColor());
    update();
}

void TfrmView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

}  // namespace pq::gui
