#include <QApplication>
#include <QDir>
#include <QIcon>

#include "core/formats/settings_files.h"
#include "gui/app/main_form.h"
#include "gui/app/translations.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Pixquil");
    pq::gui::InstallQtJapanese();
    // The installed desktop entry, so that the desktop shows the windows under its name and icon.
    QGuiApplication::setDesktopFileName("org.pixquil.Pixquil");
    // The frame and every document window show the program icon (16, 32 and 48 pixel images).
    QApplication::setWindowIcon(QIcon(":/pixquil/pixquil.ico"));
    // An executable in a bin folder is installed and keeps its settings under the XDG folder; a
    // setting/ folder beside it is only for a copy run from elsewhere, such as the build tree.
    const QDir exeDir(QCoreApplication::applicationDirPath());
    const std::filesystem::path beside =
        exeDir.dirName() == "bin" ? std::filesystem::path() : std::filesystem::path(exeDir.absolutePath().toStdString());
    pq::gui::TMainForm frame(pq::ChooseSettingsFolder(beside));
    frame.ShowAtStartup(QApplication::arguments().mid(1));
    return app.exec();
}
