#pragma once
// The area picker "範囲選択": the whole picture at 1:1 on the left, where a click places a frame
// of the output size and a drag draws (or, from inside the frame, moves) one of any size; on
// the right the preview of what OK takes, the output size and colour count, "正方形" and
// "全体を使う". The geometry and the preview are pq::AreaPicker's; this dialog shows them.
// In paste mode the output size is the document's, the size and colour choices are hidden and
// the check box reads "最適化".

#include <QDialog>
#include <QImage>

#include "core/formats/picture_import.h"
#include "core/raster/raster.h"
#include "gui/document/document_hooks.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollArea;

namespace pq::gui {

class TfrmSelectOpenArea;

enum class AreaPickerMode { Import, Paste };

// Image1: the picture with the frame or rubber band drawn as an inverting 1-pixel outline.
class TAreaPictureView : public QWidget {
    Q_OBJECT
public:
    TAreaPictureView(TfrmSelectOpenArea* dialog, const QImage& picture, QWidget* parent);
    QSize sizeHint() const override { return picture_.size(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TfrmSelectOpenArea* dialog_;
    QImage picture_;
};

// Image2: the preview raster at 1:1.
class TAreaPreview : public QWidget {
    Q_OBJECT
public:
    TAreaPreview(const pq::AreaPicker& picker, QWidget* parent);
    // Takes the preview's current size.
    void FitToPreview();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const pq::AreaPicker& picker_;
};

class TfrmSelectOpenArea : public QDialog {
    Q_OBJECT
public:
    // `picture` (and `transparent`, a PNG's fully transparent pixels) must outlive the dialog. The
    // preview starts at previewWidth x previewHeight (16 x 16 for an import, the document's size
    // for a paste) with the picture's top-left corner at 1:1.
    TfrmSelectOpenArea(QWidget* parent, const pq::Raster& picture, AreaPickerMode mode = AreaPickerMode::Import,
                       int previewWidth = 16, int previewHeight = 16, const pq::Plane* transparent = nullptr);

    // Mouse handlers of the picture, in picture pixels.
    void Image1MouseDown(int x, int y);
    void Image1MouseMove(int x, int y);
    void Image1MouseUp(int x, int y);
    // Output size item 0..2 (16, 32, 48): the preview takes that size without being redrawn.
    void rgSizeClick(int item);
    // "全体を使う".
    void Button3Click();

    AreaPickerMode Mode() const { return mode_; }
    int SizeItem() const;
    int ColorItem() const;
    void SetColorItem(int item);
    // 16 for "16色", 256 for "256色" (also what "フルカラー" falls back to for a palette document).
    int OutputColors() const { return ColorItem() == 1 ? 256 : 16; }
    // "フルカラー" (colour item 2) is offered only for a picture that holds alpha of its own;
    // offering it is off at first.
    void OfferTrueColor(bool offer);
    bool TrueColorOffered() const;
    bool TrueColorChosen() const { return ColorItem() == 2; }
    bool SquareChecked() const;

    const pq::AreaPicker& Picker() const { return picker_; }
    // What OK takes: the preview at the output size.
    const pq::Raster& Preview() const { return picker_.Preview(); }
    // The frame or band outline currently drawn over the picture (empty when none).
    pq::Rect DrawnOutline() const;

    TAreaPictureView* Image1() const { return image1_; }
    TAreaPreview* Image2() const { return image2_; }
    QCheckBox* CheckBox1() const { return checkBox1_; }
    // "高速", under "全体を使う" (hidden in paste mode).
    QCheckBox* FastBox() const { return fastBox_; }
    QPushButton* Button3() const { return button3_; }
    QGroupBox* SizeGroup() const { return rgSize_; }
    QGroupBox* ColorGroup() const { return rgColor_; }
    QLabel* Label2() const { return label2_; }
    QLabel* Label3() const { return label3_; }
    QPushButton* Button1() const { return button1_; }
    QPushButton* Button2() const { return button2_; }

private:
    void ShowBandSize();
    void PictureChanged();

    const pq::Raster& picture_;
    pq::AreaPicker picker_;
    AreaPickerMode mode_;

    QLabel* label1_ = nullptr;
    QScrollArea* scrollBox1_ = nullptr;
    TAreaPictureView* image1_ = nullptr;
    TAreaPreview* image2_ = nullptr;
    QGroupBox* rgSize_ = nullptr;
    QGroupBox* rgColor_ = nullptr;
    QButtonGroup* sizeButtons_ = nullptr;
    QButtonGroup* colorButtons_ = nullptr;
    QCheckBox* checkBox1_ = nullptr;
    QCheckBox* fastBox_ = nullptr;
    QPushButton* button3_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* label3_ = nullptr;
    QPushButton* button1_ = nullptr;
    QPushButton* button2_ = nullptr;
};

// The import's truecolour document of straight RGBA pixels (pictureWidth x pictureHeight) for
// the picker's `frame` and an output of width x height: the whole picture (全体を使う) fitted by
// FittedTrueColorDocument; a frame of the output's own size copied pixel for pixel, what lies off
// the picture transparent (no frame yet: the top-left corner at 1:1, as the preview shows it); any other frame averaged to the output size by ResampleRgba. Not Ready
// when the pixels do not match the picture's size or the output is out of range.
pq::Document AreaTrueColorDocument(const std::vector<pq::Rgba8>& pixels, int pictureWidth, int pictureHeight,
                                   const pq::Rect& frame, int width, int height, int selectedZoom);

// A QImage copy of a raster (for painting).
QImage RasterToImage(const pq::Raster& raster);

// 貼り付け's choice (DocumentHooks::PickPasteArea): the area picker in its paste mode on
// `picture`; nullopt when it was not closed with OK.
std::optional<PasteChoice> PickPasteArea(FrameServices& frame, TImageForm& form, const pq::Raster& picture);

}  // namespace pq::gui
