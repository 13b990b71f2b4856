#include "gui/formats/area_picker.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "core/ops/resample.h"
#include "gui/document/clipboard_commands.h"
#include "gui/document/image_form.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"

namespace pq::gui {

QImage RasterToImage(const pq::Raster& raster) {
    if (raster.Empty()) return QImage();
    return QImage(raster.Data(), raster.Width(), raster.Height(), raster.Stride(), QImage::Format_BGR888)
        .convertToFormat(QImage::Format_RGB32);
}

namespace {

// Inverts the 1-pixel outline of r (right and bottom exclusive) without touching any pixel
// twice, so drawing the same outline again removes it.
void InvertOutline(QPainter& painter, const pq::Rect& r) {
    const int w = r.Width(), h = r.Height();
    if (w <= 0 || h <= 0) return;
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    const QColor white(255, 255, 255);
    painter.fillRect(QRect(r.left, r.top, w, 1), white);
    if (h > 1) painter.fillRect(QRect(r.left, r.bottom - 1, w, 1), white);
    if (h > 2) {
        painter.fillRect(QRect(r.left, r.top + 1, 1, h - 2), white);
        if (w > 1) painter.fillRect(QRect(r.right - 1, r.top + 1, 1, h - 2), white);
    }
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

}  // namespace

// ---- Image1 ----------------------------------------------------------------------------------

TAreaPictureView::TAreaPictureView(TfrmSelectOpenArea* dialog, const QImage& picture, QWidget* parent)
    : QWidget(parent), dialog_(dialog), picture_(picture) {
    setObjectName("Image1");
    setFixedSize(picture_.size());
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
}

void TAreaPictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, picture_);
    InvertOutline(painter, dialog_->DrawnOutline());
}

void TAreaPictureView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint p = event->position().toPoint();
    dialog_->Image1MouseDown(p.x(), p.y());
}

void TAreaPictureView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    dialog_->Image1MouseMove(p.x(), p.y());
}

void TAreaPictureView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint p = event->position().toPoint();
    dialog_->Image1MouseUp(p.x(), p.y());
}

// ---- Image2 ----------------------------------------------------------------------------------

TAreaPreview::TAreaPreview(const pq::AreaPicker& picker, QWidget* parent) : QWidget(parent), picker_(picker) {
    setObjectName("Image2");
    FitToPreview();
}

void TAreaPreview::FitToPreview() { setFixedSize(picker_.Preview().Width(), picker_.Preview().Height()); }

void TAreaPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, RasterToImage(picker_.Preview()));
}

// ---- the dialog ----------------------------------------------------------------------------------

