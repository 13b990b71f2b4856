#include "gui/palettes/color_palette.h"

#include <QEvent>
#include <QFontMetrics>
#include <algorithm>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

#include "core/document/blend.h"
#include "core/formats/settings_files.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"
#include "gui/document/image_form.h"

namespace pq::gui {

namespace {
constexpr int kGridSize = 192;
constexpr int kCell = 12;
constexpr int kPanelHeight = 128;
constexpr int kBoxWidth = 137;

QColor ToQColor(pq::Rgb c) { return QColor(c.r, c.g, c.b); }

void SetSwatch(QLabel* label, const QColor& c) {
    label->setPixmap(QPixmap());
    label->setStyleSheet(QString("background-color: %1; border: 2px inset gray;").arg(c.name()));
}

// The inside of a 41 x 25 swatch within its 2-pixel border.
constexpr int kSwatchWidth = 37, kSwatchHeight = 21, kChecker = 4;

// A colour with alpha over a white and light grey checkerboard, so that its transparency shows.
QImage CheckeredSwatch(pq::Rgba8 c) {
    QImage out(kSwatchWidth, kSwatchHeight, QImage::Format_RGB32);
    for (int y = 0; y < kSwatchHeight; ++y)
        for (int x = 0; x < kSwatchWidth; ++x) {
            const uint8_t v = ((x / kChecker + y / kChecker) % 2) ? 204 : 255;
            const pq::Rgba8 shown = pq::BlendOver(pq::Rgba8{v, v, v, 255}, c);
            out.setPixel(x, y, qRgb(shown.r, shown.g, shown.b));
        }
    return out;
}

void SetCheckeredSwatch(QLabel* label, pq::Rgba8 c) {
    label->setStyleSheet("border: 2px inset gray;");
    label->setAlignment(Qt::AlignCenter);
    label->setPixmap(QPixmap::fromImage(CheckeredSwatch(c)));
    label->setToolTip(QString("A: %1").arg(c.a));
}

pq::Rgba8 Opaque(pq::Rgb c) { return pq::Rgba8{c.r, c.g, c.b, 255}; }

// A one-pixel frame on the border pixels of the w x h rectangle at (x, y).
void FrameAt(QPainter& p, int x, int y, int w, int h, const QColor& c) {
    p.fillRect(x, y, w, 1, c);
    p.fillRect(x, y + h - 1, w, 1, c);
    p.fillRect(x, y, 1, h, c);
    p.fillRect(x + w - 1, y, 1, h, c);
}

void MarkEntry(QPainter& p, int entry, const QColor& c) {
    const int col = entry % 16, row = entry / 16;
    FrameAt(p, kCell * col, kCell * row, col == 15 ? 11 : 13, row == 15 ? 11 : 13, c);
}
}  // namespace

// ---- palette grid ------------------------------------------------------------------------------

TPaletteImage::TPaletteImage(TfrmColorPalette* owner)
    : QWidget(owner), owner_(owner), picture_(kGridSize, kGridSize, QImage::Format_RGB32) {
    setFixedSize(kGridSize, kGridSize);
    picture_.fill(Qt::black);
}

void TPaletteImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

void TPaletteImage::mousePressEvent(QMouseEvent* event) {
    owner_->imgPaletteMouseDown(event->button(), event->position().toPoint());
}

// ---- gradient boxes ----------------------------------------------------------------------------

TGradientBox::TGradientBox(TfrmColorPalette* owner, int channel, QWidget* parent)
    : QWidget(parent), owner_(owner), channel_(channel) {
    setFixedSize(kBoxWidth, 9);
}

void TGradientBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    for (int x = 0; x < width(); ++x) p.fillRect(x, 0, 1, height(), owner_->GradientColor(channel_, x));
}

void TGradientBox::mousePressEvent(QMouseEvent* event) {
    // The pointer is held by this box until release; positions are kept within 0 .. width.
    owner_->GradientAt(channel_, event->position().toPoint().x());
}

void TGradientBox::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & (Qt::LeftButton | Qt::RightButton))
        owner_->GradientAt(channel_, event->position().toPoint().x());
}

void TGradientBox::mouseReleaseEvent(QMouseEvent*) {}

// ---- channel scroll bars -----------------------------------------------------------------------

