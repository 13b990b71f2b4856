#include "core/ops/palette_adjust.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

#include "core/document/blend.h"
#include "core/document/color_reduction.h"
#include "core/document/quality_reduction.h"
#include "core/document/selection.h"
#include "core/ops/working_area.h"

namespace pq {
namespace {

constexpr std::array<PaletteCommandInfo, 6> kCommands{{
    {PaletteCommandId::Brightness, "mcBlight", "明るさ調整(&B)...", "明るさ調整", "明るさを調整します。"},
    {PaletteCommandId::Rgb, "mcColor", "RGB調整(&C)...", "RGB調整", "赤、緑、青をそれぞれ調整します。"},
    {PaletteCommandId::Grayscale, "mcGray", "グレースケール(&G)", "グレースケール", "グレースケールにします。"},
    {PaletteCommandId::Invert, "mcReverse", "反転(&R)", "反転", "色を反転させます。"},
    {PaletteCommandId::Solarize, "mcSorari", "ソラリゼーション(&O)", "ソラリゼーション",
     "明るさが半分以上の色を反転させます。"},
    {PaletteCommandId::ColorCount, "mcColorCount", "色数変更(&I)", "色数変更", "色数を変更します。"},
}};

uint8_t Clamp255(int v) { return uint8_t(std::clamp(v, 0, 255)); }

// Applies f to the red, green and blue bytes of entries 0 .. count-1.
template <typename F>
void ForUsedEntries(PaletteTable& palette, int count, F f) {
    const std::size_t n = std::size_t(std::clamp(count, 0, 256));
    for (std::size_t i = 0; i < n; ++i) {
        PaletteEntry& e = palette[i];
        const Rgb c = f(EntryColor(e));
        e.red = c.r;
        e.green = c.g;
        e.blue = c.b;
    }
}

ChannelShift ClampShift(ChannelShift s) {
    return ChannelShift{std::clamp(s.Red, kMinShift, kMaxShift), std::clamp(s.Green, kMinShift, kMaxShift),
                        std::clamp(s.Blue, kMinShift, kMaxShift)};
}

EditResult PaletteChanged(PaletteCommandId id) {
    EditResult r = EditResult::Recorded(PaletteCommand(id).Step);
    r.Redraw = true;
    r.RefreshColors = true;
    return r;
}

// f applied to the colour of every pixel of alpha above 0, alpha kept.
template <typename F>
void RecolourPlane(RgbaPlane& plane, F f) {
    for (Rgba8& p : plane) {
        if (p.a == 0) continue;
        const Rgb c = f(Rgb{p.r, p.g, p.b});
        p.r = c.r;
        p.g = c.g;
        p.b = c.b;
    }
}

// The palette command in either mode: the used entries, or in truecolour every layer's pixels
// and the floating ones, as the palette would change them all at once. The swatches are not
// image content: a truecolour document keeps them, so the colour palette needs no refresh.
template <typename F>
EditResult Recolour(Document& doc, PaletteCommandId id, F f) {
    if (!OperationApplies(doc, OperationFamily::PaletteAdjust)) return EditResult::Nothing();
    if (!doc.TrueColor) {
        ForUsedEntries(doc.Palette, doc.ColorCount, f);
        return PaletteChanged(id);
    }
    for (int i = 0; i < doc.LayerCount(); ++i) RecolourPlane(doc.LayerAt(i).Pixels, f);
    RecolourPlane(doc.FloatPixels, f);
    EditResult r = EditResult::Recorded(PaletteCommand(id).Step);
    r.Redraw = true;
    return r;
}

}  // namespace

std::span<const PaletteCommandInfo> PaletteCommands() { return kCommands; }

const PaletteCommandInfo& PaletteCommand(PaletteCommandId id) {
    return *std::find_if(kCommands.begin(), kCommands.end(), [id](const PaletteCommandInfo& c) { return c.Id == id; });
}

const char* ColorCountCaption(int colorCount) { return colorCount == 16 ? "256色に変更(&I)" : "16色に変更(&I)"; }

Rgb ShiftColor(Rgb c, ChannelShift s) {
    return Rgb{Clamp255(c.r + s.Red), Clamp255(c.g + s.Green), Clamp255(c.b + s.Blue)};
}

int GrayLevel(Rgb c) { return (299 * c.r + 587 * c.g + 114 * c.b) / 1000; }

Rgb InvertColor(Rgb c) { return Rgb{uint8_t(255 - c.r), uint8_t(255 - c.g), uint8_t(255 - c.b)}; }

Rgb SolarizeColor(Rgb c) {
    auto solarize = [](uint8_t v) { return v > 127 ? uint8_t(255 - v) : v; };
    return Rgb{solarize(c.r), solarize(c.g), solarize(c.b)};
}

Rgb GrayColor(Rgb c) {
    const uint8_t g = uint8_t(GrayLevel(c));
    return Rgb{g, g, g};
}

void InvertEntries(PaletteTable& palette, int count) { ForUsedEntries(palette, count, InvertColor); }

void SolarizeEntries(PaletteTable& palette, int count) { ForUsedEntries(palette, count, SolarizeColor); }

void GrayscaleEntries(PaletteTable& palette, int count) { ForUsedEntries(palette, count, GrayColor); }

void ShiftEntries(PaletteTable& palette, int count, ChannelShift shift) {
    ForUsedEntries(palette, count, [shift](Rgb c) { return ShiftColor(c, shift); });
}

EditResult InvertPalette(Document& doc) { return Recolour(doc, PaletteCommandId::Invert, InvertColor); }

EditResult SolarizePalette(Document& doc) { return Recolour(doc, PaletteCommandId::Solarize, SolarizeColor); }

EditResult GrayscalePalette(Document& doc) { return Recolour(doc, PaletteCommandId::Grayscale, GrayColor); }

EditResult AdjustBrightness(Document& doc, int d) {
    const ChannelShift s = ClampShift(ChannelShift::All(d));
    return Recolour(doc, PaletteCommandId::Brightness, [s](Rgb c) { return ShiftColor(c, s); });
}

EditResult AdjustRgb(Document& doc, ChannelShift shift) {
    const ChannelShift s = ClampShift(shift);
    return Recolour(doc, PaletteCommandId::Rgb, [s](Rgb c) { return ShiftColor(c, s); });
}

bool ColorCountNeedsRelease(const Document& doc, int colors) {
    return doc.HasSelection && colors == 16 && doc.ColorCount == 256;
}

namespace {

// 256 -> 16 with a dither: the palette as the options' builder makes it, then every layer's
// painted pixels dithered from their old true colours to the K new entries.
void ReduceTo16Dithered(Document& doc, const ReductionOptions& options) {
    const int w = std::max(doc.ImageWidth, 0), h = std::max(doc.ImageHeight, 0);
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    const PaletteTable before = doc.Palette;
    std::vector<Plane> oldIndices(std::size_t(doc.LayerCount()));
    for (int li = 0; li < doc.LayerCount(); ++li) oldIndices[std::size_t(li)] = doc.LayerAt(li).Indices;
    ReductionOptions plain = options;
    plain.dither = Dither::None;
    // Only the K entries built count: the rest are black fillers no pixel should be matched to.
    const int K = ReduceColors(doc, 16, 0, nullptr, plain);
    Raster colors(w, h);
    for (int li = 0; li < doc.LayerCount(); ++li) {
        Layer& L = doc.LayerAt(li);
        const Plane& old = oldIndices[std::size_t(li)];
        if (L.Mask.size() < pixels || old.size() < pixels) continue;
        Plane painted(pixels);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t p = std::size_t(y) * std::size_t(w) + std::size_t(x);
                painted[p] = L.Mask[p] == 1;
                colors.SetPixelUnchecked(x, y, EntryColor(before[old[p]]));
            }
        const std::vector<uint8_t> idx = MapToPalette(colors, &painted, doc.Palette.data(), K, options.dither);
        if (idx.size() < pixels) continue;
        for (std::size_t p = 0; p < pixels; ++p)
            if (painted[p]) L.Indices[p] = idx[p];
    }
}

}  // namespace

