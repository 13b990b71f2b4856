#include "gui/app/document_window_hooks.h"

#include "gui/document/image_form.h"
#include "gui/formats/area_picker.h"
#include "gui/formats/cursor_theme_dialog.h"
#include "gui/formats/file_commands.h"
#include "gui/kit/frame_services.h"
#include "gui/ops/ops_menus.h"

namespace pq::gui {

DocumentHooks DocumentWindowHooks() {
    DocumentHooks hooks;
    hooks.FileRows = SaveCommands() + CommandTable{CursorThemeCommand()};
    hooks.ImageRows = ImageMenuCommands();
    hooks.PaletteRows = PaletteAdjustCommands() + CommandTable{Separator()} + PaletteFileCommands() +
                        CommandTable{Separator()} + ColorCountCommands();
    hooks.LayerRows = CommandTable{Separator()} + CompositeCommands();
    hooks.Save = [](TImageForm& form) {
        FrameServices& frame = form.Frame();
        return Save1Click(form, frame.GetPrompt(), frame.FrameWidget());
    };
    hooks.SaveAs = [](TImageForm& form) { return SaveAs1Click(form, form.Frame().GetPrompt()); };
    hooks.PickPasteArea = PickPasteArea;
    hooks.NewDocumentPalette = [](pq::Document& doc) { LoadProgramPalette(doc); };
    return hooks;
}

}  // namespace pq::gui