TChannelScrollBar::TChannelScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
    setRange(0, 255);
    setPageStep(10);
    setSingleStep(1);
    setFocusPolicy(Qt::NoFocus);
    // The context menu's jumps would change the colour without ending a scroll.
    setContextMenuPolicy(Qt::NoContextMenu);
}

QRect TChannelScrollBar::ThumbRect() const {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    return style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, this);
}

void TChannelScrollBar::mousePressEvent(QMouseEvent* event) {
    QScrollBar::mousePressEvent(event);
    // A scroll has begun when the press took the thumb or started an arrow or track action
    // (a right button does neither).
    if (isSliderDown() || repeatAction() != SliderNoAction) pressed_ = true;
}

void TChannelScrollBar::mouseReleaseEvent(QMouseEvent* event) {
    QScrollBar::mouseReleaseEvent(event);
    if (!pressed_ || event->buttons() != Qt::NoButton) return;
    pressed_ = false;
    emit ScrollEnded();
}

void TChannelScrollBar::wheelEvent(QWheelEvent* event) { event->ignore(); }

// ---- the window --------------------------------------------------------------------------------

TfrmColorPalette::TfrmColorPalette(FrameServices& frame, const std::filesystem::path& settingsFolder)
    : TToolWindow(frame.FrameWidget(), "パレット", settingsFolder / pq::kColorPaletteFile), frame_(frame) {
    setObjectName("TfrmColorPalette");
    panel1_ = new QWidget(this);
    panel1_->setObjectName("Panel1");
    captionFore_ = new QLabel("描画色", panel1_);
    lblFore_ = new QLabel(panel1_);
    lblFore_->setObjectName("lblFore");
    static const char* kNames[3] = {"R: ", "G: ", "B: "};
    static const char* kLetters[3] = {"R", "G", "B"};
    for (int c = 0; c < 3; ++c) {
        lblChannel_[c] = new QLabel(QString(kNames[c]) + "  0", panel1_);
        lblChannel_[c]->setObjectName(QString("lbl") + kLetters[c]);
        letters_[c] = new QLabel(kLetters[c], panel1_);
        boxes_[c] = new TGradientBox(this, c, panel1_);
        boxes_[c]->setObjectName(QString("PaintBox%1").arg(c + 1));
        bars_[c] = new TChannelScrollBar(panel1_);
        bars_[c]->setObjectName(QString("scl") + kLetters[c]);
        connect(bars_[c], &QScrollBar::valueChanged, this, [this, c](int v) { ChannelChanged(c, v); });
        connect(bars_[c], &TChannelScrollBar::ScrollEnded, this, [this] { RecordPaletteStep(); });
    }
    captionBack_ = new QLabel("補助色", panel1_);
    lblBack_ = new QLabel(panel1_);
    lblBack_->setObjectName("lblBack");
    LayOutPanel();
    lblFore_->installEventFilter(this);
    lblBack_->installEventFilter(this);

    image_ = new TPaletteImage(this);
    image_->setObjectName("imgPalette");
    move(660, 0);
    RefreshColorPalette();
    ReadPosition();
}

void TfrmColorPalette::LayOutPanel() {
    // The designed places at small fonts; a larger font moves the labels apart (and the boxes
    // down) so that no two overlap and "R: 255" fits its label.
    const QFontMetrics fm(panel1_->font());
    const int line = fm.height();
    constexpr int kGap = 3, kSwatchW = 41, kSwatchH = 25;
    captionFore_->adjustSize();
    captionBack_->adjustSize();
    captionFore_->move(24, 8);
    const int swatchTop = std::max(24, 8 + captionFore_->height() + 1);
    lblFore_->setGeometry(24, swatchTop, kSwatchW, kSwatchH);
    const int rowH = std::max(16, line);
    const int chanX = std::max(72, 24 + std::max(kSwatchW, captionFore_->width()) + kGap);
    const int chanW = std::max(50, fm.horizontalAdvance("R: 255") + 4);
    const int backX = std::max(128, chanX + chanW + kGap);
    captionBack_->move(backX, 8);
    lblBack_->setGeometry(backX, swatchTop, kSwatchW, kSwatchH);
    const int rowLabelH = std::max(14, line);
    const int boxTop = std::max({56, 8 + 2 * rowH + rowLabelH, swatchTop + kSwatchH + kGap});
    for (int c = 0; c < 3; ++c) {
        lblChannel_[c]->setGeometry(chanX, 8 + rowH * c, chanW, rowLabelH);
        letters_[c]->adjustSize();
        letters_[c]->move(16, boxTop + 24 * c);
        boxes_[c]->move(32, boxTop + 24 * c);
        bars_[c]->setGeometry(32, boxTop + 8 + 24 * c, kBoxWidth, 8);
    }
    panelWidth_ = std::max(kGridSize, backX + std::max(kSwatchW, captionBack_->width()) + kGap);
    panelHeight_ = std::max(kPanelHeight, boxTop + 72);
    panel1_->setGeometry(0, 0, panelWidth_, panelHeight_);
}

