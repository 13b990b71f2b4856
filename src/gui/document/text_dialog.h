#pragma once
// The text tool's dialog "テキストツール" (created once, keeps its text and font between uses), the
// conversion between Qt fonts and the engines' FontSpec, and the TextDrawer the engines draw
// text through: QPainter on a QImage wrapping the stencil's rows, antialiasing off so every glyph
// pixel is pure black (16/256 colours), or antialiased in grey levels for a truecolour document.

#include <QDialog>
#include <QFont>

#include "core/document/strokes.h"

class QLineEdit;

namespace pq::gui {

class Prompt;

// Maps the Windows face names documents and users know ("ＭＳ Ｐゴシック", "ＭＳ ゴシック") to an
// installed Japanese face: IPA P Gothic, Noto Sans CJK JP, then any face with Japanese glyphs.
void RegisterFontSubstitutions();

QFont ToQFont(const pq::FontSpec& font);
pq::FontSpec ToFontSpec(const QFont& font);
// The font the font chooser opens on for `font`: the installed face it draws with, its size in
// points (96 pixels to the inch, as ToFontSpec converts back), its styles.
QFont ChooserFont(const pq::FontSpec& font);

class QtTextDrawer : public pq::TextDrawer {
public:
    void DrawText(pq::Raster& target, int x, int y, const std::string& utf8Text, const pq::FontSpec& font) override;
    // Antialiased in grey levels only (no coloured subpixel fringes): each pixel's darkness is the
    // glyphs' coverage of it, for a truecolour document.
    void DrawSmoothText(pq::Raster& target, int x, int y, const std::string& utf8Text,
                        const pq::FontSpec& font) override;
};

class TfrmText : public QDialog {
    Q_OBJECT
public:
    TfrmText(QWidget* parent, Prompt& prompt);

    QString Text() const;
    void SetText(const QString& text);
    const pq::FontSpec& Font() const { return font_; }
    void SetFont(const pq::FontSpec& font) { font_ = font; }
    // フォント: the font chooser on the current font.
    void Button1Click();
    QLineEdit* Edit1() const { return edit_; }

private:
    Prompt& prompt_;
    QLineEdit* edit_ = nullptr;
    pq::FontSpec font_;
};

}  // namespace pq::gui
