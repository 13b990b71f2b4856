#pragma once
// The selection commands of a document window: the 選択範囲(&S) menu, Edit > クリア and the
// frame's 選択範囲のクリア / クリア buttons. Each runs the core command and sends its result
// through the window's edit path.

#include "gui/kit/command_table.h"

namespace pq::gui {

class FrameServices;
class TImageForm;

void msAllClick(TImageForm& form);
// 選択範囲クリア; the frame's 選択範囲のクリア button runs the same.
void msClearClick(TImageForm& form);
void msKakudaiClick(TImageForm& form);
void msShukushouClick(TImageForm& form);
void msLayerClick(TImageForm& form);
// Edit > クリア and the frame's クリア button.
void meClearClick(TImageForm& form);
// 境界線の表示: toggles the frame's outline switch and repaints the canvas; records nothing.
void msKyoukaisenClick(FrameServices& frame, TImageForm& form);

// The 選択範囲 menu: the entries that need a selection are enabled only with one, and 境界線の
// 表示 carries the outline switch's mark.
CommandTable SelectionMenuCommands();
// Edit > クリア.
Command ClearCommand();

}  // namespace pq::gui
