#include "gui/palettes/tool_window.h"

#include "core/formats/settings_files.h"
#include "gui/app/window_placement.h"

namespace pq::gui {

TToolWindow::TToolWindow(QWidget* frame, const QString& caption, std::filesystem::path positionFile)
    : QWidget(frame, Qt::Tool), positionFile_(std::move(positionFile)) {
    setWindowTitle(caption);
}

void TToolWindow::ReadPosition() {
    const auto pos = pq::ReadWindowPosition(positionFile_);
    if (!pos) return;
    const QRect frame(QPoint(pos->Left, pos->Top), frameGeometry().size());
    move(KeepOnScreen(frame));
}

bool TToolWindow::WritePosition() const {
    const QPoint p = pos();
    return pq::WriteWindowPosition(positionFile_, pq::WindowPosition{p.x(), p.y()});
}

}  // namespace pq::gui
