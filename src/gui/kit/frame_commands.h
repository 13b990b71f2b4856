#pragma once
// The frame's commands that the document windows' File menus offer too: 新規作成, 開く and
// Pixquilの終了, one row each for the frame's own File menu and every document's.

#include "gui/kit/command_table.h"

namespace pq::gui {

Command NewCommand();
Command OpenCommand();
Command ExitCommand();

}  // namespace pq::gui
