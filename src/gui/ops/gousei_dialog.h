#pragma once
// The compositing dialog "合成", created afresh for each use: the base layer (receives the blend)
// and the overlay layer (blended in, then removed) chosen by number, each shown as a picture,
// the blended result beside them, and the overlay's opacity on a track bar 0..100. The pictures
// are taken from the document, which the dialog never changes; OK stays disabled while both
// lists name the same layer, since blending a layer into itself would then remove it.
// A truecolour document's pictures show each layer and the result over the checkerboard in the
// user's transparency colours.

#include <QDialog>

#include "core/document/document.h"
#include "core/document/render.h"
#include "core/raster/raster.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

namespace pq::gui {

class TfrmGousei : public QDialog {
    Q_OBJECT
public:
    // `doc` must outlive the dialog; a floating selection should be released beforehand (the
    // pictures show the layers only).
    TfrmGousei(QWidget* parent, const pq::Document& doc, const pq::TransparencyColors& backdrop = {});

    int BaseLayer() const;     // ComboBox1's index
    int OverlayLayer() const;  // ComboBox2's index
    int Opacity() const;       // TrackBar1's position

    QComboBox* ComboBox1() const { return base_; }
    QComboBox* ComboBox2() const { return overlay_; }
    QSlider* TrackBar1() const { return track_; }
    QLabel* Label5() const { return percent_; }
    QPushButton* OkButton() const { return ok_; }
    // The blended result (Image3) as last computed.
    const pq::Raster& Result() const { return result_; }

    void accept() override;

private:
    // Recomputes the three pictures and the label; runs on every choice and track-bar move.
    void ComboBox1Click();

    const pq::Document& doc_;
    pq::TransparencyColors backdrop_;
    QComboBox* base_ = nullptr;
    QComboBox* overlay_ = nullptr;
    QSlider* track_ = nullptr;
    QLabel* percent_ = nullptr;
    QLabel* image_[3] = {};
    QPushButton* ok_ = nullptr;
    pq::Raster result_;
};

}  // namespace pq::gui
