// The レイヤ menu of a document window: its enabling, the merge question with its three answers,
// the rename dialog refusing an empty name, and duplicate as one undo step.
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "core/document/layer_commands.h"
#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/document/layer_menu.h"
#include "gui/document/name_dialog.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

class LayerMenu : public EditorTest {
protected:
    TImageForm* Doc(int layers) {
        TImageForm* f = NewDocument(0, 0);
        for (int i = 1; i < layers; ++i) Entry("mlNew")->trigger();
        return f;
    }
    QAction* Entry(const char* name) const { return Active()->MenuAction(name); }
    void OpenMenu() { emit Active()->MenuNamed("mLayer")->aboutToShow(); }
    void Paint(int layer, int x, int i) {
        pq::Layer& l = Active()->Doc().LayerAt(layer);
        l.Indices[std::size_t(x)] = uint8_t(i);
        l.Mask[std::size_t(x)] = 1;
    }
};

TEST_F(LayerMenu, EntriesFollowTheLayerCountAndTheCurrentLayer) {
    TImageForm* f = Doc(1);
    OpenMenu();
    for (const char* name : {"mlDelete", "mlnUp", "mlnDown", "mlrLow", "mlrAll"}) EXPECT_FALSE(Entry(name)->isEnabled()) << name;
    for (const char* name : {"mlNew", "mlCopy", "mlvActive", "mlvOnly", "mlvAll", "mlRename"})
        EXPECT_TRUE(Entry(name)->isEnabled()) << name;
    Entry("mlNew")->trigger();
    OpenMenu();
    EXPECT_FALSE(Entry("mlnUp")->isEnabled());  // the new layer is the top one
    for (const char* name : {"mlDelete", "mlnDown", "mlrLow", "mlrAll"}) EXPECT_TRUE(Entry(name)->isEnabled()) << name;
    f->Doc().SetCurrentLayer(0);
    OpenMenu();
    EXPECT_TRUE(Entry("mlnUp")->isEnabled());
    EXPECT_FALSE(Entry("mlnDown")->isEnabled());
    EXPECT_FALSE(Entry("mlrLow")->isEnabled());
    // Closed again, the entries answer their shortcuts; the commands' own guards apply.
    emit f->MenuNamed("mLayer")->aboutToHide();
    EXPECT_TRUE(Entry("mlnDown")->isEnabled());
    const int steps = f->Doc().HistoryPosition;
    Entry("mlnDown")->trigger();
    EXPECT_EQ(f->Doc().HistoryPosition, steps);
}

