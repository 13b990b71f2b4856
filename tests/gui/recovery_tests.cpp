#include <QCheckBox>
#include <QProcess>
#include <QPushButton>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <thread>

#include "core/document/history.h"
#include "core/document/recovery.h"
#include "core/document/recovery_note.h"
#include "core/document/snapshot_folder.h"
#include "core/formats/native_document.h"
#include "core/formats/settings_files.h"
#include "gui/app/main_form.h"
#include "gui/app/recovery_dialog.h"
#include "gui/document/image_form.h"
#include "gui/formats/icon_chooser.h"
#include "support/formats_files.h"
#include "support/scripted_prompt.h"
#include "support/small_fs.h"
#include "support/icon_set_file.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;

namespace pq::test {
namespace {

using Bytes = std::vector<uint8_t>;

// A 3 x 2 picture whose left column is painted; each step paints one more pixel.
Document Picture() {
    Document d;
    InitBlankDocument(d, 3, 2, 16, 20);
    d.Current().Indices = {1, 0, 0, 1, 0, 0};
    d.Current().Mask = {1, 0, 0, 1, 0, 0};
    return d;
}

// What a dead instance leaves: its folder with an unheld lock and a window's history of a base
// step and `steps` edits, the last `undos` of them undone. Returns the states after each step.
std::vector<Bytes> LeaveLostWindow(const fs::path& settings, int window, const WindowLabel& label, int steps,
                                   int undos) {
    const fs::path dead = settings / (std::string(kPrivateFolderPrefix) + "dead" + std::to_string(window));
    fs::create_directories(dead);
    WriteBytes(dead / kSnapshotLockName, {});
    const HistoryContext ctx{dead, window, true, label};
    Document doc = Picture();
    std::vector<Bytes> states;
    EXPECT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    states.push_back(EncodeSnapshot(doc, ""));
    for (int i = 1; i <= steps; ++i) {
        doc.Current().Indices[std::size_t(i)] = uint8_t(i + 4);
        doc.Current().Mask[std::size_t(i)] = 1;
        EXPECT_TRUE(RecordStep(doc, ctx, "筆" + std::to_string(i), false).Ok);
        states.push_back(EncodeSnapshot(doc, ""));
    }
    for (int i = 0; i < undos; ++i) EXPECT_TRUE(RestoreStep(doc, ctx, false).Ok);
    return states;
}

bool HoldsHistoryFiles(const fs::path& folder) {
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        int window = 0, step = 0;
        if (ParseHistoryFileName(e.path().filename().string(), window, step)) return true;
    }
    return false;
}

class Recovery : public ::testing::Test {
protected:
    TempDir dir;
    fs::path settings = dir / "setting";
    ScriptedPrompt prompt;
    std::unique_ptr<gui::TMainForm> frame;

