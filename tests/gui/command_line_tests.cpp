// The editor's command line, run as a user runs it: --version and --help answer without any
// window system, and named files that cannot be opened are said on standard error and in one
// message while the others open.
#include <QProcess>
#include <gtest/gtest.h>

#include "core/formats/native_document.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;

namespace pq::test {
namespace {

struct EditorRun {
    int Status = -1;
    QString Out, Err;
};

EditorRun Editor(const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(PQ_PIXQUIL_PATH, args);
    p.waitForFinished(60000);
    return EditorRun{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

TEST(CommandLine, VersionAndHelpNeedNoDisplayAndFailedNamesAreListedOnce) {
    QProcessEnvironment bare;
    bare.insert("PATH", qEnvironmentVariable("PATH"));
    bare.insert("HOME", qEnvironmentVariable("HOME"));
    const EditorRun version = Editor({"--version"}, bare);
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out, "Pixquil " PQ_VERSION "\n");
    const EditorRun help = Editor({"-h"}, bare);
    EXPECT_EQ(help.Status, 0);
    EXPECT_TRUE(help.Out.startsWith("使い方: pixquil [オプション] [ファイル...]\n")) << help.Out.toStdString();

    TempDir dir;
    const fs::path exe = dir / "app" / "pixquil";   // settings beside it, private to the test
    fs::create_directories(exe.parent_path());
    fs::copy_file(PQ_PIXQUIL_PATH, exe);
    const fs::path good = dir / "good.pqf";
    Document doc;
    InitBlankDocument(doc, 5, 3, 16, 20);
    ASSERT_TRUE(SaveDocumentFile(doc, good).Ok);
    const QString missing = QString::fromStdString((dir / "missing.ico").string());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("PIXQUIL_TEST_SCRIPT", "dump");
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(exe.string()), {missing, QString::fromStdString(good.string())});
    QStringList lines;
    while (!lines.contains("ready") && p.waitForReadyRead(60000))
        while (p.canReadLine()) lines << QString::fromUtf8(p.readLine()).trimmed();
    p.kill();
    p.waitForFinished(10000);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_TRUE(err.contains("pixquil: 「" + missing + "」が見つかりません。\n")) << err.toStdString();
    EXPECT_EQ(lines.filter("message ").size(), 1) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.filter("message 次のファイルを開けませんでした。").size(), 1);
    EXPECT_EQ(lines.filter("document ").size(), 1);
    EXPECT_TRUE(lines.filter("document ").value(0).contains("size=5x3")) << lines.join('\n').toStdString();
}

}  // namespace
}  // namespace pq::test
