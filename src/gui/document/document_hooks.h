#pragma once
// What the levels above the document window hand it, so that it knows nothing of them: the rows
// its menus place beside its own (saving, the operations, the palette files, composition), saving
// on close, the area picker of 貼り付け and the palette of a new document. The frame composes one
// set from every folder's tables (gui/app/document_window_hooks.h) and gives it to every window through
// FrameServices::Hooks(). A member left empty leaves its entries out or does nothing.

#include <functional>
#include <optional>

#include "core/raster/raster.h"
#include "gui/kit/command_table.h"

namespace pq {
class Document;
}

namespace pq::gui {

class FrameServices;
class TImageForm;

// The area the user picked from the clipboard picture (ImageWidth x ImageHeight) and the state
// of "最適化" (rebuild the palette for it).
struct PasteChoice {
    pq::Raster Area;
    bool Optimize = true;
    // The picker's frame over the clipboard picture; empty when the initial top-left area at
    // 1:1 was taken.
    pq::Rect Frame;
};

struct DocumentHooks {
    // ファイル: between 開く and 終了 (上書き保存, 名前を付けて保存).
    CommandTable FileRows;
    // イメージ: the whole menu.
    CommandTable ImageRows;
    // パレット: the whole menu.
    CommandTable PaletteRows;
    // レイヤ: after the window's own layer rows.
    CommandTable LayerRows;

    // 上書き保存 and 名前を付けて保存 of `form`; true only when the file was written.
    std::function<bool(TImageForm& form)> Save;
    std::function<bool(TImageForm& form)> SaveAs;
    // The part of the clipboard picture 貼り付け takes; nullopt when the user cancelled.
    std::function<std::optional<PasteChoice>(FrameServices& frame, TImageForm& form, const pq::Raster& picture)>
        PickPasteArea;
    // Sets up the palette of a new blank document (no undo step).
    std::function<void(pq::Document& doc)> NewDocumentPalette;
};

}  // namespace pq::gui
