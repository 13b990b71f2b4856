#pragma once
// The main frame: a QMainWindow holding the document windows in an MDI area.

#include <QMainWindow>

class QMdiArea;

namespace pq::gui {

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);

    QMdiArea* MdiArea() const { return mdi_; }

private:
    QMdiArea* mdi_ = nullptr;
};

}  // namespace pq::gui
