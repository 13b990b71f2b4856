// The Palette menu's adjustments and the angle and size dialogs on truecolour documents: the
// adjustments run (the 16/256 switch stays greyed), their preview shows the truecolour result,
// and "なめらか" is offered, remembered and used only there.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "core/ops/palette_adjust.h"
#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/kit/command_table.h"
#include "gui/ops/adjust_dialogs.h"
#include "gui/ops/picture_view.h"
#include "gui/ops/transform_dialogs.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

constexpr int kFullColorItem = 2;

class TrueColorOps : public EditorTest {
protected:
    QAction* Entry(const char* name) const {
        QAction* a = Active()->MenuAction(name);
        if (a) UpdateCommandEntry(a);
        return a;
    }
};

TEST_F(TrueColorOps, AdjustmentsRecolourPixelsAndThePreviewShowsTheResult) {
    TImageForm* f = NewDocument(0, kFullColorItem);
    f->Doc().Current().Pixels[3] = pq::Rgba8{200, 100, 0, 128};
    f->CommitEdit("テスト");
    EXPECT_FALSE(Entry("mcColorCount")->isEnabled());
    ASSERT_TRUE(Entry("mcReverse")->isEnabled());
    Entry("mcReverse")->trigger();
    EXPECT_EQ(f->Doc().Current().Pixels[3], (pq::Rgba8{55, 155, 255, 128}));
    EXPECT_EQ(f->Doc().Current().Pixels[4], pq::Rgba8{});
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 反転");

    // The dialog's preview at +50 is what the canvas shows once OK has added 50.
    pq::Document expected = f->Doc();
    pq::AdjustBrightness(expected, 50);
    prompt_.ExpectDialog("TfrmBlight", [&](QDialog& d) {
        auto& b = static_cast<TfrmBlight&>(d);
        b.ScrollBar1()->setValue(50);
        const pq::Raster backdrop = PreviewBackdrop(16, 16, frame_->TransparencyColors());
        EXPECT_EQ(b.Preview(), pq::AdjustmentPreviewSource(expected, backdrop));
        const pq::Rgb shown = b.Preview().Pixel(3, 0), under = b.Source().Pixel(0, 0);
        EXPECT_NEAR(shown.r, (105 * 128 + under.r * 127) / 255.0, 1.0);   // shifted before the blend
        EXPECT_EQ(b.Preview().Pixel(0, 0), under) << "the checkerboard is not shifted";
        d.findChild<QPushButton*>("Button1")->click();
        return true;
    });
    Entry("mcBlight")->trigger();
    EXPECT_EQ(f->Doc().Current().Pixels[3], (pq::Rgba8{105, 205, 255, 128}));
    EXPECT_EQ(f->Doc().Layers(), expected.Layers());
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 明るさ調整");
}

TEST_F(TrueColorOps, SmoothIsOfferedInTrueColourOnlyAndRememberedAfterOk) {
    TImageForm* f = NewDocument(0, kFullColorItem);
    for (auto& p : f->Doc().Current().Pixels) p = pq::Rgba8{0, 0, 255, 255};
    f->CommitEdit("テスト");
    bool offered = false, startedChecked = true;
    prompt_.ExpectDialog("TfrmRotate", [&](QDialog& d) {
        auto& r = static_cast<TfrmRotate&>(d);
        offered = !r.cbSmooth()->isHidden() && r.cbSmooth()->isEnabled();
        startedChecked = r.cbSmooth()->isChecked();
        r.cbSmooth()->setChecked(true);
        r.Edit1()->setText("30");
        d.findChild<QPushButton*>("Button1")->click();
        return true;
    });
    Entry("mirRotation")->trigger();
    EXPECT_TRUE(offered);
    EXPECT_FALSE(startedChecked);
    int soft = 0;
    for (const pq::Rgba8 p : f->Doc().Current().Pixels) soft += p.a > 0 && p.a < 255;
    EXPECT_GT(soft, 0) << "smooth edges";
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 回転");

    // The next angle dialog starts checked; the size dialog has its own choice, usable only while
    // the picture is scaled.
    prompt_.ExpectDialog("TfrmRotate", [&](QDialog& d) {
        EXPECT_TRUE(static_cast<TfrmRotate&>(d).cbSmooth()->isChecked());
        static_cast<TfrmRotate&>(d).cbSmooth()->setChecked(false);
        d.findChild<QPushButton*>("Button1")->click();
        return true;
    });
    Entry("mirRotation")->trigger();
    TfrmResize resize(f, true);
    EXPECT_FALSE(resize.cbSmooth()->isEnabled());
    resize.cbResize()->setChecked(true);
    EXPECT_TRUE(resize.cbSmooth()->isEnabled());

    // A palette document's dialogs hide it and never report it.
    TfrmRotate palette(f, false);
    palette.cbSmooth()->setChecked(true);
    EXPECT_TRUE(palette.cbSmooth()->isHidden());
    EXPECT_FALSE(palette.Smooth());
}

}  // namespace
