#include "gui/palettes/preview_window.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cstring>
#include <optional>

#include "core/formats/settings_files.h"
#include "core/raster/drawing.h"
#include "gui/document/image_form.h"
#include "gui/document/page_strip.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"
#include "gui/kit/window_placement.h"

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

TfrmView::SetBackground TfrmView::Background() const {
    return SetBackground(std::clamp(SharedPageView().Settings.PreviewBackground, 0, 3));
}

QColor TfrmView::CustomColor() const {
    const pq::PageViewSettings& s = SharedPageView().Settings;
    return QColor(s.PreviewRed, s.PreviewGreen, s.PreviewBlue);
}

void TfrmView::SetBackgroundKind(SetBackground background, QColor color) {
    pq::PageViewSettings& s = SharedPageView().Settings;
    s.PreviewBackground = int(background);
    if (background == SetBackground::Custom && color.isValid()) {
        s.PreviewRed = uint8_t(color.red());
        s.PreviewGreen = uint8_t(color.green());
        s.PreviewBlue = uint8_t(color.blue());
    }
    SavePageView();
    if (!setPages_.empty()) PaintLastSet();
}

QColor TfrmView::BackgroundColor() const {
    switch (Background()) {
    case SetBackground::Dark: return QColor(32, 32, 32);
    case SetBackground::Custom: return CustomColor();
    default: return QColor(240, 240, 240);
    }
}

int TfrmView::RowWidthLimit() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const int available = s ? s->availableGeometry().width() : 1024;
    return std::max(300, available / 2);
}

QSize TfrmView::LayOut() {
    // Pages left to right, a new row when the next one would pass the limit; each row's pages
    // stand on a common base line above the current page's mark.
    origins_.assign(setPages_.size(), QPoint());
    const int limit = RowWidthLimit();
    int width = 0, top = kGap;
    std::size_t first = 0;
    while (first < setPages_.size()) {
        std::size_t last = first;
        int x = kGap + setPages_[first].width() + kGap, rowHeight = setPages_[first].height();
        while (last + 1 < setPages_.size() && x + setPages_[last + 1].width() + kGap <= limit) {
            ++last;
            x += setPages_[last].width() + kGap;
            rowHeight = qMax(rowHeight, setPages_[last].height());
        }
        int left = kGap;
        for (std::size_t i = first; i <= last; ++i) {
            origins_[i] = QPoint(left, top + rowHeight - setPages_[i].height());
            left += setPages_[i].width() + kGap;
        }
        width = qMax(width, x);
        top += rowHeight + kGap + kMark + 1;
        first = last + 1;
    }
    return QSize(width, top + kGap);
}

void TfrmView::SetSetSource(TImageForm* form) { source_ = form; }

int TfrmView::PageAtPoint(QPoint point) const {
    for (std::size_t i = 0; i < setPages_.size() && i < origins_.size(); ++i)
        if (QRect(origins_[i], setPages_[i].size()).contains(point)) return int(i);
    return -1;
}

void TfrmView::PaintPagePart(QPainter& p, std::size_t i, const QRect& area) const {
    const QImage& page = setPages_[i];
    const QPoint at = PageOrigin(i) + area.topLeft();
    if (Background() == SetBackground::Transparency) {
        // The 4-pixel checker from the page's own top-left corner.
        pq::Raster checker(area.width(), area.height());
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x) {
                const bool even = (((area.left() + x) / 4 + (area.top() + y) / 4) & 1) == 0;
                checker.SetPixelUnchecked(x, y, even ? setColors_.Color1 : setColors_.Color2);
            }
        p.drawImage(at, QImage(checker.Data(), checker.Width(), checker.Height(), checker.Stride(), QImage::Format_BGR888));
    } else {
        p.fillRect(QRect(at, area.size()), BackgroundColor());
    }
    p.drawImage(at, page, area);
}

void TfrmView::PaintLastSet() {
    const QSize size = LayOut();
    QImage picture(qMax(size.width(), kClient), qMax(size.height(), kClient), QImage::Format_RGB32);
    const SetBackground background = Background();
    picture.fill(background == SetBackground::Transparency ? QColor(240, 240, 240) : BackgroundColor());
    // The mark stands out from the background: light on a dark one, dark on a light one.
    const QColor ground = background == SetBackground::Transparency ? QColor(240, 240, 240) : BackgroundColor();
    const QColor mark = ground.lightness() < 128 ? QColor(255, 200, 0) : QColor(0, 90, 200);
    QPainter p(&picture);
    for (std::size_t i = 0; i < setPages_.size(); ++i) {
        const QImage& page = setPages_[i];
        PaintPagePart(p, i, page.rect());
        if (int(i) == setCurrent_) {
            const QPoint at = PageOrigin(i);
            p.fillRect(at.x(), at.y() + page.height() + 1, page.width(), kMark, mark);
        }
    }
    p.end();
    picture_ = picture;
    const bool grew = picture_.width() > width() || picture_.height() > height();
    setFixedSize(picture_.size());
    // A window grown past the screen's edge moves back wholly onto it.
    if (grew && isVisible()) move(KeepWhollyOnScreen(frameGeometry(), screen()));
    update();
}

void TfrmView::mousePressEvent(QMouseEvent* event) {
    const int page = event->button() == Qt::LeftButton ? PageAtPoint(event->position().toPoint()) : -1;
    if (page >= 0 && source_ && page < source_->PageCount()) source_->SelectPage(page);
    TToolWindow::mousePressEvent(event);
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
        action->setChecked(kind == Background());
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, kind = kind] { SetBackgroundKind(kind); });
    }
    // The user's own colour, chosen through the prompt of the window shown (none without one).
    QAction* custom = menu.addAction("背景の色を指定...");
    custom->setObjectName("mvPreviewColor");
    custom->setCheckable(true);
    custom->setChecked(Background() == SetBackground::Custom);
    custom->setEnabled(source_ != nullptr);
    group->addAction(custom);
    connect(custom, &QAction::triggered, this, [this] { ChooseCustomColor(); });
    menu.exec(event->globalPos());
}

bool TfrmView::ChooseCustomColor() {
    if (!source_) return false;
    const std::optional<QColor> chosen = source_->Frame().GetPrompt().ChooseColor(this, CustomColor());
    if (!chosen) {
        if (!setPages_.empty()) PaintLastSet();
        return false;
    }
    SetBackgroundKind(SetBackground::Custom, *chosen);
    return true;
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
