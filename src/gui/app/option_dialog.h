#pragma once
// The Options dialog "オプション": the undo switch, the two transparency display colours and how
// colours are reduced from pictures (palette builder, dither, alpha threshold). Created for each
// showing, so it always opens from the present settings.

#include <QDialog>
#include <cstdint>

#include "core/document/quality_reduction.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace pq::gui {

class Prompt;
class TUpDown;

class TfrmOption : public QDialog {
    Q_OBJECT
public:
    TfrmOption(QWidget* parent, Prompt& prompt, uint32_t color1, uint32_t color2, bool undoEnabled,
               const pq::ReductionOptions& reduction = pq::ReductionOptions{});

    uint32_t Color1() const { return color1_; }
    uint32_t Color2() const { return color2_; }
    bool UndoEnabled() const;
    void SetUndoEnabled(bool on);
    // Clicking a swatch opens the colour chooser preset to the swatch's colour.
    void StaticText1Click();
    void StaticText2Click();
    QLabel* Swatch1() const { return swatch1_; }
    QLabel* Swatch2() const { return swatch2_; }
    // 減色方法, ディザ and the alpha threshold (1..255) as the controls show them.
    pq::ReductionOptions Reduction() const;
    void SetReduction(const pq::ReductionOptions& reduction);
    QComboBox* QuantizerBox() const { return quantizer_; }
    QComboBox* DitherBox() const { return dither_; }
    QLineEdit* AlphaField() const { return alpha_; }
    // "一般的なショートカットキーを使う": the keys of other desktop editors (command_table.h).
    bool CommonKeys() const;
    void SetCommonKeys(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ChooseInto(uint32_t& color, QLabel* swatch);
    Prompt& prompt_;
    uint32_t color1_, color2_;
    QCheckBox* checkBox1_ = nullptr;
    QCheckBox* commonKeys_ = nullptr;
    QLabel* swatch1_ = nullptr;
    QLabel* swatch2_ = nullptr;
    QComboBox* quantizer_ = nullptr;
    QComboBox* dither_ = nullptr;
    QLineEdit* alpha_ = nullptr;
    TUpDown* alphaUpDown_ = nullptr;
};

// The About box "バージョン情報".
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent);
};

}  // namespace pq::gui
