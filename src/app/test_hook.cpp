#include "app/test_hook.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QPushButton>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "core/document/history.h"
#include "core/document/history_snapshot.h"
#include "gui/app/main_form.h"
#include "gui/kit/prompt.h"
#include "gui/document/image_form.h"

namespace pq::app {
namespace {

void Say(const QString& line) {
    std::fputs((line + "\n").toUtf8().constData(), stdout);
    std::fflush(stdout);
}

// Answers every prompt at once from the script; the chooser dialogs are cancelled, and a URL for
// the browser is printed ("url <url>") and reported opened.
class ScriptPrompt : public gui::Prompt {
public:
    explicit ScriptPrompt(QMap<QString, QString> answers) : answers_(std::move(answers)) {}

    gui::PromptAnswer Message(QWidget*, const QString&, const QString& text, gui::PromptIcon,
                              gui::PromptButtons buttons) override {
        Say("message " + QString(text).replace('\n', ' '));
        return buttons == gui::PromptButtons::Ok || buttons == gui::PromptButtons::OkCancel ? gui::PromptAnswer::Ok
                                                                                            : gui::PromptAnswer::Cancel;
    }
    std::optional<QString> OpenFileName(QWidget*, const gui::FileDialogRequest&) override { return std::nullopt; }
    std::optional<QString> SaveFileName(QWidget*, const gui::FileDialogRequest&) override { return std::nullopt; }
    std::optional<QColor> ChooseColor(QWidget*, const QColor&) override { return std::nullopt; }
    std::optional<QFont> ChooseFont(QWidget*, const QFont&) override { return std::nullopt; }
    bool RunDialog(QDialog& dialog) override {
        Say("dialog " + dialog.objectName());
        for (const QCheckBox* box : dialog.findChildren<QCheckBox*>()) Say("row " + box->text());
        if (const auto* damaged = dialog.findChild<QLabel*>("lblDamaged"))
            Say("damaged " + QString(damaged->text()).replace('\n', ' '));
        const QString name = answers_.value(dialog.objectName());
        auto* button = name.isEmpty() ? nullptr : dialog.findChild<QPushButton*>(name);
        if (!button) return false;
        button->click();
        return dialog.result() == QDialog::Accepted;
    }
    bool OpenUrl(const QUrl& url) override {
        Say("url " + url.toString());
        return true;
    }

private:
    QMap<QString, QString> answers_;
};

// FNV-1a over the document's snapshot bytes: every field undo keeps, pixels included.
QString StateHash(const pq::Document& doc) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : pq::EncodeSnapshot(doc, "")) h = (h ^ b) * 1099511628211ull;
    return QString::number(qulonglong(h), 16);
}

void Dump(gui::TMainForm& frame) {
    for (gui::TImageForm* form : frame.Forms()) {
        const pq::Document& d = form->Doc();
        QStringList steps;
        for (int k = 0; k < d.HistoryPosition + d.RedoCount; ++k)
            steps << QString::fromStdString(pq::StepName(form->HistoryCtx(), k).value_or("?"));
        Say(QString("document caption=%1 file=%2 modified=%3 size=%4x%5 colors=%6 position=%7 redo=%8 state=%9 steps=%10")
                .arg(form->DocumentName(), form->FilePath())
                .arg(int(d.Modified))
                .arg(d.ImageWidth)
                .arg(d.ImageHeight)
                .arg(d.ColorCount)
                .arg(d.HistoryPosition)
                .arg(d.RedoCount)
                .arg(StateHash(d), steps.join('|')));
        // The pages of a set, each with the state and counters of its own document.
        for (int i = 0; form->IsSet() && i < form->PageCount(); ++i) {
            const pq::Document& p = form->PageDoc(i);
            static const char* const kinds[] = {"palette", "32bit", "png"};
            const QString kind = form->PageAt(i).Kind == pq::IconPageKind::Palette
                                     ? QString::number(p.ColorCount)
                                     : QString(kinds[int(form->PageAt(i).Kind)]);
            Say(QString("page index=%1 size=%2x%3 colors=%4 current=%5 modified=%6 position=%7 redo=%8 state=%9")
                    .arg(i)
                    .arg(p.ImageWidth)
                    .arg(p.ImageHeight)
                    .arg(kind)
                    .arg(int(i == form->CurrentPage()))
                    .arg(int(p.Modified))
                    .arg(p.HistoryPosition)
                    .arg(p.RedoCount)
                    .arg(StateHash(p)));
        }
    }
}

