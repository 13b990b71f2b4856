#pragma once
// The image chooser "複数のデバイスが存在します" shown when an icon or cursor file holds more
// than one image: one line per directory entry ("0： サイズ：32×32 色数：16色"), first selected.
// OK opens the image chosen; すべて開く opens every image of the file as the pages of one set.

#include <QDialog>
#include <cstdint>
#include <optional>
#include <span>

#include "core/formats/icon_file.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace pq::gui {

class Prompt;

class TForm7 : public QDialog {
    Q_OBJECT
public:
    explicit TForm7(QWidget* parent);

    // Refills the list from the directory and selects the first line. With the file's bytes the
    // lines give each image's real size and depth (pq::IconChooserLabel), else the directory's.
    void SetEntries(const pq::IconDirectory& dir, std::span<const uint8_t> file = {});
    // The selected line's number, -1 when the list is empty.
    int ChosenIndex() const;

    QComboBox* ComboBox1() const { return comboBox1_; }
    QPushButton* Button1() const { return button1_; }
    QPushButton* Button2() const { return button2_; }
    QPushButton* Button3() const { return button3_; }
    // True when the dialog was closed with すべて開く.
    bool AllChosen() const { return all_; }

private:
    QLabel* label1_ = nullptr;
    QComboBox* comboBox1_ = nullptr;
    QPushButton* button1_ = nullptr;
    QPushButton* button2_ = nullptr;
    QPushButton* button3_ = nullptr;
    bool all_ = false;
};

// What the chooser answered: the image to open, or every image (All).
struct IconChoice {
    int Index = 0;
    bool All = false;
};

// Which image of the directory to open: 0 when it holds exactly one, otherwise the line chosen
// in the chooser; nullopt when the user cancels or the directory lists no image.
std::optional<IconChoice> ChooseIconImage(Prompt& prompt, QWidget* parent, const pq::IconDirectory& dir,
                                          std::span<const uint8_t> file = {});

}  // namespace pq::gui
