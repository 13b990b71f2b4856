#pragma once
// The image chooser "複数のデバイスが存在します" shown when an icon or cursor file holds more
// than one image: one line per directory entry ("0： サイズ：32×32 色数：16色"), first selected.

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

private:
    QLabel* label1_ = nullptr;
    QComboBox* comboBox1_ = nullptr;
    QPushButton* button1_ = nullptr;
    QPushButton* button2_ = nullptr;
};

// Which image of the directory to open: 0 when it holds exactly one, otherwise the line chosen
// in the chooser; nullopt when the user cancels or the directory lists no image.
std::optional<int> ChooseIconImage(Prompt& prompt, QWidget* parent, const pq::IconDirectory& dir,
                                   std::span<const uint8_t> file = {});

}  // namespace pq::gui
