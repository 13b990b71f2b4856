#pragma once
// The tool settings shared by every document window (current tool, brush size, zoom list,
// selection-outline toggle) and the program-wide stroke state: only one canvas holds the mouse
// at a time, so one set of stroke fields serves all windows.

#include <Qt>
#include <cstdint>

#include "core/raster/raster.h"

namespace pq::gui {

enum ToolId {
    kToolZoom = 0,
    kToolSelect = 1,
    kToolMove = 2,
    kToolSpoit = 3,
    kToolBrush = 4,
    kToolEraser = 5,
    kToolAir = 6,
    kToolCloneBrush = 7,
    kToolText = 8,
    kToolFill = 9,
    kToolLine = 10,
    kToolRect = 11,
    kToolEllipse = 12,
    kToolFillRect = 13,
    kToolFillEllipse = 14,
    kToolCount = 15
};

struct ToolInfo {
    const char* ButtonName;   // object name of the toolbar button
    const char* Tooltip;      // short hint
    const char* StatusText;   // long hint, shown in status panel 0
    const char* StepName;     // undo step recorded by the tool, "" when it records none
};
const ToolInfo& ToolInfoOf(int tool);

enum class EraserMode { Rub = 0, Spray = 1, Fill = 2 };

struct StrokeState {
    bool Stroking = false;
    uint8_t StrokeColor = 0;   // index written by the stroke; kept by a middle-button press
    pq::Rgba8 StrokeRgba{0, 0, 0, 255};   // the same for a truecolour document
    int LastX = 0, LastY = 0;  // freehand: image pixel of the previous event; bands: start (screen)
    int BandEndX = 0, BandEndY = 0;
    EraserMode Eraser = EraserMode::Rub;
    Qt::MouseButton PickButton = Qt::NoButton;
};

// Zoom list entries: "20倍" ... "1倍".
int ZoomFactorOfEntry(int entry);
// Entry of a factor; factors not in the list map to entry 0.
int ZoomEntryOfFactor(int factor);

}  // namespace pq::gui
