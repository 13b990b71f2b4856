#pragma once
// The selection commands of a document window: the 選択範囲(&S) menu, Edit > クリア and the
// frame's 選択範囲のクリア / クリア buttons. Each runs the core command, sends its result through
// the window's edit path and keeps the outline timer running while a selection exists.

namespace pq::gui {

class FrameServices;
class TImageForm;

void msAllClick(TImageForm& form);
// 選択範囲クリア; the frame's 選択範囲のクリア button runs the same (also without a selection).
void msClearClick(TImageForm& form);
void msKakudaiClick(TImageForm& form);
void msShukushouClick(TImageForm& form);
void msLayerClick(TImageForm& form);
// Edit > クリア and the frame's クリア button.
void meClearClick(TImageForm& form);
// 境界線の表示: toggles the frame's outline switch and repaints the canvas; records nothing.
void msKyoukaisenClick(FrameServices& frame, TImageForm& form);
// Enables the menu's entries for the window's state and checks 境界線の表示 when the outline
// is shown (run as the menu opens).
void mSelectClick(FrameServices& frame, TImageForm& form);
// Connects the window's 選択範囲 menu entries and Edit > クリア, with their hints.
void ConnectSelectionMenu(FrameServices& frame, TImageForm& form);

}  // namespace pq::gui
