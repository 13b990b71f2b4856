#include "gui/document/canvas.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "gui/document/image_form.h"

namespace pq::gui {

TCanvas::TCanvas(TImageForm* form, QWidget* parent) : QWidget(parent), form_(form) {
    setObjectName("pbIconImage");
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TCanvas::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    form_->PaintCanvas(painter, event->rect());
}

void TCanvas::mousePressEvent(QMouseEvent* event) {
    form_->pbIconImageMouseDown(event->button(), event->modifiers(), event->position().toPoint());
}

void TCanvas::mouseMoveEvent(QMouseEvent* event) {
    form_->pbIconImageMouseMove(event->modifiers(), event->position().toPoint());
}

void TCanvas::mouseReleaseEvent(QMouseEvent* event) { form_->pbIconImageMouseUp(event->button()); }

void TCanvas::leaveEvent(QEvent*) { form_->PointerLeftCanvas(); }

TCanvasPage::TCanvasPage(TImageForm* form, QWidget* parent) : QWidget(parent), form_(form) {
    setMouseTracking(true);
}

void TCanvasPage::resizeEvent(QResizeEvent*) { form_->CentreCanvas(); }

void TCanvasPage::mouseMoveEvent(QMouseEvent*) { form_->PointerLeftCanvas(); }

}  // namespace pq::gui
