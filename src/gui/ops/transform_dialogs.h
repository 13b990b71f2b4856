#pragma once
// The dialogs of the Image menu's transforms, created afresh for each use so they always open at
// their defaults: "サイズ変更" (new side 16, 32 or 48 and whether to scale the picture) and
// "角度指定" (a whole angle in degrees). For a truecolour document both also offer "なめらか"
// (cbSmooth): blend neighbouring pixels instead of moving whole ones. That one choice is
// remembered for the rest of the session, per dialog, when the dialog closes with OK; a palette
// document's dialog hides it and always moves whole pixels.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace pq::gui {

class TUpDown;

class TfrmResize : public QDialog {
    Q_OBJECT
public:
    explicit TfrmResize(QWidget* parent, bool trueColor = false);

    // rgNewSize item 0..2; the new side is 16 + 16 * item.
    int SizeItem() const;
    void SetSizeItem(int item);
    int NewSide() const { return 16 + 16 * SizeItem(); }
    // cbResize: scale the picture instead of keeping pixels at their positions.
    bool Scale() const;
    QCheckBox* cbResize() const { return scale_; }
    // cbSmooth, enabled while cbResize is checked: only a scaled picture is resampled.
    bool Smooth() const;
    QCheckBox* cbSmooth() const { return smooth_; }

    void accept() override;

private:
    QRadioButton* size_[3] = {};
    QCheckBox* scale_ = nullptr;
    QCheckBox* smooth_ = nullptr;
    bool trueColor_ = false;
};

class TfrmRotate : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRotate(QWidget* parent, bool trueColor = false);

    // The typed angle (0..999); meaningful after OK, which an empty field turns into Cancel.
    int Angle() const;
    QLineEdit* Edit1() const { return edit_; }
    TUpDown* UpDown1() const { return upDown_; }
    bool Smooth() const;
    QCheckBox* cbSmooth() const { return smooth_; }

    // OK: an empty field closes the dialog as Cancel would.
    void accept() override;

private:
    QLineEdit* edit_ = nullptr;
    TUpDown* upDown_ = nullptr;
    QCheckBox* smooth_ = nullptr;
    bool trueColor_ = false;
};

}  // namespace pq::gui
