#include "gui/app/main_form.h"

#include <QMdiArea>

namespace pq::gui {

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle("Pixquil");
    mdi_ = new QMdiArea(this);
    setCentralWidget(mdi_);
    resize(640, 460);
}

}  // namespace pq::gui
