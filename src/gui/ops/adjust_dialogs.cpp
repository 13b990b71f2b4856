#include "gui/ops/adjust_dialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QVBoxLayout>
#include <optional>

#include "core/ops/palette_adjust.h"
#include "gui/kit/dialog_buttons.h"
#include "gui/kit/digit_key_filter.h"
#include "gui/ops/picture_view.h"
#include "gui/kit/up_down.h"

namespace pq::gui {

namespace {

// The brightness bar's shortest length in pixels, for the 511 amounts from -255 to 255.
constexpr int kBarMinimumWidth = 320;

// The field's amount, or nothing while it holds no number ("" or "-").
std::optional<int> AmountIn(const QLineEdit* edit) {
    bool ok = false;
    const int v = edit->text().toInt(&ok);
    if (!ok) return std::nullopt;
    return v;
}

QLineEdit* AmountField(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit("0", parent);
    edit->setObjectName(name);
    edit->setMaxLength(4);
    DigitKeyFilter::Install(edit);
    return edit;
}

// The visible layers over the thumbnails' checkerboard, as the canvas shows them at 1:1.
pq::AdjustmentPreview PreviewOf(const pq::Document& doc, const pq::TransparencyColors& backdrop) {
    return pq::AdjustmentPreview(doc, PreviewBackdrop(doc.ImageWidth, doc.ImageHeight, backdrop));
}

}  // namespace

// ---- 明るさ調整 ---------------------------------------------------------------------------------

TfrmBlight::TfrmBlight(QWidget* parent, const pq::Document& doc, const pq::TransparencyColors& backdrop)
    : QDialog(parent), picture_(PreviewOf(doc, backdrop)), preview_(picture_.Source()) {
    setObjectName("TfrmBlight");
    setWindowTitle("明るさ調整");
    bar_ = new QScrollBar(Qt::Horizontal, this);
    bar_->setObjectName("ScrollBar1");
    bar_->setRange(pq::kMinShift, pq::kMaxShift);
    bar_->setSingleStep(1);
    bar_->setPageStep(25);
    bar_->setValue(0);
    bar_->setFocusPolicy(Qt::NoFocus);
    // However narrow the preview, the track stays long enough for its thumb to be a small part
    // of it and for one pixel of drag to be about two amounts, not a jump across the range.
    bar_->setMinimumWidth(kBarMinimumWidth);
    edit_ = AmountField(this, "Edit1");
    upDown_ = new TUpDown(edit_, pq::kMinShift, pq::kMaxShift, /*wrap=*/false, this);
    upDown_->setObjectName("UpDown1");
    image_ = MakePicture(this, "Image1", Source().Width(), Source().Height());
    ShowPicture(image_, preview_);
    connect(bar_, &QScrollBar::valueChanged, this, &TfrmBlight::ScrollBar1Change);
    connect(edit_, &QLineEdit::textChanged, this, &TfrmBlight::Edit1Change);

    auto* amount = new QHBoxLayout;
    amount->addWidget(bar_, 1);
    amount->addWidget(edit_);
    amount->addWidget(upDown_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(image_, 0, Qt::AlignHCenter);
    layout->addLayout(amount);
    layout->addLayout(MakeOkCancelRow(this, "Button1", "Button2"));
}

int TfrmBlight::Amount() const { return upDown_->Position(); }

void TfrmBlight::ScrollBar1Change(int position) {
    if (AmountIn(edit_) != position) edit_->setText(QString::number(position));
}

void TfrmBlight::Edit1Change() {
    const std::optional<int> d = AmountIn(edit_);
    if (!d) return;
    // The bar clamps to its range and writes its position back into the field: a typed amount
    // beyond 255 shows as 255, the amount OK applies.
    if (*d != bar_->value()) bar_->setValue(*d);
    const int shown = AmountIn(edit_).value_or(*d);
    picture_.Shift(pq::ChannelShift::All(shown), preview_);
    ShowPicture(image_, preview_);
}

// ---- RGB調整 -----------------------------------------------------------------------------------

TfrmRGB::TfrmRGB(QWidget* parent, const pq::Document& doc, const pq::TransparencyColors& backdrop)
    : QDialog(parent), picture_(PreviewOf(doc, backdrop)), preview_(picture_.Source()) {
    setObjectName("TfrmRGB");
    setWindowTitle("RGB調整");
    auto* grid = new QGridLayout;
    const char* labels[3] = {"R", "G", "B"};
    const char* labelNames[3] = {"Label1", "Label2", "Label3"};
    const char* editNames[3] = {"Edit1", "Edit2", "Edit3"};
    const char* upDownNames[3] = {"UpDown1", "UpDown2", "UpDown3"};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(labels[i], this);
        label->setObjectName(labelNames[i]);
        edit_[i] = AmountField(this, editNames[i]);
        upDown_[i] = new TUpDown(edit_[i], pq::kMinShift, pq::kMaxShift, /*wrap=*/false, this);
        upDown_[i]->setObjectName(upDownNames[i]);
        connect(edit_[i], &QLineEdit::textChanged, this, &TfrmRGB::Edit1Change);
        grid->addWidget(label, i, 0);
        grid->addWidget(edit_[i], i, 1);
        grid->addWidget(upDown_[i], i, 2);
    }
    image_ = MakePicture(this, "Image1", Source().Width(), Source().Height());
    ShowPicture(image_, preview_);

    auto* body = new QHBoxLayout;
    body->addWidget(image_, 0, Qt::AlignCenter);
    body->addLayout(grid);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addLayout(MakeOkCancelRow(this, "Button1", "Button2"));
}

int TfrmRGB::AmountRed() const { return upDown_[0]->Position(); }
int TfrmRGB::AmountGreen() const { return upDown_[1]->Position(); }
int TfrmRGB::AmountBlue() const { return upDown_[2]->Position(); }

void TfrmRGB::Edit1Change() {
    const std::optional<int> r = AmountIn(edit_[0]), g = AmountIn(edit_[1]), b = AmountIn(edit_[2]);
    if (!r || !g || !b) return;
    picture_.Shift(pq::ChannelShift{*r, *g, *b}, preview_);
    ShowPicture(image_, preview_);
}

}  // namespace pq::gui
