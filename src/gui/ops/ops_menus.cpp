#include "gui/ops/ops_menus.h"

#include <QApplication>
#include <QCursor>
#include <optional>

#include "core/document/color_reduction.h"
#include "core/document/random.h"
#include "core/document/selection.h"
#include "core/ops/compositing.h"
#include "core/ops/filters.h"
#include "core/ops/palette_adjust.h"
#include "core/ops/pixel_effects.h"
#include "core/ops/transforms.h"
#include "core/ops/working_area.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"
#include "gui/document/image_form.h"
#include "gui/ops/adjust_dialogs.h"
#include "gui/ops/gousei_dialog.h"
#include "gui/ops/shadow_dialog.h"
#include "gui/ops/transform_dialogs.h"

namespace pq::gui {

namespace {

// Puts a floating selection down as Selection > Clear does, recorded as its own step, before an
// operation that reads or rewrites whole layers.
void ReleaseSelection(TImageForm& form) {
    if (form.Doc().HasSelection) form.ApplyEdit(pq::Deselect(form.Doc()));
}

// The hourglass while a long computation runs, restored however the scope ends.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Enabled while the family's operations may run on the window's document: in a truecolour
// document the families that need a palette are greyed (OperationApplies).
CommandTest AppliesTo(pq::OperationFamily family) {
    return [family](const TImageForm& form, const FrameServices&) { return pq::OperationApplies(form.Doc(), family); };
}

// ---- イメージ(&I) --------------------------------------------------------------------------------

pq::Sampling SamplingOf(bool smooth) { return smooth ? pq::Sampling::Smooth : pq::Sampling::Nearest; }

void miSizeClick(TImageForm& form, FrameServices& frame) {
    TfrmResize dialog(&form, form.Doc().TrueColor);
    if (frame.GetPrompt().RunDialog(dialog))
        form.ApplyEdit(pq::ResizeCanvas(form.Doc(), dialog.NewSide(), dialog.NewSide(), dialog.Scale(),
                                        SamplingOf(dialog.Smooth())));
    form.CentreCanvas();
}

void mirRotationClick(TImageForm& form, FrameServices& frame) {
    TfrmRotate dialog(&form, form.Doc().TrueColor);
    if (!frame.GetPrompt().RunDialog(dialog)) return;
    form.ApplyEdit(pq::RotateByAngle(form.Doc(), dialog.Angle(), SamplingOf(dialog.Smooth())));
}

Command TransformRow(pq::TransformId id, CommandRun run) {
    const pq::TransformInfo& info = pq::InfoOf(id);
    return {.Name = info.ObjectName, .Caption = info.Caption, .Hint = info.Hint, .Shortcut = QKeySequence(info.Shortcut),
            .Run = std::move(run), .EnabledWhen = AppliesTo(pq::OperationFamily::Transform)};
}

Command TransformRow(pq::TransformId id) {
    return TransformRow(id, [id](TImageForm& form, FrameServices&) { form.ApplyEdit(pq::ApplyTransform(form.Doc(), id)); });
}

Command FilterRow(const pq::FilterSpec& filter) {
    const pq::FilterId id = filter.Id;
    return {.Name = filter.ObjectName, .Caption = filter.Caption, .Hint = filter.Hint,
            .Run = [id](TImageForm& form, FrameServices&) {
                if (pq::SpecOf(id).ReleasesSelectionFirst) ReleaseSelection(form);
                form.ApplyEdit(pq::ApplyFilter(form.Doc(), id));
            },
            .EnabledWhen = AppliesTo(pq::OperationFamily::Filter)};
}

// 影 and スクロール: the shared offsets dialog collects (dx, dy) first.
void OffsetsEffectClick(TImageForm& form, FrameServices& frame, pq::PixelEffectId id) {
    TfrmShadow dialog(&form);
    if (id == pq::PixelEffectId::Scroll) dialog.UseForScroll();
    if (!frame.GetPrompt().RunDialog(dialog)) return;
    form.ApplyEdit(pq::ApplyPixelEffect(form.Doc(), id, pq::SharedRandom(), dialog.AmountX(), dialog.AmountY()));
}

Command EffectRow(const pq::PixelEffectInfo& info) {
    const pq::PixelEffectId id = info.Id;
    CommandRun run;
    if (info.TakesOffsets)
        run = [id](TImageForm& form, FrameServices& frame) { OffsetsEffectClick(form, frame, id); };
    else
        run = [id](TImageForm& form, FrameServices&) {
            form.ApplyEdit(pq::ApplyPixelEffect(form.Doc(), id, pq::SharedRandom()));
        };
    return {.Name = info.ObjectName, .Caption = info.Caption, .Hint = info.Hint, .Run = std::move(run),
            .EnabledWhen = AppliesTo(pq::OperationFamily::PixelEffect)};
}

// The effect submenu: the filters up to emboss, the pixel effects, then the contrast filters and
// edge detection.
CommandTable EffectCommands() {
    CommandTable rows;
    for (const pq::FilterSpec& filter : pq::kFilters)
        if (filter.Id <= pq::FilterId::Emboss) rows.push_back(FilterRow(filter));
    for (const pq::PixelEffectInfo& info : pq::kPixelEffects) rows.push_back(EffectRow(info));
    for (const pq::FilterSpec& filter : pq::kFilters)
        if (filter.Id > pq::FilterId::Emboss) rows.push_back(FilterRow(filter));
    return rows;
}

// ---- パレット(&P) --------------------------------------------------------------------------------

void mcBlightClick(TImageForm& form, FrameServices& frame) {
    TfrmBlight dialog(&form, form.Doc(), frame.TransparencyColors());
    if (!frame.GetPrompt().RunDialog(dialog)) return;
    form.ApplyEdit(pq::AdjustBrightness(form.Doc(), dialog.Amount()));
}

void mcColorClick(TImageForm& form, FrameServices& frame) {
    TfrmRGB dialog(&form, form.Doc(), frame.TransparencyColors());
    if (!frame.GetPrompt().RunDialog(dialog)) return;
    form.ApplyEdit(pq::AdjustRgb(form.Doc(), pq::ChannelShift{dialog.AmountRed(), dialog.AmountGreen(), dialog.AmountBlue()}));
}

void mcColorCountClick(TImageForm& form, FrameServices& frame) {
    pq::Document& doc = form.Doc();
    const int target = doc.ColorCount == 16 ? 256 : 16;
    // The reduction remaps the layers, not the floating planes: put them down first.
    if (pq::ColorCountNeedsRelease(doc, target)) ReleaseSelection(form);
    pq::EditResult result;
    {
        std::optional<BusyCursor> busy;
        if (target == 16) busy.emplace();
        result = pq::ChangeColorCount(doc, target, frame.Reduction());
    }
    form.ApplyEdit(result);
}

Command PaletteRow(pq::PaletteCommandId id, CommandRun run) {
    const pq::PaletteCommandInfo& info = pq::PaletteCommand(id);
    return {.Name = info.ObjectName, .Caption = info.Caption, .Hint = info.Hint, .Run = std::move(run),
            .EnabledWhen = AppliesTo(pq::OperationFamily::PaletteAdjust)};
}

// "フルカラーに変換": the pixels keep their palette colours exactly, so it needs no hourglass.
void mcToTrueColorClick(TImageForm& form, FrameServices&) { form.ApplyEdit(pq::ConvertToTrueColor(form.Doc())); }

// "16色に変換" / "256色に変換" with the Options dialog's reduction choices (builder, dither,
// alpha threshold); a selection keeps floating, as the core converts the floating pixels too.
void ConvertToPaletteClick(TImageForm& form, FrameServices& frame, int colors) {
    pq::EditResult result;
    {
        BusyCursor busy;
        result = pq::ConvertToPalette(form.Doc(), colors, frame.Reduction());
    }
    form.ApplyEdit(result);
}

// ---- レイヤ(&L) > 合成 -----------------------------------------------------------------------------

void N21Click(TImageForm& form, FrameServices& frame) {
    // The pictures are taken from the layers, so floating content is put down first; it stays
    // put down (with its own step) when the dialog is cancelled.
    ReleaseSelection(form);
    TfrmGousei dialog(&form, form.Doc(), frame.TransparencyColors());
    if (!frame.GetPrompt().RunDialog(dialog)) return;
    form.ApplyEdit(pq::CompositeLayers(form.Doc(), dialog.BaseLayer(), dialog.OverlayLayer(), dialog.Opacity()));
}

}  // namespace

CommandTable ImageMenuCommands() {
    using pq::TransformId;
    Command size = TransformRow(TransformId::Resize, &miSizeClick);
    size.Tooltip = "サイズ変更";
    return {
        size,
        Separator(),
        Submenu("miRotate", "画像回転(&R)",
                {
                    TransformRow(TransformId::FlipHorizontal),
                    TransformRow(TransformId::FlipVertical),
                    Separator(),
                    TransformRow(TransformId::Rotate90),
                    TransformRow(TransformId::Rotate180),
                    TransformRow(TransformId::Rotate270),
                    Separator(),
                    TransformRow(TransformId::RotateByAngle, &mirRotationClick),
                }),
        Submenu("miEffect", "効果(&E)", EffectCommands()),
    };
}

CommandTable PaletteAdjustCommands() {
    using pq::PaletteCommandId;
    auto simple = [](pq::EditResult (*op)(pq::Document&)) {
        return [op](TImageForm& form, FrameServices&) { form.ApplyEdit(op(form.Doc())); };
    };
    return {
        PaletteRow(PaletteCommandId::Brightness, &mcBlightClick),
        PaletteRow(PaletteCommandId::Rgb, &mcColorClick),
        PaletteRow(PaletteCommandId::Grayscale, simple(&pq::GrayscalePalette)),
        PaletteRow(PaletteCommandId::Invert, simple(&pq::InvertPalette)),
        PaletteRow(PaletteCommandId::Solarize, simple(&pq::SolarizePalette)),
    };
}

CommandTable ColorCountCommands() {
    Command row = PaletteRow(pq::PaletteCommandId::ColorCount, &mcColorCountClick);
    row.CaptionWhen = [](const TImageForm& form, const FrameServices&) {
        return QString::fromUtf8(pq::ColorCountCaption(form.Doc().ColorCount));
    };
    // The adjustments of its family recolour truecolour pixels; the depth switch has no palette to switch there.
    row.EnabledWhen = [](const TImageForm& form, const FrameServices&) { return pq::ColorCountSwitchApplies(form.Doc()); };
    const CommandTest paletteMode = [](const TImageForm& form, const FrameServices&) { return !form.Doc().TrueColor; };
    const CommandTest trueColorMode = [](const TImageForm& form, const FrameServices&) { return form.Doc().TrueColor; };
    return {
        row,
        {.Name = "mcToTrueColor", .Caption = "フルカラーに変換(&F)", .Hint = "フルカラーのイメージに変換します。",
         .Run = &mcToTrueColorClick, .EnabledWhen = paletteMode},
        {.Name = "mcTo16", .Caption = "16色に変換(&6)", .Hint = "16色のイメージに変換します。",
         .Run = [](TImageForm& form, FrameServices& frame) { ConvertToPaletteClick(form, frame, 16); },
         .EnabledWhen = trueColorMode},
        {.Name = "mcTo256", .Caption = "256色に変換(&2)", .Hint = "256色のイメージに変換します。",
         .Run = [](TImageForm& form, FrameServices& frame) { ConvertToPaletteClick(form, frame, 256); },
         .EnabledWhen = trueColorMode},
    };
}

CommandTable CompositeCommands() {
    const pq::CompositeCommandInfo& info = pq::CompositeCommand();
    return {{.Name = info.ObjectName, .Caption = info.Caption, .Hint = info.Hint, .Run = &N21Click,
             .EnabledWhen = [](const TImageForm& form, const FrameServices&) {
                 return form.Doc().LayerCount() > 1 && pq::OperationApplies(form.Doc(), pq::OperationFamily::Compositing);
             }}};
}

}  // namespace pq::gui
