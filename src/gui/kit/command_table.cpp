#include "gui/kit/command_table.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <QVariant>

#include "gui/kit/frame_services.h"

namespace pq::gui {

namespace {

bool gCommonShortcuts = false;

// The row behind one entry or button, kept as a child of its action.
class CommandBinding : public QObject {
    Q_OBJECT
public:
    // `form` null and `followsActive` false: an entry of the frame's own menus.
    CommandBinding(QAction* action, Command row, FrameServices& frame, TImageForm* form, bool followsActive)
        : QObject(action), action_(action), row_(std::move(row)), frame_(frame), form_(form),
          followsActive_(followsActive) {
        connect(action, &QAction::triggered, this, &CommandBinding::Trigger);
    }

    void Trigger() {
        TImageForm* form = Target();
        if (form && row_.EnabledWhen && !row_.ShortcutAlwaysRuns && !row_.EnabledWhen(*form, frame_)) return;
        // Copies: a command may close the window that holds this entry.
        if (row_.Run) {
            if (!form) return;
            const CommandRun run = row_.Run;
            run(*form, frame_);
        } else if (row_.RunOnFrame) {
            const FrameCommandRun run = row_.RunOnFrame;
            run(frame_);
        }
    }

    // The menu opens: captions, marks, and entries whose condition fails are switched off.
    void MenuOpening() {
        TImageForm* form = Target();
        if (!form) return;
        if (row_.CaptionWhen) action_->setText(row_.CaptionWhen(*form, frame_));
        if (row_.CheckedWhen) action_->setChecked(row_.CheckedWhen(*form, frame_));
        if (!row_.EnabledWhen) return;
        const bool on = row_.EnabledWhen(*form, frame_);
        if (!on && action_->isEnabled()) {
            action_->setEnabled(false);
            held_ = true;
        } else if (on && held_) {
            action_->setEnabled(true);
            held_ = false;
        }
    }

    // The menu closed: what opening switched off answers its shortcut again.
    void MenuClosed() {
        if (!held_) return;
        action_->setEnabled(true);
        held_ = false;
    }

    void UpdateButton() {
        TImageForm* form = frame_.ActiveForm();
        if (row_.Run) action_->setEnabled(form && (!row_.EnabledWhen || row_.EnabledWhen(*form, frame_)));
        else action_->setEnabled(bool(row_.RunOnFrame));
        if (form && row_.CheckedWhen) action_->setChecked(row_.CheckedWhen(*form, frame_));
    }

    void ApplyKeys() {
        action_->setShortcuts(ShortcutsOf(row_));
        action_->setShortcutContext(Qt::WindowShortcut);
    }

private:
    TImageForm* Target() const { return followsActive_ ? frame_.ActiveForm() : form_; }

    QAction* action_;
    Command row_;
    FrameServices& frame_;
    TImageForm* form_;
    bool followsActive_;
    bool held_ = false;
};

CommandBinding* BindingOf(QAction* action) {
    return action->findChild<CommandBinding*>(QString(), Qt::FindDirectChildrenOnly);
}

void ForEachBinding(QMenu* menu, void (CommandBinding::*step)()) {
    for (QAction* a : menu->actions()) {
        if (QMenu* sub = a->menu()) ForEachBinding(sub, step);
        else if (CommandBinding* b = BindingOf(a)) (b->*step)();
    }
}

void HookMenu(QMenu* menu) {
    static const char* const kHooked = "pqCommandsHooked";
    if (menu->property(kHooked).toBool()) return;
    menu->setProperty(kHooked, true);
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] { ForEachBinding(menu, &CommandBinding::MenuOpening); });
    QObject::connect(menu, &QMenu::aboutToHide, menu, [menu] { ForEachBinding(menu, &CommandBinding::MenuClosed); });
}

QAction* MakeAction(QObject* parent, const Command& row) {
    auto* a = new QAction(row.Icon, row.Caption, parent);
    if (!row.Name.isEmpty()) a->setObjectName(row.Name);
    a->setStatusTip(row.Hint);
    if (!row.Tooltip.isEmpty()) a->setToolTip(row.Tooltip);
    if (const QList<QKeySequence> keys = ShortcutsOf(row); !keys.isEmpty()) {
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WindowShortcut);
    }
    if (row.CheckedWhen) a->setCheckable(true);
    return a;
}

