#include "gui/document/icon_menu.h"

#include <QCheckBox>
#include <algorithm>

#include "core/document/color_reduction.h"
#include "core/ops/resample.h"
#include "gui/document/document_hooks.h"
#include "gui/document/image_form.h"
#include "gui/document/page_dialogs.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"

namespace pq::gui {

namespace {

pq::Document BlankPage(FrameServices& frame, int size, int colors) {
    pq::Document doc;
    pq::InitBlankDocument(doc, size, size, colors, frame.SelectedZoom());
    if (const auto& palette = frame.Hooks().NewDocumentPalette) palette(doc);
    return doc;
}

bool HasPageOfSize(const TImageForm& form, int size) {
    for (int i = 0; i < form.PageCount(); ++i)
        if (form.PageDoc(i).ImageWidth == size && form.PageDoc(i).ImageHeight == size) return true;
    return false;
}

// The place of a new page of this size: after every page not larger.
int PlaceBySize(const TImageForm& form, int size) {
    int at = 0;
    for (int i = 0; i < form.PageCount(); ++i)
        if (std::max(form.PageDoc(i).ImageWidth, form.PageDoc(i).ImageHeight) <= size) at = i + 1;
    return at;
}

void AddPage(TImageForm& form, FrameServices& frame) {
    const pq::Document& current = form.Doc();
    TfrmAddPage dialog(&form, frame.GetPrompt(), current.TrueColor ? 32 : current.ColorCount);
    if (!frame.GetPrompt().RunDialog(dialog)) return;
    const int size = dialog.ChosenSize();
    if (size == 0) return;
    const bool trueColor = dialog.TrueColorChosen();
    const int colors = dialog.ChosenColors();
    pq::Document doc;
    if (!dialog.FromCurrentPage()) {
        if (trueColor) pq::InitBlankTrueColorDocument(doc, size, size, frame.SelectedZoom());
        else doc = BlankPage(frame, size, colors);
    } else if (trueColor || !current.TrueColor) {
        // A truecolour page is averaged on premultiplied values from the current page's colours.
        pq::Document source = current;
        if (trueColor && !source.TrueColor) pq::ConvertToTrueColor(source);
        doc = PageFromDocument(source, size, colors, frame.SelectedZoom(), frame.Reduction());
    } else {
        // 16/256 colours from a truecolour page: averaged with its alpha, then reduced as
        // 減色 reduces a truecolour document.
        doc = PageFromDocument(current, size, colors, frame.SelectedZoom(), frame.Reduction());
        if (doc.Ready) pq::ConvertToPalette(doc, colors, frame.Reduction());
    }
    if (!doc.Ready) return;
    // Truecolour pages are written as 32-bit images, the 256 x 256 one as PNG.
    const pq::IconPageKind kind = !doc.TrueColor ? pq::NewPageKind(size, size)
                                  : size == 256  ? pq::IconPageKind::Png
                                                 : pq::IconPageKind::TrueColor;
    form.InsertPage(std::move(doc), kind);
}

void DeleteCurrentPage(TImageForm& form, FrameServices& frame) {
    if (frame.GetPrompt().Message(&form, "ページの削除", kDeletePageQuestion, PromptIcon::Question,
                                  PromptButtons::YesNo) != PromptAnswer::Yes)
        return;
    form.DeletePage(form.CurrentPage());
}

void MakeAllSizes(TImageForm& form, FrameServices& frame) {
    std::vector<int> present;
    for (int s : kIconSetSizes)
        if (HasPageOfSize(form, s)) present.push_back(s);
    TfrmPageSizes dialog(&form, "すべてのサイズを作る", "TfrmAllSizes", false, {16, 24, 32, 48, 256});
    for (int s : present)
        if (QWidget* box = dialog.SizeBox(s)) box->setEnabled(false);
    if (!frame.GetPrompt().RunDialog(dialog)) return;
    MakePageSizes(form, dialog.CheckedSizes());
}

}  // namespace

pq::Document PageFromDocument(const pq::Document& source, int size, int colors, int selectedZoom,
                              const pq::ReductionOptions& options) {
    return pq::ResampledDocument(source, size, size, colors, selectedZoom, options);
}

void MakePageSizes(TImageForm& form, const std::vector<int>& sizes) {
    const int zoom = form.Frame().SelectedZoom();
    const pq::ReductionOptions reduction = form.Frame().Reduction();
    const pq::Document source = form.Doc();
    form.BecomeSet();
    int sourcePage = form.CurrentPage();
    for (int s : sizes) {
        if (HasPageOfSize(form, s)) continue;
        pq::Document page = PageFromDocument(source, s, source.ColorCount, zoom, reduction);
        if (!page.Ready) continue;
        const int at = PlaceBySize(form, s);
        form.InsertPage(std::move(page), pq::NewPageKind(s, s), at);
        if (at <= sourcePage) ++sourcePage;
    }
    form.SelectPage(sourcePage);
}

CommandTable IconMenuCommands() {
    return {
        {.Name = "miAddPage", .Caption = "ページの追加...", .Hint = "アイコンに新しいページを加えます。",
         .Run = AddPage},
        {.Name = "miDuplicatePage", .Caption = "ページの複製", .Hint = "現在のページを複製します。",
         .Run = [](TImageForm& form, FrameServices&) { form.DuplicatePage(); }},
        {.Name = "miDeletePage", .Caption = "ページの削除", .Hint = "現在のページを削除します。",
         .Run = DeleteCurrentPage,
         .EnabledWhen = [](const TImageForm& form, const FrameServices&) { return form.PageCount() > 1; }},
        Separator(),
        {.Name = "miPageEarlier", .Caption = "ページを前へ", .Hint = "現在のページをひとつ前に移します。",
         .Run = [](TImageForm& form, FrameServices&) { form.MovePage(false); },
         .EnabledWhen = [](const TImageForm& form, const FrameServices&) { return form.IsSet() && form.CurrentPage() > 0; }},
        {.Name = "miPageLater", .Caption = "ページを後へ", .Hint = "現在のページをひとつ後に移します。",
         .Run = [](TImageForm& form, FrameServices&) { form.MovePage(true); },
         .EnabledWhen = [](const TImageForm& form, const FrameServices&) {
             return form.IsSet() && form.CurrentPage() + 1 < form.PageCount();
         }},
        Separator(),
        {.Name = "miAllSizes", .Caption = "すべてのサイズを作る...",
         .Hint = "現在のページから、まだないサイズのページを作ります。", .Run = MakeAllSizes},
    };
}

Command NewIconSetCommand() {
    return {.Name = "mfNewIconSet", .Caption = "新規アイコンセット...", .Hint = "複数のサイズのページを持つアイコンを作成します。",
            .RunOnFrame = [](FrameServices& frame) {
                TfrmPageSizes dialog(frame.FrameWidget(), "新規アイコンセット", "TfrmNewIconSet", true,
                                     {16, 24, 32, 48, 256});
                if (!frame.GetPrompt().RunDialog(dialog)) return;
                const std::vector<int> sizes = dialog.CheckedSizes();
                if (sizes.empty()) return;
                const int colors = dialog.ChosenColors();
                const bool trueColor = dialog.TrueColorChosen();
                std::vector<pq::IconSetPage> pages;
                for (int s : sizes) {
                    pq::IconSetPage page;
                    if (trueColor) {
                        // Truecolour pages are written as 32-bit images, the 256 x 256 one as PNG.
                        pq::InitBlankTrueColorDocument(page.Doc, s, s, frame.SelectedZoom());
                        page.Kind = s == 256 ? pq::IconPageKind::Png : pq::IconPageKind::TrueColor;
                        pages.push_back(std::move(page));
                        continue;
                    }
                    page.Doc = BlankPage(frame, s, colors);
                    page.Kind = pq::NewPageKind(s, s);
                    pages.push_back(std::move(page));
                }
                const int number = frame.AdvanceWindowNumber();
                pq::Document first = pages.front().Doc;
                TImageForm* form = frame.OpenBuiltDocument(
                    QString("Icon%1").arg(number), [&first](pq::Document& doc, int) { doc = std::move(first); });
                if (!form) return;
                form->AdoptIconSet(std::move(pages), 1);
                form->FitWindowToCanvas();
            }};
}

}  // namespace pq::gui