TEST_F(LayerMenu, MergeAllAsksAboutHiddenLayersAndCancelChangesNothing) {
    TImageForm* f = Doc(3);
    Paint(0, 0, 1);
    Paint(1, 1, 2);
    Paint(2, 2, 3);
    f->Doc().LayerAt(1).Visible = 0;
    const auto before = f->Doc().Layers();
    const int steps = f->Doc().HistoryPosition;
    prompt_.ExpectMessage(PromptAnswer::Cancel);
    Entry("mlrAll")->trigger();
    EXPECT_EQ(f->Doc().Layers(), before);
    EXPECT_EQ(f->Doc().HistoryPosition, steps);
    const auto& asked = prompt_.Shown().back();
    EXPECT_EQ(asked.Title, "レイヤの統合");
    EXPECT_EQ(asked.Text,
              "非表示レイヤが含まれています。表示されているレイヤのみ統合しますか？\n"
              "はいを選択した場合は表示されているレイヤのみ、\n"
              "いいえを選択した場合はすべてのレイヤを統合します。");
    EXPECT_EQ(asked.Icon, PromptIcon::Question);
    EXPECT_EQ(asked.Buttons, PromptButtons::YesNoCancel);

    prompt_.ExpectMessage(PromptAnswer::Yes);
    Entry("mlrAll")->trigger();
    ASSERT_EQ(f->Doc().LayerCount(), 2);
    EXPECT_EQ(f->Doc().LayerAt(0).Mask[2], 1);  // layer 2 merged into 0
    EXPECT_EQ(f->Doc().LayerAt(0).Mask[1], 0);
    EXPECT_EQ(f->Doc().LayerAt(1).Visible, 0);  // the hidden layer stays
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - レイヤ統合");

    prompt_.ExpectMessage(PromptAnswer::No);
    Entry("mlrAll")->trigger();
    ASSERT_EQ(f->Doc().LayerCount(), 1);
    EXPECT_EQ(f->Doc().LayerAt(0).Mask[1], 1);
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(LayerMenu, RenameRefusesAnEmptyNameAndKeepsTheDialogOpen) {
    TImageForm* f = Doc(1);
    prompt_.ExpectDialog("TfrmName", [this](QDialog& d) {
        auto& dialog = static_cast<TfrmName&>(d);
        EXPECT_EQ(dialog.windowTitle(), "レイヤ名変更");
        EXPECT_EQ(dialog.Edit1()->text(), "レイヤ1");
        EXPECT_EQ(dialog.Edit1()->selectedText(), "レイヤ1");
        dialog.Edit1()->clear();
        prompt_.ExpectMessage(PromptAnswer::Ok);
        dialog.OkButton()->click();
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_TRUE(prompt_.Done());
        dialog.Edit1()->setText("Straße");  // Shift-JIS cannot store ß: refused, dialog stays
        prompt_.ExpectMessage(PromptAnswer::Ok);
        dialog.OkButton()->click();
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(prompt_.Shown().back().Text, "「ß」はレイヤ名に使えません（Shift-JISで保存できない文字です）。");
        dialog.Edit1()->setText("背景");
        dialog.OkButton()->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        return true;
    });
    Entry("mlRename")->trigger();
    ASSERT_GE(prompt_.Shown().size(), 2u);
    const auto refusal = prompt_.Shown()[prompt_.Shown().size() - 2];
    EXPECT_EQ(refusal.Text, "名前を入力してください。");
    EXPECT_EQ(refusal.Title, "レイヤ名変更");
    EXPECT_EQ(refusal.Icon, PromptIcon::Warning);
    EXPECT_EQ(f->Doc().Current().Name, "背景");
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - レイヤ名変更");

    // Cancel keeps the name and records nothing; the same dialog object is reused.
    QDialog* first = &NameDialog(*frame_);
    prompt_.ExpectDialog("TfrmName", [first](QDialog& d) {
        EXPECT_EQ(&d, first);
        return false;
    });
    const int steps = f->Doc().HistoryPosition;
    Entry("mlRename")->trigger();
    EXPECT_EQ(f->Doc().Current().Name, "背景");
    EXPECT_EQ(f->Doc().HistoryPosition, steps);
}

TEST_F(LayerMenu, DuplicateIsOneUndoStep) {
    TImageForm* f = Doc(1);
    Paint(0, 3, 4);
    Entry("mlCopy")->trigger();
    ASSERT_EQ(f->Doc().LayerCount(), 2);
    EXPECT_EQ(f->Doc().Current().Name, "レイヤ1のコピー");
    EXPECT_EQ(f->Doc().Current().Mask[3], 1);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - レイヤの複製");
    f->meUndoClick();
    EXPECT_EQ(f->Doc().LayerCount(), 1);
    EXPECT_EQ(UndoCaption(), "元に戻せません(&U)");
}

TEST_F(LayerMenu, VisibilityEntries) {
    TImageForm* f = Doc(3);
    Entry("mlvOnly")->trigger();
    EXPECT_EQ(f->Doc().LayerAt(0).Visible, 0);
    EXPECT_EQ(f->Doc().LayerAt(2).Visible, 1);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 現在のレイヤのみ表示");
    Entry("mlvActive")->trigger();
    EXPECT_EQ(f->Doc().LayerAt(2).Visible, 0);
    Entry("mlvAll")->trigger();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(f->Doc().LayerAt(i).Visible, 1);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - レイヤ表示切替");
}

}  // namespace