TfrmSelectOpenArea::TfrmSelectOpenArea(QWidget* parent, const pq::Raster& picture, AreaPickerMode mode,
                                       int previewWidth, int previewHeight, const pq::Plane* transparent)
    : QDialog(parent), picture_(picture), picker_(picture, previewWidth, previewHeight, transparent), mode_(mode) {
    setObjectName("TfrmSelectOpenArea");
    setWindowTitle("範囲選択");
    setSizeGripEnabled(true);

    label1_ = new QLabel("貼り付ける部分を選択してください。", this);
    label1_->setObjectName("Label1");
    scrollBox1_ = new QScrollArea(this);
    scrollBox1_->setObjectName("ScrollBox1");
    image1_ = new TAreaPictureView(this, RasterToImage(picture_), scrollBox1_);
    scrollBox1_->setWidget(image1_);
    scrollBox1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* panel1 = new QWidget(this);
    panel1->setObjectName("Panel1");
    image2_ = new TAreaPreview(picker_, panel1);

    rgSize_ = new QGroupBox("サイズ", panel1);
    rgSize_->setObjectName("rgSize");
    sizeButtons_ = new QButtonGroup(this);
    auto* sizeLayout = new QVBoxLayout(rgSize_);
    const char* sizes[3] = {"16×16ピクセル", "32×32ピクセル", "48×48ピクセル"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QRadioButton(sizes[i], rgSize_);
        sizeButtons_->addButton(b, i);
        sizeLayout->addWidget(b);
    }
    sizeButtons_->button(0)->setChecked(true);
    connect(sizeButtons_, &QButtonGroup::idClicked, this, &TfrmSelectOpenArea::rgSizeClick);

    rgColor_ = new QGroupBox("色数", panel1);
    rgColor_->setObjectName("rgColor");
    colorButtons_ = new QButtonGroup(this);
    auto* colorLayout = new QVBoxLayout(rgColor_);
    const char* counts[3] = {"16色", "256色", "フルカラー"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QRadioButton(counts[i], rgColor_);
        colorButtons_->addButton(b, i);
        colorLayout->addWidget(b);
    }
    colorButtons_->button(0)->setChecked(true);
    colorButtons_->button(2)->hide();

    checkBox1_ = new QCheckBox(mode_ == AreaPickerMode::Paste ? "最適化" : "正方形", panel1);
    checkBox1_->setObjectName("CheckBox1");
    checkBox1_->setChecked(true);
    picker_.Square = true;
    connect(checkBox1_, &QCheckBox::toggled, this, [this](bool on) { picker_.Square = on; });

    // "高速": the whole picture's preview from the picture averaged down first (import only).
    fastBox_ = new QCheckBox("高速", panel1);
    fastBox_->setObjectName("FastBox");
    fastBox_->setChecked(false);
    connect(fastBox_, &QCheckBox::toggled, this, [this](bool on) { picker_.Fast = on; });

    button3_ = new QPushButton("全体を使う", panel1);
    button3_->setObjectName("Button3");
    connect(button3_, &QPushButton::clicked, this, &TfrmSelectOpenArea::Button3Click);
    label2_ = new QLabel("幅：", panel1);
    label2_->setObjectName("Label2");
    label3_ = new QLabel("高さ：", panel1);
    label3_->setObjectName("Label3");

    button1_ = new QPushButton("OK", panel1);
    button1_->setObjectName("Button1");
    button1_->setDefault(true);
    button2_ = new QPushButton("キャンセル", panel1);
    button2_->setObjectName("Button2");
    connect(button1_, &QPushButton::clicked, this, &QDialog::accept);
    connect(button2_, &QPushButton::clicked, this, &QDialog::reject);

    auto* panelLayout = new QVBoxLayout(panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(image2_, 0, Qt::AlignLeft);
    panelLayout->addWidget(rgSize_);
    panelLayout->addWidget(rgColor_);
    panelLayout->addWidget(checkBox1_);
    panelLayout->addWidget(button3_);
    panelLayout->addWidget(fastBox_);
    panelLayout->addWidget(label2_);
    panelLayout->addWidget(label3_);
    panelLayout->addStretch();
    panelLayout->addWidget(button1_);
    panelLayout->addWidget(button2_);
    panel1->setFixedWidth(qMax(panel1->sizeHint().width(), 120));

    if (mode_ == AreaPickerMode::Paste) {
        rgSize_->hide();
        rgColor_->hide();
        fastBox_->hide();
    }

    // The scroll box takes all room left of the panel and down to the bottom (FormResize).
    auto* body = new QHBoxLayout;
    body->addWidget(scrollBox1_, 1);
    body->addWidget(panel1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1_);
    layout->addLayout(body, 1);
    resize(qBound(360, picture_.Width() + panel1->width() + 40, 800), qBound(300, picture_.Height() + 60, 600));
}

pq::Rect TfrmSelectOpenArea::DrawnOutline() const {
    return picker_.Dragging() ? picker_.Band() : picker_.FrameRect();
}

void TfrmSelectOpenArea::Image1MouseDown(int x, int y) {
    picker_.Press(x, y);
    // A press inside the frame starts moving it, which reports the band like a move does.
    if (picker_.MovingFrame()) ShowBandSize();
    PictureChanged();
}

void TfrmSelectOpenArea::Image1MouseMove(int x, int y) {
    if (!picker_.Dragging()) {
        image1_->setCursor(picker_.InsideFrame(x, y) ? Qt::SizeAllCursor : Qt::CrossCursor);
        return;
    }
    picker_.Move(x, y);
    ShowBandSize();
    PictureChanged();
}

void TfrmSelectOpenArea::Image1MouseUp(int, int) {
    if (!picker_.Dragging()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    picker_.Release();
    QApplication::restoreOverrideCursor();
    PictureChanged();
}

void TfrmSelectOpenArea::rgSizeClick(int item) {
    const int side = 16 + 16 * qBound(0, item, 2);
    if (QAbstractButton* b = sizeButtons_->button(qBound(0, item, 2)); b && !b->isChecked()) b->setChecked(true);
    picker_.SetOutputSize(side, side);
    image2_->FitToPreview();
    image2_->update();
}

void TfrmSelectOpenArea::Button3Click() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    picker_.UseWholePicture();
    QApplication::restoreOverrideCursor();
    checkBox1_->setChecked(false);
    ShowBandSize();
    PictureChanged();
}

int TfrmSelectOpenArea::SizeItem() const { return qMax(0, sizeButtons_->checkedId()); }

int TfrmSelectOpenArea::ColorItem() const {
    const int id = colorButtons_->checkedId();
    if (id == 2) return TrueColorOffered() ? 2 : 0;
    return id == 1 ? 1 : 0;
}

void TfrmSelectOpenArea::SetColorItem(int item) {
    if (item == 2 && !TrueColorOffered()) item = 0;
    colorButtons_->button(item == 1 || item == 2 ? item : 0)->setChecked(true);
}

void TfrmSelectOpenArea::OfferTrueColor(bool offer) {
    QAbstractButton* b = colorButtons_->button(2);
    if (!offer && b->isChecked()) colorButtons_->button(0)->setChecked(true);
    b->setVisible(offer);
    b->setEnabled(offer);
}

bool TfrmSelectOpenArea::TrueColorOffered() const { return colorButtons_->button(2)->isEnabled(); }

bool TfrmSelectOpenArea::SquareChecked() const { return checkBox1_->isChecked(); }

void TfrmSelectOpenArea::ShowBandSize() {
    label2_->setText(QString("幅：%1").arg(picker_.BandWidth()));
    label3_->setText(QString("高さ：%1").arg(picker_.BandHeight()));
}

void TfrmSelectOpenArea::PictureChanged() {
    image1_->update();
    image2_->update();
}

pq::Document AreaTrueColorDocument(const std::vector<pq::Rgba8>& pixels, int pictureWidth, int pictureHeight,
                                   const pq::Rect& frame, int width, int height, int selectedZoom) {
    pq::Document doc;
    if (pictureWidth <= 0 || pictureHeight <= 0 ||
        pixels.size() != std::size_t(pictureWidth) * std::size_t(pictureHeight))
        return doc;
    if (frame.left == 0 && frame.top == 0 && frame.right == pictureWidth && frame.bottom == pictureHeight &&
        !(pictureWidth == width && pictureHeight == height))
        return pq::FittedTrueColorDocument(pixels, pictureWidth, pictureHeight, width, height, selectedZoom);
    if (width < 1 || height < 1 || width > pq::kMaxResampleSide || height > pq::kMaxResampleSide) return doc;
    const std::vector<pq::Rgba8> out = FramedRgbaArea(pixels, pictureWidth, pictureHeight, frame, width, height);
    if (out.size() != std::size_t(width) * std::size_t(height)) return doc;
    pq::InitBlankTrueColorDocument(doc, width, height, selectedZoom);
    std::copy(out.begin(), out.end(), doc.LayerAt(0).Pixels.begin());
    return doc;
}

std::optional<PasteChoice> PickPasteArea(FrameServices& frame, TImageForm& form, const pq::Raster& picture) {
    const pq::Document& doc = form.Doc();
    TfrmSelectOpenArea dialog(frame.FrameWidget(), picture, AreaPickerMode::Paste, doc.ImageWidth, doc.ImageHeight);
    if (!frame.GetPrompt().RunDialog(dialog)) return std::nullopt;
    return PasteChoice{dialog.Preview(), dialog.CheckBox1()->isChecked(), dialog.Picker().FrameRect()};
}

}  // namespace pq::gui
