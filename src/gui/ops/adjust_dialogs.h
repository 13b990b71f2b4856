#pragma once
// The Palette menu's adjustment dialogs, created afresh for each use: "明るさ調整" (one amount on
// a scroll bar and a field) and "RGB調整" (one amount per channel). Both preview the visible
// layers at 1:1, taken once from the document when the dialog is made and adjusted live as the
// amounts change (a truecolour document's layers as AdjustmentPreview recomposes them); the
// document itself is not touched. OK applies the up-down controls'
// positions: a field left empty (or holding only "-") keeps the last amount it held, the one the
// preview and the scroll bar still show.

#include <QDialog>

#include "core/document/document.h"
#include "core/document/render.h"
#include "core/ops/palette_adjust.h"
#include "core/raster/raster.h"

class QLabel;
class QLineEdit;
class QScrollBar;

namespace pq::gui {

class TUpDown;

class TfrmBlight : public QDialog {
    Q_OBJECT
public:
    TfrmBlight(QWidget* parent, const pq::Document& doc, const pq::TransparencyColors& backdrop);

    // The amount applied on OK: the up-down's position, -255..255.
    int Amount() const;

    QScrollBar* ScrollBar1() const { return bar_; }
    QLineEdit* Edit1() const { return edit_; }
    TUpDown* UpDown1() const { return upDown_; }
    QLabel* Image1() const { return image_; }
    // The picture shown and the unadjusted picture it is computed from.
    const pq::Raster& Preview() const { return preview_; }
    const pq::Raster& Source() const { return picture_.Source(); }

private:
    // Moving the bar writes its position into the field.
    void ScrollBar1Change(int position);
    // A changed field moves the bar and recomputes the preview; "" and "-" do nothing.
    void Edit1Change();

    QScrollBar* bar_ = nullptr;
    QLineEdit* edit_ = nullptr;
    TUpDown* upDown_ = nullptr;
    QLabel* image_ = nullptr;
    pq::AdjustmentPreview picture_;
    pq::Raster preview_;
};

class TfrmRGB : public QDialog {
    Q_OBJECT
public:
    TfrmRGB(QWidget* parent, const pq::Document& doc, const pq::TransparencyColors& backdrop);

    // The amounts applied on OK, from the up-downs, each -255..255.
    int AmountRed() const;
    int AmountGreen() const;
    int AmountBlue() const;

    // Fields and up-downs 0 = red (Edit1, UpDown1), 1 = green, 2 = blue.
    QLineEdit* Edit(int channel) const { return edit_[channel]; }
    TUpDown* UpDown(int channel) const { return upDown_[channel]; }
    QLabel* Image1() const { return image_; }
    const pq::Raster& Preview() const { return preview_; }
    const pq::Raster& Source() const { return picture_.Source(); }

private:
    // Any field changed: recompute the preview unless a field is "" or "-".
    void Edit1Change();

    QLineEdit* edit_[3] = {};
    TUpDown* upDown_[3] = {};
    QLabel* image_ = nullptr;
    pq::AdjustmentPreview picture_;
    pq::Raster preview_;
};

}  // namespace pq::gui
