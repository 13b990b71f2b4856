#pragma once
// The dialogs of the アイコン menu: a new page ("ページの追加": its size, colours, and whether it
// is blank or made from the current page) and a choice of sizes (すべてのサイズを作る, and with
// colours 新規アイコンセット).

#include <QDialog>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace pq::gui {

class Prompt;

// The sizes an icon set usually holds, offered by every dialog here.
inline constexpr int kIconSetSizes[] = {16, 20, 24, 32, 40, 48, 64, 96, 128, 256};

class TfrmAddPage : public QDialog {
    Q_OBJECT
public:
    // colors: the choice it opens on, 16, 256 or 32 (フルカラー).
    TfrmAddPage(QWidget* parent, Prompt& prompt, int colors);

    // The side typed or chosen (1..256); 0 while the text is not such a number.
    int ChosenSize() const;
    // 16 or 256; with "フルカラー" chosen TrueColorChosen is true instead.
    int ChosenColors() const;
    bool TrueColorChosen() const;
    bool FromCurrentPage() const;
    QComboBox* SizeBox() const { return size_; }
    void done(int result) override;

private:
    Prompt& prompt_;
    QComboBox* size_ = nullptr;
    QRadioButton* colors16_ = nullptr;
    QRadioButton* colors256_ = nullptr;
    QRadioButton* colorsTrue_ = nullptr;
    QRadioButton* blank_ = nullptr;
    QRadioButton* fromCurrent_ = nullptr;
};

class TfrmPageSizes : public QDialog {
    Q_OBJECT
public:
    // withColors: the 16/256 colour choice of a new set.
    TfrmPageSizes(QWidget* parent, const QString& title, const QString& objectName, bool withColors,
                  const std::vector<int>& checked);

    std::vector<int> CheckedSizes() const;
    // 16 or 256; with "フルカラー" chosen TrueColorChosen is true instead.
    int ChosenColors() const;
    bool TrueColorChosen() const;
    // 16, 256 or 32 (フルカラー), as a click on that choice would.
    void ChooseColors(int colors);
    QCheckBox* SizeBox(int size) const;

private:
    std::vector<QCheckBox*> boxes_;
    QRadioButton* colors256_ = nullptr;
    QRadioButton* colors16_ = nullptr;
    QRadioButton* colorsTrue_ = nullptr;   // "フルカラー" (new sets only)
};

// フレームの表示時間...: how long the current frame (or, checked, every frame) is shown.
class TfrmFrameTime : public QDialog {
    Q_OBJECT
public:
    TfrmFrameTime(QWidget* parent, Prompt& prompt, int milliseconds);

    // The milliseconds typed (1..kMaxFrameMilliseconds); 0 while the text is not such a number.
    int ChosenMilliseconds() const;
    bool AllFrames() const;
    QLineEdit* TimeEdit() const { return time_; }
    QCheckBox* AllFramesBox() const { return all_; }
    void done(int result) override;

private:
    Prompt& prompt_;
    QLineEdit* time_ = nullptr;
    QCheckBox* all_ = nullptr;
};

}  // namespace pq::gui
