#include "gui/document/text_dialog.h"

#include <QFontDatabase>
#include <algorithm>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/kit/dialog_buttons.h"
#include "gui/kit/prompt.h"

namespace pq::gui {

void RegisterFontSubstitutions() {
    QStringList gothicP = {"IPAPGothic", "IPA Pゴシック", "Noto Sans CJK JP", "Noto Sans JP"};
    QStringList gothic = {"IPAGothic", "IPAゴシック", "Noto Sans Mono CJK JP", "Noto Sans CJK JP"};
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    for (const QString& f : japanese) {
        if (!gothicP.contains(f)) gothicP << f;
        if (!gothic.contains(f)) gothic << f;
    }
    QFont::insertSubstitutions("ＭＳ Ｐゴシック", gothicP);
    QFont::insertSubstitutions("MS PGothic", gothicP);
    QFont::insertSubstitutions("ＭＳ ゴシック", gothic);
    QFont::insertSubstitutions("MS Gothic", gothic);
}

QFont ToQFont(const pq::FontSpec& font) {
    QFont f(QString::fromStdString(font.Face));
    f.setPixelSize(std::max(1, font.Height));
    f.setBold(font.Bold);
    f.setItalic(font.Italic);
    f.setUnderline(font.Underline);
    f.setStrikeOut(font.StrikeOut);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

pq::FontSpec ToFontSpec(const QFont& font) {
    pq::FontSpec s;
    s.Face = font.family().toStdString();
    s.Height = font.pixelSize() > 0 ? font.pixelSize() : int(font.pointSizeF() * 96.0 / 72.0 + 0.5);
    s.Bold = font.bold();
    s.Italic = font.italic();
    s.Underline = font.underline();
    s.StrikeOut = font.strikeOut();
    return s;
}

void QtTextDrawer::DrawText(pq::Raster& target, int x, int y, const std::string& utf8Text, const pq::FontSpec& font) {
    if (target.Empty() || utf8Text.empty()) return;
    QImage image(target.Data(), target.Width(), target.Height(), target.Stride(), QImage::Format_BGR888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    const QFont f = ToQFont(font);
    p.setFont(f);
    const QString text = QString::fromStdString(utf8Text);
    const QFontMetrics m(f);
    p.fillRect(x, y, m.horizontalAdvance(text), m.height(), Qt::white);
    p.setPen(Qt::black);
    p.drawText(x, y + m.ascent(), text);
}

void QtTextDrawer::DrawSmoothText(pq::Raster& target, int x, int y, const std::string& utf8Text,
                                  const pq::FontSpec& font) {
    if (target.Empty() || utf8Text.empty()) return;
    QFont f = ToQFont(font);
    f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    const QString text = QString::fromStdString(utf8Text);
    const QFontMetrics m(f);
    // The glyphs' coverage as alpha on a transparent picture, then black over the white box.
    QImage coverage(target.Width(), target.Height(), QImage::Format_ARGB32_Premultiplied);
    coverage.fill(Qt::transparent);
    {
        QPainter p(&coverage);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(x, y + m.ascent(), text);
    }
    const QRect box = QRect(x, y, m.horizontalAdvance(text), m.height()).intersected(QRect(0, 0, target.Width(), target.Height()));
    for (int py = box.top(); py <= box.bottom(); ++py)
        std::fill_n(target.Row(py) + 3 * box.left(), 3 * box.width(), uint8_t(255));
    for (int py = 0; py < target.Height(); ++py) {
        const auto* in = reinterpret_cast<const QRgb*>(coverage.constScanLine(py));
        uint8_t* out = target.Row(py);
        for (int px = 0; px < target.Width(); ++px) {
            const int a = qAlpha(in[px]);
            if (a == 0) continue;
            for (int k = 0; k < 3; ++k) out[3 * px + k] = uint8_t(out[3 * px + k] * (255 - a) / 255);
        }
    }
}

TfrmText::TfrmText(QWidget* parent, Prompt& prompt) : QDialog(parent), prompt_(prompt) {
    setObjectName("TfrmText");
    setWindowTitle("テキストツール");
    auto* label = new QLabel("描画するテキストを入力してください。", this);
    label->setObjectName("Label1");
    edit_ = new QLineEdit(this);
    edit_->setObjectName("Edit1");
    auto* fontButton = new QPushButton("フォント", this);
    fontButton->setObjectName("Button1");
    connect(fontButton, &QPushButton::clicked, this, &TfrmText::Button1Click);
    QHBoxLayout* buttons = MakeOkCancelRow(this, "Button2", "Button3");
    buttons->insertWidget(0, fontButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(edit_);
    layout->addLayout(buttons);
}

QString TfrmText::Text() const { return edit_->text(); }

void TfrmText::SetText(const QString& text) { edit_->setText(text); }

QFont ChooserFont(const pq::FontSpec& font) {
    // The chooser lists installed faces and sizes in points: a Windows face name or a pixel
    // size would open it on its defaults instead.
    QFont offered(QFontInfo(ToQFont(font)).family());
    offered.setPointSizeF(std::max(1, font.Height) * 72.0 / 96.0);
    offered.setBold(font.Bold);
    offered.setItalic(font.Italic);
    offered.setUnderline(font.Underline);
    offered.setStrikeOut(font.StrikeOut);
    return offered;
}

void TfrmText::Button1Click() {
    const QFont offered = ChooserFont(font_);
    const auto chosen = prompt_.ChooseFont(this, offered);
    if (!chosen) return;
    const bool unchanged = chosen->family() == offered.family() &&
                           qFuzzyCompare(chosen->pointSizeF(), offered.pointSizeF()) &&
                           chosen->bold() == offered.bold() && chosen->italic() == offered.italic() &&
                           chosen->underline() == offered.underline() && chosen->strikeOut() == offered.strikeOut();
    // OK on the font as offered keeps the tool's own (its face name may be a substitute's).
    if (!unchanged) font_ = ToFontSpec(*chosen);
}

}  // namespace pq::gui
