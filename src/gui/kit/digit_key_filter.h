#pragma once
// The key filter of every number field in the image-operation dialogs: typed digits and
// backspace reach the field, every other typed character is discarded, so no minus sign, point
// or letter gets in. Keys that type nothing (arrows, Delete, Tab, Return, Escape) pass, so the
// default and cancel buttons still answer. Negative amounts are written by the up-down buttons
// and scroll bars, which set the text themselves.

#include <QObject>

class QLineEdit;

namespace pq::gui {

class DigitKeyFilter : public QObject {
    Q_OBJECT
public:
    explicit DigitKeyFilter(QObject* parent = nullptr) : QObject(parent) {}

    // Filters `edit` through one filter owned by the field. Pasting and dropping text count as
    // typing it: they are refused unless the text is digits only. Input methods are turned off.
    static void Install(QLineEdit* edit);
    // Whether a typed character passes: "0".."9" and backspace (code 8).
    static bool Passes(QChar c);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace pq::gui
