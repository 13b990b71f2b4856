// Ending without questions: what a session logout or a terminating signal gets; and the
// shortcut scheme's settings file.
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <cstdint>
#include <vector>

#include "core/io/atomic_write.h"
#include "gui/app/main_form.h"
#include "gui/kit/command_table.h"
#include "gui/kit/prompt.h"
#include "gui/document/image_form.h"
#include "gui/palettes/color_palette.h"
#include "gui/palettes/layer_palette.h"
#include "gui/palettes/preview_window.h"

namespace pq::gui {

bool TMainForm::EndSession() {
    bool keep = false;
    for (TImageForm* form : Forms()) {
        if (!form->SetChanged()) continue;
        // Steps still waiting in memory for room on the disk get their last chance.
        form->FlushHistory();
        keep = true;
    }
    // A modal dialog or menu runs its own event loop over the windows: closing them under it
    // would pull them out from beneath that loop, so the kept path is taken then as well.
    const bool nested = QApplication::activeModalWidget() || QApplication::activePopupWidget();
    if (!keep && !nested) {
        // Nothing to save: closing asks nothing, and each window deletes its undo files.
        bool closed = true;
        for (QMdiSubWindow* sub : mdi_->subWindowList(QMdiArea::CreationOrder))
            if (!sub->close()) closed = false;
        if (closed) {
            close();
            return true;
        }
    }
    for (TImageForm* form : Forms())
        if (!form->SetChanged()) form->DiscardHistory();
    colorPalette_->WritePosition();
    layerPalette_->WritePosition();
    preview_->WritePosition();
    WriteSettings();
    return false;
}

namespace {
constexpr const char* kShortcutSchemeFile = "pqkeys";
}

void TMainForm::ReadShortcutScheme() {
    std::vector<std::uint8_t> bytes;
    // Anything but the one byte 1 (a missing, empty or foreign file) is the established scheme.
    const bool common = pq::ReadFilePrefix(settingsFolder_ / kShortcutSchemeFile, 2, bytes, pq::Owner::Program) == pq::ReadStatus::Ok &&
                        bytes.size() == 1 && bytes[0] == 1;
    SetCommonShortcuts(common);
    ApplyShortcutScheme(this);
}

void TMainForm::WriteShortcutScheme(bool common) {
    SetCommonShortcuts(common);
    ApplyShortcutScheme(this);
    const std::uint8_t byte = common ? 1 : 0;
    const pq::FileResult r = pq::WriteFileAtomically(settingsFolder_ / kShortcutSchemeFile, std::span(&byte, 1),
                                                     pq::Flush::Now, pq::Owner::Program);
    if (!r.Ok)
        prompt_->Message(this, "オプション",
                         "ショートカットキーの設定を保存できませんでした。\n選んだ設定は Pixquil を終了するまで使われます。",
                         PromptIcon::Warning, PromptButtons::Ok);
}

}  // namespace pq::gui
