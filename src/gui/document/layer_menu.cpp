#include "gui/document/layer_menu.h"

#include "core/document/layer_commands.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"
#include "gui/document/image_form.h"
#include "gui/document/name_dialog.h"
#include "gui/document/layer_icons.h"

namespace pq::gui {

namespace {

bool SeveralLayers(const TImageForm& form, const FrameServices&) { return form.Doc().LayerCount() > 1; }

bool BelowTheTop(const TImageForm& form, const FrameServices& frame) {
    return SeveralLayers(form, frame) && form.Doc().CurrentLayer() != form.Doc().LayerCount() - 1;
}

bool AboveTheBottom(const TImageForm& form, const FrameServices& frame) {
    return SeveralLayers(form, frame) && form.Doc().CurrentLayer() != 0;
}

}  // namespace

void tbbNewLayerClick(TImageForm& form) { form.ApplyEdit(pq::NewLayer(form.Doc())); }

void mlCopyClick(TImageForm& form) { form.ApplyEdit(pq::DuplicateLayer(form.Doc())); }

void tbbDelLayerClick(TImageForm& form) { form.ApplyEdit(pq::DeleteLayer(form.Doc())); }

void tbbUpClick(TImageForm& form) { form.ApplyEdit(pq::MoveLayerUp(form.Doc())); }

void tbbDownClick(TImageForm& form) { form.ApplyEdit(pq::MoveLayerDown(form.Doc())); }

void tbbIntegrateClick(TImageForm& form) { form.ApplyEdit(pq::MergeDown(form.Doc())); }

void tbbAllIntegrateClick(FrameServices& frame, TImageForm& form) {
    auto ask = [&frame, &form] {
        const PromptAnswer a = frame.GetPrompt().Message(&form, QString::fromUtf8(pq::kMergeQuestionTitle),
                                                         QString::fromUtf8(pq::kMergeQuestionText),
                                                         PromptIcon::Question, PromptButtons::YesNoCancel);
        return a == PromptAnswer::Yes ? pq::MergeAnswer::Yes
               : a == PromptAnswer::No ? pq::MergeAnswer::No
                                       : pq::MergeAnswer::Cancel;
    };
    form.ApplyEdit(pq::MergeAll(form.Doc(), ask));
}

void mlvActiveClick(TImageForm& form) { form.ApplyEdit(pq::ToggleCurrentLayerVisible(form.Doc())); }

void mlvOnlyClick(TImageForm& form) { form.ApplyEdit(pq::ShowOnlyCurrentLayer(form.Doc())); }

void mlvAllClick(TImageForm& form) { form.ApplyEdit(pq::ShowAllLayers(form.Doc())); }

TfrmName& NameDialog(FrameServices& frame) { return frame.NameDialog(); }

void tbbNameClick(FrameServices& frame, TImageForm& form) {
    TfrmName& dialog = NameDialog(frame);
    dialog.SetName(QString::fromStdString(form.Doc().Current().Name));
    if (!frame.GetPrompt().RunDialog(dialog)) return;
    form.ApplyEdit(pq::RenameLayer(form.Doc(), dialog.Name().toStdString()));
}

CommandTable LayerMenuCommands() {
    return {
        {.Name = "mlNew", .Caption = "新規作成(&N)", .Hint = "新しいレイヤを追加します。",
         .Shortcut = QKeySequence("Ctrl+Alt+N"), .Icon = LayerIcon(kLayerIconNew), .Run = OnDocument(&tbbNewLayerClick)},
        {.Name = "mlCopy", .Caption = "複製(&C)", .Hint = "現在のレイヤを複製します。", .Shortcut = QKeySequence("Ctrl+Alt+C"),
         .Run = OnDocument(&mlCopyClick)},
        {.Name = "mlDelete", .Caption = "削除(&D)", .Hint = "現在のレイヤを削除します。",
         .Shortcut = QKeySequence("Ctrl+Alt+D"), .Icon = LayerIcon(kLayerIconDelete), .Run = OnDocument(&tbbDelLayerClick),
         .EnabledWhen = SeveralLayers},
        // Alt+N is 新規作成's: the order takes the O of "Order".
        Submenu("mlJunjo", "順序(&O)",
                {
                    {.Name = "mlnUp", .Caption = "上へ移動(&U)", .Hint = "レイヤを上へ移動します。",
                     .Icon = LayerIcon(kLayerIconUp), .Run = OnDocument(&tbbUpClick), .EnabledWhen = BelowTheTop},
                    {.Name = "mlnDown", .Caption = "下へ移動(&D)", .Hint = "レイヤを下へ移動します。",
                     .Icon = LayerIcon(kLayerIconDown), .Run = OnDocument(&tbbDownClick), .EnabledWhen = AboveTheBottom},
                }),
        Submenu("mlVisible", "表示(&V)",
                {
                    {.Name = "mlvActive", .Caption = "現在のレイヤの表示の切り替え", .Hint = "現在のレイヤの表示を切り替えます。",
                     .Run = OnDocument(&mlvActiveClick)},
                    {.Name = "mlvOnly", .Caption = "現在のレイヤのみ表示", .Hint = "現在のレイヤのみ表示します。",
                     .Run = OnDocument(&mlvOnlyClick)},
                    {.Name = "mlvAll", .Caption = "すべてのレイヤを表示", .Hint = "すべてのレイヤを表示します。",
                     .Run = OnDocument(&mlvAllClick)},
                }),
        Submenu("mlIntegrate", "統合(&R)",
                {
                    {.Name = "mlrLow", .Caption = "下のレイヤと統合", .Hint = "現在のレイヤと下のレイヤを統合します。",
                     .Icon = LayerIcon(kLayerIconMergeDown), .Run = OnDocument(&tbbIntegrateClick),
                     .EnabledWhen = AboveTheBottom},
                    {.Name = "mlrAll", .Caption = "すべてのレイヤを統合", .Hint = "すべてのレイヤを統合します。",
                     .Icon = LayerIcon(kLayerIconMergeAll),
                     .Run = [](TImageForm& form, FrameServices& frame) { tbbAllIntegrateClick(frame, form); },
                     .EnabledWhen = SeveralLayers},
                }),
        {.Name = "mlRename", .Caption = "名前の変更(&A)", .Hint = "現在のレイヤの名前を変更します。",
         .Icon = LayerIcon(kLayerIconRename), .Run = [](TImageForm& form, FrameServices& frame) { tbbNameClick(frame, form); }},
    };
}

}  // namespace pq::gui
