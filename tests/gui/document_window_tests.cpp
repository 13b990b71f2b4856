// A document window built over a stand-in frame: it reaches the frame only through the frame's
// small interface, and its one edit path asks for exactly the refreshes a command's result names,
// runs the selection outline exactly while a selection exists, and fits the canvas to a new
// size, also when undo brings the old size back.
#include <QScrollArea>
#include <cstdlib>
#include <gtest/gtest.h>

#include "core/document/edit_result.h"
#include "core/document/selection.h"
#include "core/ops/transforms.h"
#include "gui/document/canvas.h"
#include "gui/document/image_form.h"
#include "support/stand_in_frame.h"

using namespace pq::gui;
using pq::test::StandInFrame;

namespace {

TEST(DocumentWindow, AnEditResultAsksTheFrameForWhatItNames) {
    StandInFrame frame;
    auto form = frame.NewWindow();
    for (int flags = 0; flags < 64; ++flags) {
        pq::EditResult r;
        r.RebuildLayers = flags & 1;
        r.Redraw = flags & 2;
        r.RefreshRows = flags & 4;
        r.RefreshColors = flags & 8;
        r.Record = flags & 16;
        r.Step = "step" + std::to_string(flags);
        const bool selection = flags & 32;
        if (selection) pq::SelectAll(form->Doc());
        else pq::Deselect(form->Doc());
        const int position = form->Doc().HistoryPosition;
        frame.ResetCounts();
        form->ApplyEdit(r);
        EXPECT_EQ(frame.Asked.LayerRebuilds, r.RebuildLayers ? 1 : 0) << flags;
        EXPECT_EQ(frame.Asked.LayerRows, r.RefreshRows ? 1 : 0) << flags;
        EXPECT_EQ(frame.Asked.ColorPalette, r.RefreshColors ? 1 : 0) << flags;
        // Rebuilt rows, a redraw and refreshed rows all need the thumbnails of a fresh composite.
        EXPECT_EQ(frame.Asked.Composites > 0, r.RebuildLayers || r.Redraw || r.RefreshRows) << flags;
        EXPECT_EQ(frame.Asked.Buttons, 1) << flags;
        EXPECT_EQ(form->Doc().HistoryPosition, position + (r.Record ? 1 : 0)) << flags;
        EXPECT_EQ(form->OutlineTimerActive(), selection) << flags;
    }
}

TEST(DocumentWindow, ANewCanvasSizeIsFittedAndCentredAlsoWhenUndone) {
    StandInFrame frame;
    auto form = frame.NewWindow(10);
    form->resize(500, 400);
    form->show();
    auto fitted = [&form](int width, int height) {
        const TCanvas* canvas = form->Canvas();
        const QWidget* page = canvas->parentWidget();
        EXPECT_EQ(canvas->size(), QSize(width * 10, height * 10));
        EXPECT_LE(std::abs(canvas->geometry().center().x() - page->rect().center().x()), 1);
        EXPECT_LE(std::abs(canvas->geometry().center().y() - page->rect().center().y()), 1);
    };
    fitted(16, 16);
    form->ApplyEdit(pq::ResizeCanvas(form->Doc(), 24, 20, false));
    fitted(24, 20);
    EXPECT_EQ(form->Comp().CompositeColor.Width(), 24);
    form->meUndoClick();
    EXPECT_EQ(form->Doc().ImageWidth, 16);
    fitted(16, 16);
    form->meRedoClick();
    fitted(24, 20);
}

}  // namespace
