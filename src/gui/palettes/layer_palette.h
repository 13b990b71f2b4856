#pragma once
// The layer palette window "レイヤ": its place among the tool windows, its position file
// "pqlpset" and the hooks the document windows call. The rows, the eye toggles, drag-reorder
// and the seven layer buttons are filled in by the layer palette work; until then the window
// stays empty.

#include <filesystem>

#include "gui/palettes/tool_window.h"

namespace pq::gui {

class TImageForm;

class TLayerPalette : public TToolWindow {
    Q_OBJECT
public:
    TLayerPalette(QWidget* frame, const std::filesystem::path& settingsFolder);

    // Rebuilds the rows for the active document, then recomposes and presents it.
    void RebuildLayerPalette(TImageForm* form);
    // Names, eyes and highlight of the existing rows (no redraw).
    void RefreshLayerRows(TImageForm* form);
    // Stretches the layer thumbnails of the last recompose onto the rows.
    void UpdateThumbnails(TImageForm* form);
    // No document open: no rows.
    void ClearLayerPalette();
    // Enables the seven layer buttons (new, delete, up, down, rename, merge down, merge all).
    void SetButtonsEnabled(bool enabled);
};

}  // namespace pq::gui
