#include "gui/ops/transform_dialogs.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/kit/dialog_buttons.h"
#include "gui/kit/digit_key_filter.h"
#include "gui/kit/up_down.h"

namespace pq::gui {

namespace {

// The last "なめらか" choice confirmed with OK in each dialog, for this session only.
bool gResizeSmooth = false;
bool gRotateSmooth = false;

// "なめらか", shown only where it means something (a truecolour document).
QCheckBox* SmoothBox(QWidget* parent, bool trueColor, bool remembered) {
    auto* box = new QCheckBox("なめらか", parent);
    box->setObjectName("cbSmooth");
    box->setChecked(trueColor && remembered);
    box->setVisible(trueColor);
    box->setEnabled(trueColor);
    return box;
}

}  // namespace

TfrmResize::TfrmResize(QWidget* parent, bool trueColor) : QDialog(parent), trueColor_(trueColor) {
    setObjectName("TfrmResize");
    setWindowTitle("サイズ変更");
    auto* rgNewSize = new QGroupBox("新しいサイズ", this);
    rgNewSize->setObjectName("rgNewSize");
    auto* sizeLayout = new QVBoxLayout(rgNewSize);
    const char* sizes[3] = {"16×16 ピクセル", "32×32 ピクセル", "48×48 ピクセル"};
    for (int i = 0; i < 3; ++i) {
        size_[i] = new QRadioButton(sizes[i], rgNewSize);
        sizeLayout->addWidget(size_[i]);
    }
    size_[0]->setChecked(true);
    scale_ = new QCheckBox("イメージを拡大縮小", this);
    scale_->setObjectName("cbResize");
    smooth_ = SmoothBox(this, trueColor, gResizeSmooth);
    if (trueColor) {
        smooth_->setEnabled(false);
        connect(scale_, &QCheckBox::toggled, smooth_, &QCheckBox::setEnabled);
    }

    auto* scaleRow = new QHBoxLayout;
    scaleRow->addWidget(scale_);
    scaleRow->addWidget(smooth_);
    scaleRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rgNewSize);
    layout->addLayout(scaleRow);
    layout->addLayout(MakeOkCancelRow(this, "Button1", "Button2"));
}

int TfrmResize::SizeItem() const {
    for (int i = 0; i < 3; ++i)
        if (size_[i]->isChecked()) return i;
    return 0;
}

void TfrmResize::SetSizeItem(int item) { size_[std::clamp(item, 0, 2)]->setChecked(true); }

bool TfrmResize::Scale() const { return scale_->isChecked(); }

bool TfrmResize::Smooth() const { return smooth_->isEnabled() && smooth_->isChecked(); }

void TfrmResize::accept() {
    if (trueColor_) gResizeSmooth = smooth_->isChecked();
    QDialog::accept();
}

TfrmRotate::TfrmRotate(QWidget* parent, bool trueColor) : QDialog(parent), trueColor_(trueColor) {
    setObjectName("TfrmRotate");
    setWindowTitle("角度指定");
    auto* label = new QLabel("角度", this);
    label->setObjectName("Label1");
    edit_ = new QLineEdit("0", this);
    edit_->setObjectName("Edit1");
    edit_->setMaxLength(3);
    DigitKeyFilter::Install(edit_);
    upDown_ = new TUpDown(edit_, 0, 359, /*wrap=*/true, this);
    upDown_->setObjectName("UpDown1");
    smooth_ = SmoothBox(this, trueColor, gRotateSmooth);

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(edit_);
    row->addWidget(upDown_);
    row->addWidget(smooth_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(MakeOkCancelRow(this, "Button1", "Button2"));
}

int TfrmRotate::Angle() const { return edit_->text().toInt(); }

bool TfrmRotate::Smooth() const { return smooth_->isEnabled() && smooth_->isChecked(); }

void TfrmRotate::accept() {
    if (edit_->text().isEmpty()) {
        reject();
        return;
    }
    if (trueColor_) gRotateSmooth = smooth_->isChecked();
    QDialog::accept();
}

}  // namespace pq::gui