    Recovery() { fs::create_directories(settings); }
    void Start() {
        frame = std::make_unique<gui::TMainForm>(settings, &prompt);
        frame->ShowAtStartup({});
    }
    // Answers the recovery dialog: rows to untick, then the button; returns the rows' texts.
    QStringList Expect(const char* button, std::vector<int> untick = {}) {
        auto texts = std::make_shared<QStringList>();
        prompt.ExpectDialog("TfrmRecovery", [=](QDialog& d) {
            auto& dialog = static_cast<gui::TfrmRecovery&>(d);
            for (QCheckBox* row : dialog.Rows()) *texts << row->text();
            for (int i : untick) dialog.Rows()[i]->setChecked(false);
            dialog.findChild<QPushButton*>(button)->click();
            return dialog.result() == QDialog::Accepted;
        });
        Start();
        EXPECT_TRUE(prompt.Done());
        return *texts;
    }
};

TEST_F(Recovery, WithUndoOffNothingIsOfferedAndNothingDeleted) {
    LeaveLostWindow(settings, 2, WindowLabel{"Icon2", ""}, 1, 0);
    MainSettings off;
    off.UndoEnabled = false;
    WriteMainSettings(settings / kMainSettingsFile, off);
    Start();   // a dialog would find no answer queued and fail the test
    EXPECT_TRUE(frame->Forms().isEmpty());
    frame.reset();
    EXPECT_TRUE(HoldsHistoryFiles(settings));
}

TEST_F(Recovery, TickedRowsAreRestoredOrDiscardedAndUntickedOnesOfferedAgain) {
    const std::vector<Bytes> states = LeaveLostWindow(settings, 2, WindowLabel{"/x/a.pqf", "/x/a.pqf"}, 3, 1);
    LeaveLostWindow(settings, 5, WindowLabel{"Icon5", ""}, 1, 0);

    const QStringList rows = Expect("btnRestore", {1});
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].startsWith("/x/a.pqf　3×2　16色　3手順　20")) << rows[0].toStdString();
    EXPECT_TRUE(rows[1].startsWith("Icon5　3×2　16色　1手順")) << rows[1].toStdString();
    ASSERT_EQ(frame->Forms().size(), 1);
    gui::TImageForm* form = frame->Forms()[0];
    EXPECT_EQ(form->DocumentName(), "/x/a.pqf");
    EXPECT_EQ(form->FilePath(), "/x/a.pqf");
    EXPECT_TRUE(form->Doc().Modified);
    EXPECT_EQ(EncodeSnapshot(form->Doc(), ""), states[2]);
    EXPECT_TRUE(frame->ActionNamed("tbUndo")->isEnabled());
    EXPECT_TRUE(frame->ActionNamed("tbRedo")->isEnabled());
    frame.reset();

    // The unticked document comes back; discarding it leaves nothing to offer.
    EXPECT_EQ(Expect("btnDiscard"), QStringList{rows[1]});
    EXPECT_TRUE(frame->Forms().isEmpty());
    frame.reset();
    EXPECT_FALSE(HoldsHistoryFiles(settings));
    Start();
    EXPECT_TRUE(frame->Forms().isEmpty());
}

TEST_F(Recovery, ARestoreWithoutItsHistoryStaysModifiedWhenUndoneBackToTheRestoredState) {
    const std::vector<Bytes> states = LeaveLostWindow(settings, 2, WindowLabel{"/x/a.pqf", "/x/a.pqf"}, 2, 0);
    // The base step goes while the dialog is open: the picture comes back, its history cannot.
    prompt.ExpectDialog("TfrmRecovery", [this](QDialog& d) {
        for (const auto& e : fs::directory_iterator(settings))
            if (e.path().filename().string().find("dead2") != std::string::npos) fs::remove(e.path() / "img2no0");
        d.findChild<QPushButton*>("btnRestore")->click();
        return true;
    });
    prompt.ExpectMessage(gui::PromptAnswer::Ok);
    Start();
    ASSERT_TRUE(prompt.Done());
    ASSERT_EQ(frame->Forms().size(), 1);
    gui::TImageForm& form = *frame->Forms()[0];
    EXPECT_EQ(EncodeSnapshot(form.Doc(), ""), states[2]);
    form.Doc().Current().Mask[5] = 1;
    form.CommitEdit("筆");
    form.meUndoClick();
    // Its file never held the restored picture: closing must still ask.
    EXPECT_EQ(EncodeSnapshot(form.Doc(), ""), states[2]);
    EXPECT_TRUE(form.Doc().Modified);
    frame.reset();
}

TEST_F(Recovery, RestoringOntoAFullDiskSaysNothingWhenOnlyTheReplacedBaseStepFailed) {
    SmallFileSystem small(1 << 20);
    if (!small.Mounted()) GTEST_SKIP() << "mounting a small file system needs root";
    settings = small / "setting";
    fs::create_directories(settings);
    const fs::path dead = settings / (std::string(kPrivateFolderPrefix) + "dead");
    fs::create_directories(dead);
    WriteBytes(dead / kSnapshotLockName, {});
    const HistoryContext ctx{dead, 3, true, WindowLabel{"Icon3", ""}};
    Document doc;
    InitBlankDocument(doc, 64, 40, 16, 20);
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    doc.Current().Indices[70] = 5;
    doc.Current().Mask[70] = 1;
    ASSERT_TRUE(RecordStep(doc, ctx, "筆", false).Ok);
    // Room for the new window's note, not for its base step, which the lost history replaces.
    small.FillLeaving(3 * 4096);

    Expect("btnRestore");
    ASSERT_EQ(frame->Forms().size(), 1);
    EXPECT_TRUE(prompt.Shown().size() == 1) << prompt.Shown().back().Text.toStdString();
    const Document& restored = frame->Forms()[0]->Doc();
    EXPECT_EQ(EncodeSnapshot(restored, ""), EncodeSnapshot(doc, ""));
    EXPECT_EQ(std::tie(restored.HistoryPosition, restored.RedoCount), std::tuple(2, 0));
    EXPECT_TRUE(restored.Journal.Pending.empty());
    small.Unfill();
    frame.reset();
}

