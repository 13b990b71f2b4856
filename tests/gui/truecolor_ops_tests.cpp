// Truecolour documents in the Palette and Image menus' dialogs: the adjustments run and preview
// the truecolour result, and "なめらか" is offered, remembered and used only there.
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

namespace {

constexpr int kFullColorItem = 2;

class TrueColorOps : public pq::test::EditorTest {
protected:
    QAction* Entry(const char* name) const {
        QAction* a = Active()->MenuAction(name);
        UpdateCommandEntry(a);
        return a;
    }
    // The next angle dialog: whether it starts checked; then checks as told and OKs the angle.
    bool RotateWith(bool smooth, const char* angle) {
        bool started = false;
        prompt_.ExpectDialog("TfrmRotate", [&](QDialog& d) {
            auto& r = static_cast<TfrmRotate&>(d);
            EXPECT_FALSE(r.cbSmooth()->isHidden());
            started = r.cbSmooth()->isChecked();
            r.cbSmooth()->setChecked(smooth);
            r.Edit1()->setText(angle);
            d.findChild<QPushButton*>("Button1")->click();
            return true;
        });
        Entry("mirRotation")->trigger();
        return started;
    }
};

TEST_F(TrueColorOps, AdjustmentsRunAndPreviewTheResultAndSmoothIsRememberedInTrueColourOnly) {
    TImageForm* f = NewDocument(0, kFullColorItem);
    for (int i = 0; i < 64; ++i) f->Doc().Current().Pixels[std::size_t(40 + i)] = pq::Rgba8{200, 100, 0, uint8_t(4 * i)};
    f->CommitEdit("テスト");
    Entry("mcReverse")->trigger();
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 反転");
    TfrmBlight blight(f, f->Doc(), frame_->TransparencyColors());
    blight.ScrollBar1()->setValue(50);
    pq::Document brighter = f->Doc();
    pq::AdjustBrightness(brighter, 50);
    EXPECT_EQ(blight.Preview(), pq::AdjustmentPreviewSource(brighter, PreviewBackdrop(16, 16, frame_->TransparencyColors())));

    EXPECT_FALSE(RotateWith(true, "30"));
    int soft = 0;
    for (const pq::Rgba8 p : f->Doc().Current().Pixels) soft += p.a > 0 && p.a < 255 && p.a % 4 != 0;
    EXPECT_GT(soft, 0) << "blended pixels";
    EXPECT_TRUE(RotateWith(false, "0"));

    // The size dialog's choice counts only while the picture is scaled; palette documents hide it.
    TfrmResize resize(f, true);
    EXPECT_FALSE(resize.cbSmooth()->isEnabled());
    resize.cbResize()->setChecked(true);
    EXPECT_TRUE(resize.cbSmooth()->isEnabled());
    TfrmRotate palette(f, false);
    palette.cbSmooth()->setChecked(true);
    EXPECT_TRUE(palette.cbSmooth()->isHidden());
    EXPECT_FALSE(palette.Smooth());
}

}  // namespace
