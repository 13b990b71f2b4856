#include "gui/app/artwork.h"

#include <QPainter>
#include <cstdlib>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygon>

#include "gui/kit/tool_state.h"

namespace pq::gui {

namespace {

QPixmap Canvas16() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    return pm;
}

void Magnifier(QPainter& p, const QColor& ink) {
    p.setPen(QPen(ink, 1.5));
    p.setBrush(QColor(200, 230, 255));
    p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    p.setPen(QPen(ink, 3));
    p.drawLine(QPointF(9.5, 9.5), QPointF(14.5, 14.5));
}

void Bucket(QPainter& p, const QColor& ink) {
    p.setPen(QPen(ink, 1));
    p.setBrush(QColor(230, 230, 230));
    QPolygon body;
    body << QPoint(2, 7) << QPoint(7, 2) << QPoint(13, 8) << QPoint(8, 13);
    p.drawPolygon(body);
    p.setBrush(QColor(30, 90, 220));
    p.drawEllipse(QRect(11, 9, 4, 5));
}

// A colour of the artwork made lighter (on dark buttons) or darker (on light ones) until it
// stands out from the button by 100 grey levels; colours that already do are kept.
QColor Legible(QColor c, const QColor& behind) {
    const int back = qGray(behind.rgb());
    for (int i = 0; i < 16 && std::abs(qGray(c.rgb()) - back) < 100; ++i) c = back < 128 ? c.lighter(120) : c.darker(120);
    return c;
}

}  // namespace

QColor IconInk(const QPalette& palette) {
    // Lines and outlines take the buttons' text colour, so they stand out under a dark palette
    // as well as a light one; a text colour too close to the button itself falls back to black
    // or white, whichever differs more.
    const QColor text = palette.color(QPalette::ButtonText);
    const QColor button = palette.color(QPalette::Button);
    if (std::abs(qGray(text.rgb()) - qGray(button.rgb())) >= 96) return text;
    return qGray(button.rgb()) < 128 ? QColor(Qt::white) : QColor(20, 20, 20);
}

QIcon ToolIcon(int tool, const QPalette& palette) {
    QPixmap pm = Canvas16();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor ink = IconInk(palette);
    const QColor behind = palette.color(QPalette::Button);
    const QColor paint = Legible(QColor(40, 100, 220), behind);
    p.setPen(QPen(ink, 1));
    switch (tool) {
    case kToolZoom: Magnifier(p, ink); break;
    case kToolSelect:
        p.setPen(QPen(ink, 1, Qt::DashLine));
        p.drawRect(QRectF(2.5, 3.5, 11, 9));
        break;
    case kToolMove:
        p.setPen(QPen(ink, 1.5));
        p.drawLine(8, 1, 8, 15);
        p.drawLine(1, 8, 15, 8);
        p.drawLine(8, 1, 5, 4); p.drawLine(8, 1, 11, 4);
        p.drawLine(8, 15, 5, 12); p.drawLine(8, 15, 11, 12);
        p.drawLine(1, 8, 4, 5); p.drawLine(1, 8, 4, 11);
        p.drawLine(15, 8, 12, 5); p.drawLine(15, 8, 12, 11);
        break;
    case kToolSpoit:
        p.setPen(QPen(ink, 2));
        p.drawLine(3, 13, 10, 6);
        p.setBrush(ink);
        p.drawEllipse(QRectF(9.5, 2.5, 4, 4));
        break;
    case kToolBrush:
        p.setPen(QPen(Legible(QColor(140, 90, 40), behind), 2));
        p.drawLine(14, 2, 7, 9);
        p.setPen(Qt::NoPen);
        p.setBrush(paint);
        p.drawEllipse(QRectF(2, 8, 6, 6));
        break;
    case kToolEraser:
        p.setBrush(QColor(250, 180, 190));
        p.drawRect(QRectF(2.5, 5.5, 11, 6));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 5.5, 4, 6));
        break;
    case kToolAir:
        p.setPen(Qt::NoPen);
        p.setBrush(paint);
        for (QPoint d : {QPoint(3, 4), QPoint(7, 2), QPoint(11, 5), QPoint(5, 8), QPoint(9, 9), QPoint(13, 11),
                         QPoint(4, 12), QPoint(8, 13)})
            p.drawEllipse(QRect(d, QSize(2, 2)));
        break;
    case kToolCloneBrush:
        p.setBrush(QColor(255, 220, 120));
        p.drawEllipse(QRectF(1.5, 1.5, 7, 7));
        p.setBrush(QColor(120, 200, 120));
        p.drawEllipse(QRectF(7.5, 7.5, 7, 7));
        break;
    case kToolText: {
        QFont f = p.font();
        f.setPixelSize(14);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, "A");
        break;
    }
    case kToolFill: Bucket(p, ink); break;
    case kToolLine:
        p.setPen(QPen(ink, 1.5));
        p.drawLine(2, 14, 14, 2);
        break;
    case kToolRect: p.drawRect(QRectF(2.5, 3.5, 11, 9)); break;
    case kToolEllipse: p.drawEllipse(QRectF(1.5, 3.5, 13, 9)); break;
    case kToolFillRect:
        p.setBrush(paint);
        p.drawRect(QRectF(2.5, 3.5, 11, 9));
        break;
    case kToolFillEllipse:
        p.setBrush(paint);
        p.drawEllipse(QRectF(1.5, 3.5, 13, 9));
        break;
    default: break;
    }
    p.end();
    return QIcon(pm);
}

