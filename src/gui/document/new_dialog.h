#pragma once
// The New dialog "新規作成": size 16, 32 or 48 pixels square and 16 or 256 colours. Created once;
// it keeps its choices between uses.

#include <QDialog>

class QRadioButton;

namespace pq::gui {

class TfrmNew : public QDialog {
    Q_OBJECT
public:
    explicit TfrmNew(QWidget* parent);

    // rgSize item 0..2 and rgColor item 0..1.
    int SizeItem() const;
    int ColorItem() const;
    void SetSizeItem(int item);
    void SetColorItem(int item);
    int ChosenSize() const { return SizeItem() * 16 + 16; }
    int ChosenColors() const { return ColorItem() == 1 ? 256 : 16; }

private:
    QRadioButton* size_[3] = {};
    QRadioButton* colors_[2] = {};
};

}  // namespace pq::gui