// Fills the file system that holds the snapshot folder with one file beside that folder, until
// not one more byte fits: what the editor meets on a full disk.
void FillDisk(gui::TMainForm& frame) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::canonical(frame.SnapshotFolderPath(), ec);
    const std::filesystem::path filler = folder.parent_path() / "pqtest-filler";
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (ec || fd < 0) {
        Say("cannot fill the disk");
        return;
    }
    for (std::size_t block = 1 << 16; block >= 1; block /= 16) {
        const std::vector<char> bytes(block, 'x');
        while (::write(fd, bytes.data(), block) == ssize_t(block)) {
        }
    }
    ::close(fd);
}

}  // namespace

TestHook::TestHook() {
    const QString script = qEnvironmentVariable("PIXQUIL_TEST_SCRIPT");
    if (script.isEmpty()) return;
    QMap<QString, QString> answers;
    for (const QString& command : script.split(';', Qt::SkipEmptyParts)) {
        const QStringList words = command.simplified().split(' ');
        if (words.size() == 3 && words[0] == "answer") answers[words[1]] = words[2];
        else commands_ << command.simplified();
    }
    prompt_ = std::make_unique<ScriptPrompt>(answers);
}

TestHook::~TestHook() = default;

gui::Prompt* TestHook::GetPrompt() const { return prompt_.get(); }

void TestHook::Run(gui::TMainForm& frame) {
    if (!prompt_) return;
    for (const QString& command : commands_) {
        const QStringList words = command.split(' ');
        if (words.size() == 2 && words[0] == "trigger") {
            gui::TImageForm* form = frame.ActiveForm();
            QAction* action = form ? form->MenuAction(words[1]) : nullptr;
            // As when the user opens the entry's menu first: its menu sets captions and states.
            if (action)
                for (QObject* owner : action->associatedObjects())
                    if (auto* menu = qobject_cast<QMenu*>(owner)) emit menu->aboutToShow();
            if (action && action->isEnabled()) action->trigger();
            else Say("cannot trigger " + words[1]);
        } else if (words.size() == 2 && words[0] == "page") {
            // Makes page N of the active set current, as a click on the strip does.
            gui::TImageForm* form = frame.ActiveForm();
            bool ok = false;
            const int page = words[1].toInt(&ok);
            if (form && form->IsSet() && ok && page >= 0 && page < form->PageCount()) form->SelectPage(page);
            else Say("cannot select page " + words[1]);
        } else if (command == "fill-disk") {
            FillDisk(frame);
        } else if (command == "dump") {
            Dump(frame);
        } else if (words.size() == 2 && words[0] == "kill-at" && (words[1] == "note" || words[1] == "snapshot")) {
            // The next step dies like a crash between the writes that record it.
            static pq::StepWritePoint killAt;
            killAt = words[1] == "note" ? pq::StepWritePoint::NoteWritten : pq::StepWritePoint::SnapshotWritten;
            pq::SetStepWriteProbe([](pq::StepWritePoint at) {
                if (at == killAt) ::raise(SIGKILL);
            });
        } else {
            Say("unknown command " + command);
        }
    }
    Say("ready");
}

void TestHook::Report(gui::TMainForm& frame) {
    if (!prompt_) return;
    Say("handed");
    Dump(frame);
}

}  // namespace pq::app
