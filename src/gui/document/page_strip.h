#pragma once
// The strip above the canvas of an icon set: every page at its real size over the transparency
// colours, its size and kind under it, the current page framed. Clicking a page makes it current.

#include <QWidget>

namespace pq::gui {

class TImageForm;

class TPageStrip : public QWidget {
    Q_OBJECT
public:
    explicit TPageStrip(TImageForm* form);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return QSize(0, sizeHint().height()); }
    // The page whose cell holds the point (widget coordinates), -1 between cells.
    int PageAt(QPoint point) const;
    // The cell of page i.
    QRect CellRect(int i) const;
    // Where page i's picture is drawn in its cell: standing on the label, centred across.
    QRect PictureRect(int i) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int LabelHeight() const;
    TImageForm* form_;
};

}  // namespace pq::gui
