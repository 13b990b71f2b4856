#include "gui/document/clipboard_commands.h"

#include <QApplication>
#include <algorithm>

#include "core/document/clipboard_pictures.h"
#include "core/ops/resample.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"
#include "gui/document/clipboard_bridge.h"
#include "gui/document/document_hooks.h"
#include "gui/document/image_form.h"

namespace pq::gui {

std::vector<pq::Rgba8> FramedRgbaArea(const std::vector<pq::Rgba8>& pixels, int pictureWidth, int pictureHeight,
                                      const pq::Rect& frame, int width, int height) {
    if (width < 1 || height < 1 || pictureWidth < 0 || pictureHeight < 0 ||
        pixels.size() != std::size_t(pictureWidth) * std::size_t(pictureHeight))
        return {};
    const std::size_t count = std::size_t(width) * std::size_t(height);
    // No frame yet: the picture's top-left corner at 1:1, as the preview shows it. A frame of
    // no width or height holds no pixel: all transparent, as its preview is all white.
    const pq::Rect area = frame == pq::Rect{} ? pq::Rect{0, 0, width, height} : frame;
    if (area.Empty()) return std::vector<pq::Rgba8>(count);
    const int fw = area.Width(), fh = area.Height();
    std::vector<pq::Rgba8> framed(std::size_t(fw) * std::size_t(fh));
    const int x0 = std::max(0, area.left), x1 = std::min(pictureWidth, area.right);
    for (int sy = std::max(0, area.top); sy < std::min(pictureHeight, area.bottom) && x0 < x1; ++sy)
        std::copy(pixels.begin() + std::ptrdiff_t(sy) * pictureWidth + x0,
                  pixels.begin() + std::ptrdiff_t(sy) * pictureWidth + x1,
                  framed.begin() + std::ptrdiff_t(sy - area.top) * fw + (x0 - area.left));
    if (fw == width && fh == height) return framed;
    return pq::ResampleRgba(framed, fw, fh, width, height);
}

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
    } else {
        // The framed part at the canvas size, its alpha kept: at 1:1 when the frame has that
        // size, otherwise averaged on premultiplied values.
        pq::RgbaPicture area;
        area.Width = doc.ImageWidth;
        area.Height = doc.ImageHeight;
        area.Pixels = FramedRgbaArea(read.Picture->Pixels, read.Picture->Width, read.Picture->Height, choice->Frame,
                                     area.Width, area.Height);
        result = pq::PasteRgbaPicture(doc, area, choice->Optimize, frame.Reduction());
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
