#pragma once
// The small cross that marks a cursor's hotspot on the zoomed canvas.

class QPainter;

namespace pq {
class Document;
}

namespace pq::gui {

// Zoom factors from which the canvas marks the hotspot.
inline constexpr int kHotspotMarkZoom = 4;
// Draws the hotspot's cross over the zoomed canvas (an inverting pen, so it shows on any colour):
// a line through the middle of the pixel each way, one pixel beyond it on each side. Only for
// documents that have a hotspot, at zoom kHotspotMarkZoom and above.
void DrawHotspotMark(QPainter& painter, const pq::Document& doc);

}  // namespace pq::gui
