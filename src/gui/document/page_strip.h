#pragma once
// The strip above the canvas of an icon set: every page scaled down to the strip's height (a page
// not taller or wider than that at its real size) over the transparency colours, its size and
// kind under it, the current page framed. Clicking a page makes it current; dragging it to
// another place among the cells moves it there.

#include <QImage>
#include <QWidget>
#include <filesystem>
#include <vector>

#include "core/formats/page_view_settings.h"

namespace pq::gui {

class TImageForm;

// How every window shows its pages, shared by all: the frame reads it at start and names the
// file a change is written to (empty: changes are not kept, as in tests over a stand-in frame).
struct PageView {
    pq::PageViewSettings Settings;
    std::filesystem::path File;
};
PageView& SharedPageView();
// Writes SharedPageView() to its file (when it has one).
void SavePageView();

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
    // Repaints what shows `pixels` (page coordinates) of page i: those pixels at 1:1, the whole
    // picture when it is scaled (averaging spreads a change).
    void UpdatePagePart(int i, const QRect& pixels);
    // The place a page dropped at x would take among the pages once taken out of `from`.
    int DropPlace(int from, int x) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int LabelHeight() const;
    int PictureHeight() const;
    // Page i's picture at the size its cell shows, rebuilt only when the page's picture changed.
    const QImage& Thumbnail(int i) const;
    TImageForm* form_;
    int pressPage_ = -1;
    QPoint pressAt_;
    bool dragging_ = false;
    int dropX_ = -1;   // where the dragged page would go, in widget x; -1 while not dragging
    struct Cached {
        qint64 Key = 0;
        QImage Picture;
    };
    mutable std::vector<Cached> thumbs_;
};

// A page of w x h shown at most `side` pixels high and wide, its proportions kept, never enlarged.
QSize StripPictureSize(int w, int h, int side);

}  // namespace pq::gui