QAction* AddRow(QMenu* menu, const Command& row, FrameServices& frame, TImageForm* form) {
    switch (row.Kind) {
    case CommandKind::Separator: menu->addSeparator(); return nullptr;
    case CommandKind::Submenu: {
        QMenu* sub = menu->addMenu(row.Icon, row.Caption);
        if (!row.Name.isEmpty()) sub->setObjectName(row.Name);
        for (const Command& item : row.Items) AddRow(sub, item, frame, form);
        if (row.Items.empty()) sub->setEnabled(false);
        return nullptr;
    }
    case CommandKind::Entry: break;
    }
    QAction* a = MakeAction(menu, row);
    menu->addAction(a);
    // Placeholders, and document commands in a menu that has no document, stay off.
    if (!row.RunOnFrame && (!row.Run || !form)) a->setEnabled(false);
    if (form && row.CheckedWhen) a->setChecked(row.CheckedWhen(*form, frame));
    new CommandBinding(a, row, frame, form, false);
    return a;
}

}  // namespace

Command Separator() {
    Command row;
    row.Kind = CommandKind::Separator;
    return row;
}

Command Submenu(const QString& name, const QString& caption, CommandTable items) {
    Command row;
    row.Kind = CommandKind::Submenu;
    row.Name = name;
    row.Caption = caption;
    row.Items = std::move(items);
    return row;
}

CommandRun OnDocument(void (*run)(TImageForm& form)) {
    return [run](TImageForm& form, FrameServices&) { run(form); };
}

CommandTable operator+(CommandTable rows, const CommandTable& more) {
    rows.insert(rows.end(), more.begin(), more.end());
    return rows;
}

void AddCommands(QMenu* menu, const CommandTable& rows, FrameServices& frame, TImageForm* form) {
    HookMenu(menu);
    for (const Command& row : rows) AddRow(menu, row, frame, form);
}

QAction* AddCommand(QMenu* menu, const Command& row, FrameServices& frame, TImageForm* form) {
    HookMenu(menu);
    return AddRow(menu, row, frame, form);
}

void UpdateCommandEntry(QAction* entry) {
    if (CommandBinding* b = entry ? BindingOf(entry) : nullptr) b->MenuOpening();
}

QAction* AddCommandButton(QToolBar* bar, const Command& row, FrameServices& frame) {
    if (row.Kind == CommandKind::Separator) {
        bar->addSeparator();
        return nullptr;
    }
    QAction* a = MakeAction(bar, row);
    bar->addAction(a);
    new CommandBinding(a, row, frame, nullptr, true);
    return a;
}

void SetCommonShortcuts(bool on) { gCommonShortcuts = on; }

bool CommonShortcuts() { return gCommonShortcuts; }

QList<QKeySequence> ShortcutsOf(const Command& row) {
    if (gCommonShortcuts) {
        if (row.Name == "mePaste") return {QKeySequence("Ctrl+V")};
        if (row.Name == "mirReverseV") return {QKeySequence("Ctrl+Shift+H")};
        if (row.Name == "meRedo") return {QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")};
        if (row.Name == "mvzZoomIn") return {QKeySequence("Ctrl++"), QKeySequence("Ctrl+=")};
        if (row.Name == "mvzZoomOut") return {QKeySequence("Ctrl+-")};
    }
    if (row.Shortcut.isEmpty()) return {};
    return {row.Shortcut};
}

void ApplyShortcutScheme(QObject* root) {
    for (QAction* a : root->findChildren<QAction*>())
        if (CommandBinding* b = BindingOf(a)) b->ApplyKeys();
}

void UpdateCommandButtons(QToolBar* bar) {
    for (QAction* a : bar->actions())
        if (CommandBinding* b = BindingOf(a)) b->UpdateButton();
}

}  // namespace pq::gui

#include "command_table.moc"
