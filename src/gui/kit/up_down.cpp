#include "gui/kit/up_down.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace pq::gui {

TUpDown::TUpDown(QLineEdit* buddy, int min, int max, bool wrap, QWidget* parent)
    : QWidget(parent), buddy_(buddy), min_(std::min(min, max)), max_(std::max(min, max)), wrap_(wrap) {
    position_ = std::clamp(0, min_, max_);
    auto makeButton = [this](Qt::ArrowType arrow, const char* name, int direction) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setArrowType(arrow);
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(16, 11);
        connect(b, &QToolButton::clicked, this, [this, direction] { Step(direction); });
        return b;
    };
    up_ = makeButton(Qt::UpArrow, "Up", +1);
    down_ = makeButton(Qt::DownArrow, "Down", -1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    buddy_->installEventFilter(this);
    // Typed numbers move the position too, so emptying the field afterwards keeps the amount the
    // field last showed.
    connect(buddy_, &QLineEdit::textChanged, this, [this](const QString& text) {
        bool ok = false;
        const int typed = text.toInt(&ok);
        if (ok) position_ = typed;
    });
}

void TUpDown::SetRange(int min, int max) {
    min_ = std::min(min, max);
    max_ = std::max(min, max);
}

int TUpDown::Position() const {
    bool ok = false;
    const int typed = buddy_->text().toInt(&ok);
    return std::clamp(ok ? typed : position_, min_, max_);
}

void TUpDown::SetPosition(int position) {
    position_ = std::clamp(position, min_, max_);
    const QString text = QString::number(position_);
    if (buddy_->text() != text) buddy_->setText(text);
}

void TUpDown::Step(int direction) {
    int p = Position() + (direction < 0 ? -1 : 1);
    if (p > max_) p = wrap_ ? min_ : max_;
    if (p < min_) p = wrap_ ? max_ : min_;
    SetPosition(p);
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace pq::gui
