#include "gui/document/clipboard_commands.h"

#include <QApplication>

#include "core/document/clipboard_pictures.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"
#include "gui/document/clipboard_bridge.h"
#include "gui/document/document_hooks.h"
#include "gui/document/image_form.h"

namespace pq::gui {

namespace {

const char* const kClipboardWriteFailed = "クリップボードに書き込めませんでした。";

bool PutOnClipboard(FrameServices& frame, TImageForm& form, const QString& title) {
    if (WriteClipboardPicture(pq::ClipboardPicture(form.Doc()))) return true;
    frame.GetPrompt().Message(&form, title, QString::fromUtf8(kClipboardWriteFailed), PromptIcon::Error,
                              PromptButtons::Ok);
    return false;
}

}  // namespace

void meCopyClick(FrameServices& frame, TImageForm& form) { PutOnClipboard(frame, form, "コピー"); }

void meCutClick(FrameServices& frame, TImageForm& form) {
    // A picture that did not reach the clipboard must not be lost from the document as well.
    if (!PutOnClipboard(frame, form, "切り取り")) return;
    form.ApplyEdit(pq::ApplyCut(form.Doc()));
}

void mePasteClick(FrameServices& frame, TImageForm& form) {
    if (!Clipboard().HasPicture()) return;
    const ClipboardRead read = ReadClipboardPicture();
    if (!read.Picture) {
        frame.GetPrompt().Message(&form, "貼り付け", read.Problem, PromptIcon::Warning, PromptButtons::Ok);
        return;
    }
    const auto& pick = frame.Hooks().PickPasteArea;
    if (!pick) return;
    const std::optional<PasteChoice> choice = pick(frame, form, *read.Picture);
    if (!choice) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const pq::EditResult result = pq::PastePicture(form.Doc(), choice->Area, choice->Optimize, frame.Reduction());
    QApplication::restoreOverrideCursor();
    form.ApplyEdit(result);
}

CommandTable ClipboardCommands() {
    return {
        {.Name = "meCut", .Caption = "切り取り(&X)", .Hint = "選択範囲をクリップボードに切り取ります。", .Tooltip = "切り取り",
         .Shortcut = QKeySequence("Ctrl+X"), .Run = [](TImageForm& form, FrameServices& frame) { meCutClick(frame, form); }},
        {.Name = "meCopy", .Caption = "コピー(&C)", .Hint = "選択範囲をコピーします。", .Tooltip = "コピー",
         .Shortcut = QKeySequence("Ctrl+C"), .Run = [](TImageForm& form, FrameServices& frame) { meCopyClick(frame, form); }},
        {.Name = "mePaste", .Caption = "貼り付け(&P)", .Hint = "クリップボードの内容を新しいレイヤに貼り付けます。",
         .Tooltip = "貼り付け", .Shortcut = QKeySequence("Ctrl+P"),
         .Run = [](TImageForm& form, FrameServices& frame) { mePasteClick(frame, form); },
         .EnabledWhen = [](const TImageForm&, const FrameServices&) { return Clipboard().HasPicture(); }},
    };
}

}  // namespace pq::gui
