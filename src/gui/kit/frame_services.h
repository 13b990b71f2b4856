#pragma once
// What document windows, tool windows, dialogs and command files need of the main frame. The
// frame (TMainForm) implements it; only gui/app includes the frame's own header, so the GUI
// folders do not depend on the frame class and a document window can be built in a test with a
// stand-in frame. The classes named here are only declared: this level knows nothing of them.

#include <QList>
#include <QString>
#include <filesystem>
#include <functional>

#include "core/document/quality_reduction.h"
#include "core/document/render.h"
#include "gui/kit/tool_state.h"

class QAction;
class QMenu;
class QWidget;

namespace pq {
class Document;
class TextDrawer;
}  // namespace pq

namespace pq::gui {

struct DocumentHooks;
class Prompt;
class TImageForm;
class TfrmName;
class TfrmText;

class FrameServices {
public:
    virtual ~FrameServices() = default;

    // ---- the frame's window, its prompt and its documents ----------------------------------------
    // The frame's own window: the owner of dialogs and message boxes.
    virtual QWidget* FrameWidget() = 0;
    virtual Prompt& GetPrompt() const = 0;
    // The document the toolbars, tool windows and frame commands act on; null when none is open.
    virtual TImageForm* ActiveForm() const = 0;
    virtual QList<TImageForm*> Forms() const = 0;
    // Called by a document window when it goes away.
    virtual void FormClosed(TImageForm* form) = 0;
    virtual int AdvanceWindowNumber() = 0;
    // A window whose document `build` sets up (the caller advances the window number first).
    // A base step that cannot be written is said, or put in `baseFailure` when given.
    virtual TImageForm* OpenBuiltDocument(const QString& name,
                                          const std::function<void(pq::Document&, int selectedZoom)>& build,
                                          std::string* baseFailure = nullptr) = 0;

    // What the levels above the document window hand it (menu rows, saving, the paste area, a new
    // document's palette): gui/document/document_hooks.h.
    virtual const DocumentHooks& Hooks() const = 0;

    // ---- frame commands the document windows' menus offer too ---------------------------------------
    virtual void mlNewClick() = 0;
    virtual void FileOpen1Execute() = 0;
    virtual void ZoomIn() = 0;
    virtual void ZoomOut() = 0;

    // ---- shared tool state ------------------------------------------------------------------------
    virtual int CurrentTool() const = 0;
    virtual int BrushSize() const = 0;
    virtual int SelectedZoom() const = 0;
    // Shows a factor in the zoom list without zooming anything.
    virtual void ShowZoomInList(int zoom) = 0;
    virtual StrokeState& Stroke() = 0;
    // The marching-ants phase shared by every window's outline timer.
    virtual int& OutlineFrameCounter() = 0;
    // The 選択範囲の表示 switch; turning it off repaints the active canvas without the outline.
    virtual bool SelectionOutlineVisible() const = 0;
    virtual void SetSelectionOutlineVisible(bool visible) = 0;
    // Puts the current tool's cursor on every canvas.
    virtual void ApplyToolCursor() = 0;
    virtual pq::TextDrawer& TextDrawer() = 0;
    // The dialogs made once and reused: the text tool's and the layer name's.
    virtual TfrmText* TextDialog() const = 0;
    virtual TfrmName& NameDialog() = 0;

    // ---- settings ---------------------------------------------------------------------------------
    virtual pq::TransparencyColors TransparencyColors() const = 0;
    virtual bool UndoEnabled() const = 0;
    // How colours are reduced from pictures and true-colour images (the Options dialog's 減色).
    virtual pq::ReductionOptions Reduction() const = 0;
    virtual const std::filesystem::path& SnapshotFolderPath() const = 0;

    // ---- tool windows, buttons, status bar --------------------------------------------------------
    virtual void RefreshColorPalette() = 0;
    // The layer palette's rows for `form` (names, eyes, highlight); the window redraws itself.
    virtual void RebuildLayerPalette(TImageForm& form) = 0;
    virtual void RefreshLayerRows(TImageForm& form) = 0;
    // `form` has just recomposed: the preview window and the layer thumbnails show its composite.
    virtual void CompositeChanged(TImageForm& form) = 0;
    // Enables the toolbar buttons for the active document (run after every change).
    virtual void ActionList1Update() = 0;
    virtual void SetStatusText(const QString& text) = 0;
    virtual void SetDocumentInfoText(const QString& text) = 0;
    // The toggles of 表示 > ツール and the status bar's, shared by the frame's and the documents'
    // 表示 menus; UpdateViewToggles sets their marks from what is shown.
    virtual QList<QAction*> ViewToggleActions() const = 0;
    // ファイル > 最近使ったファイル, shared by every File menu; a file opened or saved goes first.
    virtual QMenu* RecentFilesMenu() const { return nullptr; }
    virtual void NoteRecentFile(const QString&) {}
    virtual QAction* StatusBarToggle() const = 0;
    virtual void UpdateViewToggles() = 0;
};

}  // namespace pq::gui