TEST_F(Recovery, ASetThatLostAPageSaysSoAndComesBackUntitled) {
    // The set's file as it was opened; the lost set's pages 0 and 2 were edited, page 1 is gone.
    const fs::path file = dir / "set.ico";
    WriteBytes(file, FiveImageIcon());
    const Bytes fileBytes = ReadBytes(file);
    const std::string name = file.string();
    const fs::path dead = settings / (std::string(kPrivateFolderPrefix) + "deadset");
    fs::create_directories(dead);
    WriteBytes(dead / kSnapshotLockName, {});
    for (int page : {0, 2}) {
        const HistoryContext ctx{dead, 40 + page, true, WindowLabel{name, name, 7, page, 0, 3}};
        Document doc = Picture();
        ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
        for (int i = 1; i <= page + 1; ++i) {
            doc.Current().Mask[std::size_t(i)] = 1;
            ASSERT_TRUE(RecordStep(doc, ctx, "筆", false).Ok);
        }
    }
    const QStringList rows = Expect("btnRestore");
    ASSERT_EQ(rows.size(), 1);
    EXPECT_TRUE(rows[0].startsWith(QString::fromStdString(name) +
                                   "　アイコンセット　2ページ（3ページのうち1ページが失われています。名前のない文書として復元します）"))
        << rows[0].toStdString();
    ASSERT_EQ(frame->Forms().size(), 1);
    gui::TImageForm* form = frame->Forms()[0];
    EXPECT_EQ(form->PageCount(), 2);
    EXPECT_EQ(form->DocumentName(), "Icon1");
    EXPECT_TRUE(form->FilePath().isEmpty());
    EXPECT_EQ(form->PageDoc(1).HistoryPosition, 4);   // page 2's steps came with it
    // 上書き保存 asks for a name instead of writing two pages over the set's three.
    prompt.ExpectSaveFile(std::nullopt);
    EXPECT_FALSE(form->Save());
    EXPECT_EQ(ReadBytes(file), fileBytes);
    EXPECT_TRUE(prompt.Done());
}

// Opens `icon` with すべて開く in a frame over `settings` in a forked child, which dies by
// SIGKILL right after its `events`-th file in the snapshot folder was written or named (a
// watcher sees it; the kill lands at most a few files later). True when the child was killed.
bool OpenSetKilledAt(const fs::path& settings, const QString& icon, int events) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        auto* prompt = new ScriptedPrompt;
        prompt->ExpectDialog("TForm7", [](QDialog& d) {
            static_cast<gui::TForm7&>(d).Button3()->click();
            return d.result() == QDialog::Accepted;
        });
        auto* frame = new gui::TMainForm(settings, prompt);
        const int fd = ::inotify_init1(IN_CLOEXEC);
        if (fd < 0 || ::inotify_add_watch(fd, frame->SnapshotFolderPath().c_str(), IN_CLOSE_WRITE | IN_MOVED_TO) < 0)
            ::_exit(3);
        std::thread([fd, events] {
            alignas(inotify_event) char buffer[8192];
            for (int seen = 0;;) {
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n <= 0) return;
                for (ssize_t at = 0; at < n;) {
                    const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                    if (++seen >= events) ::kill(::getpid(), SIGKILL);
                    at += ssize_t(sizeof(inotify_event) + e->len);
                }
            }
        }).detach();
        frame->OpenFile(icon);
        ::_exit(frame->Forms().size() == 1 && frame->Forms()[0]->PageCount() == 60 ? 0 : 2);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
    return WIFSIGNALED(status);
}

