// The real editor ending on a signal, and one editor per settings folder: processes started,
// signalled, started again.
#include <QProcess>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>

#include "gui/app/instance_link.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;

namespace pq::test {
namespace {

// A copy of the editor in `dir`/app: a copy run from elsewhere keeps its settings in a setting/
// folder beside itself, so each copy is an editor of its own settings folder.
fs::path PrivateEditor(const fs::path& dir) {
    const fs::path exe = dir / "app" / "pixquil";
    fs::create_directories(exe.parent_path());
    fs::copy_file(PQ_PIXQUIL_PATH, exe);
    return exe;
}

class Editor {
public:
    // `runtime` stands in for the user's runtime folder, so the test meets no other editor.
    Editor(const fs::path& exe, const QStringList& args, const QString& script, const fs::path& runtime,
           const fs::path& cwd) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
        if (!script.isEmpty()) env.insert("PIXQUIL_TEST_SCRIPT", script);
        p_.setProcessEnvironment(env);
        p_.setWorkingDirectory(QString::fromStdString(cwd.string()));
        p_.start(QString::fromStdString(exe.string()), args);
    }
    ~Editor() {
        if (p_.state() == QProcess::NotRunning) return;
        p_.kill();
        p_.waitForFinished(10000);
    }
    // The lines written up to and including the first that starts with `marker`.
    QStringList ReadUntil(const QString& marker, int ms = 60000) {
        QStringList lines;
        while (p_.canReadLine() || p_.waitForReadyRead(ms)) {
            while (p_.canReadLine()) {
                lines << QString::fromUtf8(p_.readLine()).trimmed();
                if (lines.back().startsWith(marker)) return lines;
            }
        }
        ADD_FAILURE() << "no " << marker.toStdString() << " in: " << lines.join(" / ").toStdString()
                      << p_.readAllStandardError().toStdString();
        return lines;
    }
    // Sends `sig`; the exit code, or -1 when the editor did not end normally within 30 s.
    int EndWith(int sig) {
        ::kill(pid_t(p_.processId()), sig);
        if (!p_.waitForFinished(30000) || p_.exitStatus() != QProcess::NormalExit) return -1;
        return p_.exitCode();
    }
    QProcess& Process() { return p_; }

private:
    QProcess p_;
};

QStringList Starting(const QStringList& lines, const QString& prefix) {
    QStringList found;
    for (const QString& line : lines)
        if (line.startsWith(prefix)) found << line.mid(prefix.size());
    return found;
}

bool HoldsUndoFiles(const fs::path& folder) {
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.path().filename().string().rfind("img", 0) == 0) return true;
    return false;
}

class SessionEnd : public ::testing::Test {
protected:
    SessionEnd() {
        fs::create_directories(runtime_);
        fs::permissions(runtime_, fs::perms::owner_all);
        fs::copy_file(DataDir() / "three_layers.pqf", dir_ / "kept.pqf");
        fs::copy_file(DataDir() / "three_layers.pqf", dir_ / "edited.pqf");
    }
    QString Name(const std::string& file) const { return QString::fromStdString((dir_ / file).string()); }
    TempDir dir_;
    const fs::path runtime_ = dir_ / "runtime";
};

