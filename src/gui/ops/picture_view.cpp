#include "gui/ops/picture_view.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <algorithm>

namespace pq::gui {

QLabel* MakePicture(QWidget* parent, const char* objectName, int width, int height) {
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setFixedSize(std::max(width, 1), std::max(height, 1));
    return label;
}

void ShowPicture(QLabel* label, const pq::Raster& picture) {
    if (picture.Empty()) {
        label->setPixmap(QPixmap());
        return;
    }
    const QImage wrapped(picture.Data(), picture.Width(), picture.Height(), picture.Stride(), QImage::Format_BGR888);
    label->setPixmap(QPixmap::fromImage(wrapped.copy()));
}

pq::Raster PreviewBackdrop(int width, int height, const pq::TransparencyColors& colors) {
    pq::Raster r(std::max(width, 0), std::max(height, 0));
    pq::PaintChecker(r, 4, colors);
    return r;
}

}  // namespace pq::gui
