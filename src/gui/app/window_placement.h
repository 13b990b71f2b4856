#pragma once
// Window positions read from the settings files may come from another screen layout: a window
// that would lie wholly off every screen is moved back onto the primary screen.

#include <QRect>

namespace pq::gui {

// The top-left corner to use for a window of `frame` (outer bounds): unchanged when the frame
// touches some screen, else the top-left of the primary screen's available area.
QPoint KeepOnScreen(const QRect& frame);

}  // namespace pq::gui
