#pragma once
// The pixel effects of the effect submenu: simple per-pixel rules on palette indices and masks
// (on RGBA pixels in truecolour, below). They never change the palette, and in 16/256 colours
// never look at colours. Like the transforms they work on the working planes (see
// working_area.h): the floating selection when one exists, otherwise the current layer; none
// needs the selection released first. Effects that draw random numbers take the
// generator as a parameter (the editor passes SharedRandom()) and draw in the stated pixel order:
// column by column (x outer), top to bottom within a column (y inner).
//
// In a truecolour document the working plane is RGBA (straight alpha), a pixel counts as painted
// when its alpha is above 0, and the rules read:
// - diffuse, the pixel swaps and scroll move whole RGBA pixels, with the same draws in the same
//   order; pixels they empty become transparent Rgba8{}.
// - unify, noise and colour noise are about colour: each painted pixel keeps its alpha and takes
//   the red, green and blue of DrawRgba (unify; noise: odd draw), AuxRgba (noise: even draw) or
//   palette entry draw % ColorCount (colour noise: the document's swatches).
// - replace colour and erase match a pixel equal to AuxRgba / DrawRgba in all four bytes, every
//   transparent pixel counting as the same colour whatever its red, green and blue: replace
//   writes DrawRgba whole, erase writes Rgba8{}.
// - shadow: the shape moved by (dx, dy) with its alpha times DrawRgba's alpha, in DrawRgba's
//   colour, goes under the shape (source-over, BlendOver): the shadow is soft where the shape is,
//   and shows only where the shape is not opaque (with amounts 0, 0 only through its soft
//   pixels). Cast from the layer as it was, over the whole plane; where the moved shape has
//   alpha 0 a pixel keeps every byte.

#include <array>
#include <optional>
#include <string_view>

#include "core/document/document.h"
#include "core/document/edit_result.h"
#include "core/document/random.h"

namespace pq {

// Stable ids, in the order of the submenu (between the emboss and contrast filters).
enum class PixelEffectId {
    Diffuse = 0,
    Unify,
    Noise,
    ColorNoise,
    SwapPixelsHorizontal,
    SwapPixelsVertical,
    Scroll,
    Shadow,
    ReplaceColor,
    Erase,
};

struct PixelEffectInfo {
    PixelEffectId Id;
    const char* Key;         // stable ASCII name for command lines ("diffuse")
    const char* ObjectName;  // menu action name ("mieWave")
    const char* Caption;     // menu caption
    const char* UndoName;    // name of the recorded step
    const char* Hint;        // status-bar text
    bool UsesRandom;         // draws from the generator
    bool TakesOffsets;       // a dialog collects (dx, dy) first
};

inline constexpr std::array<PixelEffectInfo, 10> kPixelEffects = {{
    {PixelEffectId::Diffuse, "diffuse", "mieWave", "拡散", "拡散", "ピクセルを拡散します。", true, false},
    {PixelEffectId::Unify, "unify", "mieAll", "統一", "統一", "不透明部分をすべて描画色にします。", false, false},
    {PixelEffectId::Noise, "noise", "mieRand2", "ノイズ", "ノイズ", "不透明部分の色をランダムに描画色か補助色にします。", true,
     false},
    {PixelEffectId::ColorNoise, "color-noise", "mieRainbow", "カラーノイズ", "カラーノイズ",
     "不透明部分の色をパレットからランダムに選びます。", true, false},
    {PixelEffectId::SwapPixelsHorizontal, "swap-h", "miePixChangeH", "ピクセル入れ替え(左右)", "ピクセル入れ替え(左右)",
     "2ピクセルおきに左右のピクセルを入れ替えます。", false, false},
    {PixelEffectId::SwapPixelsVertical, "swap-v", "miePixChangeV", "ピクセル入れ替え(上下)", "ピクセル入れ替え(上下)",
     "2ピクセルおきに上下の偶数ピクセルと奇数ピクセルを入れ替えます。", false, false},
    {PixelEffectId::Scroll, "scroll", "mieScroll", "スクロール...", "スクロール", "イメージをスクロールします。", false, true},
    {PixelEffectId::Shadow, "shadow", "mieShadow", "影...", "影", "不透明部分に描画色で影をつけます。", false, true},
    {PixelEffectId::ReplaceColor, "replace-color", "mieReplaceCol", "色置換", "色置換", "イメージ内の補助色を描画色にします。",
     false, false},
    {PixelEffectId::Erase, "erase", "mieErase", "取り除き", "取り除き", "イメージ内の描画色を透明にします。", false, false},
}};

const PixelEffectInfo& InfoOf(PixelEffectId id);
// The entry whose Key matches, or nothing.
std::optional<PixelEffectId> FindPixelEffect(std::string_view key);

// The amount ranges of the shared offsets dialog ("影" and "スクロール").
inline constexpr int kShadowMin = -10, kShadowMax = 10;
inline constexpr int kScrollMin = 0, kScrollMax = 32;

// Every command returns the step named in kPixelEffects with Redraw, and Nothing only when the
// document has no usable working planes. "The working rectangle" is WorkingRectangle(doc).

// "拡散": each pixel of the working rectangle takes a neighbour chosen by two draws (column
// offset, then row offset, each rand % 3 - 1), clamped to the rectangle; with a selection the
// floating pixels outside the rectangle become unpainted.
EditResult Diffuse(Document& doc, Lcg& rng);
// "統一": every painted pixel of the working rectangle takes DrawColor.
EditResult Unify(Document& doc);
// "ノイズ": every painted pixel of the working rectangle draws one number: odd gives DrawColor,
// even AuxColor.
EditResult Noise(Document& doc, Lcg& rng);
// "カラーノイズ": every painted pixel of the working rectangle draws one number and takes it
// modulo ColorCount as its index. Unpainted pixels draw nothing.
EditResult ColorNoise(Document& doc, Lcg& rng);
// "ピクセル入れ替え(左右)": exchanges columns L and L+1, L+2 and L+3, ... of the rectangle; with an
// odd width the last column has no partner and stays as it was.
EditResult SwapPixelsHorizontal(Document& doc);
// "ピクセル入れ替え(上下)": exchanges rows T and T+1, T+2 and T+3, ...; with an odd height the last
// row stays as it was.
EditResult SwapPixelsVertical(Document& doc);
// "スクロール": moves the working rectangle's content dx right and dy down, wrapping around
// inside it (any amounts; the dialog offers kScrollMin..kScrollMax). With a selection the
// floating pixels outside the rectangle become unpainted.
EditResult ScrollImage(Document& doc, int dx, int dy);
// "影": over the whole planes, every unpainted pixel whose neighbour (x - dx, y - dy) has mask
// exactly 1 becomes painted in DrawColor; judged on the mask as it was before, so shadows cast
// no shadows.
EditResult Shadow(Document& doc, int dx, int dy);
// "色置換": over the whole planes, every index equal to AuxColor becomes DrawColor (masks are
// not looked at).
EditResult ReplaceColor(Document& doc);
// "取り除き": over the whole planes, every pixel whose index is DrawColor becomes unpainted.
EditResult EraseDrawColor(Document& doc);

// Runs the effect `id`; dx and dy are used by Scroll and Shadow only, rng by the random ones.
EditResult ApplyPixelEffect(Document& doc, PixelEffectId id, Lcg& rng, int dx = 0, int dy = 0);

}  // namespace pq
