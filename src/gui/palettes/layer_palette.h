#pragma once
// The layer palette window "レイヤ": one row (TLayerPanel) per layer of the active document, top
// layer first, and a toolbar with the seven layer commands. Rows are reused from one rebuild to
// the next (only the surplus is destroyed, only the missing ones made), so row i always stands
// for layer i. Clicking a row selects its layer, its eye shows or hides the layer, and dragging a
// row onto another moves the layer there. The window owns nothing of a document: every change
// goes through the active document window's edit path. Its position is kept in "pqlpset".

#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <filesystem>
#include <vector>

#include "gui/palettes/tool_window.h"

class QAction;
class QScrollArea;
class QToolBar;

namespace pq::gui {

class FrameServices;
class TImageForm;
class TLayerPanel;

class TLayerPalette : public TToolWindow {
    Q_OBJECT
public:
    TLayerPalette(FrameServices& frame, const std::filesystem::path& settingsFolder);

    // Makes one row per layer of `form` (names, eyes, layout, highlight); the thumbnails follow
    // at the window's next recompose.
    void RebuildLayerPalette(TImageForm* form);
    // Names, eyes and highlight of the existing rows (no redraw).
    void RefreshLayerRows(TImageForm* form);
    // Stretches the layer thumbnails of the form's last recompose onto the rows. After a
    // recompose of a rectangle, only the thumbnail pixels sampled from it are looked at, and
    // only rows where one of them differs are set again; the rows end as the whole update
    // leaves them.
    void UpdateThumbnails(TImageForm* form);
    // Colours the rows by which layer is current.
    void HighlightCurrentRow(TImageForm* form);
    // No document open: no rows.
    void ClearLayerPalette();
    // Enables the seven layer buttons (new, delete, up, down, merge down, merge all, rename) when
    // a document is open.
    void UpdateButtons();

    // Row handlers.
    void panLayerNameClick(int tag);
    void imgVisibleMouseDown(int tag);
    void panLayerNameDragOver(int tag, QPoint global);
    void panLayerNameDragDrop(int tag, QPoint global);

    int RowCount() const { return int(rows_.size()); }
    // The row of layer i (row 0 is drawn last, at the bottom), or null.
    TLayerPanel* Row(int layer) const;
    QToolBar* ToolBar1() const { return toolBar_; }
    // A button by object name, for tests.
    QAction* Button(const char* objectName) const;
    QScrollArea* LayerPanelParent() const { return scroll_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    static constexpr int kWidth = 200;
    static constexpr int kToolBarHeight = 30;

    // Sizes the toolbar's height and the window's fixed width (200 or more) to the toolbar's
    // hint, so every button shows without the overflow arrow under any style.
    void FitToolBar();
    TImageForm* Active() const;
    // The row whose name panel lies under a screen point, or null.
    TLayerPanel* RowAt(QPoint global) const;
    void DestroyRow(TLayerPanel* row);
    // Every row stretched whole from the form's thumbnails.
    void SetAllThumbnails(TImageForm& form);
    // The source column and row each thumbnail pixel samples when a picture of `size` is
    // stretched to the thumbnail, found by stretching pictures of coordinates once per size;
    // false when the stretch does not sample one source pixel per column and row.
    bool LearnSampling(QSize size);

    // The form whose thumbnails the rows show as its last recompose left them (null when
    // unknown: rows rebuilt, or a recompose of that form not painted), and the size they have.
    QPointer<TImageForm> thumbsOf_;
    QSize thumbsSize_;
    // LearnSampling's result for sampledSize_: source x per thumbnail column, source y per row,
    // and the format of the stretched picture.
    QSize sampledSize_;
    bool sampledExact_ = false;
    std::vector<int> sampleX_, sampleY_;
    QImage::Format sampledFormat_ = QImage::Format_Invalid;

    FrameServices& frame_;
    QToolBar* toolBar_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* rowsHost_ = nullptr;
    std::vector<TLayerPanel*> rows_;
    QPointer<TLayerPanel> dropTarget_;
};

}  // namespace pq::gui
