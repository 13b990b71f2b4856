// Habits of desktop editors: the "[*]" mark of unsaved changes in the caption, Modified
// following the state back to what was saved, one accelerator letter and one shortcut per
// entry in every menu bar, and the keys of closing, quitting and the manual.
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QCoreApplication>
#include <QEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSet>

#include "gui/app/main_form.h"
#include "gui/kit/command_table.h"
#include "gui/document/image_form.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

class Habits : public EditorTest {
protected:
    QMdiSubWindow* Window(TImageForm* form) const { return qobject_cast<QMdiSubWindow*>(form->parentWidget()); }
    void Stroke(int x, int y) {
        ChooseTool(kToolBrush);
        ClickCell(x, y);
    }
    void Trigger(const QString& name) {
        QAction* a = Active()->MenuAction(name);
        ASSERT_NE(a, nullptr) << name.toStdString();
        a->trigger();
    }
    // "&X" letters of the visible entries of `actions`, a failure for each one taken twice.
    static void ExpectDistinctAccelerators(const QList<QAction*>& actions, const QString& where) {
        static const QRegularExpression accel("&([^&])");
        QSet<QChar> seen;
        for (QAction* a : actions) {
            if (a->isSeparator() || !a->isVisible()) continue;
            const QRegularExpressionMatch m = accel.match(QString(a->text()).remove("&&"));
            if (!m.hasMatch()) continue;
            const QChar letter = m.captured(1).at(0).toUpper();
            EXPECT_FALSE(seen.contains(letter)) << where.toStdString() << ": " << a->text().toStdString();
            seen.insert(letter);
            if (QMenu* sub = a->menu()) ExpectDistinctAccelerators(sub->actions(), where + " > " + a->text());
        }
    }
    // Every shortcut reachable from the bar, a failure for each one two entries share.
    static void CollectShortcuts(const QList<QAction*>& actions, QMap<QKeySequence, QString>& seen) {
        for (QAction* a : actions) {
            if (QMenu* sub = a->menu()) CollectShortcuts(sub->actions(), seen);
            for (const QKeySequence& key : a->shortcuts()) {
                EXPECT_FALSE(seen.contains(key)) << key.toString().toStdString() << ": " << seen.value(key).toStdString()
                                                 << " and " << a->text().toStdString();
                seen[key] = a->text();
            }
        }
    }
};

TEST_F(Habits, TheCaptionMarksUnsavedChangesAndUndoingBackToTheStartLeavesNothingToAsk) {
    TImageForm* form = NewDocument(1, 0);
    QMdiSubWindow* window = Window(form);
    EXPECT_EQ(window->windowTitle(), "Icon1[*]");
    EXPECT_EQ(form->windowTitle(), "Icon1");   // the name the close question quotes
    EXPECT_FALSE(window->isWindowModified());

    Stroke(3, 1);
    Stroke(5, 7);
    EXPECT_TRUE(form->Doc().Modified);
    EXPECT_TRUE(window->isWindowModified());
    Trigger("meUndo");
    EXPECT_TRUE(form->Doc().Modified);   // one stroke is still there
    Trigger("meUndo");
    EXPECT_FALSE(form->Doc().Modified);
    EXPECT_FALSE(window->isWindowModified());
    // Redo leads away from the start again: closing asks, and Cancel keeps the window.
    Trigger("meRedo");
    EXPECT_TRUE(window->isWindowModified());
    prompt_.ExpectMessage(PromptAnswer::Cancel);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(prompt_.Done());
    Trigger("meUndo");
    // Ctrl+W closes as the close box does; nothing is asked now.
    QAction* close = form->MenuAction("mfClose");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->shortcut(), QKeySequence("Ctrl+W"));
    close->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frame_->Forms().isEmpty());
}

