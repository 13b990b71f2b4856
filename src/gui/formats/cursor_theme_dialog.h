#pragma once
// ファイル > カーソルテーマの書き出し...: the dialog "カーソルテーマの書き出し" that makes a cursor
// theme from the open cursor sets and from cursor files (.cur, .ani, Xcursor), each given a role,
// and writes it with pq::WriteCursorTheme into a folder named after the theme inside the output
// folder chosen. Every question goes through the frame's prompt; a refusal keeps the dialog open.

#include <QDialog>
#include <QString>
#include <filesystem>
#include <vector>

#include "core/formats/cursor_animation.h"
#include "core/io/file_result.h"
#include "gui/kit/command_table.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace pq::gui {

class FrameServices;
class TImageForm;

// The window's cursor as an animation: its frames with their sizes, steps and times (a window
// that is not an animation is one frame holding every page as a size), every page with a hotspot.
pq::CursorAnimation AnimationOfWindow(const TImageForm& form);
// True for a window whose document is a cursor set or a cursor.
bool WindowHoldsCursor(const TImageForm& form);
// The role a name gives: a role's own name or a legacy X name standing for one, with or without
// its extension (left_ptr.cur gives "default"); empty when it gives none.
std::string RoleOfName(const std::string& fileName);
// An .ani, Xcursor, .cur or .ico file as an animation (an icon file as one frame of all its images).
pq::FileResult ReadCursorInput(const std::filesystem::path& path, int selectedZoom, pq::CursorAnimation& out);

inline constexpr int kOfferedThemeSizes[] = {24, 30, 32, 36, 48, 60, 64, 72, 96};
// The theme the written one falls back on for the roles it lacks.
inline constexpr const char* kDefaultInheritedTheme = "Adwaita";

class TfrmCursorTheme : public QDialog {
    Q_OBJECT
public:
    // Lists the frame's open cursor windows as the first inputs.
    explicit TfrmCursorTheme(FrameServices& frame);

    struct Input {
        QString Label;   // the file's name or the window's caption
        pq::CursorAnimation Animation;
    };
    // ファイルの追加... / フォルダの追加...: through the prompt's choosers; false when cancelled or
    // nothing was added (a file that cannot be read is said).
    bool AddFileClick();
    bool AddFolderClick();
    // Adds one file as an input; a file that cannot be read is said and false returned.
    bool AddFile(const QString& path);
    // Files of a folder that are cursors (links skipped, as a theme's legacy names are links);
    // returns how many were added.
    int AddFolder(const QString& folder);
    void AddInput(Input input, const std::string& nameForRole);
    // 参照...: the output folder through the prompt's folder chooser.
    void BrowseClick();

    int InputCount() const { return int(inputs_.size()); }
    const Input& InputAt(int i) const { return inputs_.at(std::size_t(i)); }
    // The role combo box of input i (no choice: index -1).
    QComboBox* RoleBox(int i) const;
    QLineEdit* NameEdit() const { return name_; }
    QLineEdit* CommentEdit() const { return comment_; }
    QLineEdit* InheritsEdit() const { return inherits_; }
    QLineEdit* FolderEdit() const { return folder_; }
    QCheckBox* SizeBox(int size) const;
    QCheckBox* WindowsBox() const { return windows_; }
    QPushButton* OkButton() const;
    // Where OK writes the theme: the output folder / the theme's name.
    std::filesystem::path ThemeFolder() const;

    // OK: checks the choices and writes the theme; a refusal is said and the dialog stays open.
    void accept() override;

private:
    // The message for a choice that cannot be written; empty when everything is in order.
    QString Problem() const;
    void Say(const QString& text, bool error);
    FrameServices& frame_;
    std::vector<Input> inputs_;
    QTableWidget* table_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* comment_ = nullptr;
    QLineEdit* inherits_ = nullptr;
    QLineEdit* folder_ = nullptr;
    std::vector<QCheckBox*> sizes_;
    QCheckBox* windows_ = nullptr;
};

// Shows the dialog; true when a theme was written.
bool mfCursorThemeClick(FrameServices& frame);
// The row of the ファイル menus (the frame's and every document window's).
Command CursorThemeCommand();

}  // namespace pq::gui
