// Ending without questions: what a session logout or a terminating signal gets.
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "gui/app/main_form.h"
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

}  // namespace pq::gui