TEST(RecoveryAfterKill, ASetKilledWhileItOpensOffersNothingOrEveryPage) {
    std::vector<std::vector<uint8_t>> images;
    for (int i = 0; i < 60; ++i) images.push_back(DiagonalIcon(16 + 8 * (i % 3), i % 2 ? 256 : 16));
    // Kill points spread over the open (about six files per page), from the first file on.
    std::vector<int> points = {1, 2, 3, 7, 60, 119, 120, 121, 122, 240, 241, 300, 359, 360, 361, INT_MAX};
    uint32_t seed = 12345;
    for (int i = 0; i < 14; ++i) points.push_back(int((seed = seed * 1103515245u + 12345u) >> 16) % 400 + 1);
    int nothing = 0, whole = 0, killed = 0;
    for (const int at : points) {
        TempDir dir;
        const fs::path settings = dir / "setting";
        fs::create_directories(settings);
        const fs::path icon = dir / "sixty.ico";
        WriteBytes(icon, JoinIcons(images));
        killed += OpenSetKilledAt(settings, QString::fromStdString(icon.string()), at) ? 1 : 0;

        // What the next start finds, once the dead instance's files are set aside.
        SnapshotFolder next(settings);
        LostDocuments lost(settings);
        const std::vector<LostDocument>& docs = lost.Documents();
        if (docs.empty()) {
            ++nothing;
            continue;
        }
        const auto groups = LostDocumentGroups(docs);
        ASSERT_EQ(groups.size(), 1u) << "kill at " << at;
        std::vector<const LostDocument*> pages;
        for (std::size_t i : groups[0]) pages.push_back(&docs[i]);
        ASSERT_EQ(pages.size(), 60u) << "kill at " << at;
        EXPECT_EQ(RecoverablePages(pages), 60) << "kill at " << at;
        EXPECT_EQ(LostSetPages(pages), 60) << "kill at " << at;
        for (int i = 0; i < 60; ++i) {
            EXPECT_EQ(pages[std::size_t(i)]->Note.Label.PageIndex, i) << "kill at " << at;
            EXPECT_EQ(pages[std::size_t(i)]->Note.Label.FileName, icon.string()) << "kill at " << at;
            EXPECT_EQ(pages[std::size_t(i)]->Width, 16 + 8 * (i % 3)) << "kill at " << at;
        }
        EXPECT_FALSE(gui::TfrmRecovery::DescribeSet(pages).contains("失われて")) << "kill at " << at;
        ++whole;
    }
    // Both outcomes were reached, and the kills did land while the set opened.
    EXPECT_GT(nothing, 0);
    EXPECT_GT(whole, 1);
    EXPECT_GT(killed, int(points.size()) / 2);
}

// ---- the real program, killed and started again ---------------------------------------------

// A copy of the editor in its own folder under `dir`: a copy run from elsewhere keeps its
// settings (and so its recovery files) beside itself, apart from every other run.
fs::path PrivateEditor(const TempDir& dir) {
    const fs::path exe = dir / "app" / "pixquil";
    fs::create_directories(exe.parent_path());
    fs::copy_file(PQ_PIXQUIL_PATH, exe);
    return exe;
}

struct EditorRun {
    QStringList Rows, Documents, Pages, Other;
};

// Starts the editor with a script, reads its output up to "ready" and kills it with SIGKILL;
// with `dies`, the script itself kills the editor before it is ready.
EditorRun RunEditor(const fs::path& exe, const QString& script, const QStringList& args = {}, bool dies = false) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("PIXQUIL_TEST_SCRIPT", script);
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(exe.string()), args);
    EditorRun run;
    bool ready = false;
    while (!ready && (p.canReadLine() || p.waitForReadyRead(60000))) {
        while (p.canReadLine()) {
            const QString line = QString::fromUtf8(p.readLine()).trimmed();
            if (line == "ready") ready = true;
            else if (line.startsWith("row ")) run.Rows << line.mid(4);
            else if (line.startsWith("document ")) run.Documents << line.mid(9);
            else if (line.startsWith("page ")) run.Pages << line.mid(5);
            else run.Other << line;
        }
    }
    EXPECT_EQ(ready, !dies) << p.readAllStandardError().toStdString();
    p.kill();
    p.waitForFinished(10000);
    return run;
}

