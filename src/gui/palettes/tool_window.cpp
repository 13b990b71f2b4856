#include "gui/palettes/tool_window.h"

#include "core/formats/settings_files.h"
#include "gui/kit/window_placement.h"

namespace pq::gui {

TToolWindow::TToolWindow(QWidget* frame, const QString& caption, std::filesystem::path positionFile)
    : QWidget(frame, Qt::Tool), positionFile_(std::move(positionFile)) {
    setWindowTitle(caption);
}

void TToolWindow::ReadPosition() {
    if (const auto pos = pq::ReadWindowPosition(positionFile_)) move(pos->Left, pos->Top);
    KeepOnScreenNow();
}

bool TToolWindow::WritePosition() const {
    const QPoint p = pos();
    return pq::WriteWindowPosition(positionFile_, pq::WindowPosition{p.x(), p.y()});
}

void TToolWindow::KeepOnScreenNow() {
    const QRect outer(pos(), frameGeometry().size());
    const QWidget* frame = parentWidget();
    const QPoint to = KeepWhollyOnScreen(outer, frame ? frame->screen() : screen());
    if (to != outer.topLeft()) move(to);
}

void TToolWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (placedOnShow_) return;
    placedOnShow_ = true;
    KeepOnScreenNow();
}

}  // namespace pq::gui
