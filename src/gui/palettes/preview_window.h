#pragma once
// The preview window "ビュー": the composite of the most recently recomposed document at its real
// size, centred in a 50 x 50 client area, transparent pixels in the desktop colour.

#include <QColor>
#include <QImage>
#include <filesystem>

#include "core/document/render.h"
#include "gui/palettes/tool_window.h"

namespace pq::gui {

class TfrmView : public TToolWindow {
    Q_OBJECT
public:
    TfrmView(QWidget* frame, const std::filesystem::path& settingsFolder);

    // Paints the composite of a W x H document (called at the end of every recompose).
    void PaintFrom(const pq::Composite& comp, int width, int height);
    // No document open: the picture becomes plain desktop colour.
    void Blank();
    const QImage& Picture() const { return picture_; }
    static QColor DesktopColor();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

}  // namespace pq::gui
