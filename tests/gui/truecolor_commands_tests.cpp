// Truecolour documents in the editor: the New dialog, the status text, the colour-mode
// commands, the greying of operations that need a palette, and the tools painting RGBA.
#include <QAction>
#include <QMenu>

#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/document/new_dialog.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

constexpr int kFullColorItem = 2;

class TrueColorCommands : public EditorTest {};

TEST_F(TrueColorCommands, NewDialogMakesATransparentTrueColorDocumentOfTheChosenSize) {
    TImageForm* f = NewDocument(1, kFullColorItem);
    ASSERT_NE(f, nullptr);
    const pq::Document& doc = f->Doc();
    EXPECT_TRUE(doc.TrueColor);
    EXPECT_EQ(doc.ImageWidth, 32);
    EXPECT_EQ(doc.ImageHeight, 32);
    ASSERT_EQ(doc.LayerCount(), 1);
    ASSERT_EQ(doc.Current().Pixels.size(), 32u * 32u);
    for (const pq::Rgba8& p : doc.Current().Pixels) ASSERT_EQ(p.a, 0);
    EXPECT_TRUE(doc.Current().Indices.empty());
    // The dialog keeps the choice, and the other items still give palette documents.
    EXPECT_EQ(frame_->NewDialog()->ColorItem(), kFullColorItem);
    EXPECT_FALSE(NewDocument(0, 1)->Doc().TrueColor);
    EXPECT_EQ(Active()->Doc().ColorCount, 256);
    EXPECT_FALSE(NewDocument(0, 0)->Doc().TrueColor);
    EXPECT_EQ(Active()->Doc().ColorCount, 16);
}

TEST_F(TrueColorCommands, StatusTextNamesTheColourModeOfTheActiveDocument) {
    NewDocument(2, kFullColorItem);
    EXPECT_EQ(frame_->DocumentInfoText(), "サイズ：48×48 色数：32ビット    ");
    NewDocument(0, 1);
    EXPECT_EQ(frame_->DocumentInfoText(), "サイズ：16×16 色数：256色    ");
    NewDocument(0, 0);
    EXPECT_EQ(frame_->DocumentInfoText(), "サイズ：16×16 色数：16色    ");
}

}  // namespace
