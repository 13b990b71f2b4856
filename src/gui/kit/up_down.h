#pragma once
// Up-down buttons attached to a number field, as the operation dialogs use them: the field is
// the control's text, the buttons (and the Up and Down keys in the field) step the number within
// a range, wrapping around or stopping at the ends, and write it back into the field.

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace pq::gui {

class TUpDown : public QWidget {
    Q_OBJECT
public:
    TUpDown(QLineEdit* buddy, int min, int max, bool wrap, QWidget* parent);

    // Changes the range; the position is kept (clamped when next read or stepped).
    void SetRange(int min, int max);
    int Minimum() const { return min_; }
    int Maximum() const { return max_; }
    bool Wraps() const { return wrap_; }

    // The number in the field brought into the range; while the field holds no number ("" or
    // "-"), the last number it held.
    int Position() const;
    // Clamps into the range and writes the field.
    void SetPosition(int position);
    // One step up (+1) or down (-1) from Position(), wrapping or stopping at the range's ends.
    void Step(int direction);

    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* buddy_;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    int min_, max_;
    bool wrap_;
    int position_ = 0;
};

}  // namespace pq::gui
