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
    stepTimer_.setSingleShot(true);
    connect(&stepTimer_, &QTimer::timeout, this, &TfrmView::AdvanceStep);
    move(660, 340);
    ReadPosition();
}

QColor TfrmView::DesktopColor() { return QColor(58, 110, 165); }

template <class Paint> void TfrmView::OnStill(Paint paint) {
    if (!playing_) {
        paint();
        return;
    }
    // The window keeps the animation's size while the still picture is painted aside.
    std::swap(picture_, still_);
    stillAside_ = true;
    paint();
    stillAside_ = false;
    still_ = picture_;
    PaintStep();
}

void TfrmView::PaintFrom(const pq::Composite& comp, int width, int height) {
    OnStill([&] { PaintStill(comp, width, height); });
}

void TfrmView::PaintStill(const pq::Composite& comp, int width, int height) {
    setPages_.clear();
    setCurrent_ = -1;
    if (size() != QSize(kClient, kClient) && !stillAside_) setFixedSize(kClient, kClient);
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
    OnStill([&] { PaintStillSet(pages, current, colors); });
}

void TfrmView::PaintStillSet(const std::vector<QImage>& pages, int current, const pq::TransparencyColors& colors) {
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
    OnStill([this] {
        if (!setPages_.empty()) PaintLastSet();
    });
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

namespace {

// Pictures of these sizes left to right, a new row when the next one would pass `limit`; each
// row's pictures stand on a common base line above the room for the current page's mark.
// Returns the whole picture's size.
QSize LayOutRows(const std::vector<QSize>& sizes, int limit, std::vector<QPoint>& origins) {
    origins.assign(sizes.size(), QPoint());
    int width = 0, top = kGap;
    std::size_t first = 0;
    while (first < sizes.size()) {
        std::size_t last = first;
        int x = kGap + sizes[first].width() + kGap, rowHeight = sizes[first].height();
        while (last + 1 < sizes.size() && x + sizes[last + 1].width() + kGap <= limit) {
            ++last;
            x += sizes[last].width() + kGap;
            rowHeight = qMax(rowHeight, sizes[last].height());
        }
        int left = kGap;
        for (std::size_t i = first; i <= last; ++i) {
            origins[i] = QPoint(left, top + rowHeight - sizes[i].height());
            left += sizes[i].width() + kGap;
        }
        width = qMax(width, x);
        top += rowHeight + kGap + kMark + 1;
        first = last + 1;
    }
    return QSize(width, top + kGap);
}

}  // namespace

QSize TfrmView::LayOut() {
    std::vector<QSize> sizes;
    for (const QImage& page : setPages_) sizes.push_back(page.size());
    return LayOutRows(sizes, RowWidthLimit(), origins_);
}

void TfrmView::SetSetSource(TImageForm* form) { source_ = form; }

int TfrmView::PageAtPoint(QPoint point) const {
    for (std::size_t i = 0; i < setPages_.size() && i < origins_.size(); ++i)
        if (QRect(origins_[i], setPages_[i].size()).contains(point)) return int(i);
    return -1;
}

void TfrmView::PaintGround(QPainter& p, QPoint origin, const QRect& area) const {
    const QPoint at = origin + area.topLeft();
    if (Background() == SetBackground::Transparency) {
        // The 4-pixel checker from the picture's own top-left corner.
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
}

void TfrmView::PaintPagePart(QPainter& p, std::size_t i, const QRect& area) const {
    PaintGround(p, PageOrigin(i), area);
    p.drawImage(PageOrigin(i) + area.topLeft(), setPages_[i], area);
}

void TfrmView::FitTo(const QImage& picture) {
    if (stillAside_) return;
    const bool grew = picture.width() > width() || picture.height() > height();
    setFixedSize(picture.size());
    // A window grown past the screen's edge moves back wholly onto it.
    if (grew && isVisible()) move(KeepWhollyOnScreen(frameGeometry(), screen()));
    update();
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
    FitTo(picture_);
}

void TfrmView::PlayAnimation(std::vector<std::vector<QImage>> framesBySize, std::vector<int> steps,
                             std::vector<int> stepMilliseconds) {
    // Sizes no frame holds take no place.
    std::erase_if(framesBySize, [](const std::vector<QImage>& frames) {
        return std::all_of(frames.begin(), frames.end(), [](const QImage& f) { return f.isNull(); });
    });
    std::size_t frameCount = 0;
    for (const auto& frames : framesBySize) frameCount = std::max(frameCount, frames.size());
    const bool playable = !framesBySize.empty() && !steps.empty() && steps.size() == stepMilliseconds.size() &&
                          std::all_of(steps.begin(), steps.end(), [&](int f) { return f >= 0 && std::size_t(f) < frameCount; });
    if (!playable) {
        StopAnimation();
        animFrames_.clear();
        animSteps_.clear();
        animMilliseconds_.clear();
        return;
    }
    animFrames_ = std::move(framesBySize);
    animSteps_ = std::move(steps);
    animMilliseconds_ = std::move(stepMilliseconds);
    // Each size's place is as large as its largest frame; the frames stand on its base line.
    animSizes_.assign(animFrames_.size(), QSize());
    for (std::size_t i = 0; i < animFrames_.size(); ++i)
        for (const QImage& f : animFrames_[i]) animSizes_[i] = animSizes_[i].expandedTo(f.size());
    animPicture_ = LayOutRows(animSizes_, RowWidthLimit(), animOrigins_);
    // New pictures for a running animation (after every edit, say) leave the step's timer
    // running: restarting it each time would hold the step while the user draws.
    const bool keepTimer = playing_ && stepTimer_.isActive() && std::size_t(animStep_) < animSteps_.size();
    if (!playing_) {
        still_ = picture_;
        playing_ = true;
        animStep_ = 0;
    } else if (std::size_t(animStep_) >= animSteps_.size()) {
        animStep_ = 0;
    }
    PaintStep();
    if (!keepTimer || animSteps_.size() < 2) StartStepTimer();
}

void TfrmView::OfferAnimation(std::vector<std::vector<QImage>> framesBySize, std::vector<int> steps,
                              std::vector<int> stepMilliseconds) {
    if (playing_) {
        PlayAnimation(std::move(framesBySize), std::move(steps), std::move(stepMilliseconds));
        return;
    }
    animFrames_ = std::move(framesBySize);
    animSteps_ = std::move(steps);
    animMilliseconds_ = std::move(stepMilliseconds);
}

void TfrmView::ForgetAnimation() {
    StopAnimation();
    animFrames_.clear();
    animSteps_.clear();
    animMilliseconds_.clear();
}

void TfrmView::StopAnimation() {
    stepTimer_.stop();
    if (!playing_) return;
    playing_ = false;
    picture_ = still_;
    still_ = QImage();
    FitTo(picture_);
}

void TfrmView::AdvanceStep() {
    if (!playing_) return;
    animStep_ = int((std::size_t(animStep_) + 1) % animSteps_.size());
    PaintStep();
    StartStepTimer();
}

void TfrmView::StartStepTimer() {
    // One step alone stays as it is; otherwise the timer fires once for this step's time.
    if (!playing_ || animSteps_.size() < 2) {
        stepTimer_.stop();
        return;
    }
    stepTimer_.start(std::max(animMilliseconds_[std::size_t(animStep_)], kMinStepMilliseconds));
}

void TfrmView::PaintStep() {
    const std::size_t frame = std::size_t(animSteps_[std::size_t(animStep_)]);
    QImage picture(qMax(animPicture_.width(), kClient), qMax(animPicture_.height(), kClient), QImage::Format_RGB32);
    picture.fill(Background() == SetBackground::Transparency ? QColor(240, 240, 240) : BackgroundColor());
    QPainter p(&picture);
    for (std::size_t i = 0; i < animFrames_.size(); ++i) {
        const QSize place = animSizes_[i];
        const QImage* image = frame < animFrames_[i].size() ? &animFrames_[i][frame] : nullptr;
        // A frame smaller than its size's place stands on the place's base line.
        const QPoint at = animOrigins_[i] + QPoint(0, image ? place.height() - image->height() : 0);
        if (!image || image->isNull()) {
            PaintGround(p, animOrigins_[i], QRect(QPoint(), place));
            continue;
        }
        PaintGround(p, at, image->rect());
        p.drawImage(at, *image);
    }
    p.end();
    picture_ = picture;
    FitTo(picture_);
}

void TfrmView::mousePressEvent(QMouseEvent* event) {
    // While playing the pictures are the animation's sizes, not the set's pages.
    const int page = event->button() == Qt::LeftButton && !playing_ ? PageAtPoint(event->position().toPoint()) : -1;
    if (page >= 0 && source_ && page < source_->PageCount()) source_->SelectPage(page);
    TToolWindow::mousePressEvent(event);
}

void TfrmView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    FillContextMenu(menu);
    menu.exec(event->globalPos());
}

void TfrmView::FillContextMenu(QMenu& menu) {
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
    menu.addSeparator();
    QAction* play = menu.addAction("再生");
    play->setObjectName("mvPreviewPlay");
    play->setEnabled(HasAnimation() && !playing_);
    connect(play, &QAction::triggered, this, [this] {
        PlayAnimation(animFrames_, animSteps_, animMilliseconds_);
    });
    QAction* stop = menu.addAction("停止");
    stop->setObjectName("mvPreviewStop");
    stop->setEnabled(playing_);
    connect(stop, &QAction::triggered, this, &TfrmView::StopAnimation);
}

bool TfrmView::ChooseCustomColor() {
    if (!source_) return false;
    const std::optional<QColor> chosen = source_->Frame().GetPrompt().ChooseColor(this, CustomColor());
    if (!chosen) {
        OnStill([this] {
            if (!setPages_.empty()) PaintLastSet();
        });
        return false;
    }
    SetBackgroundKind(SetBackground::Custom, *chosen);
    return true;
}

void TfrmView::Blank() {
    // No document is left to animate.
    StopAnimation();
    animFrames_.clear();
    animSteps_.clear();
    animMilliseconds_.clear();
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