EditResult ChangeColorCount(Document& doc, int colors, const ReductionOptions& options) {
    if (!ColorCountSwitchApplies(doc)) return EditResult::Nothing();
    if ((colors != 16 && colors != 256) || colors == doc.ColorCount) return EditResult::Nothing();
    if (colors == 256) {
        // Nothing points at the new entries yet: they start black and no pixel changes.
        std::fill(doc.Palette.begin() + 16, doc.Palette.end(), PaletteEntry{});
    } else {
        if (doc.HasSelection) {
            DropSelection(doc);
            doc.HasSelection = false;
        }
        if (options.dither == Dither::None) ReduceColors(doc, 16, 0, nullptr, options);
        else ReduceTo16Dithered(doc, options);
        doc.DrawColor = 0;
        doc.AuxColor = 8;
    }
    doc.ColorCount = colors;
    return PaletteChanged(PaletteCommandId::ColorCount);
}

namespace {

// Each pixel of `picture` blended over the opaque pixel of `out` under it, as the canvas
// blends its composite over the checkerboard. `picture` holds out's width x height pixels.
void BlendOverPicture(const std::vector<Rgba8>& picture, Raster& out) {
    const std::size_t w = std::size_t(out.Width());
    if (picture.size() != w * std::size_t(out.Height())) return;
    for (int y = 0; y < out.Height(); ++y) {
        uint8_t* row = out.Row(y);
        for (std::size_t x = 0; x < w; ++x) {
            const Rgba8 top = picture[std::size_t(y) * w + x];
            if (top.a == 0) continue;
            const Rgba8 under{row[3 * x + 2], row[3 * x + 1], row[3 * x], 255};
            const Rgba8 c = BlendOver(under, top);
            row[3 * x] = c.b;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.r;
        }
    }
}

}  // namespace

