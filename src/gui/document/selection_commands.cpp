#include "gui/document/selection_commands.h"

#include <QAction>
#include <QMenu>

#include "core/document/selection.h"
#include "gui/app/frame_services.h"
#include "gui/document/image_form.h"

namespace pq::gui {

namespace {

void Finish(TImageForm& form, const pq::EditResult& result) {
    form.ApplyEdit(result);
    if (form.Doc().HasSelection) form.StartOutlineTimer();
}

// Entries that need a selection; their shortcuts stay live while the menu is closed, so the
// commands check the selection themselves as their disabled entries would.
const char* const kSelectionEntries[] = {"msClear", "msKakudai", "msShukushou", "msLayer"};

}  // namespace

void msAllClick(TImageForm& form) { Finish(form, pq::SelectAll(form.Doc())); }

void msClearClick(TImageForm& form) { Finish(form, pq::Deselect(form.Doc())); }

void msKakudaiClick(TImageForm& form) { Finish(form, pq::GrowSelection(form.Doc())); }

void msShukushouClick(TImageForm& form) { Finish(form, pq::ShrinkSelection(form.Doc())); }

void msLayerClick(TImageForm& form) { Finish(form, pq::LayerFromSelection(form.Doc())); }

void meClearClick(TImageForm& form) { Finish(form, pq::ClearContent(form.Doc())); }

void msKyoukaisenClick(FrameServices& frame, TImageForm& form) {
    frame.SetSelectionOutlineVisible(!frame.SelectionOutlineVisible());
    form.Present();
}

void mSelectClick(FrameServices& frame, TImageForm& form) {
    const bool has = form.Doc().HasSelection;
    for (const char* name : kSelectionEntries)
        if (QAction* a = form.MenuAction(name)) a->setEnabled(has);
    if (QAction* a = form.MenuAction("msAll")) a->setEnabled(true);
    if (QAction* a = form.MenuAction("msKyoukaisen")) {
        a->setCheckable(true);
        a->setChecked(frame.SelectionOutlineVisible());
    }
}

void ConnectSelectionMenu(FrameServices& frame, TImageForm& form) {
    struct Entry {
        const char* Name;
        const char* Tip;     // tooltip text
        const char* Status;  // status-bar text
        void (*Run)(TImageForm&);
        bool NeedsSelection;
    };
    static const Entry kEntries[] = {
        {"msAll", "", "全体を選択範囲にします。", &msAllClick, false},
        {"msClear", "", "選択範囲をクリアします。", &msClearClick, true},
        {"msKakudai", "", "選択範囲を1ピクセル拡大します。", &msKakudaiClick, true},
        {"msShukushou", "", "選択範囲を1ピクセル縮小します。", &msShukushouClick, true},
        {"msLayer", "", "選択範囲をレイヤにします。", &msLayerClick, true},
        {"meClear", "クリア", "選択範囲をクリアします。", &meClearClick, false},
    };
    TImageForm* f = &form;
    for (const Entry& e : kEntries) {
        QAction* a = form.MenuAction(e.Name);
        if (!a) continue;
        a->setStatusTip(QString::fromUtf8(e.Status));
        if (*e.Tip) a->setToolTip(QString::fromUtf8(e.Tip));
        a->setEnabled(true);
        const auto run = e.Run;
        const bool needs = e.NeedsSelection;
        QObject::connect(a, &QAction::triggered, &form, [f, run, needs] {
            if (needs && !f->Doc().HasSelection) return;
            run(*f);
        });
    }
    if (QAction* a = form.MenuAction("msKyoukaisen")) {
        a->setStatusTip("境界線の表示を切り替えます。");
        a->setCheckable(true);
        a->setChecked(frame.SelectionOutlineVisible());
        a->setEnabled(true);
        FrameServices* fr = &frame;
        QObject::connect(a, &QAction::triggered, &form, [fr, f] { msKyoukaisenClick(*fr, *f); });
    }
    if (QMenu* menu = form.MenuNamed("mSelect")) {
        FrameServices* fr = &frame;
        QObject::connect(menu, &QMenu::aboutToShow, &form, [fr, f] { mSelectClick(*fr, *f); });
        // Shortcuts of entries disabled while the menu was open work again once it closes.
        QObject::connect(menu, &QMenu::aboutToHide, &form, [f] {
            for (const char* name : kSelectionEntries)
                if (QAction* a = f->MenuAction(name)) a->setEnabled(true);
        });
    }
}

}  // namespace pq::gui
