#pragma once
// The program's own small pictures, drawn in code: toolbar icons and the zoom and fill cursors.

#include <QApplication>
#include <QCursor>
#include <QPalette>
#include <QIcon>
#include <QString>

namespace pq::gui {

// Toolbar icons are drawn for a palette: their lines and outlines take IconInk(palette), so a
// dark palette gets light lines. Redrawn when the palette changes.
QColor IconInk(const QPalette& palette);
QIcon ToolIcon(int tool, const QPalette& palette = QApplication::palette());
// Icons of the standard toolbar buttons, by object name ("tbNew", "tbUndo", ...).
QIcon CommandIcon(const QString& name, const QPalette& palette = QApplication::palette());
// Program cursors 5 ("ZOOMCURSOR") and 6 ("FILLCURSOR").
QCursor ZoomCursor();
QCursor FillCursor();

}  // namespace pq::gui
