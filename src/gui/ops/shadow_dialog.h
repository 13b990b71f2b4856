#pragma once
// The offsets dialog "影" (amounts -10..10) of the shadow effect, which the scroll effect reuses
// as "スクロール" with its own labels and ranges 0..32. Created afresh for each use.

#include <QDialog>

class QLabel;
class QLineEdit;

namespace pq::gui {

class TUpDown;

class TfrmShadow : public QDialog {
    Q_OBJECT
public:
    explicit TfrmShadow(QWidget* parent);

    // Turns the dialog into the scroll dialog: caption "スクロール", labels "移動量X" and
    // "移動量Y", both ranges 0..32.
    void UseForScroll();

    // The amounts, read from the up-down controls (always within their ranges).
    int AmountX() const;
    int AmountY() const;

    QLabel* Label1() const { return label_[0]; }
    QLabel* Label2() const { return label_[1]; }
    QLineEdit* Edit1() const { return edit_[0]; }
    QLineEdit* Edit2() const { return edit_[1]; }
    TUpDown* UpDown1() const { return upDown_[0]; }
    TUpDown* UpDown2() const { return upDown_[1]; }

    // OK: an empty amount field closes the dialog as Cancel would.
    void accept() override;

private:
    QLabel* label_[2] = {};
    QLineEdit* edit_[2] = {};
    TUpDown* upDown_[2] = {};
};

}  // namespace pq::gui
