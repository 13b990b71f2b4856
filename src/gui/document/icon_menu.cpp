#include "gui/document/icon_menu.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <filesystem>

#include "core/document/selection.h"
#include "core/formats/png_file.h"
#include "core/io/atomic_write.h"

#include "core/document/color_reduction.h"
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
    const int at = PlaceInOrder(form, doc, kind);
    form.InsertPage(std::move(doc), kind, at);
}

void DeleteCurrentPage(TImageForm& form, FrameServices& frame) {
    if (frame.GetPrompt().Message(&form, "ページの削除", kDeletePageQuestion, PromptIcon::Question,
                                  PromptButtons::YesNo) != PromptAnswer::Yes)
        return;
    form.DeletePage(form.CurrentPage());
}

void DeleteCurrentFrame(TImageForm& form, FrameServices& frame) {
    if (frame.GetPrompt().Message(&form, "フレームの削除", kDeleteFrameQuestion, PromptIcon::Question,
                                  PromptButtons::YesNo) != PromptAnswer::Yes)
        return;
    form.DeleteFrame();
}

void SetFrameTime(TImageForm& form, FrameServices& frame) {
    // The dialog opens on the time of the current frame's first step.
    const int shown = form.PageFrame(form.CurrentPage());
    const std::vector<int>& steps = form.AnimationSteps();
    const auto step = std::find(steps.begin(), steps.end(), shown);
    const int ms = step == steps.end() ? kDefaultFrameMilliseconds
                                       : form.AnimationStepMilliseconds()[std::size_t(step - steps.begin())];
    TfrmFrameTime dialog(&form, frame.GetPrompt(), ms);
    if (!frame.GetPrompt().RunDialog(dialog)) return;
    if (const int chosen = dialog.ChosenMilliseconds(); chosen > 0) form.SetFrameMilliseconds(chosen, dialog.AllFrames());
}

