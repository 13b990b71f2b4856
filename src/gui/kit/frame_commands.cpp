#include "gui/kit/frame_commands.h"

#include <QWidget>

#include "gui/kit/frame_services.h"

namespace pq::gui {

Command NewCommand() {
    return {.Caption = "新規作成(&N)...", .Hint = "新しいアイコンを作成します。", .Shortcut = QKeySequence("Ctrl+N"),
            .RunOnFrame = [](FrameServices& frame) { frame.mlNewClick(); }};
}

Command OpenCommand() {
    return {.Caption = "開く(&O)...", .Hint = "既存のファイルを開きます。", .Shortcut = QKeySequence("Ctrl+O"),
            .RunOnFrame = [](FrameServices& frame) { frame.FileOpen1Execute(); }};
}

Command ExitCommand() {
    return {.Name = "mfExit", .Caption = "Pixquilの終了(&X)", .Hint = "Pixquilを終了します。", .Shortcut = QKeySequence("Ctrl+Q"),
            .RunOnFrame = [](FrameServices& frame) { frame.FrameWidget()->close(); }};
}

}  // namespace pq::gui
