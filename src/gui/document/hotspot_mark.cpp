#include "gui/document/hotspot_mark.h"

#include <QPainter>

#include "core/document/document.h"

namespace pq::gui {

void DrawHotspotMark(QPainter& painter, const pq::Document& doc) {
    const int z = doc.Zoom;
    if (!doc.HasHotspot || z < kHotspotMarkZoom || !doc.OnCanvas(doc.HotspotX, doc.HotspotY)) return;
    const int left = doc.HotspotX * z, top = doc.HotspotY * z, mid = z / 2;
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawLine(left - 1, top + mid, left + z, top + mid);
    painter.drawLine(left + mid, top - 1, left + mid, top + z);
    painter.restore();
}

}  // namespace pq::gui
