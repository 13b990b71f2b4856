#pragma once
// The New dialog "新規作成": size 16, 32 or 48 pixels square and 16 colours, 256 colours or
// truecolour (フルカラー). Created once; it keeps its choices between uses.

#include <QDialog>

class QRadioButton;

namespace pq::gui {

class TfrmNew : public QDialog {
    Q_OBJECT
public:
    explicit TfrmNew(QWidget* parent);

    // rgSize item 0..2 and rgColor item 0..2 (2: フルカラー).
    int SizeItem() const;
    int ColorItem() const;
    void SetSizeItem(int item);
    void SetColorItem(int item);
    int ChosenSize() const { return SizeItem() * 16 + 16; }
    // The palette size of the new document: 256 for a truecolour one, whose ColorCount stays 256.
    int ChosenColors() const { return ColorItem() == 0 ? 16 : 256; }
    bool ChosenTrueColor() const { return ColorItem() == 2; }

private:
    QRadioButton* size_[3] = {};
    QRadioButton* colors_[3] = {};
};

}  // namespace pq::gui
