#include "gui/formats/icon_chooser.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/formats/icon_images.h"
#include "gui/kit/prompt.h"

namespace pq::gui {

TForm7::TForm7(QWidget* parent) : QDialog(parent) {
    setObjectName("TForm7");
    setWindowTitle("複数のデバイスが存在します");
    label1_ = new QLabel("開くデバイスを選択してください", this);
    label1_->setObjectName("Label1");
    comboBox1_ = new QComboBox(this);
    comboBox1_->setObjectName("ComboBox1");
    comboBox1_->setEditable(false);
    comboBox1_->setMinimumWidth(240);
    button1_ = new QPushButton("OK", this);
    button1_->setObjectName("Button1");
    button1_->setDefault(true);
    button2_ = new QPushButton("キャンセル", this);
    button2_->setObjectName("Button2");
    button3_ = new QPushButton("すべて開く", this);
    button3_->setObjectName("Button3");
    connect(button1_, &QPushButton::clicked, this, [this] {
        all_ = false;
        accept();
    });
    connect(button3_, &QPushButton::clicked, this, [this] {
        all_ = true;
        accept();
    });
    connect(button2_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button1_);
    buttons->addWidget(button2_);
    buttons->addWidget(button3_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1_);
    layout->addWidget(comboBox1_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TForm7::SetEntries(const pq::IconDirectory& dir, std::span<const uint8_t> file) {
    comboBox1_->clear();
    for (std::size_t n = 0; n < dir.Entries.size(); ++n)
        comboBox1_->addItem(QString::fromStdString(file.empty() ? pq::IconEntryLabel(int(n), dir.Entries[n])
                                                                : pq::IconChooserLabel(int(n), file, dir.Entries[n])));
    comboBox1_->setCurrentIndex(comboBox1_->count() > 0 ? 0 : -1);
}

int TForm7::ChosenIndex() const { return comboBox1_->currentIndex(); }

std::optional<IconChoice> ChooseIconImage(Prompt& prompt, QWidget* parent, const pq::IconDirectory& dir,
                                          std::span<const uint8_t> file) {
    if (dir.Entries.empty()) return std::nullopt;
    if (dir.Entries.size() == 1) return IconChoice{};
    TForm7 dialog(parent);
    dialog.SetEntries(dir, file);
    if (!prompt.RunDialog(dialog)) return std::nullopt;
    if (dialog.AllChosen()) return IconChoice{0, true};
    const int index = dialog.ChosenIndex();
    if (index < 0) return std::nullopt;
    return IconChoice{index, false};
}

}  // namespace pq::gui
