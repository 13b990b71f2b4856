#pragma once
// A main frame in a private settings folder with scripted prompts, and helpers that drive the
// real widgets: the New dialog, clicks and drags on a canvas cell, the Edit menu captions.

#include <QPoint>
#include <QString>
#include <gtest/gtest.h>
#include <memory>

#include "scripted_prompt.h"
#include "support/test_paths.h"

namespace pq::gui {
class TMainForm;
class TImageForm;
}  // namespace pq::gui

namespace pq::test {

class EditorTest : public ::testing::Test {
protected:
    EditorTest();
    ~EditorTest() override;

    // Makes the frame (again) over the same settings folder and shows it.
    void StartFrame();
    // Destroys the frame as the program end does (settings files are written).
    void EndFrame();

    // File > New through the New dialog: size item 0..2, colour item 0..1.
    gui::TImageForm* NewDocument(int sizeItem = 0, int colorItem = 0);
    gui::TImageForm* Active() const;

    // Screen point at the centre of image cell (x, y) of the active document.
    QPoint Cell(int x, int y) const;
    void Press(QPoint p, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = Qt::NoModifier);
    void MoveTo(QPoint p, Qt::KeyboardModifiers mods = Qt::NoModifier);
    void Release(QPoint p, Qt::MouseButton button = Qt::LeftButton);
    // Press at a cell, move through the others, release at the last.
    void Drag(std::initializer_list<QPoint> cells, Qt::MouseButton button = Qt::LeftButton,
              Qt::KeyboardModifiers mods = Qt::NoModifier);
    void ClickCell(int x, int y, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = Qt::NoModifier);

    void ChooseTool(int tool);
    void ChooseSize(int size);
    void ChooseZoom(int factor);

    QString UndoCaption() const;
    QString RedoCaption() const;
    // Painted index of the current layer at (x, y), or -1 when transparent.
    int PixelAt(int x, int y) const;

    TempDir folder_;
    ScriptedPrompt prompt_;
    std::unique_ptr<gui::TMainForm> frame_;
};

}  // namespace pq::test
