#pragma once
// What a document command leaves for its window to do. Commands change the Document only; the
// window then records the undo step (when Record is set), refreshes the tool windows and
// redraws, in that order, in one place.

#include <string>
#include <utility>

namespace pq {

struct EditResult {
    bool Record = false;         // record an undo step named Step
    std::string Step;            // UTF-8 step name shown in the Edit menu
    bool Redraw = false;         // recompose and present the whole canvas
    bool RebuildLayers = false;  // the layer palette must rebuild its rows (it also redraws)
    bool RefreshRows = false;    // the layer palette rows' names, eyes and highlight changed
    bool RefreshColors = false;  // the palette or DrawColor/AuxColor changed
    bool SizeChanged = false;    // the canvas size (or zoom) changed: the window refits and recentres

    // A command that was refused or did not apply: nothing to record or refresh.
    static EditResult Nothing() { return {}; }
    // A command that records `name`; the caller adds the refreshes it needs.
    static EditResult Recorded(std::string name) {
        EditResult r;
        r.Record = true;
        r.Step = std::move(name);
        return r;
    }
};

}  // namespace pq
