#include "gui/app/option_dialog.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/raster/raster.h"
#include "gui/kit/dialog_buttons.h"
#include "gui/kit/digit_key_filter.h"
#include "gui/kit/prompt.h"
#include "gui/kit/up_down.h"

namespace pq::gui {

namespace {
QColor FromRef(uint32_t ref) {
    const pq::Rgb c = pq::FromColorRef(ref);
    return QColor(c.r, c.g, c.b);
}
uint32_t ToRef(const QColor& c) { return pq::ToColorRef(pq::Rgb{uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue())}); }
void Paint(QLabel* swatch, uint32_t ref) {
    swatch->setStyleSheet(QString("background-color: %1; border: 2px inset gray;").arg(FromRef(ref).name()));
}
}  // namespace

TfrmOption::TfrmOption(QWidget* parent, Prompt& prompt, uint32_t color1, uint32_t color2, bool undoEnabled,
                       const pq::ReductionOptions& reduction)
    : QDialog(parent), prompt_(prompt), color1_(color1), color2_(color2) {
    setObjectName("TfrmOption");
    setWindowTitle("オプション");
    auto* group1 = new QGroupBox("アンドゥ", this);
    group1->setObjectName("GroupBox1");
    checkBox1_ = new QCheckBox("アンドゥ機能を使用する", group1);
    checkBox1_->setObjectName("CheckBox1");
    checkBox1_->setChecked(undoEnabled);
    (new QVBoxLayout(group1))->addWidget(checkBox1_);

    auto* group2 = new QGroupBox("透過", this);
    group2->setObjectName("GroupBox2");
    auto* grid = new QGridLayout(group2);
    swatch1_ = new QLabel(group2);
    swatch1_->setObjectName("StaticText1");
    swatch2_ = new QLabel(group2);
    swatch2_->setObjectName("StaticText2");
    for (QLabel* s : {swatch1_, swatch2_}) {
        s->setFixedSize(41, 33);
        s->installEventFilter(this);
    }
    Paint(swatch1_, color1_);
    Paint(swatch2_, color2_);
    auto* label1 = new QLabel("色1", group2);
    label1->setObjectName("Label1");
    auto* label2 = new QLabel("色2", group2);
    label2->setObjectName("Label2");
    grid->addWidget(label1, 0, 0);
    grid->addWidget(swatch1_, 0, 1);
    grid->addWidget(label2, 0, 2);
    grid->addWidget(swatch2_, 0, 3);

    // How pictures and true-colour images are brought to the palette. The combo items are in the
    // order of the enums Quantizer and Dither.
    auto* group3 = new QGroupBox("減色", this);
    group3->setObjectName("GroupBox3");
    auto* grid3 = new QGridLayout(group3);
    quantizer_ = new QComboBox(group3);
    quantizer_->setObjectName("cbQuantizer");
    quantizer_->addItems({"メディアンカット", "高画質"});
    dither_ = new QComboBox(group3);
    dither_->setObjectName("cbDither");
    dither_->addItems({"なし", "誤差拡散", "パターン"});
    alpha_ = new QLineEdit(group3);
    alpha_->setObjectName("edAlpha");
    alpha_->setMaxLength(3);
    alpha_->setFixedWidth(48);
    DigitKeyFilter::Install(alpha_);
    alphaUpDown_ = new TUpDown(alpha_, 1, 255, /*wrap=*/false, group3);
    auto* alphaRow = new QHBoxLayout;
    alphaRow->addWidget(alpha_);
    alphaRow->addWidget(alphaUpDown_);
    alphaRow->addWidget(new QLabel("以上を不透明", group3));
    alphaRow->addStretch();
    auto* label3 = new QLabel("減色方法", group3);
    label3->setObjectName("Label3");
    auto* label4 = new QLabel("ディザ", group3);
    label4->setObjectName("Label4");
    auto* label5 = new QLabel("アルファ値", group3);
    label5->setObjectName("Label5");
    grid3->addWidget(label3, 0, 0);
    grid3->addWidget(quantizer_, 0, 1);
    grid3->addWidget(label4, 1, 0);
    grid3->addWidget(dither_, 1, 1);
    grid3->addWidget(label5, 2, 0);
    grid3->addLayout(alphaRow, 2, 1);
    SetReduction(reduction);

    QHBoxLayout* buttons = MakeOkCancelRow(this, "Button1", "Button2");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group1);
    layout->addWidget(group2);
    layout->addWidget(group3);
    auto* group4 = new QGroupBox("ショートカットキー", this);
    group4->setObjectName("GroupBox4");
    commonKeys_ = new QCheckBox("一般的なショートカットキーを使う（貼り付け Ctrl+V など）", group4);
    commonKeys_->setObjectName("cbCommonKeys");
    (new QVBoxLayout(group4))->addWidget(commonKeys_);
    layout->addWidget(group4);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool TfrmOption::CommonKeys() const { return commonKeys_->isChecked(); }