QString Field(const QString& document, const QString& name) {
    for (const QString& f : document.split(' '))
        if (f.startsWith(name + "=")) return f.mid(name.size() + 1);
    return {};
}

TEST(RecoveryAfterKill, TheNextStartRestoresPixelsAndStepsAndDiscardingDeletes) {
    TempDir dir;
    // A copy of the editor keeps its settings in a setting/ folder beside it, here private.
    const fs::path exe = PrivateEditor(dir);
    const fs::path settings = dir / "app" / "setting";
    const fs::path input = dir / "in.pqf";
    Document doc = Picture();
    ASSERT_TRUE(SaveDocumentFile(doc, input).Ok);
    const QString inputName = QString::fromStdString(input.string());

    const EditorRun edited = RunEditor(exe, "dump; trigger msAll; trigger meClear; trigger mlNew; trigger meUndo; dump", {inputName});
    ASSERT_EQ(edited.Documents.size(), 2) << edited.Other.join('\n').toStdString();
    const QString& opened = edited.Documents[0];
    const QString& killed = edited.Documents[1];
    EXPECT_EQ(Field(killed, "position"), "3");
    EXPECT_EQ(Field(killed, "redo"), "1");
    EXPECT_NE(Field(killed, "state"), Field(opened, "state"));
    EXPECT_TRUE(HoldsHistoryFiles(settings));

    const EditorRun restored = RunEditor(exe, "answer TfrmRecovery btnRestore; dump; trigger meUndo; trigger meUndo; dump");
    ASSERT_EQ(restored.Rows.size(), 1);
    EXPECT_TRUE(restored.Rows[0].startsWith(inputName + "　3×2　16色　3手順")) << restored.Rows[0].toStdString();
    ASSERT_EQ(restored.Documents.size(), 2) << restored.Other.join('\n').toStdString();
    EXPECT_EQ(restored.Documents[0], killed);
    EXPECT_EQ(Field(restored.Documents[1], "state"), Field(opened, "state"));
    EXPECT_EQ(Field(restored.Documents[1], "redo"), "3");

    // The restored window kept its history on disk as it went: killed too, it is offered again,
    // undone to its start yet with all its steps.
    const EditorRun discarded = RunEditor(exe, "answer TfrmRecovery btnDiscard; dump");
    ASSERT_EQ(discarded.Rows.size(), 1);
    EXPECT_TRUE(discarded.Rows[0].startsWith(inputName + "　3×2　16色　3手順")) << discarded.Rows[0].toStdString();
    EXPECT_TRUE(discarded.Documents.isEmpty());
    EXPECT_FALSE(HoldsHistoryFiles(settings));
}

TEST(RecoveryAfterKill, AKillBetweenTheWritesOfAStepRestoresTheNewestCompleteState) {
    for (const char* at : {"note", "snapshot"}) {
        TempDir dir;
        const fs::path exe = PrivateEditor(dir);
        const fs::path input = dir / "in.pqf";
        ASSERT_TRUE(SaveDocumentFile(Picture(), input).Ok);

        // Two steps recorded, the third (a new layer) dies half-recorded.
        const EditorRun edited = RunEditor(
            exe, QString("trigger msAll; trigger meClear; dump; kill-at %1; trigger mlNew; dump").arg(at),
            {QString::fromStdString(input.string())}, true);
        ASSERT_EQ(edited.Documents.size(), 1) << edited.Other.join('\n').toStdString();
        const QString& before = edited.Documents[0];
        ASSERT_EQ(Field(before, "position"), "3");

        const EditorRun restored = RunEditor(exe, "answer TfrmRecovery btnRestore; dump; trigger meUndo; dump");
        ASSERT_EQ(restored.Documents.size(), 2) << restored.Other.join('\n').toStdString();
        const bool snapshotWritten = std::string(at) == "snapshot";
        // Killed after the note only: the state before the step. After the snapshot too: the
        // step itself, and undo leads to the state before it.
        EXPECT_TRUE(restored.Rows[0].contains(snapshotWritten ? "　3手順　" : "　2手順　")) << restored.Rows[0].toStdString();
        EXPECT_EQ(Field(restored.Documents[0], "position"), snapshotWritten ? "4" : "3") << at;
        EXPECT_EQ(Field(restored.Documents[snapshotWritten ? 1 : 0], "state"), Field(before, "state")) << at;
    }
}

