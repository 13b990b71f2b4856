#include "gui/palettes/layer_palette.h"

#include "core/formats/settings_files.h"
#include "gui/document/image_form.h"

namespace pq::gui {

TLayerPalette::TLayerPalette(QWidget* frame, const std::filesystem::path& settingsFolder)
    : TToolWindow(frame, "レイヤ", settingsFolder / pq::kLayerPaletteFile) {
    setObjectName("TLayerPalette");
    setFixedWidth(200);
    setMinimumHeight(163);
    resize(200, 163);
    move(435, 274);
    ReadPosition();
}

void TLayerPalette::RebuildLayerPalette(TImageForm* form) {
    if (form) form->Redraw();
}

void TLayerPalette::RefreshLayerRows(TImageForm*) {}

void TLayerPalette::UpdateThumbnails(TImageForm*) {}

void TLayerPalette::ClearLayerPalette() {}

void TLayerPalette::SetButtonsEnabled(bool) {}

}  // namespace pq::gui
