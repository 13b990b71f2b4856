#include "gui/app/window_placement.h"

#include <QGuiApplication>
#include <QScreen>

namespace pq::gui {

QPoint KeepOnScreen(const QRect& frame) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return frame.topLeft();
    for (QScreen* s : screens) {
        if (s->geometry().intersects(frame)) return frame.topLeft();
    }
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->availableGeometry().topLeft() : frame.topLeft();
}

}  // namespace pq::gui