TEST(RecoveryAfterKill, ASetKilledRightAfterAPageMovedComesBackWithEveryPageAtItsBaseStep) {
    TempDir dir;
    const fs::path exe = PrivateEditor(dir);
    const fs::path input = dir / "five.ico";
    WriteBytes(input, FiveImageIcon());
    const QString inputName = QString::fromStdString(input.string());

    // Moving a page is no page's step, yet the file no longer holds the set: the set is offered
    // with every page at the base step it was read in.
    const EditorRun opened = RunEditor(exe, "answer TForm7 Button3; page 2; trigger miPageEarlier; dump", {inputName});
    ASSERT_EQ(opened.Pages.size(), 5) << opened.Other.join('\n').toStdString();

    const EditorRun restored = RunEditor(exe, "answer TfrmRecovery btnRestore; dump");
    ASSERT_EQ(restored.Rows.size(), 1);
    EXPECT_TRUE(restored.Rows[0].startsWith(inputName + "　アイコンセット　5ページ")) << restored.Rows[0].toStdString();
    ASSERT_EQ(restored.Pages.size(), 5) << restored.Other.join('\n').toStdString();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Field(restored.Pages[i], "size"), Field(opened.Pages[i], "size")) << i;
        EXPECT_EQ(Field(restored.Pages[i], "colors"), Field(opened.Pages[i], "colors")) << i;
        EXPECT_EQ(Field(restored.Pages[i], "state"), Field(opened.Pages[i], "state")) << i;
        EXPECT_EQ(Field(restored.Pages[i], "position"), "1") << i;
    }
}

TEST(RecoveryAfterKill, AnIconSetComesBackAsOneWindowWithEveryPageAndItsSteps) {
    TempDir dir;
    const fs::path exe = PrivateEditor(dir);
    const fs::path input = dir / "five.ico";
    WriteBytes(input, FiveImageIcon());
    const QString inputName = QString::fromStdString(input.string());

    // Steps on two pages, one of them undone, the pages reordered; then the process is killed.
    const EditorRun edited = RunEditor(exe,
                                       "answer TForm7 Button3; page 2; trigger mirReverseH; trigger mirReverseV; "
                                       "trigger meUndo; page 4; trigger mirReverseH; trigger miPageEarlier; dump",
                                       {inputName});
    ASSERT_EQ(edited.Documents.size(), 1) << edited.Other.join('\n').toStdString();
    ASSERT_EQ(edited.Pages.size(), 5) << edited.Other.join('\n').toStdString();
    EXPECT_TRUE(edited.Pages[3].contains("size=256x256 colors=png current=1 modified=1 position=2 redo=0"))
        << edited.Pages[3].toStdString();

    const EditorRun restored = RunEditor(exe, "answer TfrmRecovery btnRestore; page 2; dump; trigger meRedo; dump");
    ASSERT_EQ(restored.Rows.size(), 1);
    EXPECT_TRUE(restored.Rows[0].startsWith(inputName + "　アイコンセット　5ページ")) << restored.Rows[0].toStdString();
    ASSERT_EQ(restored.Pages.size(), 10) << restored.Other.join('\n').toStdString();
    for (int i = 0; i < 5; ++i) {
        // Every page in its place with its state and counters; only which one is current differs.
        EXPECT_EQ(Field(restored.Pages[i], "size"), Field(edited.Pages[i], "size")) << i;
        EXPECT_EQ(Field(restored.Pages[i], "colors"), Field(edited.Pages[i], "colors")) << i;
        EXPECT_EQ(Field(restored.Pages[i], "state"), Field(edited.Pages[i], "state")) << i;
        EXPECT_EQ(Field(restored.Pages[i], "position"), Field(edited.Pages[i], "position")) << i;
        EXPECT_EQ(Field(restored.Pages[i], "redo"), Field(edited.Pages[i], "redo")) << i;
    }
    // Page 2's undone step is still there to redo.
    EXPECT_EQ(Field(restored.Pages[2], "redo"), "1");
    EXPECT_NE(Field(restored.Pages[7], "state"), Field(restored.Pages[2], "state"));
    EXPECT_EQ(Field(restored.Pages[7], "redo"), "0");
}

