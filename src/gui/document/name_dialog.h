#pragma once
// The layer-name dialog "レイヤ名変更": one line for the name, OK refuses an empty name with a
// warning and keeps the dialog open. Created once and reused.

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace pq::gui {

class Prompt;

class TfrmName : public QDialog {
    Q_OBJECT
public:
    TfrmName(QWidget* parent, Prompt& prompt);

    // Puts the name into Edit1, all of it selected.
    void SetName(const QString& name);
    QString Name() const;
    // OK: accepts unless the name is empty, in which case the user is told and Edit1 gets the
    // focus back.
    void Button1Click();
    QLineEdit* Edit1() const { return edit_; }
    QPushButton* OkButton() const { return ok_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Prompt& prompt_;
    QLineEdit* edit_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace pq::gui
