#include "gui/kit/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

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

QPoint KeepWhollyOnScreen(const QRect& frame, const QScreen* home) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return frame.topLeft();
    const QScreen* target = nullptr;
    qint64 most = 0;
    for (const QScreen* s : screens) {
        if (s->availableGeometry().contains(frame)) return frame.topLeft();
        const QRect part = s->geometry() & frame;
        const qint64 area = qint64(part.width()) * part.height();
        if (area > most) {
            most = area;
            target = s;
        }
    }
    if (!target) target = home && screens.contains(home) ? home : QGuiApplication::primaryScreen();
    if (!target) return frame.topLeft();
    const QRect avail = target->availableGeometry();
    // Right or bottom edge pulled in first, then the left or top edge, which wins when too large.
    const int x = std::max(avail.left(), std::min(frame.left(), avail.left() + avail.width() - frame.width()));
    const int y = std::max(avail.top(), std::min(frame.top(), avail.top() + avail.height() - frame.height()));
    return QPoint(x, y);
}

}  // namespace pq::gui
