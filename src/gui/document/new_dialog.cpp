#include "gui/document/new_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/kit/dialog_buttons.h"

namespace pq::gui {

TfrmNew::TfrmNew(QWidget* parent) : QDialog(parent) {
    setObjectName("TfrmNew");
    setWindowTitle("新規作成");
    auto* rgSize = new QGroupBox("幅", this);
    rgSize->setObjectName("rgSize");
    auto* sizeLayout = new QVBoxLayout(rgSize);
    const char* sizes[3] = {"16×16 ピクセル", "32×32 ピクセル", "48×48 ピクセル"};
    for (int i = 0; i < 3; ++i) {
        size_[i] = new QRadioButton(sizes[i], rgSize);
        sizeLayout->addWidget(size_[i]);
    }
    auto* rgColor = new QGroupBox("色数", this);
    rgColor->setObjectName("rgColor");
    auto* colorLayout = new QVBoxLayout(rgColor);
    const char* counts[3] = {"16色", "256色", "フルカラー"};
    for (int i = 0; i < 3; ++i) {
        colors_[i] = new QRadioButton(counts[i], rgColor);
        colorLayout->addWidget(colors_[i]);
    }
    size_[0]->setChecked(true);
    colors_[0]->setChecked(true);

    auto* groups = new QHBoxLayout;
    groups->addWidget(rgSize);
    groups->addWidget(rgColor);
    QHBoxLayout* buttons = MakeOkCancelRow(this, "Button1", "Button2");
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(buttons);
}

int TfrmNew::SizeItem() const {
    for (int i = 0; i < 3; ++i)
        if (size_[i]->isChecked()) return i;
    return 0;
}

int TfrmNew::ColorItem() const {
    for (int i = 0; i < 3; ++i)
        if (colors_[i]->isChecked()) return i;
    return 0;
}

void TfrmNew::SetSizeItem(int item) { size_[std::clamp(item, 0, 2)]->setChecked(true); }

void TfrmNew::SetColorItem(int item) { colors_[std::clamp(item, 0, 2)]->setChecked(true); }

}  // namespace pq::gui
