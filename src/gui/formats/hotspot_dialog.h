#pragma once
// The cursor hotspot: the dialog "ホットスポット" of the ツール menu (X and Y, each limited to the
// canvas) and its command. The canvas's mark of the hotspot is the document window's own
// (gui/document/hotspot_mark.h).

#include <QDialog>

#include "gui/document/hotspot_mark.h"
#include "gui/kit/command_table.h"

class QLineEdit;

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

}  // namespace pq::gui
