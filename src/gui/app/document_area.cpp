#include "gui/app/document_area.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>

namespace pq::gui {

namespace {

// QMdiSubWindow acts on the title-bar button it last saw the pointer move over. A modal box
// shown from a click (the close prompt answered with キャンセル) takes the pointer away and
// the window forgets the button; without a move in between, the next click on it was lost.
// A press therefore first tells the window where the pointer is.
class TDocumentWindow : public QMdiSubWindow {
protected:
    void mousePressEvent(QMouseEvent* event) override {
        QMouseEvent hover(QEvent::MouseMove, event->position(), event->scenePosition(), event->globalPosition(),
                          Qt::NoButton, Qt::NoButton, event->modifiers());
        QMdiSubWindow::mouseMoveEvent(&hover);
        QMdiSubWindow::mousePressEvent(event);
    }
};

}  // namespace

void SetUpDocumentArea(QMdiArea& area) {
    area.setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

QMdiSubWindow* AddDocumentWindow(QMdiArea& area, QWidget* content) {
    auto* window = new TDocumentWindow;
    window->setWidget(content);
    area.addSubWindow(window);
    return window;
}

}  // namespace pq::gui
