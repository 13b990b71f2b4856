#pragma once
// One command defined in one place. A row holds everything about a menu entry or toolbar
// button: its texts, shortcut, icon, what it does and when it is enabled or checked. Each group
// of commands keeps its table beside its handlers (selection_commands.cpp, layer_menu.cpp,
// gui/ops/ops_menus.cpp, ...); the menu builders only place the rows.
//
// Adding a command: add a row to its group's table, members in the order declared below, e.g.
//   {.Name = "mirReverseH", .Caption = "左右反転", .Shortcut = QKeySequence("Ctrl+H"),
//    .Run = [](TImageForm& form, FrameServices&) { form.ApplyEdit(pq::FlipHorizontal(form.Doc())); }},
// Run gets the document window whose menu holds the entry (for toolbar buttons: the active one);
// the command ends by handing its pq::EditResult to form.ApplyEdit. A row with neither Run nor
// RunOnFrame is a placeholder, shown disabled.
//
// Enabling: as a menu opens, an entry whose EnabledWhen fails is switched off; when the menu
// closes it is switched on again so that its shortcut stays live, and Run is skipped while
// EnabledWhen fails (unless ShortcutAlwaysRuns: then the shortcut runs the command regardless).
// Toolbar buttons follow EnabledWhen for the active document.

#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <QString>
#include <functional>
#include <vector>

class QAction;
class QMenu;
class QToolBar;

namespace pq::gui {

class FrameServices;
class TImageForm;

struct Command;
using CommandTable = std::vector<Command>;
using CommandRun = std::function<void(TImageForm& form, FrameServices& frame)>;
using FrameCommandRun = std::function<void(FrameServices& frame)>;
using CommandTest = std::function<bool(const TImageForm& form, const FrameServices& frame)>;
using CommandText = std::function<QString(const TImageForm& form, const FrameServices& frame)>;

enum class CommandKind { Entry, Separator, Submenu };

struct Command {
    QString Name{};                // object name of the entry (or submenu); tests find entries by it
    QString Caption{};             // menu text with its &-accelerator; a button's text
    QString Hint{};                // long hint, shown in status panel 0
    QString Tooltip{};             // short hint; empty keeps Qt's default (the caption)
    QKeySequence Shortcut{};
    QIcon Icon{};
    CommandRun Run{};              // a document command
    FrameCommandRun RunOnFrame{};  // a frame-wide command that needs no document (New, Open, ...)
    CommandTest EnabledWhen{};     // null: always enabled
    bool ShortcutAlwaysRuns = false;  // EnabledWhen only switches the entry off in the open menu
    CommandTest CheckedWhen{};     // non-null: a checkable entry whose mark follows it as the menu opens
    CommandText CaptionWhen{};     // non-null: the caption is recomputed as the menu opens
    CommandKind Kind = CommandKind::Entry;
    CommandTable Items{};          // the rows of a submenu; an empty submenu is shown disabled
};

Command Separator();
Command Submenu(const QString& name, const QString& caption, CommandTable items);
// A Run for a handler that needs only the document window.
CommandRun OnDocument(void (*run)(TImageForm& form));

// Tables are plain vectors: `rows + more` keeps the order of both.
CommandTable operator+(CommandTable rows, const CommandTable& more);

// ---- builders ----------------------------------------------------------------------------------
// Places rows in `menu` for the document window `form`; with `form` null (the frame's own menus)
// only RunOnFrame rows act. The menu applies the rows' EnabledWhen, CheckedWhen and CaptionWhen
// as it opens, its submenus' rows included.
void AddCommands(QMenu* menu, const CommandTable& rows, FrameServices& frame, TImageForm* form);
// One row; returns its entry (null for a separator or a submenu).
QAction* AddCommand(QMenu* menu, const Command& row, FrameServices& frame, TImageForm* form);
// Applies an entry's CaptionWhen, CheckedWhen and EnabledWhen now, as its menu does on opening.
void UpdateCommandEntry(QAction* entry);
// Toolbar buttons act on the frame's active document; a document row's button is enabled when a
// document is open and its EnabledWhen holds for the active one (UpdateCommandButtons, run by the
// frame after every change).
QAction* AddCommandButton(QToolBar* bar, const Command& row, FrameServices& frame);
void UpdateCommandButtons(QToolBar* bar);

// ---- shortcut scheme ------------------------------------------------------------------------------
// Off (the default): each row's own Shortcut. On: the keys users of other desktop editors
// expect where they differ (Ctrl+V pastes and Ctrl+Shift+H flips vertically, Ctrl+Shift+Z also
// redoes, Ctrl++ and Ctrl+- zoom). Entries made from then on take the scheme; ApplyShortcutScheme
// gives it to the entries and buttons already made under `root`.
void SetCommonShortcuts(bool on);
bool CommonShortcuts();
QList<QKeySequence> ShortcutsOf(const Command& row);
void ApplyShortcutScheme(QObject* root);

}  // namespace pq::gui
