#pragma once
// The program's own small pictures, drawn in code: toolbar icons and the zoom and fill cursors.

#include <QCursor>
#include <QIcon>
#include <QString>

namespace pq::gui {

QIcon ToolIcon(int tool);
// Icons of the standard toolbar buttons, by object name ("tbNew", "tbUndo", ...).
QIcon CommandIcon(const QString& name);
// Program cursors 5 ("ZOOMCURSOR") and 6 ("FILLCURSOR").
QCursor ZoomCursor();
QCursor FillCursor();

}  // namespace pq::gui
