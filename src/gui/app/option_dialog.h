#pragma once
// The Options dialog "オプション": the undo switch and the two transparency display colours.
// Created for each showing, so it always opens from the present settings.

#include <QDialog>
#include <cstdint>

class QCheckBox;
class QLabel;

namespace pq::gui {

class Prompt;

class TfrmOption : public QDialog {
    Q_OBJECT
public:
    TfrmOption(QWidget* parent, Prompt& prompt, uint32_t color1, uint32_t color2, bool undoEnabled);

    uint32_t Color1() const { return color1_; }
    uint32_t Color2() const { return color2_; }
    bool UndoEnabled() const;
    void SetUndoEnabled(bool on);
    // Clicking a swatch opens the colour chooser preset to the swatch's colour.
    void StaticText1Click();
    void StaticText2Click();
    QLabel* Swatch1() const { return swatch1_; }
    QLabel* Swatch2() const { return swatch2_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ChooseInto(uint32_t& color, QLabel* swatch);
    Prompt& prompt_;
    uint32_t color1_, color2_;
    QCheckBox* checkBox1_ = nullptr;
    QLabel* swatch1_ = nullptr;
    QLabel* swatch2_ = nullptr;
};

// The About box "バージョン情報".
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent);
};

}  // namespace pq::gui
