#pragma once
// The dialog "実行可能ファイルから読み込み": choose a program file (.exe, .dll, .scr), list its
// icons ("すべて", then 0, 1, ...), preview one at 32 x 32, and turn one icon or all of them
// into new documents. Making the document windows is the caller's part (CreateDocument), so the
// dialog only reads the program and decides which icons go.

#include <QDialog>
#include <QImage>
#include <functional>

#include "core/formats/program_icons.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pq::gui {

class Prompt;

class TfrmExeDll : public QDialog {
    Q_OBJECT
public:
    // Makes one document window from an icon (32 x 32 colour and mask pictures).
    using CreateDocument = std::function<void(const pq::IconPicture&)>;

    TfrmExeDll(QWidget* parent, Prompt& prompt, CreateDocument createDocument);

    // "参照": choose the file and list its icons.
    void Button1Click();
    // A line of the list was chosen: line 0 ("すべて") blanks the preview, line k shows icon k-1.
    void ComboBox1Change(int line);
    // "読み込む": the chosen icon, or every icon in turn (the run can be stopped with キャンセル).
    void Button2Click();
    // "キャンセル": closes the dialog, or stops a running "すべて" after the icon in hand.
    void Button3Click();

    int IconCount() const { return iconCount_; }
    bool Idle() const { return idle_; }
    // The 32 x 32 preview as shown (white where the icon is transparent).
    const QImage& PreviewImage() const { return preview_; }

    QLineEdit* Edit1() const { return edit1_; }
    QComboBox* ComboBox1() const { return comboBox1_; }
    QPushButton* Button1() const { return button1_; }
    QPushButton* Button2() const { return button2_; }
    QPushButton* Button3() const { return button3_; }

public slots:
    // Escape or the close box during a "すべて" run stops the run as キャンセル does.
    void reject() override;

private:
    // Makes the document of icon n; an index for which the program yields no icon is skipped.
    void CreateFromIcon(int n);
    void ShowPreview();

    Prompt& prompt_;
    CreateDocument createDocument_;
    pq::ProgramIcons icons_;
    int iconCount_ = 0;
    bool idle_ = true;
    QImage preview_;

    QLabel* label1_ = nullptr;
    QLineEdit* edit1_ = nullptr;
    QPushButton* button1_ = nullptr;
    QLabel* label2_ = nullptr;
    QComboBox* comboBox1_ = nullptr;
    QLabel* image1_ = nullptr;
    QPushButton* button2_ = nullptr;
    QPushButton* button3_ = nullptr;
};

// The preview of an icon: its colour where the mask is black, white elsewhere.
QImage IconPreviewImage(const pq::IconPicture& icon);

}  // namespace pq::gui
