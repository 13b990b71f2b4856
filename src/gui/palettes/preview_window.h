#pragma once
// The preview window "ビュー": the composite of the most recently recomposed document at its real
// size, centred in a 50 x 50 client area, transparent pixels in the desktop colour. An icon set
// shows every page side by side at its real size, the current one underlined, over the
// background chosen in the window's context menu (the transparency colours, light or dark).

#include <QColor>
#include <QImage>
#include <filesystem>
#include <vector>

#include "core/document/render.h"
#include "gui/palettes/tool_window.h"

namespace pq::gui {

class TfrmView : public TToolWindow {
    Q_OBJECT
public:
    TfrmView(QWidget* frame, const std::filesystem::path& settingsFolder);

    // Paints the composite of a W x H document (called at the end of every recompose).
    void PaintFrom(const pq::Composite& comp, int width, int height);
    // The pages of a set (ARGB, alpha 255 where painted) with the current one marked. When only
    // the current page's pixels changed since the last call, only their part is painted again.
    void PaintSet(const std::vector<QImage>& pages, int current, const pq::TransparencyColors& colors);
    enum class SetBackground { Transparency, Light, Dark };
    SetBackground Background() const { return background_; }
    void SetBackgroundKind(SetBackground background);
    // No document open: the picture becomes plain desktop colour.
    void Blank();
    const QImage& Picture() const { return picture_; }
    static QColor DesktopColor();

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void PaintLastSet();
    // Where page i of the last set stands in the picture.
    QPoint PageOrigin(std::size_t i) const;
    // Paints `area` (page pixels) of page i again: background, checker, page.
    void PaintPagePart(QPainter& p, std::size_t i, const QRect& area) const;
    QImage picture_;
    SetBackground background_ = SetBackground::Transparency;
    // The last set painted, so that a new background repaints it.
    std::vector<QImage> setPages_;
    int setCurrent_ = -1;
    pq::TransparencyColors setColors_{};
};

}  // namespace pq::gui
