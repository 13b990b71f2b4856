#pragma once
// One row of the layer palette: a 189 x 33 frame standing for the layer whose index is its Tag,
// with the layer's 31 x 31 thumbnail, the visibility eye and the name panel. The row turns mouse
// input into what it means for the palette: a click on the name or thumbnail selects the layer,
// a press on the eye toggles it, and a press on the background or the name followed by a move of
// one pixel or more drags the row (the palette finds the row it is dropped on).

#include <QFrame>
#include <QImage>
#include <QPoint>
#include <QString>

class QLabel;

namespace pq::gui {

class TLayerPanel : public QFrame {
    Q_OBJECT
public:
    static constexpr int kRowWidth = 189;
    static constexpr int kRowHeight = 33;
    static constexpr int kThumbSize = 31;

    TLayerPanel(int tag, QWidget* parent);

    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

    void SetLayerName(const QString& name);
    QString LayerName() const;
    void SetEye(bool visible);
    bool EyeOpen() const { return eyeOpen_; }
    // The layer's thumbnail (any size), stretched to 31 x 31.
    void SetThumbnail(const QImage& picture);
    QImage Thumbnail() const;

    // Row looks of the name panel: normal, the current layer, the drop target of a drag.
    enum class Look { Normal, Highlighted, DropTarget };
    void SetLook(Look look);
    Look CurrentLook() const { return look_; }

    QFrame* Panel1() const { return panel1_; }
    QLabel* PreviewImage() const { return imgPreview_; }
    QLabel* VisibleImage() const { return imgVisible_; }
    QLabel* NamePanel() const { return panLayerName_; }

signals:
    // Click (press and release without a drag) on the name panel or the thumbnail.
    void Selected(int tag);
    // Press of any button on the eye.
    void EyePressed(int tag);
    // The row is being dragged; `global` is the pointer in screen coordinates.
    void DragMoved(int tag, QPoint global);
    // The drag ended with the button released at `global`.
    void DragDropped(int tag, QPoint global);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int tag_;
    bool eyeOpen_ = true;
    Look look_ = Look::Normal;
    QImage thumbnail_;
    QFrame* panel1_ = nullptr;
    QLabel* imgPreview_ = nullptr;
    QLabel* imgVisible_ = nullptr;
    QLabel* panLayerName_ = nullptr;
    // Drag state: armed by a press on the background or the name, dragging once moved.
    bool armed_ = false;
    bool dragging_ = false;
    QObject* pressedOn_ = nullptr;
    QPoint pressGlobal_;
};

}  // namespace pq::gui
