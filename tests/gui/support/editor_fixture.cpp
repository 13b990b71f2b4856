#include "editor_fixture.h"

#include <QAction>
#include <QComboBox>
#include <QTest>

#include "gui/app/main_form.h"
#include "gui/document/canvas.h"
#include "gui/document/image_form.h"
#include "gui/document/new_dialog.h"

namespace pq::test {

EditorTest::EditorTest() { StartFrame(); }

EditorTest::~EditorTest() { frame_.reset(); }

void EditorTest::StartFrame() {
    frame_ = std::make_unique<gui::TMainForm>(folder_.Path() / "setting", &prompt_);
    frame_->show();
}

void EditorTest::EndFrame() { frame_.reset(); }

gui::TImageForm* EditorTest::NewDocument(int sizeItem, int colorItem) {
    prompt_.ExpectDialog("TfrmNew", [=](QDialog& d) {
        auto& dialog = static_cast<gui::TfrmNew&>(d);
        dialog.SetSizeItem(sizeItem);
        dialog.SetColorItem(colorItem);
        return true;
    });
    frame_->ActionNamed("tbNew")->trigger();
    return Active();
}

gui::TImageForm* EditorTest::Active() const { return frame_->ActiveForm(); }

QPoint EditorTest::Cell(int x, int y) const {
    const int z = Active()->Doc().Zoom;
    return QPoint(x * z + z / 2, y * z + z / 2);
}

void EditorTest::Press(QPoint p, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    QTest::mousePress(Active()->Canvas(), button, mods, p);
}

void EditorTest::MoveTo(QPoint p, Qt::KeyboardModifiers mods) {
    QMouseEvent move(QEvent::MouseMove, QPointF(p), Active()->Canvas()->mapToGlobal(QPointF(p)), Qt::NoButton,
                     Qt::LeftButton, mods);
    QApplication::sendEvent(Active()->Canvas(), &move);
}

void EditorTest::Release(QPoint p, Qt::MouseButton button) {
    QTest::mouseRelease(Active()->Canvas(), button, Qt::NoModifier, p);
}

void EditorTest::Drag(std::initializer_list<QPoint> cells, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    const QPoint* it = cells.begin();
    Press(Cell(it->x(), it->y()), button, mods);
    for (++it; it != cells.end(); ++it) MoveTo(Cell(it->x(), it->y()), mods);
    const QPoint last = *(cells.end() - 1);
    Release(Cell(last.x(), last.y()), button);
}

void EditorTest::ClickCell(int x, int y, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    Press(Cell(x, y), button, mods);
    Release(Cell(x, y), button);
}

void EditorTest::ChooseTool(int tool) {
    frame_->ActionNamed(gui::ToolInfoOf(tool).ButtonName)->trigger();
}

void EditorTest::ChooseSize(int size) { frame_->SizeCombo()->setCurrentIndex(size - 1); }

void EditorTest::ChooseZoom(int factor) {
    QComboBox* combo = frame_->ZoomCombo();
    combo->setCurrentIndex(gui::ZoomEntryOfFactor(factor));
    emit combo->activated(combo->currentIndex());
}

QString EditorTest::UndoCaption() const {
    Active()->UpdateEditMenu();
    return Active()->UndoAction()->text();
}

QString EditorTest::RedoCaption() const {
    Active()->UpdateEditMenu();
    return Active()->RedoAction()->text();
}

int EditorTest::PixelAt(int x, int y) const {
    const pq::Layer& l = Active()->Doc().Current();
    const std::size_t i = std::size_t(x + y * Active()->Doc().ImageWidth);
    return l.Mask[i] ? l.Indices[i] : -1;
}

}  // namespace pq::test