TEST_F(SessionEnd, ASignalWritesTheSettingsAndLeavesOnlyTheChangedWindowToRecover) {
    const fs::path exe = PrivateEditor(dir_.Path());
    const fs::path settings = dir_ / "app" / "setting";
    {
        // The last opened window is the active one: it gets a new layer, the other stays as read.
        Editor editor(exe, {Name("kept.pqf"), Name("edited.pqf")}, "trigger mlNew; dump", runtime_, dir_.Path());
        const QStringList docs = Starting(editor.ReadUntil("ready"), "document ");
        ASSERT_EQ(docs.size(), 2);
        EXPECT_TRUE(docs[1].contains("modified=1"));
        EXPECT_EQ(editor.EndWith(SIGTERM), 0);
    }
    EXPECT_EQ(fs::file_size(settings / "pqset"), 26u);
    EXPECT_EQ(fs::file_size(settings / "pqlpset"), 8u);
    {
        Editor next(exe, {}, "dump", runtime_, dir_.Path());
        const QStringList lines = next.ReadUntil("ready");
        const QStringList rows = Starting(lines, "row ");
        ASSERT_EQ(rows.size(), 1) << lines.join(" / ").toStdString();
        EXPECT_TRUE(rows[0].startsWith(Name("edited.pqf") + "　5×3　16色　1手順")) << rows[0].toStdString();
    }

    // Nothing changed: SIGINT and SIGTERM alike end without a trace but the settings.
    for (int sig : {SIGINT, SIGTERM}) {
        fs::remove_all(settings);
        {
            Editor editor(exe, {Name("kept.pqf")}, "trigger msAll; trigger meUndo; dump", runtime_, dir_.Path());
            EXPECT_TRUE(Starting(editor.ReadUntil("ready"), "document ").value(0).contains("modified=0"));
            EXPECT_EQ(editor.EndWith(sig), 0) << sig;
        }
        EXPECT_TRUE(fs::exists(settings / "pqset")) << sig;
        EXPECT_FALSE(HoldsUndoFiles(settings)) << sig;
        Editor next(exe, {}, "dump", runtime_, dir_.Path());
        EXPECT_TRUE(Starting(next.ReadUntil("ready"), "dialog ").isEmpty()) << sig;
    }
}

TEST_F(SessionEnd, ASecondStartHandsItsFileToTheEditorOfItsSettingsFolderOnly) {
    const fs::path first = PrivateEditor(dir_ / "one");
    const fs::path other = PrivateEditor(dir_ / "two");
    Editor running(first, {}, "dump", runtime_, dir_.Path());
    running.ReadUntil("ready");

    // The socket and its folder are the user's alone.
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime_.string()));
    const QString socket = gui::InstanceLink::SocketPath(dir_ / "one" / "app" / "setting");
    struct stat st {};
    ASSERT_EQ(::stat(socket.toLocal8Bit().constData(), &st), 0) << socket.toStdString();
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((runtime_ / "pixquil").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    {
        // A name relative to where the second start runs reaches the editor as the same file.
        Editor second(first, {"edited.pqf"}, "", runtime_, dir_.Path());
        ASSERT_TRUE(second.Process().waitForFinished(30000));
        EXPECT_EQ(second.Process().exitCode(), 0);
    }
    running.ReadUntil("handed");
    // The first start's blank document comes first in the list; the handed file is among the windows.
    EXPECT_TRUE(running.ReadUntil("document caption=" + Name("edited.pqf") + " ").back().startsWith("document caption=" + Name("edited.pqf") + " "));

    // Another settings folder is another editor.
    Editor apart(other, {Name("kept.pqf")}, "dump", runtime_, dir_.Path());
    EXPECT_EQ(Starting(apart.ReadUntil("ready"), "document ").size(), 1);

    // Killed, the editor leaves its socket behind; the next start takes its place.
    running.Process().kill();
    running.Process().waitForFinished(10000);
    Editor successor(first, {Name("kept.pqf")}, "dump", runtime_, dir_.Path());
    EXPECT_EQ(Starting(successor.ReadUntil("ready"), "document ").size(), 1);
    Editor third(first, {Name("edited.pqf")}, "", runtime_, dir_.Path());
    ASSERT_TRUE(third.Process().waitForFinished(30000));
    EXPECT_EQ(third.Process().exitCode(), 0);
    successor.ReadUntil("handed");
    EXPECT_EQ(Starting(successor.ReadUntil("document caption=" + Name("edited.pqf")), "document ").size(), 2);
}

}  // namespace
}  // namespace pq::test
