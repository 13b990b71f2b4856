#include "gui/formats/exe_dll_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/kit/prompt.h"

namespace pq::gui {

namespace {
constexpr int kPreviewSide = 32;

QImage WhitePreview() {
    QImage image(kPreviewSide, kPreviewSide, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}
}  // namespace

QImage IconPreviewImage(const pq::IconPicture& icon) {
    QImage image = WhitePreview();
    for (int y = 0; y < kPreviewSide && y < icon.Color.Height(); ++y)
        for (int x = 0; x < kPreviewSide && x < icon.Color.Width(); ++x) {
            if (icon.Mask.Pixel(x, y) != pq::kBlack) continue;
            const pq::Rgb c = icon.Color.PixelUnchecked(x, y);
            image.setPixel(x, y, qRgb(c.r, c.g, c.b));
        }
    return image;
}

TfrmExeDll::TfrmExeDll(QWidget* parent, Prompt& prompt, CreateDocument createDocument)
    : QDialog(parent), prompt_(prompt), createDocument_(std::move(createDocument)) {
    setObjectName("TfrmExeDll");
    setWindowTitle("実行可能ファイルから読み込み");

    label1_ = new QLabel("読み込むファイル", this);
    label1_->setObjectName("Label1");
    edit1_ = new QLineEdit("参照ボタンで選んでください。", this);
    edit1_->setObjectName("Edit1");
    edit1_->setReadOnly(true);
    edit1_->setMinimumWidth(260);
    button1_ = new QPushButton("参照", this);
    button1_->setObjectName("Button1");
    button1_->setAutoDefault(false);
    label2_ = new QLabel("読み込むアイコンのインデックス", this);
    label2_->setObjectName("Label2");
    comboBox1_ = new QComboBox(this);
    comboBox1_->setObjectName("ComboBox1");
    comboBox1_->setEditable(false);
    image1_ = new QLabel(this);
    image1_->setObjectName("Image1");
    image1_->setFixedSize(kPreviewSide, kPreviewSide);
    preview_ = WhitePreview();
    image1_->setPixmap(QPixmap::fromImage(preview_));
    button2_ = new QPushButton("読み込む", this);
    button2_->setObjectName("Button2");
    button2_->setDefault(true);
    button2_->setEnabled(false);
    button3_ = new QPushButton("キャンセル", this);
    button3_->setObjectName("Button3");
    button3_->setAutoDefault(false);

    connect(button1_, &QPushButton::clicked, this, &TfrmExeDll::Button1Click);
    connect(comboBox1_, &QComboBox::activated, this, &TfrmExeDll::ComboBox1Change);
    connect(button2_, &QPushButton::clicked, this, &TfrmExeDll::Button2Click);
    connect(button3_, &QPushButton::clicked, this, &TfrmExeDll::Button3Click);

    auto* grid = new QGridLayout;
    grid->addWidget(label1_, 0, 0, 1, 2);
    grid->addWidget(edit1_, 1, 0);
    grid->addWidget(button1_, 1, 1);
    grid->addWidget(label2_, 2, 0, 1, 2);
    auto* pick = new QHBoxLayout;
    pick->addWidget(comboBox1_, 1);
    pick->addWidget(image1_);
    grid->addLayout(pick, 3, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button2_);
    buttons->addWidget(button3_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmExeDll::Button1Click() {
    FileDialogRequest request;
    request.Title = "開く";
    request.Filter = "EXE、DLL、SCR(*.exe;*.dll;*.scr) (*.exe *.dll *.scr)";
    const auto path = prompt_.OpenFileName(this, request);
    if (!path) return;
    preview_ = WhitePreview();
    image1_->setPixmap(QPixmap::fromImage(preview_));
    pq::ProgramIcons icons;
    const pq::FileResult r = pq::ProgramIcons::Load(path->toStdString(), icons);
    if (!r.Ok) {
        prompt_.Message(this, "Pixquil", QString::fromStdString(r.Message), PromptIcon::Error, PromptButtons::Ok);
        return;
    }
    if (icons.Count() <= 0) {
        // The list and the load button keep what an earlier file gave them.
        prompt_.Message(this, "Pixquil", pq::kNoIconsMessage, PromptIcon::Information, PromptButtons::Ok);
        return;
    }
    icons_ = std::move(icons);
    iconCount_ = icons_.Count();
    edit1_->setText(*path);
    comboBox1_->clear();
    comboBox1_->addItem("すべて");
    for (int i = 0; i < iconCount_; ++i) comboBox1_->addItem(QString::number(i));
    comboBox1_->setCurrentIndex(0);
    button2_->setEnabled(true);
}

void TfrmExeDll::ComboBox1Change(int line) {
    if (line != comboBox1_->currentIndex()) comboBox1_->setCurrentIndex(line);
    preview_ = WhitePreview();
    if (line >= 1) {
        pq::IconPicture icon;
        if (icons_.Extract(line - 1, icon)) preview_ = IconPreviewImage(icon);
    }
    image1_->setPixmap(QPixmap::fromImage(preview_));
}

void TfrmExeDll::CreateFromIcon(int n) {
    pq::IconPicture icon;
    if (!icons_.Extract(n, icon)) return;
    createDocument_(icon);
}

void TfrmExeDll::Button2Click() {
    const int line = comboBox1_->currentIndex();
    if (line < 0 || iconCount_ <= 0) return;
    if (line >= 1) {
        CreateFromIcon(line - 1);
        accept();
        return;
    }
    idle_ = false;
    // No second run can start while this one hands out events.
    button2_->setEnabled(false);
    bool stopped = false;
    for (int i = 0; i < iconCount_; ++i) {
        CreateFromIcon(i);
        // Lets キャンセル be pressed between two icons.
        QApplication::processEvents();
        if (idle_) {
            stopped = true;
            break;
        }
    }
    idle_ = true;
    button2_->setEnabled(true);
    if (stopped) QDialog::reject();
    else accept();
}

void TfrmExeDll::Button3Click() {
    if (idle_) {
        QDialog::reject();
        return;
    }
    idle_ = true;
}

void TfrmExeDll::reject() { Button3Click(); }

}  // namespace pq::gui