bool OtherSizesInFrame(const TImageForm& form) {
    const int frame = form.PageFrame(form.CurrentPage());
    for (int i = 0; i < form.PageCount(); ++i)
        if (i != form.CurrentPage() && form.PageFrame(i) == frame) return true;
    return false;
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

namespace {

std::filesystem::path FsPath(const QString& path) { return std::filesystem::path(path.toStdString()); }

}  // namespace

std::vector<ExportedPage> PlanPageExport(const TImageForm& form) {
    // Named after the set's file (or its caption when it has none yet).
    const QString base = form.FilePath().isEmpty() ? form.DocumentName() : form.FilePath();
    const std::string stem = FsPath(base).stem().string();
    std::vector<ExportedPage> plan;
    for (int i = 0; i < form.PageCount(); ++i) {
        const pq::Document& doc = form.PageDoc(i);
        const IconPage* page = form.IsSet() ? &form.PageAt(i) : nullptr;
        const pq::IconPageKind kind = page ? page->Kind : pq::IconPageKind::Palette;
        const pq::StoredIconImage* stored = page && page->Stored ? &*page->Stored : nullptr;
        plan.push_back({i, pq::ExtractedImageName(stem, i, doc.ImageWidth, doc.ImageHeight,
                                                  pq::IconPageWrittenDepth(doc, kind, stored))});
    }
    return plan;
}

bool ExportAllPages(TImageForm& form, Prompt& prompt, const QString& folder) {
    const std::vector<ExportedPage> plan = PlanPageExport(form);
    const std::filesystem::path dir = FsPath(folder);
    // Asked once, before anything is written: every name already taken (a link counts as taken).
    QStringList taken;
    for (const ExportedPage& p : plan) {
        std::error_code ec;
        if (std::filesystem::symlink_status(dir / p.Name, ec).type() != std::filesystem::file_type::not_found)
            taken << QString::fromStdString(p.Name);
    }
    if (!taken.isEmpty() &&
        prompt.Message(&form, kExportPagesTitle, kExportReplaceQuestion + QString("\n\n") + taken.join("\n"),
                       PromptIcon::Question, PromptButtons::YesNo) != PromptAnswer::Yes)
        return false;
    for (const ExportedPage& p : plan) {
        // What the page shows: its visible layers with the floating selection where it lies.
        const std::vector<uint8_t> png = pq::EncodePng(pq::DocumentAsShown(form.PageDoc(p.Page)));
        const pq::FileResult r = png.empty() ? pq::FileResult::Failure((dir / p.Name).string())
                                             : pq::WriteFileAtomically(dir / p.Name, png, pq::Flush::Now, pq::Owner::User);
        if (!r.Ok) {
            prompt.Message(&form, kExportPagesTitle,
                           QString::fromStdString(r.Message) + "\n" +
                               QString("%1 ページ目を書き出せませんでした（%2 ページを書き出しました）。").arg(p.Page + 1).arg(p.Page),
                           PromptIcon::Error, PromptButtons::Ok);
            return false;
        }
    }
    return true;
}

Command ExportPagesCommand() {
    return {.Name = "mfExportPages", .Caption = "すべてのページを書き出す...",
            .Hint = "すべてのページを、それぞれPNGファイルとしてフォルダに書き出します。",
            .Run = [](TImageForm& form, FrameServices& frame) {
                const QString start = form.FilePath().isEmpty() ? QString() : QFileInfo(form.FilePath()).absolutePath();
                const std::optional<QString> folder = frame.GetPrompt().FolderName(&form, kExportPagesTitle, start);
                if (folder) ExportAllPages(form, frame.GetPrompt(), *folder);
            }};
}

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
        Separator(),
        {.Name = "miAddFrame", .Caption = "フレームの追加", .Hint = "現在のフレームの後に、白紙のフレームを加えます。",
         .Run = [](TImageForm& form, FrameServices&) { form.InsertFrame(false); }},
        {.Name = "miDuplicateFrame", .Caption = "フレームの複製", .Hint = "現在のフレームをすべてのサイズごと複製します。",
         .Run = [](TImageForm& form, FrameServices&) { form.InsertFrame(true); }},
        {.Name = "miDeleteFrame", .Caption = "フレームの削除", .Hint = "現在のフレームをすべてのサイズごと削除します。",
         .Run = DeleteCurrentFrame,
         .EnabledWhen = [](const TImageForm& form, const FrameServices&) { return form.FrameCount() > 1; }},
        {.Name = "miFrameEarlier", .Caption = "フレームを前へ", .Hint = "現在のフレームをひとつ前に移します。",
         .Run = [](TImageForm& form, FrameServices&) { form.MoveFrame(false); },
         .EnabledWhen = [](const TImageForm& form, const FrameServices&) {
             return form.PageFrame(form.CurrentPage()) > 0;
         }},
        {.Name = "miFrameLater", .Caption = "フレームを後へ", .Hint = "現在のフレームをひとつ後に移します。",
         .Run = [](TImageForm& form, FrameServices&) { form.MoveFrame(true); },
         .EnabledWhen = [](const TImageForm& form, const FrameServices&) {
             return form.PageFrame(form.CurrentPage()) + 1 < form.FrameCount();
         }},
        {.Name = "miFrameTime", .Caption = "フレームの表示時間...", .Hint = "現在のフレームを表示する時間を変えます。",
         .Run = SetFrameTime},
        {.Name = "miCopyToFrameSizes", .Caption = "フレームを全サイズにコピー",
         .Hint = "現在のページを、同じフレームのほかのサイズのページに縮小・拡大して写します。",
         .Run = [](TImageForm& form, FrameServices&) { form.CopyPageToFrameSizes(); },
         .EnabledWhen = [](const TImageForm& form, const FrameServices&) { return OtherSizesInFrame(form); }},
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
                form->AdoptIconSet(std::move(pages), 1, true);
                form->FitWindowToCanvas();
            }};
}

}  // namespace pq::gui
