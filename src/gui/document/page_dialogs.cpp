#include "gui/document/page_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/document/image_form.h"
#include "gui/kit/dialog_buttons.h"
#include "gui/kit/digit_key_filter.h"
#include "gui/kit/prompt.h"

namespace pq::gui {

namespace {

// "16色" and "256色", with `trueColor` also "フルカラー" below them.
QGroupBox* ColorGroup(QWidget* parent, QRadioButton*& c16, QRadioButton*& c256, int colors,
                      QRadioButton** trueColor = nullptr) {
    auto* group = new QGroupBox("色数", parent);
    group->setObjectName("rgColor");
    auto* layout = new QVBoxLayout(group);
    c16 = new QRadioButton("16色", group);
    c256 = new QRadioButton("256色", group);
    layout->addWidget(c16);
    layout->addWidget(c256);
    if (trueColor) {
        *trueColor = new QRadioButton("フルカラー", group);
        layout->addWidget(*trueColor);
    }
    (colors == 256 ? c256 : c16)->setChecked(true);
    return group;
}

}  // namespace

TfrmAddPage::TfrmAddPage(QWidget* parent, Prompt& prompt, int colors) : QDialog(parent), prompt_(prompt) {
    setObjectName("TfrmAddPage");
    setWindowTitle("ページの追加");
    size_ = new QComboBox(this);
    size_->setObjectName("cbSize");
    size_->setEditable(true);
    for (int s : kIconSetSizes) size_->addItem(QString::number(s));
    size_->setCurrentText("32");
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(new QLabel("サイズ(1～256)：", this));
    sizeRow->addWidget(size_);
    sizeRow->addWidget(new QLabel("ピクセル", this));

    auto* source = new QGroupBox("内容", this);
    auto* sourceLayout = new QVBoxLayout(source);
    blank_ = new QRadioButton("白紙", source);
    blank_->setObjectName("rbBlank");
    fromCurrent_ = new QRadioButton("現在のページから作る", source);
    fromCurrent_->setObjectName("rbFromCurrent");
    sourceLayout->addWidget(blank_);
    sourceLayout->addWidget(fromCurrent_);
    fromCurrent_->setChecked(true);

    auto* groups = new QHBoxLayout;
    groups->addWidget(ColorGroup(this, colors16_, colors256_, colors, &colorsTrue_));
    if (colors == 32) colorsTrue_->setChecked(true);
    groups->addWidget(source);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sizeRow);
    layout->addLayout(groups);
    layout->addLayout(MakeOkCancelRow(this, "Button1", "Button2"));
}

int TfrmAddPage::ChosenSize() const {
    bool ok = false;
    const int size = size_->currentText().trimmed().toInt(&ok);
    return ok && size >= 1 && size <= 256 ? size : 0;
}

int TfrmAddPage::ChosenColors() const { return colors256_->isChecked() ? 256 : 16; }

bool TfrmAddPage::TrueColorChosen() const { return colorsTrue_->isChecked(); }

bool TfrmAddPage::FromCurrentPage() const { return fromCurrent_->isChecked(); }

void TfrmAddPage::done(int result) {
    // A size that is not a whole number from 1 to 256 keeps the dialog open.
    if (result == QDialog::Accepted && ChosenSize() == 0) {
        prompt_.Message(this, "ページの追加", "サイズには1から256までの整数を入力してください。", PromptIcon::Warning,
                        PromptButtons::Ok);
        size_->setFocus();
        return;
    }
    QDialog::done(result);
}

TfrmPageSizes::TfrmPageSizes(QWidget* parent, const QString& title, const QString& objectName, bool withColors,
                             const std::vector<int>& checked)
    : QDialog(parent) {
    setObjectName(objectName);
    setWindowTitle(title);
    auto* group = new QGroupBox("サイズ", this);
    auto* grid = new QGridLayout(group);
    int n = 0;
    for (int s : kIconSetSizes) {
        auto* box = new QCheckBox(QString("%1×%1").arg(s), group);
        box->setObjectName(QString("cb%1").arg(s));
        box->setChecked(std::find(checked.begin(), checked.end(), s) != checked.end());
        grid->addWidget(box, n % 5, n / 5);
        boxes_.push_back(box);
        ++n;
    }
    auto* groups = new QHBoxLayout;
    groups->addWidget(group);
    if (withColors) {
        groups->addWidget(ColorGroup(this, colors16_, colors256_, 256, &colorsTrue_));
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(MakeOkCancelRow(this, "Button1", "Button2"));
}

std::vector<int> TfrmPageSizes::CheckedSizes() const {
    std::vector<int> sizes;
    for (std::size_t i = 0; i < boxes_.size(); ++i)
        if (boxes_[i]->isChecked()) sizes.push_back(kIconSetSizes[i]);
    return sizes;
}

int TfrmPageSizes::ChosenColors() const { return colors256_ && colors256_->isChecked() ? 256 : 16; }

bool TfrmPageSizes::TrueColorChosen() const { return colorsTrue_ && colorsTrue_->isChecked(); }

void TfrmPageSizes::ChooseColors(int colors) {
    if (!colors256_) return;
    if (colors == 32 && colorsTrue_) colorsTrue_->setChecked(true);
    else if (colors == 256) colors256_->setChecked(true);
    else colors16_->setChecked(true);
}

QCheckBox* TfrmPageSizes::SizeBox(int size) const {
    for (std::size_t i = 0; i < boxes_.size(); ++i)
        if (kIconSetSizes[i] == size) return boxes_[i];
    return nullptr;
}

TfrmFrameTime::TfrmFrameTime(QWidget* parent, Prompt& prompt, int milliseconds) : QDialog(parent), prompt_(prompt) {
    setObjectName("TfrmFrameTime");
    setWindowTitle("フレームの表示時間");
    time_ = new QLineEdit(QString::number(milliseconds), this);
    time_->setObjectName("edTime");
    DigitKeyFilter::Install(time_);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("表示時間：", this));
    row->addWidget(time_);
    row->addWidget(new QLabel("ミリ秒", this));
    all_ = new QCheckBox("すべてのフレーム", this);
    all_->setObjectName("cbAllFrames");
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(all_);
    layout->addLayout(MakeOkCancelRow(this, "Button1", "Button2"));
}

int TfrmFrameTime::ChosenMilliseconds() const {
    bool ok = false;
    const qlonglong ms = time_->text().trimmed().toLongLong(&ok);
    return ok && ms >= 1 && ms <= kMaxFrameMilliseconds ? int(ms) : 0;
}

bool TfrmFrameTime::AllFrames() const { return all_->isChecked(); }

void TfrmFrameTime::done(int result) {
    // A time that is not a whole number in range keeps the dialog open.
    if (result == QDialog::Accepted && ChosenMilliseconds() == 0) {
        prompt_.Message(this, "フレームの表示時間", "表示時間には1から9900000までの整数（ミリ秒）を入力してください。",
                        PromptIcon::Warning, PromptButtons::Ok);
        time_->setFocus();
        return;
    }
    QDialog::done(result);
}

}  // namespace pq::gui
