#pragma once
// The commands that change the layer stack: new, duplicate, delete, up/down, reordering by
// drag, the merge engine (down, visible, all), visibility and rename. Each keeps a floating
// selection lifted from the current layer, changes the Document only, and returns the undo
// step and refreshes its window must do (see EditResult).

#include <functional>
#include <optional>
#include <string>

#include "core/document/document.h"
#include "core/document/edit_result.h"

namespace pq {

// "レイヤ作成": commits a floating selection, appends an empty visible top layer
// ("レイヤ" + new count, current) and lifts the same rectangle from it.
EditResult NewLayer(Document& doc);

// "レイヤの複製": a new top layer, current and visible, holding the current layer's pixels,
// named after it with "のコピー". One undo step: record only the returned step.
EditResult DuplicateLayer(Document& doc);

// "レイヤ削除": removes the current layer (nothing with a single layer); the layer that slid
// into its place, or the new top one, becomes current and a floating selection is lifted again
// from it (the floating content of the deleted layer is lost with it).
EditResult DeleteLayer(Document& doc);

// "レイヤ移動": swaps the current layer with the one above (up) or below; the floating
// selection stays with the moved layer. Nothing at the top (up) or the bottom (down).
EditResult MoveLayerUp(Document& doc);
EditResult MoveLayerDown(Document& doc);

// "レイヤ移動" after a row of the layer palette was dropped on another: layer `from` moves to
// index `to` and becomes current. Recorded also when from == to. A floating selection lifted
// from another layer is committed there first and lifted again from the moved layer.
EditResult MoveLayerTo(Document& doc, int from, int to);

// Row click in the layer palette: makes `index` current, committing a floating selection into
// the old current layer and lifting the same rectangle from the new one. Records nothing.
EditResult SelectLayer(Document& doc, int index);

enum class MergeMode { Down, Visible, All };

// The merge engine. Down: the current layer into the one below. All: every layer above 0 into
// layer 0, hidden ones included. Visible: the visible layers above the lowest visible one into
// it; hidden layers stay in place. Higher layers win (truecolour layers are blended over the
// target in order with BlendOver, as ComposeRgbaLayers composes them over transparency, so a
// fully transparent target pixel ends as Rgba8{}); the target keeps its name and visibility
// and becomes current. A floating selection is committed before and lifted from the target
// after. Returns whether anything was merged.
bool MergeLayers(Document& doc, MergeMode mode);

// "レイヤ統合": merge down. Nothing with a single layer; recorded also when the current layer
// is the bottom one and nothing merged.
EditResult MergeDown(Document& doc);

// The answer to the hidden-layer question of merge all.
enum class MergeAnswer { Yes, No, Cancel };
// Merge all asks this question (title kMergeQuestionTitle) when some layer is hidden.
inline constexpr const char* kMergeQuestionText =
    "非表示レイヤが含まれています。表示されているレイヤのみ統合しますか？\n"
    "はいを選択した場合は表示されているレイヤのみ、\n"
    "いいえを選択した場合はすべてのレイヤを統合します。";
inline constexpr const char* kMergeQuestionTitle = "レイヤの統合";
// True when merge all would ask the question (more than one layer and some hidden).
bool MergeAllAsks(const Document& doc);
// "レイヤ統合": merge all. Nothing with a single layer. When a layer is hidden, `ask` is called
// once: Yes merges the visible layers only, No merges all, Cancel changes and records nothing.
EditResult MergeAll(Document& doc, const std::function<MergeAnswer()>& ask);

// "レイヤ表示切替": shows or hides the current layer.
EditResult ToggleCurrentLayerVisible(Document& doc);
// "レイヤ表示切替": the eye of a layer palette row; the current layer does not change.
EditResult ToggleLayerVisible(Document& doc, int index);
// "現在のレイヤのみ表示": hides every layer but the current one.
EditResult ShowOnlyCurrentLayer(Document& doc);
// "レイヤ表示切替": shows every layer.
EditResult ShowAllLayers(Document& doc);

// The rename dialog refuses an empty name with this message (title kRenameTitle).
inline constexpr const char* kLayerNameRequired = "名前を入力してください。";
inline constexpr const char* kRenameTitle = "レイヤ名変更";
// Why a layer name cannot be used, as the message the rename dialog shows: empty, or holding a
// character that Shift-JIS (the encoding of names in files and snapshots) cannot store, which
// would come back as '?' after an undo or a reload. Nothing when the name is fine.
std::optional<std::string> LayerNameProblem(const std::string& name);
// "レイヤ名変更": renames the current layer (recorded also when the name is unchanged; other
// layers may carry the same name). A name with a LayerNameProblem is refused: nothing changes.
EditResult RenameLayer(Document& doc, const std::string& name);

}  // namespace pq
