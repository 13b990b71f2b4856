#pragma once
// The 1:1 pictures of the operation dialogs (previews and layer pictures): a label showing a
// core raster, and the backdrop the adjustment previews draw the visible layers over.

#include "core/document/render.h"
#include "core/raster/raster.h"

class QLabel;
class QWidget;

namespace pq::gui {

// A label of exactly width x height pixels named `objectName`, for ShowPicture.
QLabel* MakePicture(QWidget* parent, const char* objectName, int width, int height);
// Shows `picture` in `label` (a copy: the raster may change afterwards).
void ShowPicture(QLabel* label, const pq::Raster& picture);

// The preview backdrop where no visible layer is painted: the checkerboard of the layer
// thumbnails (4-pixel squares in the user's transparency colours), so that unpainted positions
// stay distinguishable from painted white ones while the amounts change.
pq::Raster PreviewBackdrop(int width, int height, const pq::TransparencyColors& colors);

}  // namespace pq::gui