void TfrmColorPalette::changeEvent(QEvent* event) {
    TToolWindow::changeEvent(event);
    if (event->type() != QEvent::FontChange || !panel1_) return;
    LayOutPanel();
    RefreshColorPalette();
}

TImageForm* TfrmColorPalette::Active() const { return frame_.ActiveForm(); }

QString TfrmColorPalette::ChannelLabelText(int channel) const { return lblChannel_[channel]->text(); }

QColor TfrmColorPalette::GradientColor(int channel, int x) const {
    int v[3] = {bars_[0]->value(), bars_[1]->value(), bars_[2]->value()};
    v[channel] = 255 * x / kBoxWidth;
    return QColor(v[0], v[1], v[2]);
}

void TfrmColorPalette::RefreshColorPalette() {
    refreshing_ = true;
    TImageForm* form = Active();
    QImage& pic = image_->Picture();
    QPainter p(&pic);
    if (!form || !form->Doc().Ready) {
        panel1_->hide();
        image_->move(0, 0);
        setFixedSize(kGridSize, kGridSize);
        p.fillRect(0, 0, kGridSize, kGridSize, palette().color(QPalette::Button));
        FrameAt(p, 0, 0, kGridSize, kGridSize, Qt::black);
        p.setPen(Qt::black);
        p.drawLine(0, 0, kGridSize - 1, kGridSize - 1);
        p.end();
        image_->update();
        refreshing_ = false;
        return;
    }
    const pq::Document& doc = form->Doc();
    p.fillRect(0, 0, kGridSize, kGridSize, Qt::black);
    setFixedSize(std::max(kGridSize, panelWidth_), panelHeight_ + kGridSize);
    panel1_->show();
    image_->move(0, panelHeight_);
    const int rows = doc.ColorCount / 16;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 16; ++c) p.fillRect(kCell * c, kCell * r, kCell, kCell, ToQColor(doc.ColorOf(16 * r + c)));
    FrameAt(p, 0, 0, kGridSize, kGridSize, Qt::white);
    const int lineEnd = doc.ColorCount == 256 ? kGridSize : kCell;
    for (int j = 0; j < 16; ++j) {
        p.fillRect(kCell * j, 0, 1, lineEnd, Qt::white);
        if (doc.ColorCount == 256 || j < 2) p.fillRect(0, kCell * j, kGridSize, 1, Qt::white);
    }
    MarkEntry(p, doc.DrawColor & 0xFF, Qt::red);
    pq::Rgb fore = doc.ColorOf(doc.DrawColor);
    if (doc.TrueColor) {
        fore = pq::Rgb{doc.DrawRgba.r, doc.DrawRgba.g, doc.DrawRgba.b};
        SetCheckeredSwatch(lblFore_, doc.DrawRgba);
    } else {
        lblFore_->setToolTip(QString());
        SetSwatch(lblFore_, ToQColor(fore));
    }
    const int values[3] = {fore.r, fore.g, fore.b};
    static const char* kNames[3] = {"R: ", "G: ", "B: "};
    for (int c = 0; c < 3; ++c) {
        lblChannel_[c]->setText(QString(kNames[c]) + QString::number(values[c]));
        bars_[c]->setValue(values[c]);
    }
    MarkEntry(p, doc.AuxColor & 0xFF, Qt::blue);
    if (doc.TrueColor) {
        SetCheckeredSwatch(lblBack_, doc.AuxRgba);
    } else {
        lblBack_->setToolTip(QString());
        SetSwatch(lblBack_, ToQColor(doc.ColorOf(doc.AuxColor)));
    }
    p.end();
    image_->update();
    for (auto* b : boxes_) b->update();
    refreshing_ = false;
}

