#include "gui/kit/tool_state.h"

#include <array>

#include "core/document/document.h"

namespace pq::gui {

const ToolInfo& ToolInfoOf(int tool) {
    static const std::array<ToolInfo, kToolCount> kTools = {{
        {"tbtZoom", "ズームツール", "倍率を設定します。", ""},
        {"tbtSelect", "選択ツール", "指定した矩形を選択範囲にします。", "選択ツール"},
        {"tbtMove", "移動ツール", "レイヤ、又は選択範囲を移動します。", "移動ツール"},
        {"tbtSpoit", "スポイトツール", "色を画像から取得します。", ""},
        {"tbtBrush", "ブラシツール", "フリーハンドで描きます。", "ブラシツール"},
        {"tbtEraser", "消しゴムツール", "指定した部分を消します。Shift 塗りつぶし Ctrl エアブラシ", "消しゴムツール"},
        {"tbtAir", "エアブラシツール", "ランダムに点を打ちます。", "エアブラシツール"},
        {"tbtCloneBrush", "クローンブラシツール", "指定した位置の画像を他の座標へコピーします。", "クローンブラシツール"},
        {"tbtText", "テキストツール", "指定した位置へ文字を描きます。", "テキストツール"},
        {"tbtFill", "塗りつぶしツール", "指定した位置から連続した同じ色を塗りつぶします。", "塗りつぶしツール"},
        {"tbtLine", "直線ツール", "直線を描きます。", "直線ツール"},
        {"tbtRect", "長方形ツール", "長方形を描きます。", "長方形ツール"},
        {"tbtEllipse", "楕円ツール", "楕円を描きます。", "楕円ツール"},
        {"tbtFillRect", "塗りつぶし長方形ツール", "内部を塗りつぶした長方形を描きます。", "塗りつぶし長方形ツール"},
        {"tbtFillEllipse", "塗りつぶし楕円ツール", "内部を塗りつぶした楕円を描きます。", "塗りつぶし楕円ツール"},
    }};
    if (tool < 0 || tool >= kToolCount) tool = 0;
    return kTools[std::size_t(tool)];
}

int ZoomFactorOfEntry(int entry) {
    if (entry < 0 || entry >= int(kZoomFactors.size())) return kZoomFactors[0];
    return kZoomFactors[std::size_t(entry)];
}

int ZoomEntryOfFactor(int factor) {
    const int i = ZoomListIndex(factor);
    return i < 0 ? 0 : i;
}

}  // namespace pq::gui
