// A document window built over a stand-in frame: it reaches the frame only through the frame's
// small interface, and its one edit path asks for exactly the refreshes a command's result names.
#include <gtest/gtest.h>

#include "core/document/edit_result.h"
#include "gui/document/image_form.h"
#include "support/stand_in_frame.h"

using namespace pq::gui;
using pq::test::StandInFrame;

namespace {

TEST(DocumentWindow, AnEditResultAsksTheFrameForWhatItNames) {
    StandInFrame frame;
    auto form = frame.NewWindow();
    for (int flags = 0; flags < 32; ++flags) {
        pq::EditResult r;
        r.RebuildLayers = flags & 1;
        r.Redraw = flags & 2;
        r.RefreshRows = flags & 4;
        r.RefreshColors = flags & 8;
        r.Record = flags & 16;
        r.Step = "step" + std::to_string(flags);
        const int position = form->Doc().HistoryPosition;
        frame.ResetCounts();
        form->ApplyEdit(r);
        EXPECT_EQ(frame.Asked.LayerRebuilds, r.RebuildLayers ? 1 : 0) << flags;
        EXPECT_EQ(frame.Asked.LayerRows, r.RefreshRows ? 1 : 0) << flags;
        EXPECT_EQ(frame.Asked.ColorPalette, r.RefreshColors ? 1 : 0) << flags;
        EXPECT_EQ(frame.Asked.Buttons, 1) << flags;
        EXPECT_EQ(form->Doc().HistoryPosition, position + (r.Record ? 1 : 0)) << flags;
    }
}

}  // namespace
