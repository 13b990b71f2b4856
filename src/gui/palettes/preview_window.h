#pragma once
// The preview window "ビュー": the composite of the most recently recomposed document at its real
// size, centred in a 50 x 50 client area, transparent pixels in the desktop colour. An icon set
// shows every page at its real size in rows that fit the screen, the current one underlined,
// over the background chosen in the window's context menu (the transparency colours, light,
// dark or a colour of the user's choice, kept with the page view settings); a click on a page
// makes it the set's current page. An animation plays there too: every size side by side, each
// at the current step's frame, each step shown for its own time; stopping it shows the last
// still picture again.

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QTimer>
#include <filesystem>
#include <vector>

#include "core/document/render.h"
#include "gui/palettes/tool_window.h"

class QMenu;

namespace pq::gui {

class TImageForm;

class TfrmView : public TToolWindow {
    Q_OBJECT
public:
    TfrmView(QWidget* frame, const std::filesystem::path& settingsFolder);

    // Paints the composite of a W x H document (called at the end of every recompose).
    void PaintFrom(const pq::Composite& comp, int width, int height);
    // The pages of a set (ARGB, alpha 255 where painted) with the current one marked. When only
    // the current page's pixels changed since the last call, only their part is painted again.
    void PaintSet(const std::vector<QImage>& pages, int current, const pq::TransparencyColors& colors);
    // The window whose set PaintSet shows: a click on a page makes it that window's current page.
    void SetSetSource(TImageForm* form);
    enum class SetBackground { Transparency, Light, Dark, Custom };
    SetBackground Background() const;
    // Custom takes `color` (the colour kept for it when invalid).
    void SetBackgroundKind(SetBackground background, QColor color = QColor());
    QColor CustomColor() const;
    // Rows of the set are at most this wide (half the screen's width, never below 300 pixels).
    int RowWidthLimit() const;
    // The page whose picture holds the point, -1 elsewhere.
    int PageAtPoint(QPoint point) const;
    // 背景の色を指定...: the colour chooser, then the custom background (false when cancelled).
    bool ChooseCustomColor();
    // No document open: the picture becomes plain desktop colour.
    void Blank();
    const QImage& Picture() const { return picture_; }

    // Plays an animation: framesBySize[size][frame] (ARGB, alpha 255 where painted; a size a
    // frame lacks is a null QImage), the frame of each step and each step's time. Called while
    // playing it takes the new pictures and keeps the current step and its running timer.
    // Steps naming no frame, or lists of different lengths, leave nothing to play (and stop a
    // running animation).
    void PlayAnimation(std::vector<std::vector<QImage>> framesBySize, std::vector<int> steps,
                       std::vector<int> stepMilliseconds);
    // The animation of the document shown, kept for 再生 while stopped (taken at once while
    // playing, as PlayAnimation does).
    void OfferAnimation(std::vector<std::vector<QImage>> framesBySize, std::vector<int> steps,
                        std::vector<int> stepMilliseconds);
    // The document shown has no animation: playing stops and 再生 is greyed.
    void ForgetAnimation();
    // Back to the last still picture (PaintFrom / PaintSet); the animation stays for 再生.
    void StopAnimation();
    bool IsPlaying() const { return playing_; }
    bool HasAnimation() const { return !animSteps_.empty(); }
    // The step shown while playing, -1 otherwise.
    int CurrentStep() const { return playing_ ? animStep_ : -1; }
    // The next step now (the step timer's work, without waiting for it).
    void AdvanceStep();
    // The time the step timer waits before the next step; 0 when it is not running.
    int StepTimerInterval() const { return stepTimer_.isActive() ? stepTimer_.interval() : 0; }
    // The context menu's entries: the backgrounds, 背景の色を指定..., 再生 and 停止.
    void FillContextMenu(QMenu& menu);
    // Steps shorter than this wait this long, so that a zero time never spins.
    static constexpr int kMinStepMilliseconds = 10;
    static QColor DesktopColor();

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void PaintStill(const pq::Composite& comp, int width, int height);
    void PaintStillSet(const std::vector<QImage>& pages, int current, const pq::TransparencyColors& colors);
    void PaintLastSet();
    // Lays the last set's pages out in rows: origins_ and the picture's size.
    QSize LayOut();
    // Runs `paint` on the still picture: while an animation plays that picture is kept aside and
    // the current step is painted again afterwards (a new background shows at once).
    template <class Paint> void OnStill(Paint paint);
    // Paints the current step of the animation into picture_ and sizes the window to it.
    void PaintStep();
    void StartStepTimer();
    // Where page i of the last set stands in the picture.
    QPoint PageOrigin(std::size_t i) const { return origins_.at(i); }
    QColor BackgroundColor() const;
    // Paints `area` (page pixels) of page i again: background, checker, page.
    void PaintPagePart(QPainter& p, std::size_t i, const QRect& area) const;
    // The ground under `area` of a picture placed at `origin`: the checker from the picture's
    // own top-left corner, or the plain background.
    void PaintGround(QPainter& p, QPoint origin, const QRect& area) const;
    // The window's size for a picture: at least the 50 x 50 client area.
    void FitTo(const QImage& picture);
    QImage picture_;
    // The last set painted, so that a new background repaints it.
    std::vector<QImage> setPages_;
    int setCurrent_ = -1;
    pq::TransparencyColors setColors_{};
    std::vector<QPoint> origins_;
    QPointer<TImageForm> source_;
    // The animation: pictures by size and frame, the sizes' places, the steps and their times.
    std::vector<std::vector<QImage>> animFrames_;
    std::vector<QSize> animSizes_;
    std::vector<QPoint> animOrigins_;
    QSize animPicture_;
    std::vector<int> animSteps_, animMilliseconds_;
    int animStep_ = 0;
    bool playing_ = false;
    QImage still_;   // the still picture while an animation is shown
    bool stillAside_ = false;   // the still picture is being painted while the animation shows
    QTimer stepTimer_;
};

}  // namespace pq::gui
