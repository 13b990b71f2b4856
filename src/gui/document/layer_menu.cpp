#include "gui/document/layer_menu.h"

#include <QAction>
#include <QMenu>
#include <QVariant>

#include "core/document/layer_commands.h"
#include "gui/app/frame_services.h"
#include "gui/app/prompt.h"
#include "gui/document/image_form.h"
#include "gui/document/name_dialog.h"
#include "gui/palettes/layer_icons.h"

namespace pq::gui {

namespace {

void Finish(TImageForm& form, const pq::EditResult& result) {
    form.ApplyEdit(result);
    if (form.Doc().HasSelection) form.StartOutlineTimer();
}

// Entries whose enabling depends on the layers; they are enabled again when the menu closes so
// that their shortcuts keep working (the commands carry the same guards).
const char* const kGuardedEntries[] = {"mlDelete", "mlnUp", "mlnDown", "mlrLow", "mlrAll"};

}  // namespace

void tbbNewLayerClick(TImageForm& form) { Finish(form, pq::NewLayer(form.Doc())); }

void mlCopyClick(TImageForm& form) { Finish(form, pq::DuplicateLayer(form.Doc())); }

void tbbDelLayerClick(TImageForm& form) { Finish(form, pq::DeleteLayer(form.Doc())); }

void tbbUpClick(TImageForm& form) { Finish(form, pq::MoveLayerUp(form.Doc())); }

void tbbDownClick(TImageForm& form) { Finish(form, pq::MoveLayerDown(form.Doc())); }

void tbbIntegrateClick(TImageForm& form) { Finish(form, pq::MergeDown(form.Doc())); }

void tbbAllIntegrateClick(FrameServices& frame, TImageForm& form) {
    auto ask = [&frame, &form] {
        const PromptAnswer a = frame.GetPrompt().Message(&form, QString::fromUtf8(pq::kMergeQuestionTitle),
                                                         QString::fromUtf8(pq::kMergeQuestionText),
                                                         PromptIcon::Question, PromptButtons::YesNoCancel);
        return a == PromptAnswer::Yes ? pq::MergeAnswer::Yes
               : a == PromptAnswer::No ? pq::MergeAnswer::No
                                       : pq::MergeAnswer::Cancel;
    };
    Finish(form, pq::MergeAll(form.Doc(), ask));
}

void mlvActiveClick(TImageForm& form) { Finish(form, pq::ToggleCurrentLayerVisible(form.Doc())); }

void mlvOnlyClick(TImageForm& form) { Finish(form, pq::ShowOnlyCurrentLayer(form.Doc())); }

void mlvAllClick(TImageForm& form) { Finish(form, pq::ShowAllLayers(form.Doc())); }

TfrmName& NameDialog(FrameServices& frame) { return frame.NameDialog(); }

void tbbNameClick(FrameServices& frame, TImageForm& form) {
    TfrmName& dialog = NameDialog(frame);
    dialog.SetName(QString::fromStdString(form.Doc().Current().Name));
    if (!frame.GetPrompt().RunDialog(dialog)) return;
    Finish(form, pq::RenameLayer(form.Doc(), dialog.Name().toStdString()));
}

void mLayerClick(TImageForm& form) {
    const pq::Document& doc = form.Doc();
    const bool several = doc.LayerCount() > 1;
    const bool top = doc.CurrentLayer() == doc.LayerCount() - 1;
    const bool bottom = doc.CurrentLayer() == 0;
    auto enable = [&form](const char* name, bool on) {
        if (QAction* a = form.MenuAction(name)) a->setEnabled(on);
    };
    enable("mlDelete", several);
    enable("mlrAll", several);
    enable("mlnUp", several && !top);
    enable("mlnDown", several && !bottom);
    enable("mlrLow", several && !bottom);
    for (const char* name : {"mlNew", "mlCopy", "mlvActive", "mlvOnly", "mlvAll", "mlRename"}) enable(name, true);
    // 合成 needs two layers. The entry stays off until the compositing command has connected and
    // enabled it, so only an entry switched off here for the layer count is switched on again.
    if (QAction* a = form.MenuAction("N21")) {
        const char* held = "heldForLayerCount";
        if (!several && a->isEnabled()) {
            a->setEnabled(false);
            a->setProperty(held, true);
        } else if (several && a->property(held).toBool()) {
            a->setEnabled(true);
            a->setProperty(held, false);
        }
    }
}

void ConnectLayerMenu(FrameServices& frame, TImageForm& form) {
    struct Entry {
        const char* Name;
        const char* Status;
        void (*Run)(TImageForm&);
        int Icon;
    };
    static const Entry kEntries[] = {
        {"mlNew", "新しいレイヤを追加します。", &tbbNewLayerClick, kLayerIconNew},
        {"mlCopy", "現在のレイヤを複製します。", &mlCopyClick, -1},
        {"mlDelete", "現在のレイヤを削除します。", &tbbDelLayerClick, kLayerIconDelete},
        {"mlnUp", "レイヤを上へ移動します。", &tbbUpClick, kLayerIconUp},
        {"mlnDown", "レイヤを下へ移動します。", &tbbDownClick, kLayerIconDown},
        {"mlvActive", "現在のレイヤの表示を切り替えます。", &mlvActiveClick, -1},
        {"mlvOnly", "現在のレイヤのみ表示します。", &mlvOnlyClick, -1},
        {"mlvAll", "すべてのレイヤを表示します。", &mlvAllClick, -1},
        {"mlrLow", "現在のレイヤと下のレイヤを統合します。", &tbbIntegrateClick, kLayerIconMergeDown},
    };
    TImageForm* f = &form;
    FrameServices* fr = &frame;
    for (const Entry& e : kEntries) {
        QAction* a = form.MenuAction(e.Name);
        if (!a) continue;
        a->setStatusTip(QString::fromUtf8(e.Status));
        if (e.Icon >= 0) a->setIcon(LayerIcon(e.Icon));
        a->setEnabled(true);
        const auto run = e.Run;
        QObject::connect(a, &QAction::triggered, &form, [f, run] { run(*f); });
    }
    if (QAction* a = form.MenuAction("mlrAll")) {
        a->setStatusTip("すべてのレイヤを統合します。");
        a->setIcon(LayerIcon(kLayerIconMergeAll));
        a->setEnabled(true);
        QObject::connect(a, &QAction::triggered, &form, [fr, f] { tbbAllIntegrateClick(*fr, *f); });
    }
    if (QAction* a = form.MenuAction("mlRename")) {
        a->setStatusTip("現在のレイヤの名前を変更します。");
        a->setIcon(LayerIcon(kLayerIconRename));
        a->setEnabled(true);
        QObject::connect(a, &QAction::triggered, &form, [fr, f] { tbbNameClick(*fr, *f); });
    }
    if (QMenu* menu = form.MenuNamed("mLayer")) {
        QObject::connect(menu, &QMenu::aboutToShow, &form, [f] { mLayerClick(*f); });
        QObject::connect(menu, &QMenu::aboutToHide, &form, [f] {
            for (const char* name : kGuardedEntries)
                if (QAction* a = f->MenuAction(name)) a->setEnabled(true);
        });
    }
}

}  // namespace pq::gui