void TfrmColorPalette::imgPaletteMouseDown(Qt::MouseButton button, QPoint pos) {
    TImageForm* form = Active();
    if (!form || pos.x() < 0 || pos.y() < 0) return;
    const int entry = pos.x() / kCell + 16 * (pos.y() / kCell);
    pq::Document& doc = form->Doc();
    if (entry >= doc.ColorCount) return;
    // In a truecolour document the entry is a swatch: it gives its colour, opaque.
    if (button == Qt::LeftButton) {
        doc.DrawColor = entry;
        if (doc.TrueColor) doc.DrawRgba = Opaque(doc.ColorOf(entry));
    } else {
        doc.AuxColor = entry;
        if (doc.TrueColor) doc.AuxRgba = Opaque(doc.ColorOf(entry));
    }
    RefreshColorPalette();
}

void TfrmColorPalette::GradientAt(int channel, int x) {
    x = std::clamp(x, 0, kBoxWidth);
    bars_[channel]->setValue(255 * x / kBoxWidth);
}

void TfrmColorPalette::ChannelChanged(int channel, int value) {
    for (int c = 0; c < 3; ++c)
        if (c != channel) boxes_[c]->update();
    boxes_[channel]->update();
    if (refreshing_) return;
    TImageForm* form = Active();
    if (!form) return;
    pq::Document& doc = form->Doc();
    pq::PaletteEntry& e = doc.Palette[std::size_t(doc.DrawColor & 0xFF)];
    if (doc.TrueColor) {
        // The bars show the drawing colour; a move makes the marked swatch and the drawing colour
        // the bars' colour (alpha kept). No layer refers to a swatch, so no pixel changes.
        const pq::Rgb bars{uint8_t(bars_[0]->value()), uint8_t(bars_[1]->value()), uint8_t(bars_[2]->value())};
        const pq::PaletteEntry swatch = pq::MakeEntry(bars);
        const pq::Rgba8 drawing{bars.r, bars.g, bars.b, doc.DrawRgba.a};
        if (e == swatch && doc.DrawRgba == drawing) return;
        e = swatch;
        doc.DrawRgba = drawing;
        RefreshColorPalette();
        return;
    }
    uint8_t& byte = channel == 0 ? e.red : channel == 1 ? e.green : e.blue;
    if (byte == uint8_t(value)) return;
    byte = uint8_t(value);
    RefreshColorPalette();
    form->Redraw();
}

void TfrmColorPalette::ChooseSwatchColor(bool fore) {
    TImageForm* form = Active();
    if (!form || !form->Doc().Ready || !form->Doc().TrueColor) return;
    pq::Document& doc = form->Doc();
    pq::Rgba8& target = fore ? doc.DrawRgba : doc.AuxRgba;
    const QColor initial(target.r, target.g, target.b, target.a);
    const std::optional<QColor> chosen = frame_.GetPrompt().ChooseColorWithAlpha(this, initial);
    if (!chosen || !chosen->isValid()) return;
    const QColor c = chosen->toRgb();
    target = pq::Rgba8{uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()), uint8_t(c.alpha())};
    RefreshColorPalette();
}

QImage TfrmColorPalette::SwatchPicture(bool fore) const {
    TImageForm* form = Active();
    if (!form || !form->Doc().Ready || !form->Doc().TrueColor) return QImage();
    return CheckeredSwatch(fore ? form->Doc().DrawRgba : form->Doc().AuxRgba);
}

bool TfrmColorPalette::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && (watched == lblFore_ || watched == lblBack_)) {
        TImageForm* form = Active();
        if (form && form->Doc().TrueColor) {
            ChooseSwatchColor(watched == lblFore_);
            return true;
        }
    }
    return TToolWindow::eventFilter(watched, event);
}

void TfrmColorPalette::RecordPaletteStep() {
    if (TImageForm* form = Active()) form->CommitEdit("パレット変更");
}

}  // namespace pq::gui
