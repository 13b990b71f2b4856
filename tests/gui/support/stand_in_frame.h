#pragma once
// A stand-in for the main frame: what a document window needs of it, with counters of the
// refreshes the window asks for, so a window can be built and driven without the real frame.

#include <QAction>
#include <QList>
#include <QWidget>
#include <memory>

#include "gui/app/document_window_hooks.h"
#include "gui/kit/frame_services.h"
#include "gui/document/text_dialog.h"
#include "scripted_prompt.h"
#include "support/test_paths.h"

namespace pq::test {

class StandInFrame : public gui::FrameServices {
public:
    StandInFrame();
    ~StandInFrame() override;

    // A blank 16 x 16, 16-colour document window with its base undo step, as the frame opens one.
    std::unique_ptr<gui::TImageForm> NewWindow(int zoom = 10);

    // Refreshes asked for since the last ResetCounts().
    struct Counts {
        int ColorPalette = 0, LayerRebuilds = 0, LayerRows = 0, Composites = 0, Buttons = 0, ZoomShown = 0;
    };
    Counts Asked;
    void ResetCounts() { Asked = {}; }

    gui::TImageForm* Active = nullptr;
    int Zoom = 10;
    bool OutlineVisible = true;
    int Tool = gui::kToolZoom;
    mutable ScriptedPrompt Prompter;
    pq::ReductionOptions ReductionChoice;

    QWidget* FrameWidget() override { return &window_; }
    gui::Prompt& GetPrompt() const override { return Prompter; }
    // The frame's own set: the window gets the same menus and saving as in the editor.
    const gui::DocumentHooks& Hooks() const override { return hooks_; }
    gui::TImageForm* ActiveForm() const override { return Active; }
    QList<gui::TImageForm*> Forms() const override;
    void FormClosed(gui::TImageForm* form) override;
    int AdvanceWindowNumber() override { return ++windowNumber_; }
    gui::TImageForm* OpenBuiltDocument(const QString&, const std::function<void(pq::Document&, int)>&,
                                       std::string* = nullptr) override {
        return nullptr;
    }
    void mlNewClick() override {}
    void FileOpen1Execute() override {}
    void ZoomIn() override {}
    void ZoomOut() override {}
    int CurrentTool() const override { return Tool; }
    int BrushSize() const override { return 1; }
    int SelectedZoom() const override { return Zoom; }
    void ShowZoomInList(int zoom) override;
    gui::StrokeState& Stroke() override { return stroke_; }
    int& OutlineFrameCounter() override { return outlineFrame_; }
    bool SelectionOutlineVisible() const override { return OutlineVisible; }
    void SetSelectionOutlineVisible(bool visible) override { OutlineVisible = visible; }
    void ApplyToolCursor() override {}
    pq::TextDrawer& TextDrawer() override { return textDrawer_; }
    gui::TfrmText* TextDialog() const override { return nullptr; }
    gui::TfrmName& NameDialog() override;
    pq::TransparencyColors TransparencyColors() const override { return {}; }
    bool UndoEnabled() const override { return true; }
    pq::ReductionOptions Reduction() const override { return ReductionChoice; }
    const std::filesystem::path& SnapshotFolderPath() const override { return folder_.Path(); }
    void RefreshColorPalette() override { ++Asked.ColorPalette; }
    void RebuildLayerPalette(gui::TImageForm&) override { ++Asked.LayerRebuilds; }
    void RefreshLayerRows(gui::TImageForm&) override { ++Asked.LayerRows; }
    void CompositeChanged(gui::TImageForm&) override { ++Asked.Composites; }
    void ActionList1Update() override { ++Asked.Buttons; }
    void SetStatusText(const QString&) override {}
    void SetDocumentInfoText(const QString&) override {}
    QList<QAction*> ViewToggleActions() const override { return {}; }
    QAction* StatusBarToggle() const override { return statusBarToggle_; }
    void UpdateViewToggles() override {}

private:
    gui::DocumentHooks hooks_ = gui::DocumentWindowHooks();
    TempDir folder_;
    QWidget window_;
    QAction* statusBarToggle_ = nullptr;
    gui::TfrmName* nameDialog_ = nullptr;
    gui::QtTextDrawer textDrawer_;
    gui::StrokeState stroke_;
    int outlineFrame_ = 0;
    int windowNumber_ = 0;
};

}  // namespace pq::test