// What a kill leaves is offered at the next start only with steps beyond the state its file
// holds (a blank new picture counts as held); the rest goes, files and all.
TEST(RecoveryAfterKill, OnlyDocumentsWithStepsBeyondTheirFilesStateAreOffered) {
    struct Case {
        const char* File;   // empty: the blank picture of a first start
        const char* Script;
        const char* Row;    // the offer after the file's name; null: nothing offered
    };
    const Case cases[] = {
        {"in.pqf", "dump", nullptr},
        {"in.pqf", "trigger mlNew; dump", "　3×2　16色　1手順"},
        // Undone to the file's state: the picture is the file's, the redo states no loss.
        {"in.pqf", "trigger mlNew; trigger msAll; trigger meUndo; trigger meUndo; dump", nullptr},
        {"in.pqf", "trigger mlNew; trigger msAll; trigger Save1; dump", nullptr},
        // A step recorded after undoing from the saved state takes the saved state's place.
        {"in.pqf", "trigger mlNew; trigger Save1; trigger meUndo; trigger msAll; dump", "　3×2　16色　1手順"},
        {"", "dump", nullptr},
        {"five.ico", "answer TForm7 Button3; dump", nullptr},
        {"five.ico", "answer TForm7 Button3; page 2; trigger mirReverseH; trigger Save1; dump", nullptr},
        {"five.ico", "answer TForm7 Button3; page 2; trigger mirReverseH; dump", "　アイコンセット　5ページ"},
        {"five.ico", "answer TForm7 Button3; page 2; trigger mirReverseH; trigger Save1; trigger meUndo; trigger mirReverseV; dump",
         "　アイコンセット　5ページ"},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.File) + ": " + c.Script;
        TempDir dir;
        const fs::path exe = PrivateEditor(dir);
        const fs::path settings = dir / "app" / "setting";
        const QString file = QString::fromStdString((dir / c.File).string());
        ASSERT_TRUE(SaveDocumentFile(Picture(), dir / "in.pqf").Ok);
        WriteBytes(dir / "five.ico", FiveImageIcon());
        const EditorRun run = RunEditor(exe, c.Script, *c.File ? QStringList{file} : QStringList{});
        ASSERT_EQ(run.Documents.size(), 1) << what << run.Other.join('\n').toStdString();
        ASSERT_TRUE(HoldsHistoryFiles(settings)) << what;

        // The next start's offer, made beside an instance of its own.
        QStringList rows;
        {
            SnapshotFolder next(settings);
            LostDocuments lost(settings);
            for (const std::vector<std::size_t>& group : LostDocumentGroups(lost.Documents())) {
                std::vector<const LostDocument*> members;
                for (std::size_t i : group) members.push_back(&lost.Documents()[i]);
                rows << (members.size() > 1 ? gui::TfrmRecovery::DescribeSet(members)
                                            : gui::TfrmRecovery::Describe(*members.front()));
            }
        }
        if (!c.Row) {
            EXPECT_TRUE(rows.isEmpty()) << what << ": " << rows.join('\n').toStdString();
            EXPECT_FALSE(HoldsHistoryFiles(settings)) << what;
            continue;
        }
        ASSERT_EQ(rows.size(), 1) << what << ": " << rows.join('\n').toStdString();
        EXPECT_TRUE(rows[0].startsWith(file + c.Row)) << what << ": " << rows[0].toStdString();
    }
}

