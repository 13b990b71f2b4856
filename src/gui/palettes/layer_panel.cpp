#include "gui/palettes/layer_panel.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>

#include "gui/document/layer_icons.h"

namespace pq::gui {

TLayerPanel::TLayerPanel(int tag, QWidget* parent) : QFrame(parent), tag_(tag) {
    setObjectName("TLayerPanel");
    setFixedSize(kRowWidth, kRowHeight);

    panel1_ = new QFrame(this);
    panel1_->setObjectName("Panel1");
    panel1_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel1_->setGeometry(0, 0, kRowWidth, kRowHeight);

    auto* bevel1 = new QFrame(this);
    bevel1->setObjectName("Bevel1");
    bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel1->setGeometry(0, 0, 33, 33);
    // The bevels are frames only: a press on them reaches the row background (and drags it).
    bevel1->setAttribute(Qt::WA_TransparentForMouseEvents);
    imgPreview_ = new QLabel(this);
    imgPreview_->setObjectName("imgPreview");
    imgPreview_->setGeometry(1, 1, kThumbSize, kThumbSize);

    auto* bevel2 = new QFrame(this);
    bevel2->setObjectName("Bevel2");
    bevel2->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel2->setGeometry(35, 8, 18, 18);
    bevel2->setAttribute(Qt::WA_TransparentForMouseEvents);
    imgVisible_ = new QLabel(this);
    imgVisible_->setObjectName("imgVisible");
    imgVisible_->setGeometry(36, 9, 16, 16);
    imgVisible_->setPixmap(LayerIcon(kLayerIconVisible));

    panLayerName_ = new QLabel(this);
    panLayerName_->setObjectName("panLayerName");
    panLayerName_->setGeometry(56, 0, 132, 33);
    panLayerName_->setFrameStyle(QFrame::Box | QFrame::Plain);
    panLayerName_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    panLayerName_->setAutoFillBackground(true);
    panLayerName_->setTextFormat(Qt::PlainText);
    SetLook(Look::Normal);

    for (QWidget* w : {static_cast<QWidget*>(panel1_), static_cast<QWidget*>(imgPreview_),
                       static_cast<QWidget*>(imgVisible_), static_cast<QWidget*>(panLayerName_)})
        w->installEventFilter(this);
}

void TLayerPanel::SetLayerName(const QString& name) { panLayerName_->setText(name); }

QString TLayerPanel::LayerName() const { return panLayerName_->text(); }

void TLayerPanel::SetEye(bool visible) {
    eyeOpen_ = visible;
    imgVisible_->setPixmap(LayerIcon(visible ? kLayerIconVisible : kLayerIconHidden));
}

void TLayerPanel::SetThumbnail(const QImage& picture) {
    thumbnail_ = picture.isNull() ? QImage()
                                  : picture.scaled(kThumbSize, kThumbSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    imgPreview_->setPixmap(QPixmap::fromImage(thumbnail_));
}

QImage TLayerPanel::Thumbnail() const { return thumbnail_; }

void TLayerPanel::SetLook(Look look) {
    look_ = look;
    const QPalette app = QApplication::palette();
    QColor back = app.color(QPalette::Base), text = app.color(QPalette::Text);
    if (look == Look::Highlighted) {
        back = app.color(QPalette::Highlight);
        text = app.color(QPalette::HighlightedText);
    } else if (look == Look::DropTarget) {
        std::swap(back, text);
    }
    QPalette pal = panLayerName_->palette();
    pal.setColor(QPalette::Window, back);
    pal.setColor(QPalette::WindowText, text);
    panLayerName_->setPalette(pal);
}

bool TLayerPanel::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    // The second press of a double click arrives as a double-click event: it acts as a press
    // (the eye toggles again, a drag can start).
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (watched == imgVisible_) {
            emit EyePressed(tag_);
            return true;
        }
        pressedOn_ = watched;
        pressGlobal_ = me->globalPosition().toPoint();
        armed_ = watched == panel1_ || watched == panLayerName_;
        dragging_ = false;
        return true;
    }
    case QEvent::MouseMove: {
        if (!armed_ && !dragging_) return false;
        auto* me = static_cast<QMouseEvent*>(event);
        if (!(me->buttons() & Qt::AllButtons)) return false;
        const QPoint global = me->globalPosition().toPoint();
        if (!dragging_ && global != pressGlobal_) dragging_ = true;
        if (dragging_) emit DragMoved(tag_, global);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(event);
        const QObject* pressed = pressedOn_;
        const bool dragged = dragging_;
        armed_ = dragging_ = false;
        pressedOn_ = nullptr;
        if (dragged) {
            emit DragDropped(tag_, me->globalPosition().toPoint());
            return true;
        }
        // A left click: the release lands on the widget pressed (the mouse is grabbed by it).
        if (me->button() == Qt::LeftButton && pressed == watched && (watched == panLayerName_ || watched == imgPreview_)) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->rect().contains(me->position().toPoint())) emit Selected(tag_);
        }
        return true;
    }
    default: return QFrame::eventFilter(watched, event);
    }
}

}  // namespace pq::gui
