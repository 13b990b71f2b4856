#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <unistd.h>

#include <cstdio>
#include <string_view>

#include "app/quit_signals.h"
#include "app/test_hook.h"
#include "core/formats/settings_files.h"
#include "core/io/sjis.h"
#include "gui/app/instance_link.h"
#include "gui/app/main_form.h"
#include "gui/kit/prompt.h"
#include "gui/kit/translations.h"

namespace {

// The icon of the frame and every document window: the 16, 32 and 48 pixel images, and the
// 16 pixel one centred in slots a little larger (a document window's title bar asks for 18),
// which would otherwise get the 32 pixel picture shrunk into a blur.
QIcon ProgramIcon() {
    QIcon icon(":/pixquil/pixquil.ico");
    const QPixmap small = icon.pixmap(16, 16);
    for (int side = 17; side <= 20 && !small.isNull(); ++side) {
        QPixmap padded(side, side);
        padded.fill(Qt::transparent);
        QPainter(&padded).drawPixmap((side - 16) / 2, (side - 16) / 2, small);
        icon.addPixmap(padded);
    }
    return icon;
}

const char* const kUsage =
    "使い方: pixquil [オプション] [ファイル...]\n"
    "\n"
    "アイコン、カーソル、小さなパレット画像を 1 ドットずつ描くエディタです。\n"
    "指定したファイルを 1 つずつ別のウィンドウで開きます。開けるのは .pqf（Pixquil ドキュメント）、\n"
    ".ico（アイコン）、.cur（カーソル）、.bmp、.jpg/.jpeg、.png のファイルです。\n"
    "Pixquil がすでに動いているときは、そのウィンドウでファイルを開きます。\n"
    "\n"
    "オプション:\n"
    "  -h, --help      この説明を表示して終了します\n"
    "  -v, --version   バージョンを表示して終了します\n"
    "  --new-instance  動いている Pixquil があっても、別の Pixquil を起動します\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before any window system is needed, so they work on a bare terminal too. Other
    // options are Qt's own (-style, -platform …), which QApplication takes out.
    bool newInstance = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") break;
        if (arg == "--new-instance") newInstance = true;
        if (arg == "-h" || arg == "--help") return std::fputs(kUsage, stdout), 0;
        if (arg == "-v" || arg == "--version") return std::puts("Pixquil " PQ_VERSION), 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Pixquil");
    pq::gui::InstallQtJapanese();
    // The installed desktop entry, so that the desktop shows the windows under its name and icon.
    QGuiApplication::setDesktopFileName("org.pixquil.pixquil");
    // The resources live in the static GUI library: register them explicitly.
    Q_INIT_RESOURCE(resources);
    QApplication::setWindowIcon(ProgramIcon());
    // An executable in a bin folder is installed and keeps its settings under the XDG folder; a
    // setting/ folder beside it is only for a copy run from elsewhere, such as the build tree.
    const QDir exeDir(QCoreApplication::applicationDirPath());
    const std::filesystem::path beside =
        exeDir.dirName() == "bin" ? std::filesystem::path() : std::filesystem::path(exeDir.absolutePath().toStdString());
    const std::filesystem::path settingsFolder = pq::ChooseSettingsFolder(beside);
    QStringList files = QApplication::arguments().mid(1);
    const qsizetype end = files.indexOf("--");
    for (qsizetype i = end < 0 ? files.size() - 1 : end - 1; i >= 0; --i)
        if (files[i] == "--new-instance") files.removeAt(i);
    files.removeOne("--");
    // One editor per settings folder: a running one takes the files (named as this start sees
    // them) and raises its window.
    pq::gui::InstanceLink link;
    if (!newInstance) {
        QStringList absolute;
        for (const QString& file : files) absolute << QFileInfo(file).absoluteFilePath();
        if (link.Claim(settingsFolder, absolute) == pq::gui::InstanceLink::Outcome::HandedOver) return 0;
    }
    // Inactive unless an end-to-end test sets PIXQUIL_TEST_SCRIPT (test_hook.h).
    pq::app::TestHook testHook;
    pq::gui::TMainForm frame(settingsFolder, testHook.GetPrompt());
    QObject::connect(&link, &pq::gui::InstanceLink::Received, &frame, [&](const QStringList& handed) {
        if (frame.isMinimized()) frame.showNormal();
        frame.raise();
        frame.activateWindow();
        for (const QString& file : handed) frame.OpenFile(file);
        testHook.Report(frame);
    });
    // A logout or kill ends the session without questions; windows with unsaved changes stay
    // recoverable, which means the process must end without destroying them.
    const pq::app::QuitSignals quitSignals([&] {
        if (frame.EndSession()) {
            QCoreApplication::quit();
            return;
        }
        link.Close();
        std::fflush(nullptr);
        ::_exit(0);
    });
    for (const QString& failure : frame.ShowAtStartup(files))
        std::fprintf(stderr, "pixquil: %s\n", QString(failure).replace('\n', ' ').toUtf8().constData());
    testHook.Run(frame);
    // Layer and step names are stored in Shift-JIS; without the converter they would be written
    // as UTF-8 bytes that other programs and older files do not expect.
    if (!pq::SjisAvailable())
        frame.GetPrompt().Message(&frame, "Pixquil",
                                  "この環境にはShift-JIS（CP932）の文字コード変換がありません。レイヤ名は正しく保存されません。",
                                  pq::gui::PromptIcon::Warning, pq::gui::PromptButtons::Ok);
    return app.exec();
}
