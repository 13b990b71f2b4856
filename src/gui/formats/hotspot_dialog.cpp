#include "gui/formats/hotspot_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "core/document/document.h"
#include "gui/kit/dialog_buttons.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"
#include "gui/document/image_form.h"
#include "gui/kit/digit_key_filter.h"
#include "gui/kit/up_down.h"

namespace pq::gui {

TfrmHotspot::TfrmHotspot(QWidget* parent, int width, int height, int x, int y) : QDialog(parent) {
    setObjectName("TfrmHotspot");
    setWindowTitle("ホットスポット");
    auto field = [this](const char* name, int limit, QLineEdit*& edit, TUpDown*& upDown, const char* upDownName) {
        edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setMaxLength(4);
        DigitKeyFilter::Install(edit);
        upDown = new TUpDown(edit, 0, std::max(limit - 1, 0), /*wrap=*/false, this);
        upDown->setObjectName(upDownName);
    };
    field("Edit1", width, editX_, upDownX_, "UpDown1");
    field("Edit2", height, editY_, upDownY_, "UpDown2");
    upDownX_->SetPosition(x);
    upDownY_->SetPosition(y);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("X", this), 0, 0);
    grid->addWidget(editX_, 0, 1);
    grid->addWidget(upDownX_, 0, 2);
    grid->addWidget(new QLabel("Y", this), 1, 0);
    grid->addWidget(editY_, 1, 1);
    grid->addWidget(upDownY_, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(MakeOkCancelRow(this, "Button1", "Button2"));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int TfrmHotspot::HotspotX() const { return upDownX_->Position(); }
int TfrmHotspot::HotspotY() const { return upDownY_->Position(); }

void TfrmHotspot::accept() {
    if (editX_->text().isEmpty() || editY_->text().isEmpty()) {
        reject();
        return;
    }
    QDialog::accept();
}

bool mtHotspotClick(pq::Document& doc, Prompt& prompt, QWidget* parent) {
    if (doc.ImageWidth <= 0 || doc.ImageHeight <= 0) return false;
    TfrmHotspot dialog(parent, doc.ImageWidth, doc.ImageHeight, doc.HotspotX, doc.HotspotY);
    if (!prompt.RunDialog(dialog)) return false;
    const int x = dialog.HotspotX(), y = dialog.HotspotY();
    if (doc.HasHotspot && x == doc.HotspotX && y == doc.HotspotY) return false;
    doc.HotspotX = x;
    doc.HotspotY = y;
    doc.HasHotspot = true;
    doc.Modified = true;
    return true;
}

Command HotspotCommand() {
    return {.Name = "mtHotspot", .Caption = "ホットスポット(&H)...", .Hint = "カーソルのホットスポットを設定します。",
            .RunOnFrame = [](FrameServices& frame) {
                TImageForm* form = frame.ActiveForm();
                if (!form || !mtHotspotClick(form->Doc(), frame.GetPrompt(), form)) return;
                form->Redraw();
                frame.ActionList1Update();
            }};
}

}  // namespace pq::gui
