#include "gui/ops/gousei_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <utility>

#include "core/ops/compositing.h"
#include "gui/kit/dialog_buttons.h"
#include "gui/ops/picture_view.h"

namespace pq::gui {

TfrmGousei::TfrmGousei(QWidget* parent, const pq::Document& doc, const pq::TransparencyColors& backdrop)
    : QDialog(parent), doc_(doc), backdrop_(backdrop) {
    setObjectName("TfrmGousei");
    setWindowTitle("合成");
    // No buttons in the title bar: the dialog closes through OK or キャンセル.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    auto label = [this](const char* text, const char* name) {
        auto* l = new QLabel(text, this);
        l->setObjectName(name);
        return l;
    };
    auto list = [this](const char* name) {
        auto* c = new QComboBox(this);
        c->setObjectName(name);
        for (int i = 0; i < doc_.LayerCount(); ++i) c->addItem(QString::number(i));
        return c;
    };
    base_ = list("ComboBox1");
    overlay_ = list("ComboBox2");
    base_->setCurrentIndex(0);
    overlay_->setCurrentIndex(doc_.LayerCount() > 1 ? 1 : 0);
    const char* names[3] = {"Image1", "Image2", "Image3"};
    for (int i = 0; i < 3; ++i) image_[i] = MakePicture(this, names[i], doc_.ImageWidth, doc_.ImageHeight);

    track_ = new QSlider(Qt::Horizontal, this);
    track_->setObjectName("TrackBar1");
    track_->setRange(pq::kMinOpacity, pq::kMaxOpacity);
    track_->setValue(pq::kDefaultOpacity);
    track_->setTickInterval(1);
    track_->setTickPosition(QSlider::TicksBelow);
    percent_ = label("50%", "Label5");

    auto* pictures = new QGridLayout;
    pictures->addWidget(label("合成されるレイヤー", "Label1"), 0, 0);
    pictures->addWidget(base_, 1, 0);
    pictures->addWidget(image_[0], 2, 0, Qt::AlignHCenter);
    pictures->addWidget(label("合成するレイヤー", "Label2"), 0, 1);
    pictures->addWidget(overlay_, 1, 1);
    pictures->addWidget(image_[1], 2, 1, Qt::AlignHCenter);
    pictures->addWidget(label("結果", "Label4"), 0, 2);
    pictures->addWidget(image_[2], 2, 2, Qt::AlignHCenter);
    auto* opacity = new QHBoxLayout;
    opacity->addWidget(label("不透明度", "Label3"));
    opacity->addWidget(track_, 1);
    opacity->addWidget(percent_);
    QHBoxLayout* buttons = MakeOkCancelRow(this, "Button1", "Button2");
    ok_ = findChild<QPushButton*>("Button1");
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(pictures);
    layout->addLayout(opacity);
    layout->addLayout(buttons);

    connect(base_, &QComboBox::currentIndexChanged, this, &TfrmGousei::ComboBox1Click);
    connect(overlay_, &QComboBox::currentIndexChanged, this, &TfrmGousei::ComboBox1Click);
    connect(track_, &QSlider::valueChanged, this, &TfrmGousei::ComboBox1Click);
    ComboBox1Click();
}

int TfrmGousei::BaseLayer() const { return base_->currentIndex(); }

int TfrmGousei::OverlayLayer() const { return overlay_->currentIndex(); }

int TfrmGousei::Opacity() const { return track_->value(); }

void TfrmGousei::ComboBox1Click() {
    pq::CompositePictures pictures = pq::PreviewComposite(doc_, BaseLayer(), OverlayLayer(), Opacity(), backdrop_);
    result_ = std::move(pictures.Result);
    ShowPicture(image_[0], pictures.Base);
    ShowPicture(image_[1], pictures.Overlay);
    ShowPicture(image_[2], result_);
    percent_->setText(QString::number(Opacity()) + "%");
    ok_->setEnabled(pq::CanComposite(doc_, BaseLayer(), OverlayLayer()));
}

void TfrmGousei::accept() {
    if (!pq::CanComposite(doc_, BaseLayer(), OverlayLayer())) return;
    QDialog::accept();
}

}  // namespace pq::gui
