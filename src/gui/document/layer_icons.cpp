#include "gui/document/layer_icons.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPolygon>

namespace pq::gui {

namespace {

// A small sheet: the stack of layers most pictures start from.
void Sheet(QPainter& p, int x, int y) {
    p.setPen(QColor(0, 0, 0));
    p.setBrush(QColor(255, 255, 255));
    p.drawRect(x, y, 9, 7);
}

void Arrow(QPainter& p, bool up) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 160));
    const QPolygon head = up ? QPolygon({QPoint(8, 2), QPoint(14, 8), QPoint(2, 8)})
                             : QPolygon({QPoint(8, 14), QPoint(14, 8), QPoint(2, 8)});
    p.drawPolygon(head);
    p.drawRect(up ? QRect(6, 8, 4, 6) : QRect(6, 2, 4, 6));
}

}  // namespace

QPixmap LayerIcon(int index) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    switch (index) {
    case kLayerIconNew:
        Sheet(p, 1, 6);
        p.setPen(QColor(0, 128, 0));
        p.drawLine(12, 1, 12, 7);
        p.drawLine(9, 4, 15, 4);
        break;
    case kLayerIconDelete:
        Sheet(p, 1, 6);
        p.setPen(QPen(QColor(200, 0, 0), 2));
        p.drawLine(9, 1, 15, 7);
        p.drawLine(15, 1, 9, 7);
        break;
    case kLayerIconUp: Arrow(p, true); break;
    case kLayerIconDown: Arrow(p, false); break;
    case kLayerIconHidden:
        // An empty frame where the eye would be.
        p.setPen(QColor(128, 128, 128));
        p.drawRect(1, 1, 13, 13);
        break;
    case kLayerIconVisible:
        p.setPen(QColor(0, 0, 0));
        p.setBrush(QColor(255, 255, 255));
        p.drawEllipse(QRect(1, 4, 14, 8));
        p.setBrush(QColor(0, 0, 0));
        p.drawEllipse(QRect(6, 6, 4, 4));
        break;
    case kLayerIconMergeAll:
        Sheet(p, 1, 1);
        Sheet(p, 4, 4);
        Sheet(p, 6, 8);
        break;
    case kLayerIconMergeDown:
        Sheet(p, 1, 8);
        p.setPen(QColor(0, 0, 160));
        p.drawLine(11, 1, 11, 6);
        p.drawLine(9, 4, 11, 6);
        p.drawLine(13, 4, 11, 6);
        break;
    case kLayerIconRename:
        // A bare letter on the button, drawn in the style's button text colour.
        p.setPen(QGuiApplication::palette().color(QPalette::ButtonText));
        p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, "A");
        p.drawLine(1, 14, 14, 14);
        break;
    default: break;
    }
    return pm;
}

}  // namespace pq::gui