TEST_F(Habits, TheSavedStateIsTheOneThatCountsAfterASave) {
    TImageForm* form = NewDocument(0, 1);
    Stroke(1, 1);
    prompt_.ExpectSaveFile(QString::fromStdString((folder_.Path() / "odd.pqf").string()));
    ASSERT_TRUE(form->Save());
    EXPECT_EQ(Window(form)->windowTitle(), form->FilePath() + "[*]");
    EXPECT_FALSE(Window(form)->isWindowModified());
    // Back to the blank start is now a change from what the file holds, and forward again is not.
    Trigger("meUndo");
    EXPECT_TRUE(form->Doc().Modified);
    EXPECT_TRUE(Window(form)->isWindowModified());
    Trigger("meRedo");
    EXPECT_FALSE(form->Doc().Modified);
    EXPECT_FALSE(Window(form)->isWindowModified());
    // Memory clear still counts as a change, as it always did.
    Trigger("meMemCls");
    EXPECT_TRUE(form->Doc().Modified);
}

TEST_F(Habits, EveryMenuBarHasOneLetterAndOneShortcutPerEntry) {
    ExpectDistinctAccelerators(frame_->menuBar()->actions(), "frame");
    QMap<QKeySequence, QString> frameKeys;
    CollectShortcuts(frame_->menuBar()->actions(), frameKeys);
    EXPECT_EQ(frameKeys.value(QKeySequence("Ctrl+Q")), "Pixquilの終了(&X)");
    EXPECT_EQ(frameKeys.value(QKeySequence(Qt::Key_F1)), "トピックの検索(&T)...");

    NewDocument();
    ExpectDistinctAccelerators(frame_->menuBar()->actions(), "document");
    QMap<QKeySequence, QString> keys;
    CollectShortcuts(frame_->menuBar()->actions(), keys);
    // The established keys stay: paste on Ctrl+P, Ctrl+V flips.
    EXPECT_EQ(keys.value(QKeySequence("Ctrl+P")), "貼り付け(&P)");
    EXPECT_EQ(keys.value(QKeySequence("Ctrl+V")), "上下反転");
    EXPECT_EQ(keys.value(QKeySequence("Ctrl+W")), "閉じる(&C)");
    EXPECT_EQ(keys.value(QKeySequence("Ctrl+Q")), "Pixquilの終了(&X)");
}

TEST_F(Habits, TheCommonKeysAreAnOptionThatReachesOpenWindowsAndTheNextStart) {
    TImageForm* form = NewDocument();
    prompt_.ExpectDialog("TfrmOption", [](QDialog& dialog) {
        QCheckBox* box = dialog.findChild<QCheckBox*>("cbCommonKeys");
        EXPECT_FALSE(box->isChecked());
        box->setChecked(true);
        return true;
    });
    frame_->mtOptionClick();
    EXPECT_EQ(form->MenuAction("mePaste")->shortcut(), QKeySequence("Ctrl+V"));
    EXPECT_EQ(form->MenuAction("mirReverseV")->shortcut(), QKeySequence("Ctrl+Shift+H"));
    EXPECT_TRUE(form->MenuAction("meRedo")->shortcuts().contains(QKeySequence("Ctrl+Shift+Z")));
    QMap<QKeySequence, QString> keys;
    CollectShortcuts(frame_->menuBar()->actions(), keys);

    EndFrame();
    SetCommonShortcuts(false);
    StartFrame();
    EXPECT_EQ(NewDocument()->MenuAction("mePaste")->shortcut(), QKeySequence("Ctrl+V"));
    // Switched back, an open window returns to the established keys at once.
    prompt_.ExpectDialog("TfrmOption", [](QDialog& dialog) {
        dialog.findChild<QCheckBox*>("cbCommonKeys")->setChecked(false);
        return true;
    });
    frame_->mtOptionClick();
    EXPECT_EQ(Active()->MenuAction("mePaste")->shortcut(), QKeySequence("Ctrl+P"));
    EXPECT_EQ(Active()->MenuAction("mirReverseV")->shortcut(), QKeySequence("Ctrl+V"));
}

}  // namespace
