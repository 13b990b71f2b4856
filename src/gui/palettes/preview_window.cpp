#include "gui/palettes/preview_window.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QMenu>
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

void TfrmView::PaintSet(const std::vector<QImage>& pages, int current, const pq::TransparencyColors& colors) {
    setPages_ = pages;
    setCurrent_ = current;
    setColors_ = colors;
    PaintLastSet();
}

void TfrmView::SetBackgroundKind(SetBackground background) {
    background_ = background;
    if (!setPages_.empty()) PaintLastSet();
}

void TfrmView::PaintLastSet() {
    constexpr int kGap = 4, kMark = 2;
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
    int x = kGap;
    for (std::size_t i = 0; i < setPages_.size(); ++i) {
        const QImage& page = setPages_[i];
        const int top = kGap + (height - 2 * kGap - kMark - 1 - page.height());
        if (background_ == SetBackground::Transparency) {
            pq::Raster checker(page.width(), page.height());
            pq::PaintChecker(checker, 4, setColors_);
            p.drawImage(x, top,
                        QImage(checker.Data(), checker.Width(), checker.Height(), checker.Stride(), QImage::Format_BGR888));
        }
        p.drawImage(x, top, page);
        if (int(i) == setCurrent_)
            p.fillRect(x, top + page.height() + 1, page.width(), kMark,
                       background_ == SetBackground::Dark ? QColor(255, 200, 0) : QColor(0, 90, 200));
        x += page.width() + kGap;
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
