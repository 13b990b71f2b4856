#pragma once
// The image operations' rows in a document window's menus. The window's menu builder places
// them: the イメージ(&I) menu is ImageMenuCommands() alone; the パレット(&P) menu is
// PaletteAdjustCommands(), a separator, パレットの交換 / パレットの保存 (gui/formats), a separator,
// ColorCountCommands(); the レイヤ(&L) menu ends with CompositeCommands().
//
// In a truecolour document the operations OperationApplies refuses (and the 16/256 switch) are
// greyed.
//
// Every handler collects its values (through the operation's dialog, if it has one, shown by the
// frame's prompt), releases a floating selection first where the operation works on whole layers
// (Deselect, recorded as its own "選択範囲クリア" step), calls the core operation and hands its
// result to the window's one edit path. A cancelled dialog changes and records nothing.

#include "gui/kit/command_table.h"

namespace pq::gui {

// サイズ変更, 画像回転 ▸ (flips and rotations), 効果 ▸ (filters and effects).
CommandTable ImageMenuCommands();
// 明るさ調整, RGB調整, グレースケール, 反転, ソラリゼーション.
CommandTable PaletteAdjustCommands();
// 色数変更, captioned as the menu opens with the depth it switches to (greyed in truecolour),
// then フルカラーに変換 (palette documents) and 16色に変換 / 256色に変換 (truecolour documents).
CommandTable ColorCountCommands();
// 合成, enabled from two layers up.
CommandTable CompositeCommands();

}  // namespace pq::gui
