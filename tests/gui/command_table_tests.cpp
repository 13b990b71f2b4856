// Command rows placed in a menu and on a toolbar over a stand-in frame: the menu switches off
// what fails its condition while open and gives it back on closing, a shortcut never runs a
// command whose condition fails, marks and captions follow the document, placeholders and empty
// submenus stay off, and toolbar buttons follow the active document.
#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <gtest/gtest.h>

#include "gui/kit/command_table.h"
#include "gui/document/image_form.h"
#include "support/stand_in_frame.h"

using namespace pq::gui;
using pq::test::StandInFrame;

namespace {

TEST(CommandTable, RowsFollowTheirConditionsInMenusAndOnToolbars) {
    StandInFrame frame;
    auto form = frame.NewWindow();
    int runs = 0, frameRuns = 0;
    bool allowed = false;
    const CommandTable rows = {
        {.Name = "guarded", .Caption = "Guarded",
         .Run = [&runs](TImageForm&, FrameServices&) { ++runs; },
         .EnabledWhen = [&allowed](const TImageForm&, const FrameServices&) { return allowed; },
         .CaptionWhen = [&allowed](const TImageForm&, const FrameServices&) { return QString(allowed ? "On" : "Off"); }},
        Separator(),
        Submenu("sub", "Sub",
                {{.Name = "marked", .Caption = "Marked", .Run = [](TImageForm&, FrameServices&) {},
                  .CheckedWhen = [](const TImageForm& f, const FrameServices&) { return f.GridVisible(); }},
                 {.Name = "placeholder", .Caption = "Later"}}),
        Submenu("empty", "Empty", {}),
        {.Name = "frameWide", .Caption = "Frame", .RunOnFrame = [&frameRuns](FrameServices&) { ++frameRuns; }},
    };
    QMenu menu;
    AddCommands(&menu, rows, frame, form.get());
    auto entry = [&menu](const char* name) { return menu.findChild<QAction*>(name); };
    ASSERT_NE(entry("guarded"), nullptr);

    // Entries start enabled (shortcuts live); a trigger while the condition fails runs nothing.
    EXPECT_TRUE(entry("guarded")->isEnabled());
    entry("guarded")->trigger();
    EXPECT_EQ(runs, 0);
    EXPECT_FALSE(entry("placeholder")->isEnabled());
    EXPECT_FALSE(menu.findChild<QMenu*>("empty")->isEnabled());
    EXPECT_TRUE(entry("marked")->isCheckable());
    EXPECT_TRUE(entry("marked")->isChecked());

    // Opening applies captions, marks and conditions, submenus included; closing gives back.
    form->SetGridVisible(false);
    emit menu.aboutToShow();
    EXPECT_FALSE(entry("guarded")->isEnabled());
    EXPECT_EQ(entry("guarded")->text(), "Off");
    EXPECT_FALSE(entry("marked")->isChecked());
    emit menu.aboutToHide();
    EXPECT_TRUE(entry("guarded")->isEnabled());
    allowed = true;
    emit menu.aboutToShow();
    EXPECT_TRUE(entry("guarded")->isEnabled());
    EXPECT_EQ(entry("guarded")->text(), "On");
    entry("guarded")->trigger();
    EXPECT_EQ(runs, 1);
    entry("frameWide")->trigger();
    EXPECT_EQ(frameRuns, 1);

    // The frame's own menus have no document: only frame-wide rows act there.
    QMenu frameMenu;
    AddCommands(&frameMenu, rows, frame, nullptr);
    EXPECT_FALSE(frameMenu.findChild<QAction*>("guarded")->isEnabled());
    EXPECT_TRUE(frameMenu.findChild<QAction*>("frameWide")->isEnabled());

    // A button acts on the active document and is enabled only with one for which it holds.
    QToolBar bar;
    QAction* button = AddCommandButton(&bar, rows[0], frame);
    UpdateCommandButtons(&bar);
    EXPECT_TRUE(button->isEnabled());
    button->trigger();
    EXPECT_EQ(runs, 2);
    allowed = false;
    UpdateCommandButtons(&bar);
    EXPECT_FALSE(button->isEnabled());
    allowed = true;
    frame.Active = nullptr;
    UpdateCommandButtons(&bar);
    EXPECT_FALSE(button->isEnabled());
    frame.Active = form.get();
}

}  // namespace
