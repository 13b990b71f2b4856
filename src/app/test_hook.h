#pragma once
// Automation of the real editor for end-to-end tests (a process started, killed and started
// again), active only when the environment variable PIXQUIL_TEST_SCRIPT is set. The variable
// holds commands separated by ";":
//   answer DIALOG BUTTON  whenever the dialog named DIALOG (objectName) is shown, click its push
//                         button named BUTTON; every other dialog is cancelled and every
//                         message box gets its default answer, so nothing ever waits for a user
//   trigger ACTION        after start-up, trigger the active document window's menu entry ACTION
//   page N                make page N of the active icon set current
//   dump                  write one line per open document to standard output (caption, file,
//                         modified, size, colours, counters, a hash of its state, step names),
//                         after a set's line one "page" line per page (index, size, colours or
//                         kind, current, modified, counters, a hash of its state)
//   fill-disk             fill the file system of the snapshot folder to the last byte (one file
//                         "pqtest-filler" beside that folder)
//   kill-at note|snapshot the next step dies like a crash between the writes that record it
// After the commands the hook writes "ready" on standard output and the program runs on; files
// another start hands over are followed by "handed" and a dump. What
// the prompts showed is written too ("dialog NAME", one "row TEXT" per check box, "damaged TEXT"
// for the recovery dialog's list of removed links, "message TEXT").

#include <QString>
#include <QStringList>
#include <memory>

namespace pq::gui {
class Prompt;
class TMainForm;
}  // namespace pq::gui

namespace pq::app {

class TestHook {
public:
    TestHook();
    ~TestHook();
    // The prompt the frame should use: null (the frame's own) unless the script is set.
    gui::Prompt* GetPrompt() const;
    // Runs the script's trigger and dump commands once the frame has started up.
    void Run(gui::TMainForm& frame);
    // After another start handed its files over: "handed", then the dump's lines.
    void Report(gui::TMainForm& frame);

private:
    QStringList commands_;
    std::unique_ptr<gui::Prompt> prompt_;
};

}  // namespace pq::app
