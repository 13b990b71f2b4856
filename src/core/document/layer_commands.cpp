#include "core/document/layer_commands.h"

#include <cstddef>
#include <utility>
#include <vector>

#include "core/document/blend.h"
#include "core/document/selection.h"
#include "core/io/sjis.h"

namespace pq {
namespace {

EditResult Rebuilt(const char* step) {
    EditResult r = EditResult::Recorded(step);
    r.RebuildLayers = true;
    r.Redraw = true;
    return r;
}

bool ValidLayer(const Document& doc, int index) { return index >= 0 && index < doc.LayerCount(); }

// Lifts the selection again from the current layer after DropSelection. The drop clips the
// rectangle to the canvas; one moved wholly off the canvas is left with nothing on it, and its
// content was lost with the drop, so the selection ends instead of floating where nothing can
// be seen or drawn.
void LiftAfterDrop(Document& doc) {
    if (doc.HasSelection && doc.Selection().Empty()) doc.HasSelection = false;
    LiftSelection(doc);
}

int VisibleCount(const Document& doc) {
    int n = 0;
    for (const Layer& l : doc.Layers()) n += l.Visible != 0;
    return n;
}

}  // namespace

EditResult NewLayer(Document& doc) {
    DropSelection(doc);
    doc.AppendLayer();
    LiftAfterDrop(doc);
    return Rebuilt("レイヤ作成");
}

EditResult DuplicateLayer(Document& doc) {
    // The copy is made after the floating content is committed into its source, and lifted
    // only afterwards, so the selected area of the copy floats like that of any new layer.
    // Recording once replaces the separate "レイヤ作成" step a plain new layer would record.
    DropSelection(doc);
    const Layer& source = doc.Current();
    Plane indices = source.Indices;
    Plane mask = source.Mask;
    RgbaPlane pixels = source.Pixels;
    std::string name = source.Name + "のコピー";
    doc.AppendLayer();
    Layer& copy = doc.Current();
    copy.Indices = std::move(indices);
    copy.Mask = std::move(mask);
    copy.Pixels = std::move(pixels);
    copy.Name = std::move(name);
    LiftAfterDrop(doc);
    return Rebuilt("レイヤの複製");
}

EditResult DeleteLayer(Document& doc) {
    if (doc.LayerCount() <= 1) return EditResult::Nothing();
    doc.RemoveLayer(doc.CurrentLayer());
    LiftSelection(doc);
    return Rebuilt("レイヤ削除");
}

EditResult MoveLayerUp(Document& doc) {
    if (doc.CurrentLayer() >= doc.LayerCount() - 1) return EditResult::Nothing();
    doc.StepLayer(false);
    EditResult r = EditResult::Recorded("レイヤ移動");
    r.RefreshRows = true;
    r.Redraw = true;
    return r;
}

EditResult MoveLayerDown(Document& doc) {
    if (doc.CurrentLayer() <= 0) return EditResult::Nothing();
    doc.StepLayer(true);
    EditResult r = EditResult::Recorded("レイヤ移動");
    r.RefreshRows = true;
    r.Redraw = true;
    return r;
}

EditResult MoveLayerTo(Document& doc, int from, int to) {
    if (!ValidLayer(doc, from) || !ValidLayer(doc, to)) return EditResult::Nothing();
    if (doc.HasSelection && from != doc.CurrentLayer()) {
        // The moved layer becomes current: commit the floating content into the layer it came
        // from first, so it is not dropped later into a different layer. A layer dropped onto
        // itself becomes current the same way.
        DropSelection(doc);
        if (from == to)
            doc.SetCurrentLayer(from);
        else
            doc.MoveLayer(from, to);
        LiftAfterDrop(doc);
    } else {
        doc.MoveLayer(from, to);
    }
    return Rebuilt("レイヤ移動");
}

EditResult SelectLayer(Document& doc, int index) {
    if (!ValidLayer(doc, index)) return EditResult::Nothing();
    if (doc.HasSelection && index != doc.CurrentLayer()) {
        DropSelection(doc);
        doc.SetCurrentLayer(index);
        LiftAfterDrop(doc);
    } else {
        doc.SetCurrentLayer(index);
    }
    EditResult r;
    r.RefreshRows = true;
    return r;
}

bool MergeLayers(Document& doc, MergeMode mode) {
    const int count = doc.LayerCount();
    if (count <= 1) return false;
    if (mode == MergeMode::Down && doc.CurrentLayer() == 0) return false;
    if (mode == MergeMode::Visible && VisibleCount(doc) < 2) return false;

    DropSelection(doc);

    int target = 0;
    std::vector<bool> merged(std::size_t(count), false);
    switch (mode) {
    case MergeMode::Down:
        target = doc.CurrentLayer() - 1;
        merged[std::size_t(doc.CurrentLayer())] = true;
        break;
    case MergeMode::All:
        target = 0;
        for (int i = 1; i < count; ++i) merged[std::size_t(i)] = true;
        break;
    case MergeMode::Visible:
        target = 0;
        while (doc.LayerAt(target).Visible == 0) ++target;
        for (int i = target + 1; i < count; ++i) merged[std::size_t(i)] = doc.LayerAt(i).Visible != 0;
        break;
    }

    Layer& t = doc.LayerAt(target);
    // Truecolour: the target is first composed over transparency as the canvas does, so that a
    // fully transparent pixel keeps no colour bytes of its own and merging every visible layer
    // gives exactly the canvas composite.
    for (Rgba8& px : t.Pixels) px = BlendOver(Rgba8{}, px);
    for (int i = target + 1; i < count; ++i) {
        if (!merged[std::size_t(i)]) continue;
        const Layer& src = doc.LayerAt(i);
        // Truecolour layers merge as they compose: each higher layer over the target.
        for (std::size_t p = 0; p < t.Pixels.size() && p < src.Pixels.size(); ++p)
            t.Pixels[p] = BlendOver(t.Pixels[p], src.Pixels[p]);
        for (std::size_t p = 0; p < t.Mask.size() && p < src.Mask.size(); ++p) {
            if (src.Mask[p] == 0) continue;
            t.Indices[p] = src.Indices[p];
            t.Mask[p] = 1;
        }
    }

    std::vector<Layer> kept;
    kept.reserve(std::size_t(count));
    std::vector<Layer> old = doc.Layers();
    for (int i = 0; i < count; ++i)
        if (!merged[std::size_t(i)]) kept.push_back(std::move(old[std::size_t(i)]));
    // Every merged layer lies above the target, so its index does not change.
    doc.ReplaceLayers(std::move(kept), target);

    LiftAfterDrop(doc);
    return true;
}

EditResult MergeDown(Document& doc) {
    if (doc.LayerCount() <= 1) return EditResult::Nothing();
    MergeLayers(doc, MergeMode::Down);
    return Rebuilt("レイヤ統合");
}

bool MergeAllAsks(const Document& doc) {
    return doc.LayerCount() > 1 && VisibleCount(doc) < doc.LayerCount();
}

EditResult MergeAll(Document& doc, const std::function<MergeAnswer()>& ask) {
    if (doc.LayerCount() <= 1) return EditResult::Nothing();
    MergeMode mode = MergeMode::All;
    if (MergeAllAsks(doc)) {
        const MergeAnswer answer = ask ? ask() : MergeAnswer::Cancel;
        if (answer == MergeAnswer::Cancel) return EditResult::Nothing();
        mode = answer == MergeAnswer::Yes ? MergeMode::Visible : MergeMode::All;
    }
    MergeLayers(doc, mode);
    return Rebuilt("レイヤ統合");
}

EditResult ToggleCurrentLayerVisible(Document& doc) {
    Layer& l = doc.Current();
    l.Visible = l.Visible ? 0 : 1;
    return Rebuilt("レイヤ表示切替");
}

EditResult ToggleLayerVisible(Document& doc, int index) {
    if (!ValidLayer(doc, index)) return EditResult::Nothing();
    Layer& l = doc.LayerAt(index);
    l.Visible = l.Visible ? 0 : 1;
    EditResult r = EditResult::Recorded("レイヤ表示切替");
    r.RefreshRows = true;
    r.Redraw = true;
    return r;
}

EditResult ShowOnlyCurrentLayer(Document& doc) {
    for (int i = 0; i < doc.LayerCount(); ++i) doc.LayerAt(i).Visible = 0;
    doc.Current().Visible = 1;
    return Rebuilt("現在のレイヤのみ表示");
}

EditResult ShowAllLayers(Document& doc) {
    for (int i = 0; i < doc.LayerCount(); ++i) doc.LayerAt(i).Visible = 1;
    return Rebuilt("レイヤ表示切替");
}

std::optional<std::string> LayerNameProblem(const std::string& name) {
    if (name.empty()) return std::string(kLayerNameRequired);
    if (const auto bad = FirstCharacterNotInSjis(name))
        return "「" + *bad + "」はレイヤ名に使えません（Shift-JISで保存できない文字です）。";
    return std::nullopt;
}

EditResult RenameLayer(Document& doc, const std::string& name) {
    if (LayerNameProblem(name)) return EditResult::Nothing();
    doc.Current().Name = name;
    EditResult r = EditResult::Recorded("レイヤ名変更");
    r.RefreshRows = true;
    return r;
}

}  // namespace pq
