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
    const pq::Document& doc = form.Doc();
    const bool written = doc.TrueColor ? WriteClipboardRgbaPicture(pq::ClipboardRgbaPicture(doc))
                                       : WriteClipboardPicture(pq::ClipboardPicture(doc));
    if (written) return true;
    frame.GetPrompt().Message(&form, title, QString::fromUtf8(kClipboardWriteFailed), PromptIcon::Error,
                              PromptButtons::Ok);
    return false;
}

// The canvas-sized area the picker took at 1:1, with its alpha: the initial top-left area (no
// frame) or a frame of exactly the canvas size. Picture pixels beyond the picture are
// transparent. A scaled frame gives nothing: its resampled colours are pasted opaque.
std::optional<pq::RgbaPicture> UnscaledArea(const pq::RgbaPicture& picture, const pq::Rect& frame, int w, int h) {
    if (!frame.Empty() && (frame.Width() != w || frame.Height() != h)) return std::nullopt;
    const int left = frame.Empty() ? 0 : frame.left, top = frame.Empty() ? 0 : frame.top;
    pq::RgbaPicture area;
    area.Width = w;
    area.Height = h;
    area.Pixels.assign(std::size_t(w) * std::size_t(h), pq::Rgba8{});
    for (int y = 0; y < h; ++y) {
        const int sy = top + y;
        if (sy < 0 || sy >= picture.Height) continue;
        for (int x = 0; x < w; ++x) {
            const int sx = left + x;
            if (sx < 0 || sx >= picture.Width) continue;
            area.Pixels[std::size_t(x) + std::size_t(y) * std::size_t(w)] =
                picture.Pixels[std::size_t(sx) + std::size_t(sy) * std::size_t(picture.Width)];
        }
    }
    return area;
}

// Paste of a picture with alpha: into a truecolour document its pixels as they are, into a
// 16/256-colour document shown over white and reduced as any picture.
void PasteWithAlpha(FrameServices& frame, TImageForm& form) {
    const ClipboardRgbaRead read = ReadClipboardRgbaPicture();
    if (!read.Picture) {
        frame.GetPrompt().Message(&form, "貼り付け", read.Problem, PromptIcon::Warning, PromptButtons::Ok);
        return;
    }
    const auto& pick = frame.Hooks().PickPasteArea;
    if (!pick) return;
    const pq::Raster shown = RasterOnWhite(*read.Picture);
    const std::optional<PasteChoice> choice = pick(frame, form, shown);
    if (!choice) return;
    pq::Document& doc = form.Doc();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    pq::EditResult result;
    if (!doc.TrueColor) {
        result = pq::PastePicture(doc, choice->Area, choice->Optimize, frame.Reduction());
    } else if (auto area = UnscaledArea(*read.Picture, choice->Frame, doc.ImageWidth, doc.ImageHeight)) {
        result = pq::PasteRgbaPicture(doc, *area, choice->Optimize, frame.Reduction());
    } else {
        result = pq::PastePicture(doc, choice->Area, choice->Optimize, frame.Reduction());
    }
    QApplication::restoreOverrideCursor();
    form.ApplyEdit(result);
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
    if (form.Doc().TrueColor || !Clipboard().Png().isEmpty()) {
        PasteWithAlpha(frame, form);
        return;
    }
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
