#include "gui/document/selection_commands.h"

#include "core/document/selection.h"
#include "gui/kit/frame_services.h"
#include "gui/document/image_form.h"

namespace pq::gui {

void msAllClick(TImageForm& form) { form.ApplyEdit(pq::SelectAll(form.Doc())); }

void msClearClick(TImageForm& form) { form.ApplyEdit(pq::Deselect(form.Doc())); }

void msKakudaiClick(TImageForm& form) { form.ApplyEdit(pq::GrowSelection(form.Doc())); }

void msShukushouClick(TImageForm& form) { form.ApplyEdit(pq::ShrinkSelection(form.Doc())); }

void msLayerClick(TImageForm& form) { form.ApplyEdit(pq::LayerFromSelection(form.Doc())); }

void meClearClick(TImageForm& form) { form.ApplyEdit(pq::ClearContent(form.Doc())); }

void msKyoukaisenClick(FrameServices& frame, TImageForm& form) {
    frame.SetSelectionOutlineVisible(!frame.SelectionOutlineVisible());
    form.Present();
}

CommandTable SelectionMenuCommands() {
    const CommandTest hasSelection = [](const TImageForm& form, const FrameServices&) { return form.Doc().HasSelection; };
    return {
        {.Name = "msAll", .Caption = "すべて選択(&A)", .Hint = "全体を選択範囲にします。", .Shortcut = QKeySequence("Ctrl+A"),
         .Run = OnDocument(&msAllClick)},
        {.Name = "msClear", .Caption = "クリア(&C)", .Hint = "選択範囲をクリアします。", .Shortcut = QKeySequence("Ctrl+D"),
         .Run = OnDocument(&msClearClick), .EnabledWhen = hasSelection, .ShortcutAlwaysRuns = true},
        {.Name = "msKakudai", .Caption = "拡大(&L)", .Hint = "選択範囲を1ピクセル拡大します。",
         .Shortcut = QKeySequence("Ctrl+E"), .Run = OnDocument(&msKakudaiClick), .EnabledWhen = hasSelection},
        {.Name = "msShukushou", .Caption = "縮小(&S)", .Hint = "選択範囲を1ピクセル縮小します。",
         .Shortcut = QKeySequence("Ctrl+R"), .Run = OnDocument(&msShukushouClick), .EnabledWhen = hasSelection},
        {.Name = "msLayer", .Caption = "選択範囲からレイヤを作成(&N)", .Hint = "選択範囲をレイヤにします。",
         .Shortcut = QKeySequence("Ctrl+Alt+L"), .Run = OnDocument(&msLayerClick), .EnabledWhen = hasSelection},
        {.Name = "msKyoukaisen", .Caption = "境界線の表示(&K)", .Hint = "境界線の表示を切り替えます。",
         .Run = [](TImageForm& form, FrameServices& frame) { msKyoukaisenClick(frame, form); },
         .CheckedWhen = [](const TImageForm&, const FrameServices& frame) { return frame.SelectionOutlineVisible(); }},
    };
}

Command ClearCommand() {
    return {.Name = "meClear", .Caption = "クリア(&D)", .Hint = "選択範囲をクリアします。", .Tooltip = "クリア",
            .Shortcut = QKeySequence(Qt::Key_Delete), .Run = OnDocument(&meClearClick)};
}

}  // namespace pq::gui
