#pragma once
// The zoomed canvas of a document window and the scroll-area page that centres it. The canvas
// paints only its exposed rectangle (asked of the core's on-demand zoomed view) and draws the
// overlays (rubber band, brush outline, selection outline) over it; they live in the window's
// state, never in the picture, so removing them is just a repaint.

#include <QWidget>

namespace pq::gui {

class TImageForm;

class TCanvas : public QWidget {
    Q_OBJECT
public:
    explicit TCanvas(TImageForm* form, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // The pointer may leave the canvas straight out of the window (or onto a popup), passing
    // over no other part of the page: the brush outline and the coordinate go with it.
    void leaveEvent(QEvent* event) override;

private:
    TImageForm* form_;
};

// The widget inside the scroll area: at least as large as the viewport, with the canvas placed
// by CentreCanvas. Pointer moves over it (outside the canvas) empty the coordinate text.
class TCanvasPage : public QWidget {
    Q_OBJECT
public:
    explicit TCanvasPage(TImageForm* form, QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    TImageForm* form_;
};

}  // namespace pq::gui
