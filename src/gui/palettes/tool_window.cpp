#include "gui/palettes/tool_window.h"

#include "core/formats/settings_files.h"
#include "gui/kit/window_placement.h"

#include <QTimer>

namespace pq::gui {

TToolWindow::TToolWindow(QWidget* frame, const QString& caption, std::filesystem::path positionFile)
    : QWidget(frame, Qt::Tool), positionFile_(std::move(positionFile)) {
    setWindowTitle(caption);
}

void TToolWindow::ReadPosition() {
    if (const auto pos = pq::ReadWindowPosition(positionFile_)) {
        // The whole geometry (a resized layer palette's height too) when it was saved with this
        // very position; else the position alone, as an older settings folder holds it.
        // The place is the stored one either way: Qt's restore may nudge a window whose title
        // would sit above the screen's top, which would change the stored value at each start.
        RestoreWindowGeometry(*this, positionFile_, QRect(pos->Left, pos->Top, 0, 0));
        move(pos->Left, pos->Top);
    }
    KeepOnScreenNow();
}

bool TToolWindow::WritePosition() const {
    const QPoint p = pos();
    const bool written = pq::WriteWindowPosition(positionFile_, pq::WindowPosition{p.x(), p.y()});
    return SaveWindowGeometry(*this, positionFile_, QRect(p.x(), p.y(), 0, 0)) && written;
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
    // Under X11 the window manager's frame (a title bar that may stick out above the screen)
    // is known only some time after mapping: look again then.
    for (int ms : {100, 400, 1200}) QTimer::singleShot(ms, this, [this] { KeepOnScreenNow(); });
}

}  // namespace pq::gui