TEST(RecoveryAfterKill, StepsWrittenIntoTheReserveOfAFullDiskAreAllOfferedAfterAKill) {
    SmallFileSystem small(24 << 20);
    if (!small.Mounted()) GTEST_SKIP() << "mounting a small file system needs root";
    TempDir dir;
    const fs::path exe = PrivateEditor(dir);
    // The copy's settings folder lies on the small file system.
    fs::create_directories(small / "setting");
    fs::create_directory_symlink(small / "setting", dir / "app" / "setting");
    const fs::path input = dir / "in.pqf";
    Document doc;
    InitBlankDocument(doc, 256, 160, 16, 20);
    doc.Current().Indices[3] = 4;
    doc.Current().Mask[3] = 1;
    ASSERT_TRUE(SaveDocumentFile(doc, input).Ok);
    const QString inputName = QString::fromStdString(input.string());

    // The disk is full before the first flip: every flip goes into the space of the reserve.
    const EditorRun edited = RunEditor(exe,
                                       "fill-disk; trigger mirReverseH; trigger mirReverseV; trigger mirReverseH; "
                                       "trigger mirReverseV; trigger mirReverseH; dump",
                                       {inputName});
    ASSERT_EQ(edited.Documents.size(), 1) << edited.Other.join('\n').toStdString();
    const QString killed = edited.Documents[0];
    EXPECT_EQ(Field(killed, "position"), "6");
    const QString said = edited.Other.join('\n');
    EXPECT_TRUE(said.contains("message ディスクの空き容量がなくなったため、予備に確保していた領域を使って")) << said.toStdString();
    EXPECT_FALSE(said.contains("アンドゥ情報を保存できませんでした")) << said.toStdString();

    // Started again on the still full disk: all five steps are offered and come back.
    const EditorRun restored = RunEditor(exe, "answer TfrmRecovery btnRestore; dump; trigger meUndo; dump");
    ASSERT_EQ(restored.Rows.size(), 1);
    EXPECT_TRUE(restored.Rows[0].startsWith(inputName + "　256×160　16色　5手順")) << restored.Rows[0].toStdString();
    ASSERT_EQ(restored.Documents.size(), 2) << restored.Other.join('\n').toStdString();
    EXPECT_EQ(restored.Documents[0], killed);
    EXPECT_EQ(Field(restored.Documents[1], "position"), "5");
    EXPECT_EQ(Field(restored.Documents[1], "redo"), "1");
}

TEST_F(Recovery, LinksPlantedInTheSettingsFolderAreRemovedAndSaidAndTheirTargetsNeverWritten) {
    TempDir outside;
    const Bytes secret = {'m', 'i', 'n', 'e', 0, 7};
    const std::vector<std::pair<std::string, std::string>> links = {
        {kMainSettingsFile, "a"}, {kRecentFilesFile, "b"}, {"img1no0", "c"},
        {"img1note", "d"},        {kColorPaletteFile, "e"}, {"pqreserve", "f"}};
    for (const auto& [name, target] : links) {
        WriteBytes(outside / target, secret);
        fs::create_symlink(outside / target, settings / name);
    }
    const fs::path input = dir / "in.pqf";
    ASSERT_TRUE(SaveDocumentFile(Picture(), input).Ok);

    prompt.ExpectMessage(gui::PromptAnswer::Ok);
    Start();
    ASSERT_EQ(prompt.Shown().size(), 1u);
    const QString said = prompt.Shown()[0].Text;
    EXPECT_TRUE(said.startsWith("設定フォルダの次のファイルはシンボリックリンクになっていたため、壊れたファイルとして削除しました"))
        << said.toStdString();
    for (const char* name : {kMainSettingsFile, kRecentFilesFile, "img1no0", "img1note", kColorPaletteFile})
        EXPECT_TRUE(said.contains(QString::fromStdString((settings / name).string()))) << name;

    // A window records its steps and the editor ends, writing every settings file.
    ASSERT_TRUE(frame->OpenFile(QString::fromStdString(input.string())));
    frame->Forms()[0]->RecordStep("筆");
    frame->Forms()[0]->Doc().Modified = false;
    frame.reset();
    for (const auto& [name, target] : links) EXPECT_EQ(ReadBytes(outside / target), secret) << name;
    for (const auto& e : fs::recursive_directory_iterator(settings)) EXPECT_FALSE(e.is_symlink()) << e.path();
    EXPECT_TRUE(fs::is_regular_file(settings / kMainSettingsFile));
    EXPECT_EQ(fs::file_size(settings / kMainSettingsFile), 26u);
    EXPECT_TRUE(prompt.Done());
}

}  // namespace
}  // namespace pq::test
