#include "scripted_prompt.h"

#include <gtest/gtest.h>

namespace pq::test {

ScriptedPrompt::~ScriptedPrompt() {
    EXPECT_TRUE(queue_.empty()) << queue_.size() << " scripted answer(s) never asked for, first: "
                                << (queue_.empty() ? std::string() : queue_.front().Kind.toStdString());
}

void ScriptedPrompt::ExpectMessage(gui::PromptAnswer answer) {
    Answer a;
    a.Kind = "message";
    a.Button = answer;
    queue_.push_back(a);
}

void ScriptedPrompt::ExpectOpenFile(std::optional<QString> path) {
    Answer a;
    a.Kind = "open";
    a.Path = std::move(path);
    queue_.push_back(a);
}

void ScriptedPrompt::ExpectFolder(std::optional<QString> path) {
    Answer a;
    a.Kind = "folder";
    a.Path = std::move(path);
    queue_.push_back(a);
}

std::optional<QString> ScriptedPrompt::FolderName(QWidget*, const QString& title, const QString& initial) {
    shown_.push_back({"folder", title, initial});
    auto a = Take("folder", title, initial);
    return a ? a->Path : std::nullopt;
}

void ScriptedPrompt::ExpectSaveFile(std::optional<QString> path) {
    Answer a;
    a.Kind = "save";
    a.Path = std::move(path);
    queue_.push_back(a);
}

void ScriptedPrompt::ExpectColor(std::optional<QColor> color) {
    Answer a;
    a.Kind = "color";
    a.Color = color;
    queue_.push_back(a);
}

void ScriptedPrompt::ExpectFont(std::optional<QFont> font) {
    Answer a;
    a.Kind = "font";
    a.Font = font;
    queue_.push_back(a);
}

void ScriptedPrompt::ExpectDialog(const QString& objectName, std::function<bool(QDialog&)> act) {
    Answer a;
    a.Kind = objectName;
    a.Act = std::move(act);
    queue_.push_back(a);
}

std::optional<ScriptedPrompt::Answer> ScriptedPrompt::Take(const QString& kind, const QString& title,
                                                           const QString& text) {
    if (queue_.empty()) {
        ADD_FAILURE() << "unexpected " << kind.toStdString() << " prompt: " << title.toStdString() << " / "
                      << text.toStdString();
        return std::nullopt;
    }
    if (queue_.front().Kind != kind) {
        ADD_FAILURE() << "expected a " << queue_.front().Kind.toStdString() << " prompt but got " << kind.toStdString()
                      << ": " << title.toStdString() << " / " << text.toStdString();
        return std::nullopt;
    }
    Answer a = queue_.front();
    queue_.pop_front();
    return a;
}

gui::PromptAnswer ScriptedPrompt::Message(QWidget*, const QString& title, const QString& text, gui::PromptIcon icon,
                                          gui::PromptButtons buttons) {
    shown_.push_back({"message", title, text, icon, buttons});
    auto a = Take("message", title, text);
    return a ? a->Button : gui::PromptAnswer::Cancel;
}

std::optional<QString> ScriptedPrompt::OpenFileName(QWidget*, const gui::FileDialogRequest& request) {
    shown_.push_back({"open", request.Title, request.Filter});
    auto a = Take("open", request.Title, request.Filter);
    return a ? a->Path : std::nullopt;
}

std::optional<QString> ScriptedPrompt::SaveFileName(QWidget*, const gui::FileDialogRequest& request) {
    shown_.push_back({"save", request.Title, request.Filter});
    lastSave_ = request;
    auto a = Take("save", request.Title, request.Filter);
    return a ? a->Path : std::nullopt;
}

std::optional<QColor> ScriptedPrompt::ChooseColor(QWidget*, const QColor& initial) {
    shown_.push_back({"color", QString(), initial.name()});
    auto a = Take("color", QString(), initial.name());
    return a ? a->Color : std::nullopt;
}

std::optional<QFont> ScriptedPrompt::ChooseFont(QWidget*, const QFont& initial) {
    shown_.push_back({"font", QString(), initial.family(), gui::PromptIcon::None, gui::PromptButtons::Ok, initial});
    auto a = Take("font", QString(), initial.family());
    return a ? a->Font : std::nullopt;
}

bool ScriptedPrompt::RunDialog(QDialog& dialog) {
    shown_.push_back({dialog.objectName(), dialog.windowTitle(), QString()});
    auto a = Take(dialog.objectName(), dialog.windowTitle(), QString());
    return a && a->Act ? a->Act(dialog) : false;
}

bool ScriptedPrompt::OpenUrl(const QUrl& url) {
    shown_.push_back({"url", QString(), url.toString()});
    return true;
}

}  // namespace pq::test
