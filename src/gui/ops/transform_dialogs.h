#pragma once
// The dialogs of the Image menu's transforms, created afresh for each use so they always open at
// their defaults: "サイズ変更" (new side 16, 32 or 48 and whether to scale the picture) and
// "角度指定" (a whole angle in degrees).

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace pq::gui {

class TUpDown;

class TfrmResize : public QDialog {
    Q_OBJECT
public:
    explicit TfrmResize(QWidget* parent);

    // rgNewSize item 0..2; the new side is 16 + 16 * item.
    int SizeItem() const;
    void SetSizeItem(int item);
    int NewSide() const { return 16 + 16 * SizeItem(); }
    // cbResize: scale the picture instead of keeping pixels at their positions.
    bool Scale() const;
    QCheckBox* cbResize() const { return scale_; }

private:
    QRadioButton* size_[3] = {};
    QCheckBox* scale_ = nullptr;
};

class TfrmRotate : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRotate(QWidget* parent);

    // The typed angle (0..999); meaningful after OK, which an empty field turns into Cancel.
    int Angle() const;
    QLineEdit* Edit1() const { return edit_; }
    TUpDown* UpDown1() const { return upDown_; }

    // OK: an empty field closes the dialog as Cancel would.
    void accept() override;

private:
    QLineEdit* edit_ = nullptr;
    TUpDown* upDown_ = nullptr;
};

}  // namespace pq::gui