namespace {

// The backdrop at w x h: as given when it has that size, otherwise white.
Raster BackdropAt(const Raster& backdrop, int w, int h) {
    Raster out = backdrop;
    if (out.Width() != w || out.Height() != h) {
        out.Resize(std::max(w, 0), std::max(h, 0));
        out.Fill(kWhite);
    }
    return out;
}

// The document as the canvas shows it: floating content shows above the current layer, so with
// a selection a copy with it put down (kept in `dropped`), otherwise the document itself.
const Document& ShownDocument(const Document& doc, Document& dropped) {
    if (!doc.HasSelection) return doc;
    dropped = doc;
    DropSelection(dropped);
    return dropped;
}

}  // namespace

Raster AdjustmentPreviewSource(const Document& doc, const Raster& backdrop) {
    const int w = doc.ImageWidth;
    Raster out = BackdropAt(backdrop, w, doc.ImageHeight);
    Document dropped;
    const Document* shown = &ShownDocument(doc, dropped);
    const std::size_t pixels = std::size_t(out.Width()) * std::size_t(out.Height());
    if (doc.TrueColor) {
        const std::vector<Rgba8> composed = ComposeRgbaLayers(shown->Layers(), pixels);
        BlendOverPicture(composed, out);
        return out;
    }
    for (const Layer& layer : shown->Layers()) {
        if (layer.Visible == 0 || layer.Mask.size() < pixels || layer.Indices.size() < pixels) continue;
        for (int y = 0; y < out.Height(); ++y)
            for (int x = 0; x < out.Width(); ++x) {
                const std::size_t p = std::size_t(x) + std::size_t(y) * std::size_t(w);
                if (layer.Mask[p] != 0) out.SetPixelUnchecked(x, y, doc.ColorOf(layer.Indices[p]));
            }
    }
    return out;
}

void ShiftPicture(const Raster& source, ChannelShift shift, Raster& out) {
    if (out.Width() != source.Width() || out.Height() != source.Height()) out.Resize(source.Width(), source.Height());
    const ChannelShift s = ClampShift(shift);
    // One lookup table per channel: the update is a table read per byte.
    std::array<uint8_t, 256> red, green, blue;
    for (int v = 0; v < 256; ++v) {
        red[std::size_t(v)] = Clamp255(v + s.Red);
        green[std::size_t(v)] = Clamp255(v + s.Green);
        blue[std::size_t(v)] = Clamp255(v + s.Blue);
    }
    for (int y = 0; y < source.Height(); ++y) {
        const uint8_t* in = source.Row(y);
        uint8_t* o = out.Row(y);
        for (int x = 0; x < source.Width(); ++x) {
            o[3 * x] = blue[in[3 * x]];
            o[3 * x + 1] = green[in[3 * x + 1]];
            o[3 * x + 2] = red[in[3 * x + 2]];
        }
    }
}

}  // namespace pq

namespace pq {

AdjustmentPreview::AdjustmentPreview(const Document& doc, const Raster& backdrop)
    : source_(AdjustmentPreviewSource(doc, backdrop)), trueColor_(doc.TrueColor) {
    if (!trueColor_) return;
    // The backdrop at the picture's size, as AdjustmentPreviewSource drew over it.
    backdrop_ = BackdropAt(backdrop, source_.Width(), source_.Height());
    Document dropped;
    const Document* shown = &ShownDocument(doc, dropped);
    const std::size_t pixels = std::size_t(source_.Width()) * std::size_t(source_.Height());
    for (const Layer& layer : shown->Layers())
        if (layer.Visible && layer.Pixels.size() == pixels) layers_.push_back(layer.Pixels);
}

void AdjustmentPreview::Shift(ChannelShift shift, Raster& out) const {
    if (!trueColor_) {
        ShiftPicture(source_, shift, out);
        return;
    }
    const ChannelShift s = ClampShift(shift);
    const std::size_t pixels = std::size_t(source_.Width()) * std::size_t(source_.Height());
    std::vector<Rgba8> composed(pixels);
    for (const RgbaPlane& layer : layers_)
        for (std::size_t i = 0; i < pixels; ++i) {
            Rgba8 p = layer[i];
            if (p.a == 0) continue;
            const Rgb c = ShiftColor(Rgb{p.r, p.g, p.b}, s);
            composed[i] = BlendOver(composed[i], Rgba8{c.r, c.g, c.b, p.a});
        }
    out = backdrop_;
    BlendOverPicture(composed, out);
}

}  // namespace pq
