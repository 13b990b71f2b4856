// The menus of a document window: each menu places the rows of the commands' own tables; the
// window's own rows (undo history, grid, zoom) are defined here beside the window's handlers, and
// the rows of the levels above (saving, the operations, the palette files, composition) come from
// the frame's DocumentHooks.
#include <QMenu>

#include "core/document/history.h"
#include "gui/kit/command_table.h"
#include "gui/kit/frame_commands.h"
#include "gui/kit/frame_services.h"
#include "gui/document/clipboard_commands.h"
#include "gui/document/document_hooks.h"
#include "gui/document/icon_menu.h"
#include "gui/document/image_form.h"
#include "gui/document/layer_menu.h"
#include "gui/document/selection_commands.h"

namespace pq::gui {

namespace {

pq::EditMenuState HistoryState(const TImageForm& form) { return pq::ComputeEditMenu(form.Doc(), form.HistoryCtx()); }

Command UndoCommand() {
    return {.Name = "meUndo", .Caption = "元に戻す(&U)", .Hint = "直前の作業を元に戻します。", .Tooltip = "元に戻す",
            .Shortcut = QKeySequence("Ctrl+Z"),
            .Run = [](TImageForm& form, FrameServices&) { form.meUndoClick(); },
            .EnabledWhen = [](const TImageForm& form, const FrameServices&) { return HistoryState(form).UndoEnabled; },
            .CaptionWhen = [](const TImageForm& form, const FrameServices&) {
                return QString::fromStdString(HistoryState(form).UndoCaption);
            }};
}

Command RedoCommand() {
    return {.Name = "meRedo", .Caption = "やり直し(&R)", .Hint = "元に戻す前の状態に戻します。", .Tooltip = "やり直し",
            .Shortcut = QKeySequence("Ctrl+Y"),
            .Run = [](TImageForm& form, FrameServices&) { form.meRedoClick(); },
            .EnabledWhen = [](const TImageForm& form, const FrameServices&) { return HistoryState(form).RedoEnabled; },
            .CaptionWhen = [](const TImageForm& form, const FrameServices&) {
                return QString::fromStdString(HistoryState(form).RedoCaption);
            }};
}

Command MemoryClearCommand() {
    return {.Name = "meMemCls", .Caption = "メモリのクリア(&M)", .Hint = "アンドゥ情報を削除します。",
            .Run = [](TImageForm& form, FrameServices&) { form.meMemClsClick(); },
            .EnabledWhen = [](const TImageForm& form, const FrameServices&) {
                return HistoryState(form).MemoryClearEnabled;
            }};
}

Command GridCommand() {
    return {.Name = "mvGrid", .Caption = "グリッドの表示(&G)", .Hint = "グリッドの表示/非表示を切り替えます。",
            .Run = [](TImageForm& form, FrameServices&) { form.SetGridVisible(!form.GridVisible()); },
            .CheckedWhen = [](const TImageForm& form, const FrameServices&) { return form.GridVisible(); }};
}

// Closes the window as its close box does (asking first when there is something to save).
Command CloseCommand() {
    return {.Name = "mfClose", .Caption = "閉じる(&C)", .Hint = "このウィンドウを閉じます。",
            .Shortcut = QKeySequence("Ctrl+W"), .Run = [](TImageForm& form, FrameServices&) {
                if (QWidget* window = form.parentWidget()) window->close();
                else form.close();
            }};
}

CommandTable ZoomCommands() {
    return {
        {.Name = "mvzZoomIn", .Caption = "ズームイン(&I)", .Hint = "倍率を上げます。", .Tooltip = "ズームイン",
         .RunOnFrame = [](FrameServices& frame) { frame.ZoomIn(); }},
        {.Name = "mvzZoomOut", .Caption = "ズームアウト(&O)", .Hint = "倍率を下げます。", .Tooltip = "ズームアウト",
         .RunOnFrame = [](FrameServices& frame) { frame.ZoomOut(); }},
    };
}

}  // namespace

void TImageForm::BuildMenus() {
    FrameServices& frame = *frame_;
    const DocumentHooks& above = frame.Hooks();
    auto menu = [this](const QString& title, const QString& name) {
        auto* m = new QMenu(title, this);
        m->setObjectName(name);
        return m;
    };

    mFile_ = menu("ファイル(&F)", "mFile");
    AddCommands(mFile_, CommandTable{NewCommand(), NewIconSetCommand(), OpenCommand()} + above.FileRows + CommandTable{ExportPagesCommand(), CloseCommand(), Separator(), ExitCommand()},
                frame, this);
    // The frame's list of recent files, before the separator above 終了.
    if (QMenu* recent = frame.RecentFilesMenu()) mFile_->insertMenu(mFile_->actions().value(mFile_->actions().size() - 2), recent);

    mEdit_ = menu("編集(&E)", "Edit1");
    // Opening the menu is a moment to catch up with the disk: connected before the entries,
    // so they show what works after it.
    connect(mEdit_, &QMenu::aboutToShow, this, [this] { FlushHistory(); });
    meUndo_ = AddCommand(mEdit_, UndoCommand(), frame, this);
    meRedo_ = AddCommand(mEdit_, RedoCommand(), frame, this);
    AddCommands(mEdit_, CommandTable{Separator()} + ClipboardCommands() + CommandTable{ClearCommand(), Separator()}, frame,
                this);
    meMemCls_ = AddCommand(mEdit_, MemoryClearCommand(), frame, this);

    mShow_ = menu("表示(&V)", "Show1");
    AddCommand(mShow_, GridCommand(), frame, this);
    // The tool-window toggles are the frame's own entries, shared by every 表示 menu.
    QMenu* tools = mShow_->addMenu("ツール(&T)");
    tools->setObjectName("mvTool");
    tools->addActions(frame.ViewToggleActions());
    mShow_->addAction(frame.StatusBarToggle());
    AddCommand(mShow_, Submenu("mvZoom", "ズーム(&Z)", ZoomCommands()), frame, this);
    AddCommands(mShow_, CommandTable{Separator()} + PageStripViewCommands(), frame, this);
    connect(mShow_, &QMenu::aboutToShow, this, [this] { frame_->UpdateViewToggles(); });

    mImage_ = menu("イメージ(&I)", "mImage");
    AddCommands(mImage_, above.ImageRows, frame, this);

    mPalette_ = menu("パレット(&P)", "mColor");
    AddCommands(mPalette_, above.PaletteRows, frame, this);

    mLayer_ = menu("レイヤ(&L)", "mLayer");
    AddCommands(mLayer_, LayerMenuCommands() + above.LayerRows, frame, this);

    mSelect_ = menu("選択範囲(&S)", "mSelect");
    AddCommands(mSelect_, SelectionMenuCommands(), frame, this);

    // Alt+I belongs to イメージ: the icon menu takes the N of "icoN".
    mIcon_ = menu("アイコン(&N)", "mIcon");
    AddCommands(mIcon_, IconMenuCommands(), frame, this);
}

}  // namespace pq::gui
