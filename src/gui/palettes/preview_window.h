#pragma once
// The preview window "ビュー": the composite of the most recently recomposed document at its real
// size, centred in a 50 x 50 client area, transparent pixels in the desktop colour. An icon set
// shows every page at its real size in rows that fit the screen, the current one underlined,
// over the background chosen in the window's context menu (the transparency colours, light,
// dark or a colour of the user's choice, kept with the page view settings); a click on a page
// makes it the set's current page.

#include <QColor>
#include <QImage>
#include <QPointer>
#include <filesystem>
#include <vector>

#include "core/document/render.h"
#include "gui/palettes/tool_window.h"

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
    static QColor DesktopColor();

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void PaintLastSet();
    // Lays the last set's pages out in rows: origins_ and the picture's size.
    QSize LayOut();
    // Where page i of the last set stands in the picture.
    QPoint PageOrigin(std::size_t i) const { return origins_.at(i); }
    QColor BackgroundColor() const;
    // Paints `area` (page pixels) of page i again: background, checker, page.
    void PaintPagePart(QPainter& p, std::size_t i, const QRect& area) const;
    QImage picture_;
    // The last set painted, so that a new background repaints it.
    std::vector<QImage> setPages_;
    int setCurrent_ = -1;
    pq::TransparencyColors setColors_{};
    std::vector<QPoint> origins_;
    QPointer<TImageForm> source_;
};

}  // namespace pq::gui
