#pragma once
// The cursor hotspot: the dialog "ホットスポット" of the ツール menu (X and Y, each limited to the
// canvas), its command, and the small cross that marks the hotspot on the canvas.

#include <QDialog>

#include "gui/app/command_table.h"

class QLineEdit;
class QPainter;

namespace pq {
class Document;
}

namespace pq::gui {

class Prompt;
class TUpDown;

class TfrmHotspot : public QDialog {
    Q_OBJECT
public:
    // X runs over 0 .. width - 1 and Y over 0 .. height - 1; the fields start at (x, y) brought
    // into those ranges.
    TfrmHotspot(QWidget* parent, int width, int height, int x, int y);

    // The numbers in the fields, brought into their ranges.
    int HotspotX() const;
    int HotspotY() const;

    QLineEdit* Edit1() const { return editX_; }
    QLineEdit* Edit2() const { return editY_; }
    TUpDown* UpDown1() const { return upDownX_; }
    TUpDown* UpDown2() const { return upDownY_; }

    // OK with an empty field closes the dialog as Cancel would, as in the operation dialogs.
    void accept() override;

private:
    QLineEdit* editX_ = nullptr;
    QLineEdit* editY_ = nullptr;
    TUpDown* upDownX_ = nullptr;
    TUpDown* upDownY_ = nullptr;
};

// ツール > ホットスポット...: asks for the active document's hotspot. A changed hotspot is set
// (the document then shows it and marks it modified; undo does not track it). True when it
// changed.
bool mtHotspotClick(pq::Document& doc, Prompt& prompt, QWidget* parent);
// The row of the frame's ツール menu; it acts on the active document and does nothing without one.
Command HotspotCommand();

// Zoom factors from which the canvas marks the hotspot.
inline constexpr int kHotspotMarkZoom = 4;
// Draws the hotspot's cross over the zoomed canvas (an inverting pen, so it shows on any colour):
// a line through the middle of the pixel each way, one pixel beyond it on each side. Only for
// documents that have a hotspot, at zoom kHotspotMarkZoom and above.
void DrawHotspotMark(QPainter& painter, const pq::Document& doc);

}  // namespace pq::gui
