#include "gui/ops/shadow_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "core/ops/pixel_effects.h"
#include "gui/kit/dialog_buttons.h"
#include "gui/kit/digit_key_filter.h"
#include "gui/kit/up_down.h"

namespace pq::gui {

TfrmShadow::TfrmShadow(QWidget* parent) : QDialog(parent) {
    setObjectName("TfrmShadow");
    setWindowTitle("影");
    auto* grid = new QGridLayout;
    const char* labels[2] = {"位置X", "位置Y"};
    for (int i = 0; i < 2; ++i) {
        label_[i] = new QLabel(labels[i], this);
        label_[i]->setObjectName(i == 0 ? "Label1" : "Label2");
        edit_[i] = new QLineEdit("0", this);
        edit_[i]->setObjectName(i == 0 ? "Edit1" : "Edit2");
        edit_[i]->setMaxLength(3);
        DigitKeyFilter::Install(edit_[i]);
        upDown_[i] = new TUpDown(edit_[i], pq::kShadowMin, pq::kShadowMax, /*wrap=*/false, this);
        upDown_[i]->setObjectName(i == 0 ? "UpDown1" : "UpDown2");
        grid->addWidget(label_[i], i, 0);
        grid->addWidget(edit_[i], i, 1);
        grid->addWidget(upDown_[i], i, 2);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(MakeOkCancelRow(this, "Button1", "Button2"));
}

void TfrmShadow::UseForScroll() {
    setWindowTitle("スクロール");
    label_[0]->setText("移動量X");
    label_[1]->setText("移動量Y");
    for (TUpDown* u : upDown_) u->SetRange(pq::kScrollMin, pq::kScrollMax);
}

int TfrmShadow::AmountX() const { return upDown_[0]->Position(); }

int TfrmShadow::AmountY() const { return upDown_[1]->Position(); }

void TfrmShadow::accept() {
    if (edit_[0]->text().isEmpty() || edit_[1]->text().isEmpty()) {
        reject();
        return;
    }
    QDialog::accept();
}

}  // namespace pq::gui
