#include "gui/document/name_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/document/layer_commands.h"
#include "gui/kit/prompt.h"

namespace pq::gui {

TfrmName::TfrmName(QWidget* parent, Prompt& prompt) : QDialog(parent), prompt_(prompt) {
    setObjectName("TfrmName");
    setWindowTitle(QString::fromUtf8(pq::kRenameTitle));
    auto* label = new QLabel("名前を入力してください。", this);
    label->setObjectName("Label1");
    edit_ = new QLineEdit(this);
    edit_->setObjectName("Edit1");
    ok_ = new QPushButton("OK", this);
    ok_->setObjectName("Button1");
    ok_->setDefault(true);
    auto* cancel = new QPushButton("キャンセル", this);
    cancel->setObjectName("Button2");
    connect(ok_, &QPushButton::clicked, this, &TfrmName::Button1Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(edit_);
    layout->addLayout(buttons);
}

void TfrmName::SetName(const QString& name) {
    edit_->setText(name);
    edit_->selectAll();
}

QString TfrmName::Name() const { return edit_->text(); }

void TfrmName::Button1Click() {
    if (const auto problem = pq::LayerNameProblem(edit_->text().toStdString())) {
        prompt_.Message(this, QString::fromUtf8(pq::kRenameTitle), QString::fromStdString(*problem),
                        PromptIcon::Warning, PromptButtons::Ok);
        edit_->setFocus();
        return;
    }
    accept();
}

void TfrmName::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    edit_->setFocus();
}

}  // namespace pq::gui
