#include "gui/kit/digit_key_filter.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>

namespace pq::gui {

namespace {

bool AllDigits(const QString& text) {
    for (QChar c : text)
        if (!DigitKeyFilter::Passes(c)) return false;
    return true;
}

}  // namespace

void DigitKeyFilter::Install(QLineEdit* edit) {
    edit->installEventFilter(new DigitKeyFilter(edit));
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->setAcceptDrops(false);
    // The field's context menu offers Paste, which no key filter sees.
    edit->setContextMenuPolicy(Qt::NoContextMenu);
}

bool DigitKeyFilter::Passes(QChar c) { return (c >= u'0' && c <= u'9') || c == QChar(8); }

bool DigitKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Paste)) {
        const QClipboard* clipboard = QApplication::clipboard();
        return clipboard == nullptr || !AllDigits(clipboard->text());
    }
    if (key->key() == Qt::Key_Backspace) return false;
    const QString text = key->text();
    // Control characters (Return, Escape, Tab) are not typed text: let the field and the
    // dialog handle them. Any printable character that is not a digit is discarded.
    for (QChar c : text)
        if (c.isPrint() && !Passes(c)) return true;
    return false;
}

}  // namespace pq::gui
