#pragma once
// The image operations' rows in a document window's menus. The window's menu builder places
// them: the イメージ(&I) menu is ImageMenuCommands() alone; the パレット(&P) menu is
// PaletteAdjustCommands(), a separator, パレットの交換 / パレットの保存 (gui/formats), a separator,
// ColorCountCommands(); the レイヤ(&L) menu ends with CompositeCommands(). Rows without a handler
// are shown disabled until their dialogs are connected.

#include "gui/app/command_table.h"

namespace pq::gui {

// サイズ変更, 画像回転 ▸ (flips and rotations), 効果 ▸ (filters and effects).
CommandTable ImageMenuCommands();
// 明るさ調整, RGB調整, グレースケール, 反転, ソラリゼーション.
CommandTable PaletteAdjustCommands();
// 色数変更 (its caption may follow the document through CaptionWhen).
CommandTable ColorCountCommands();
// 合成, enabled from two layers up.
CommandTable CompositeCommands();

}  // namespace pq::gui
