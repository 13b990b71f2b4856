// The document window's canvas: centring, the grid per window, the selection outline timer,
// the pointer texts, and text drawing through the Japanese font substitution.
#include <QAction>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QScrollArea>
#include <QTest>

#include "gui/app/main_form.h"
#include "gui/document/canvas.h"
#include "gui/document/image_form.h"
#include "gui/document/text_dialog.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

class Canvas : public EditorTest {};

TEST_F(Canvas, WindowFitsTheCanvasAndResizingCentresIt) {
    TImageForm* f = NewDocument(0, 0);  // 16 x 16 at 10x
    QApplication::processEvents();
    EXPECT_EQ(f->ScrollArea()->viewport()->size(), QSize(160, 160));
    EXPECT_EQ(f->Canvas()->pos(), QPoint(0, 0));
    f->parentWidget()->resize(f->parentWidget()->size() + QSize(101, 40));
    QApplication::processEvents();
    const QSize page = f->Canvas()->parentWidget()->size();
    EXPECT_EQ(f->Canvas()->x(), page.width() / 2 - 80);
    EXPECT_EQ(f->Canvas()->y(), page.height() / 2 - 80);
    // A canvas larger than the window starts at the top-left and scrolls.
    f->SetZoom(20);
    EXPECT_EQ(f->Canvas()->pos(), QPoint(0, 0));
}

TEST_F(Canvas, GridBelongsToEachWindow) {
    TImageForm* a = NewDocument();
    TImageForm* b = NewDocument();
    const pq::Rgb grey{100, 100, 100};
    EXPECT_EQ(a->ViewPixel(9, 9), grey);
    EXPECT_EQ(b->ViewPixel(9, 9), grey);
    a->findChild<QAction*>("mvGrid")->trigger();
    EXPECT_FALSE(a->GridVisible());
    EXPECT_EQ(a->ViewPixel(9, 9), (pq::Rgb{255, 255, 255}));
    EXPECT_EQ(b->ViewPixel(9, 9), grey);
    a->findChild<QAction*>("mvGrid")->trigger();
    EXPECT_EQ(a->ViewPixel(9, 9), grey);
    // No grid at 2x.
    b->SetZoom(2);
    EXPECT_NE(b->ViewPixel(1, 1), grey);
}

TEST_F(Canvas, SelectionOutlineMarchesWhileShownAndStopsWithoutASelection) {
    TImageForm* f = NewDocument();
    pq::Document& d = f->Doc();
    d.HasSelection = true;
    d.SelLeft = 1, d.SelTop = 1, d.SelRight = 4, d.SelBottom = 4;
    d.FloatIndices.assign(256, 0);
    d.FloatMask.assign(256, 0);
    f->Redraw();
    f->StartOutlineTimer();
    frame_->OutlineFrameCounter() = 0;
    f->Timer1Timer();
    EXPECT_EQ(frame_->OutlineFrameCounter(), 1);
    QImage shot = f->Canvas()->grab().toImage();
    // Frame 0: (x + y) mod 8 < 4 is black, on the rectangle's inner border.
    EXPECT_EQ(QColor(shot.pixel(14, 10)), QColor(Qt::black));
    EXPECT_EQ(QColor(shot.pixel(10, 10)), QColor(Qt::white));
    EXPECT_EQ(QColor(shot.pixel(39, 17)), QColor(Qt::black));  // right edge, (39 + 17) mod 8 = 0
    // With the outline switched off the timer leaves the counter alone.
    frame_->ActionNamed("tbSelectVisible")->setChecked(false);
    f->Timer1Timer();
    EXPECT_EQ(frame_->OutlineFrameCounter(), 1);
    EXPECT_TRUE(f->OutlineTimerActive());
    frame_->ActionNamed("tbSelectVisible")->setChecked(true);
    d.HasSelection = false;
    f->Timer1Timer();
    EXPECT_FALSE(f->OutlineTimerActive());
}

TEST_F(Canvas, PointerTexts) {
    TImageForm* f = NewDocument();
    MoveTo(QPoint(35, 127));
    EXPECT_EQ(frame_->StatusText(), "（3,12）");
    f->parentWidget()->resize(f->parentWidget()->size() + QSize(100, 100));
    QApplication::processEvents();
    QWidget* page = f->Canvas()->parentWidget();
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), page->mapToGlobal(QPointF(2, 2)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(page, &move);
    EXPECT_EQ(frame_->StatusText(), "");
}

TEST_F(Canvas, DefaultTextFontResolvesToAJapaneseFaceAndDrawsPureBlack) {
    const QFont font = ToQFont(pq::FontSpec{});
    const QString family = QFontInfo(font).family();
    EXPECT_TRUE(QFontDatabase::families(QFontDatabase::Japanese).contains(family)) << family.toStdString();
    pq::Raster r(40, 20);
    r.Fill(pq::Rgb{50, 60, 70});
    QtTextDrawer drawer;
    drawer.DrawText(r, 2, 3, "あ", pq::FontSpec{});
    int black = 0, white = 0;
    for (int y = 0; y < r.Height(); ++y)
        for (int x = 0; x < r.Width(); ++x) {
            const pq::Rgb c = r.Pixel(x, y);
            if (c == pq::kBlack) ++black;
            else if (c == pq::kWhite) ++white;
            else EXPECT_EQ(c, (pq::Rgb{50, 60, 70})) << x << "," << y;
        }
    EXPECT_GT(black, 10);
    EXPECT_GT(white, 10);
    EXPECT_EQ(r.Pixel(1, 3), (pq::Rgb{50, 60, 70}));  // left of the box
    EXPECT_EQ(r.Pixel(2, 3), pq::kWhite);            // the box's corner
}

TEST_F(Canvas, MaximisedAtExitOpensMaximised) {
    frame_->showMaximized();
    EndFrame();
    StartFrame();
    EXPECT_EQ(frame_->Settings().WindowState, 2);
}

}  // namespace