void TfrmOption::SetCommonKeys(bool on) { commonKeys_->setChecked(on); }

bool TfrmOption::UndoEnabled() const { return checkBox1_->isChecked(); }

void TfrmOption::SetUndoEnabled(bool on) { checkBox1_->setChecked(on); }

pq::ReductionOptions TfrmOption::Reduction() const {
    pq::ReductionOptions r;
    r.quantizer = quantizer_->currentIndex() == 1 ? pq::Quantizer::Quality : pq::Quantizer::MedianCut;
    const int d = dither_->currentIndex();
    r.dither = d == 1 ? pq::Dither::Diffusion : d == 2 ? pq::Dither::Ordered : pq::Dither::None;
    r.alphaThreshold = alphaUpDown_->Position();
    return r;
}

void TfrmOption::SetReduction(const pq::ReductionOptions& reduction) {
    quantizer_->setCurrentIndex(reduction.quantizer == pq::Quantizer::Quality ? 1 : 0);
    dither_->setCurrentIndex(reduction.dither == pq::Dither::Diffusion ? 1 : reduction.dither == pq::Dither::Ordered ? 2 : 0);
    alphaUpDown_->SetPosition(reduction.alphaThreshold);
}

void TfrmOption::StaticText1Click() { ChooseInto(color1_, swatch1_); }

void TfrmOption::StaticText2Click() { ChooseInto(color2_, swatch2_); }

void TfrmOption::ChooseInto(uint32_t& color, QLabel* swatch) {
    if (auto chosen = prompt_.ChooseColor(this, FromRef(color))) {
        color = ToRef(*chosen);
        Paint(swatch, color);
    }
}

bool TfrmOption::eventFilter(QObject* watched, QEvent* event) {
    // A click is a left-button release, as on a button.
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == swatch1_) StaticText1Click();
        if (watched == swatch2_) StaticText2Click();
    }
    return QDialog::eventFilter(watched, event);
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("TAboutBox");
    setWindowTitle("バージョン情報");
    auto* name = new QLabel("Pixquil", this);
    QFont big = name->font();
    big.setPointSize(24);
    big.setBold(true);
    big.setItalic(true);
    name->setFont(big);
    auto* version = new QLabel(QStringLiteral("Version " PQ_VERSION), this);
    auto* notice = new QPlainTextEdit(this);
    notice->setReadOnly(true);
    notice->setPlainText("Pixquil はアイコン、カーソル、小さなビットマップを 1 ピクセルずつ編集するエディタです。\n"
                         "このソフトウェアは無保証です。");
    notice->setFixedHeight(70);
    auto* licence = new QLabel(QString("MIT ライセンスで配布しています。\nQt %1 を使用しています。").arg(qVersion()), this);
    licence->setObjectName("licence");
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addWidget(notice);
    layout->addWidget(licence);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

}  // namespace pq::gui
