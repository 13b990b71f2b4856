// A stroke or a move redraws only the rectangle it touched: after every such event the
// composite, the thumbnails, the page picture, the canvas on the screen, the page strip and the
// preview of a set are what the whole rebuild and repaint give.
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <random>

#include "core/document/render.h"
#include "gui/app/main_form.h"
#include "gui/document/canvas.h"
#include "gui/document/image_form.h"
#include "gui/document/page_strip.h"
#include "gui/formats/icon_chooser.h"
#include "gui/kit/tool_state.h"
#include "gui/palettes/layer_palette.h"
#include "gui/palettes/layer_panel.h"
#include "gui/palettes/preview_window.h"
#include <QLabel>
#include "support/editor_fixture.h"
#include "support/icon_set_file.h"

namespace pq::test {
namespace {

class IncrementalRedraw : public EditorTest {
protected:
    // What the widget shows on the (offscreen) screen, its visible part.
    QImage Shown(QWidget* w) const {
        const QRect visible = w->visibleRegion().boundingRect();
        const QPoint at = w->mapTo(frame_.get(), visible.topLeft());
        return QGuiApplication::primaryScreen()
            ->grabWindow(frame_->winId(), at.x(), at.y(), visible.width(), visible.height())
            .toImage();
    }
    // The screen after the event equals the screen after a whole repaint.
    void ExpectSameAfterWholeRepaint(QWidget* w, const std::string& where) {
        QApplication::processEvents();
        const QImage before = Shown(w);
        ASSERT_FALSE(before.isNull());
        w->repaint();
        ASSERT_EQ(before, Shown(w)) << where;
    }
    void ExpectWhole(gui::TImageForm* form, const std::string& where) {
        Composite whole;
        Recompose(form->Doc(), frame_->TransparencyColors(), whole);
        ASSERT_EQ(form->Comp().CompositeColor, whole.CompositeColor) << where;
        ASSERT_EQ(form->Comp().CompositeMask, whole.CompositeMask) << where;
        ASSERT_EQ(form->Comp().LayerPreviews, whole.LayerPreviews) << where;
        // The rows show what stretching every thumbnail whole gives.
        gui::TLayerPalette* rows = frame_->LayerPalette();
        ASSERT_EQ(rows->RowCount(), int(whole.LayerPreviews.size())) << where;
        for (int i = 0; i < rows->RowCount(); ++i) {
            const Raster& r = whole.LayerPreviews[std::size_t(i)];
            const QImage full = QImage(r.Data(), r.Width(), r.Height(), r.Stride(), QImage::Format_BGR888)
                                    .scaled(31, 31, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                                    .copy();
            const QImage shown = rows->Row(i)->Thumbnail();
            ASSERT_EQ(shown.format(), full.format()) << where << " row " << i;
            ASSERT_EQ(shown, full) << where << " row " << i;
            ASSERT_EQ(rows->Row(i)->PreviewImage()->pixmap().toImage().convertToFormat(full.format()), full)
                << where << " row " << i;
        }
        ExpectSameAfterWholeRepaint(form->Canvas(), where + " canvas");
        if (!form->IsSet()) return;
        QImage picture(form->Doc().ImageWidth, form->Doc().ImageHeight, QImage::Format_ARGB32);
        picture.fill(Qt::transparent);
        gui::TImageForm::WritePagePicture(whole, Rect{0, 0, picture.width(), picture.height()}, picture);
        ASSERT_EQ(form->PagePicture(form->CurrentPage()), picture) << where;
        ExpectSameAfterWholeRepaint(form->PageStrip(), where + " strip");
        gui::TfrmView* preview = frame_->Preview();
        const QImage shown = preview->Picture();
        preview->SetBackgroundKind(preview->Background());   // paints every page again
        ASSERT_EQ(shown, preview->Picture()) << where;
    }
    // Drags of the painting tools and, with a selection, of the move tool, every move checked.
    void RandomStrokes(gui::TImageForm* form, unsigned seed, bool withMoves) {
        std::mt19937 rng(seed);
        const int w = form->Doc().ImageWidth, h = form->Doc().ImageHeight;
        const int tools[] = {gui::kToolBrush, gui::kToolEraser, gui::kToolAir, gui::kToolCloneBrush, gui::kToolMove};
        for (int s = 0; s < 12; ++s) {
            const int tool = tools[rng() % (withMoves ? 5 : 4)];
            ChooseTool(tool);
            if (tool == gui::kToolCloneBrush) {
                // A right click sets the source; the press below then sets the anchor.
                ClickCell(int(rng() % unsigned(w)), int(rng() % unsigned(h)), Qt::RightButton);
            }
            ChooseSize(int(rng() % 6) + 1);
            Press(Cell(int(rng() % unsigned(w)), int(rng() % unsigned(h))));
            for (int m = 0; m < 5; ++m) {
                MoveTo(Cell(int(rng() % unsigned(w + 2)) - 1, int(rng() % unsigned(h + 2)) - 1));
                ExpectWhole(form, "stroke " + std::to_string(s) + " move " + std::to_string(m));
                if (HasFatalFailure()) return;
            }
            Release(Cell(0, 0));
        }
    }
};

gui::TImageForm* LayeredDocument(gui::TMainForm& frame, int w, int h) {
    return frame.OpenBuiltDocument("layers", [w, h](Document& d, int) {
        InitBlankDocument(d, w, h, 256, 8);
        std::mt19937 rng(5);
        for (int i = 0; i < 256; ++i) d.Palette[std::size_t(i)] = MakeEntry(Rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
        for (int l = 1; l < 4; ++l) d.AppendLayer();
        for (int l = 0; l < 4; ++l)
            for (std::size_t p = 0; p < d.LayerAt(l).Mask.size(); ++p)
                if (rng() % 3 == 0) {
                    d.LayerAt(l).Mask[p] = 1;
                    d.LayerAt(l).Indices[p] = uint8_t(rng());
                }
        d.LayerAt(2).Visible = 0;
        d.SetCurrentLayer(1);
        d.Zoom = 8;
    });
}

TEST_F(IncrementalRedraw, StrokesOnLayersWithAndWithoutAFloatingSelection) {
    gui::TImageForm* form = LayeredDocument(*frame_, 37, 23);
    ASSERT_NE(form, nullptr);
    RandomStrokes(form, 1, false);
    if (HasFatalFailure()) return;
    // A selection partly over the edge, floating: strokes write into it, moves carry it.
    ChooseTool(gui::kToolSelect);
    Drag({QPoint(30, 4), QPoint(40, 20)});
    ASSERT_TRUE(form->Doc().HasSelection);
    RandomStrokes(form, 2, true);
}

TEST_F(IncrementalRedraw, ThumbnailsOfEveryStretchAndARowKeepsItsOwnPicture) {
    // Shrunk in both directions, stretched in one, and of the thumbnail's own size.
    for (const QSize size : {QSize(53, 41), QSize(45, 19), QSize(31, 31)}) {
        gui::TImageForm* form = LayeredDocument(*frame_, size.width(), size.height());
        ASSERT_NE(form, nullptr);
        const QImage held = frame_->LayerPalette()->Row(1)->Thumbnail();
        const QImage heldCopy = held.copy();
        RandomStrokes(form, 7, false);
        if (HasFatalFailure()) return;
        // A picture taken from a row before the strokes is not changed by them.
        EXPECT_EQ(held, heldCopy) << size.width() << "x" << size.height();
    }
}

TEST_F(IncrementalRedraw, StrokesOnAPageOfASetKeepTheStripAndThePreviewOfAllPages) {
    WriteBytes(folder_ / "five.ico", FiveImageIcon());
    prompt_.ExpectDialog("TForm7", [](QDialog& d) {
        static_cast<gui::TForm7&>(d).Button3()->click();
        return d.result() == QDialog::Accepted;
    });
    gui::TImageForm* form = frame_->OpenFile(QString::fromStdString((folder_ / "five.ico").string()));
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->PageCount(), 5);
    form->SelectPage(3);   // 48 x 48 between a small page and the 256 x 256 one
    ChooseZoom(4);
    RandomStrokes(form, 3, false);
    if (HasFatalFailure()) return;
    // With a selection lifted by the move tool, on the last page.
    form->SelectPage(4);
    ChooseZoom(2);
    RandomStrokes(form, 4, true);
}

}  // namespace
}  // namespace pq::test
