#include "gui/document/icon_menu.h"

#include <QCheckBox>
#include <algorithm>

#include "core/ops/resample.h"
#include "gui/document/document_hooks.h"
#include "gui/document/image_form.h"
#include "gui/document/page_dialogs.h"
#include "gui/document/page_strip.h"
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

// The place of a new page among the set's pages, in the order of sizes the set keeps.
int PlaceInOrder(const TImageForm& form, const pq::Document& page, pq::IconPageKind kind) {
    return pq::PlaceInSet(form.PageKeys(), pq::PageKey(page, kind));
}

void AddPage(TImageForm& form, FrameServices& frame) {
    TfrmAddPage dialog(&form, frame.GetPrompt(), form.Doc().ColorCount);
    if (!frame.GetPrompt().RunDialog(dialog)) return;
    const int size = dialog.ChosenSize();
    if (size == 0) return;
    pq::Document doc = dialog.FromCurrentPage()
                           ? PageFromDocument(form.Doc(), size, dialog.ChosenColors(), frame.SelectedZoom(),
                                              frame.Reduction())
                           : BlankPage(frame, size, dialog.ChosenColors());
    if (!doc.Ready) return;
    const pq::IconPageKind kind = pq::NewPageKind(size, size);
    const int at = PlaceInOrder(form, doc, kind);
    form.InsertPage(std::move(doc), kind, at);
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
        const pq::IconPageKind kind = pq::NewPageKind(s, s);
        const int at = PlaceInOrder(form, page, kind);
        form.InsertPage(std::move(page), kind, at);
        if (at <= sourcePage) ++sourcePage;
    }
    form.SelectPage(sourcePage);
}

namespace {

// Every window shows the strip as the shared view now says, and the choice is kept.
void PageViewChanged(FrameServices& frame) {
    SavePageView();
    for (TImageForm* form : frame.Forms()) form->PageViewChanged();
}

Command StripHeightCommand(int height) {
    return {.Name = QString("mvStrip%1").arg(height), .Caption = QString("%1 ピクセル").arg(height),
            .Hint = "ページ一覧の画像の高さを変えます。",
            .RunOnFrame = [height](FrameServices& frame) {
                SharedPageView().Settings.StripHeight = height;
                PageViewChanged(frame);
            },
            .CheckedWhen = [height](const TImageForm&, const FrameServices&) {
                return SharedPageView().Settings.StripHeight == height;
            }};
}

}  // namespace

CommandTable PageStripViewCommands() {
    CommandTable heights;
    for (int h : pq::kPageStripHeights) heights.push_back(StripHeightCommand(h));
    return {
        {.Name = "mvPageStrip", .Caption = "ページ一覧(&P)", .Hint = "アイコンのページ一覧の表示/非表示を切り替えます。",
         .RunOnFrame = [](FrameServices& frame) {
             SharedPageView().Settings.StripVisible = !SharedPageView().Settings.StripVisible;
             PageViewChanged(frame);
         },
         .CheckedWhen = [](const TImageForm&, const FrameServices&) { return SharedPageView().Settings.StripVisible; }},
        Submenu("mvPageStripHeight", "ページ一覧の高さ", heights),
    };
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
