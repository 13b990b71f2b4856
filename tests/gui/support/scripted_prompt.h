#pragma once
// A Prompt for tests: every message box, chooser and dialog takes the next answer from a queue.
// A prompt of another kind than the next expected one, or with none queued, fails the test and
// answers as a cancel would. A URL handed to the browser needs no answer: it is only remembered
// (kind "url") and reported opened. Every prompt shown is remembered for later checks.

#include <QDialog>
#include <deque>
#include <functional>
#include <vector>

#include "gui/kit/prompt.h"

namespace pq::test {

struct ShownPrompt {
    QString Kind;    // "message", "open", "save", "color", "font", "url", or a dialog's objectName
    QString Title;
    QString Text;    // a URL's full text for "url"
    gui::PromptIcon Icon = gui::PromptIcon::None;
    gui::PromptButtons Buttons = gui::PromptButtons::Ok;
    QFont Font;      // the font a font chooser was opened on
};

class ScriptedPrompt : public gui::Prompt {
public:
    ~ScriptedPrompt() override;

    void ExpectMessage(gui::PromptAnswer answer);
    void ExpectOpenFile(std::optional<QString> path);
    void ExpectSaveFile(std::optional<QString> path);
    void ExpectColor(std::optional<QColor> color);
    void ExpectFont(std::optional<QFont> font);
    void ExpectFolder(std::optional<QString> path);
    // A dialog by objectName; `act` works its real widgets and returns true to accept.
    void ExpectDialog(const QString& objectName, std::function<bool(QDialog&)> act);
    bool Done() const { return queue_.empty(); }
    const std::vector<ShownPrompt>& Shown() const { return shown_; }
    // What the last save chooser was asked to open on.
    const gui::FileDialogRequest& LastSaveRequest() const { return lastSave_; }

    gui::PromptAnswer Message(QWidget* parent, const QString& title, const QString& text, gui::PromptIcon icon,
                              gui::PromptButtons buttons) override;
    std::optional<QString> OpenFileName(QWidget* parent, const gui::FileDialogRequest& request) override;
    std::optional<QString> SaveFileName(QWidget* parent, const gui::FileDialogRequest& request) override;
    std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial) override;
    std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial) override;
    std::optional<QString> FolderName(QWidget* parent, const QString& title, const QString& initial) override;
    bool RunDialog(QDialog& dialog) override;
    bool OpenUrl(const QUrl& url) override;

private:
    struct Answer {
        QString Kind;
        gui::PromptAnswer Button = gui::PromptAnswer::Cancel;
        std::optional<QString> Path;
        std::optional<QColor> Color;
        std::optional<QFont> Font;
        std::function<bool(QDialog&)> Act;
    };
    // The next answer when it is of `kind`, else a test failure and nullopt.
    std::optional<Answer> Take(const QString& kind, const QString& title, const QString& text);

    std::deque<Answer> queue_;
    std::vector<ShownPrompt> shown_;
    gui::FileDialogRequest lastSave_;
};

}  // namespace pq::test
