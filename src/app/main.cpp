#include <QApplication>

#include "gui/app/main_form.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Pixquil");
    pq::gui::TMainForm frame;
    frame.ShowAtStartup(QApplication::arguments().mid(1));
    return app.exec();
}
