#pragma once
// The colour palette window "パレット": the palette grid of the active document with the drawing
// colour framed in red and the auxiliary colour in blue, and above it the drawing colour's
// swatches, RGB values, gradient boxes and scroll bars. It holds no colour state of its own:
// RefreshColorPalette redraws everything from the active document.
// In a truecolour document the drawing and auxiliary colours are DrawRgba/AuxRgba: their
// swatches show them over a checkerboard, and a click on either opens the colour chooser with
// alpha. The grid then holds the document's swatches (Palette): choosing one sets the colour
// with alpha 255, and the scroll bars edit the marked swatch together with the drawing colour,
// which changes no pixel.

#include <QList>
#include <QImage>
#include <QScrollBar>
#include <QWidget>
#include <filesystem>

#include "gui/palettes/tool_window.h"

class QLabel;

namespace pq::gui {

class FrameServices;
class TImageForm;
class TfrmColorPalette;

// The 192 x 192 palette grid.
class TPaletteImage : public QWidget {
    Q_OBJECT
public:
    explicit TPaletteImage(TfrmColorPalette* owner);
    QImage& Picture() { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    TfrmColorPalette* owner_;
    QImage picture_;
};

// One of the three 137 x 9 gradient boxes; channel 0 red, 1 green, 2 blue.
class TGradientBox : public QWidget {
    Q_OBJECT
public:
    TGradientBox(TfrmColorPalette* owner, int channel, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TfrmColorPalette* owner_;
    int channel_;
};

// A channel scroll bar that reports the end of each mouse scroll: one press and release, however
// many positions the thumb, an arrow or the track's auto-repeat passed through. The wheel is
// ignored, as the bar never takes the focus.
class TChannelScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit TChannelScrollBar(QWidget* parent);
    // Where the thumb is drawn at the present position, in bar coordinates.
    QRect ThumbRect() const;

signals:
    void ScrollEnded();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    bool pressed_ = false;
};

class TfrmColorPalette : public TToolWindow {
    Q_OBJECT
public:
    TfrmColorPalette(FrameServices& frame, const std::filesystem::path& settingsFolder);

    void RefreshColorPalette();
    // Chooses the drawing (left button) or auxiliary colour at a picture position.
    void imgPaletteMouseDown(Qt::MouseButton button, QPoint pos);
    // A gradient box position: sets its channel's scroll bar to 255 * x / width.
    void GradientAt(int channel, int x);
    // Truecolour documents: the colour chooser (with alpha) for the drawing (fore) or auxiliary
    // colour; a cancelled chooser changes nothing. Records no step, as choosing a colour doesn't.
    void ChooseSwatchColor(bool fore);
    // What the drawing (fore) or auxiliary swatch shows in a truecolour document: the colour
    // over a checkerboard. Null for a 16/256-colour document (the swatch is plain then).
    QImage SwatchPicture(bool fore) const;

    QImage& PaletteImage() { return image_->Picture(); }
    TPaletteImage* PaletteWidget() const { return image_; }
    TGradientBox* GradientBox(int channel) const { return boxes_[channel]; }
    TChannelScrollBar* ScrollBar(int channel) const { return bars_[channel]; }
    QWidget* Panel1() const { return panel1_; }
    QString ChannelLabelText(int channel) const;
    // The colour a gradient box shows in column x.
    QColor GradientColor(int channel, int x) const;

    // The labels of the panel above the palette, for checks of their layout.
    QList<QLabel*> PanelLabels() const {
        return {captionFore_, lblChannel_[0], lblChannel_[1], lblChannel_[2], captionBack_, letters_[0], letters_[1], letters_[2]};
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A new font lays the panel out again.
    void changeEvent(QEvent* event) override;

private:
    void LayOutPanel();
    void ChannelChanged(int channel, int value);
    void RecordPaletteStep();
    TImageForm* Active() const;

    FrameServices& frame_;
    QWidget* panel1_ = nullptr;
    TPaletteImage* image_ = nullptr;
    QLabel* lblFore_ = nullptr;
    QLabel* lblBack_ = nullptr;
    QLabel* lblChannel_[3] = {};
    QLabel* captionFore_ = nullptr;
    QLabel* captionBack_ = nullptr;
    QLabel* letters_[3] = {};
    int panelWidth_ = 192, panelHeight_ = 128;
    TGradientBox* boxes_[3] = {};
    TChannelScrollBar* bars_[3] = {};
    bool refreshing_ = false;
};

}  // namespace pq::gui
