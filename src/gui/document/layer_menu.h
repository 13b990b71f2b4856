#pragma once
// The layer commands of a document window, shared by its レイヤ(&L) menu and the layer palette's
// buttons: each runs the core command on the window's document and sends the result through the
// window's edit path. Merge all asks its question and rename shows the name dialog through the
// frame's prompt.

#include "gui/kit/command_table.h"

namespace pq::gui {

class FrameServices;
class TImageForm;
class TfrmName;

void tbbNewLayerClick(TImageForm& form);
void mlCopyClick(TImageForm& form);
void tbbDelLayerClick(TImageForm& form);
void tbbUpClick(TImageForm& form);
void tbbDownClick(TImageForm& form);
void tbbIntegrateClick(TImageForm& form);
void tbbAllIntegrateClick(FrameServices& frame, TImageForm& form);
void mlvActiveClick(TImageForm& form);
void mlvOnlyClick(TImageForm& form);
void mlvAllClick(TImageForm& form);
void tbbNameClick(FrameServices& frame, TImageForm& form);

// The frame's one layer-name dialog.
TfrmName& NameDialog(FrameServices& frame);

// The レイヤ menu: delete, move and merge are enabled for the layer count and the current layer.
CommandTable LayerMenuCommands();

}  // namespace pq::gui
