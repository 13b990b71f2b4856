#include <QMdiArea>
#include <gtest/gtest.h>

#include "gui/app/main_form.h"

TEST(MainForm, OpensWithAnEmptyWorkspace) {
    pq::gui::TMainForm frame;
    frame.show();
    ASSERT_NE(frame.MdiArea(), nullptr);
    EXPECT_TRUE(frame.MdiArea()->subWindowList().isEmpty());
}