QIcon CommandIcon(const QString& name, const QPalette& palette) {
    QPixmap pm = Canvas16();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor ink = IconInk(palette);
    const QColor behind = palette.color(QPalette::Button);
    const QColor blue = Legible(QColor(30, 90, 200), behind);
    const QColor red = Legible(QColor(200, 30, 30), behind);
    p.setPen(QPen(ink, 1));
    auto page = [&](const QColor& fill) {
        QPolygonF sheet;
        sheet << QPointF(3.5, 1.5) << QPointF(10.5, 1.5) << QPointF(13.5, 4.5) << QPointF(13.5, 14.5)
              << QPointF(3.5, 14.5);
        p.setBrush(fill);
        p.drawPolygon(sheet);
    };
    auto arrow = [&](bool left) {
        QPainterPath path;
        if (left) {
            path.moveTo(13, 12);
            path.cubicTo(13, 4, 6, 4, 4, 7);
        } else {
            path.moveTo(3, 12);
            path.cubicTo(3, 4, 10, 4, 12, 7);
        }
        p.setPen(QPen(blue, 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setBrush(blue);
        p.setPen(Qt::NoPen);
        QPolygonF head;
        if (left) head << QPointF(1, 5) << QPointF(7, 4) << QPointF(4, 10);
        else head << QPointF(15, 5) << QPointF(9, 4) << QPointF(12, 10);
        p.drawPolygon(head);
    };
    if (name == "tbNew") {
        page(Qt::white);
    } else if (name == "tbOpen") {
        p.setBrush(QColor(240, 200, 90));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.drawLine(1, 4, 6, 4);
    } else if (name == "tbSave") {
        p.setBrush(QColor(60, 90, 160));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
    } else if (name == "tbCut") {
        p.drawEllipse(QRectF(2.5, 10.5, 4, 4));
        p.drawEllipse(QRectF(9.5, 10.5, 4, 4));
        p.drawLine(5, 10, 11, 1);
        p.drawLine(11, 10, 5, 1);
    } else if (name == "tbCopy") {
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 1.5, 8, 10));
        p.drawRect(QRectF(6.5, 4.5, 8, 10));
    } else if (name == "tbPaste") {
        p.setBrush(QColor(200, 150, 90));
        p.drawRect(QRectF(2.5, 2.5, 10, 12));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(6.5, 6.5, 8, 8));
    } else if (name == "tbUndo") {
        arrow(true);
    } else if (name == "tbRedo") {
        arrow(false);
    } else if (name == "tbDelete") {
        p.setPen(QPen(red, 2));
        p.drawLine(3, 3, 13, 13);
        p.drawLine(13, 3, 3, 13);
    } else if (name == "tbZoomIn" || name == "tbZoomOut") {
        Magnifier(p, ink);
        p.setPen(QPen(ink, 1));
        p.drawLine(4, 6, 8, 6);
        if (name == "tbZoomIn") p.drawLine(6, 4, 6, 8);
    } else if (name == "tbSelectVisible") {
        p.setPen(QPen(ink, 1, Qt::DashLine));
        p.drawRect(QRectF(2.5, 2.5, 11, 11));
        p.setPen(Qt::NoPen);
        p.setBrush(blue);
        p.drawEllipse(QRectF(6, 6, 4, 4));
    } else if (name == "tbSelectClear") {
        p.setPen(QPen(ink, 1, Qt::DashLine));
        p.drawRect(QRectF(2.5, 2.5, 11, 11));
        p.setPen(QPen(red, 1.5));
        p.drawLine(5, 5, 11, 11);
        p.drawLine(11, 5, 5, 11);
    }
    p.end();
    return QIcon(pm);
}

QCursor ZoomCursor() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(Qt::white, 3));
    p.drawEllipse(QRect(1, 1, 11, 11));
    p.drawLine(11, 11, 17, 17);
    p.setPen(QPen(Qt::black, 1));
    p.drawEllipse(QRect(1, 1, 11, 11));
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(11, 11, 17, 17);
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(4, 7, 9, 7);
    p.drawLine(7, 4, 7, 9);
    p.end();
    return QCursor(pm, 7, 7);
}

QCursor FillCursor() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(Qt::white, 1));
    p.drawLine(0, 1, 2, 1);
    p.drawLine(1, 0, 1, 2);
    p.translate(3, 3);
    Bucket(p, Qt::black);
    p.end();
    return QCursor(pm, 1, 1);
}

}  // namespace pq::gui
