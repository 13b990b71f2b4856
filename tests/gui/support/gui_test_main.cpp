// GoogleTest entry for the GUI tests: one QApplication for the whole run, offscreen.
#include <QApplication>
#include <gtest/gtest.h>

namespace {
// The offscreen platform reports every window-manager request it cannot honour; those lines
// say nothing about the code under test.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith("This plugin does not support")) return;
    if (message.startsWith("QStandardPaths: XDG_RUNTIME_DIR")) return;
    fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    qInstallMessageHandler(QuietHandler);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
