#include "stand_in_frame.h"

#include "gui/document/image_form.h"
#include "gui/document/name_dialog.h"

namespace pq::test {

StandInFrame::StandInFrame() : statusBarToggle_(new QAction("ステータスバー(&S)", &window_)) {}

StandInFrame::~StandInFrame() = default;

std::unique_ptr<gui::TImageForm> StandInFrame::NewWindow(int zoom) {
    Zoom = zoom;
    auto form = std::make_unique<gui::TImageForm>(this, QString("Icon%1").arg(AdvanceWindowNumber()), windowNumber_);
    form->InitBlankDocument(16, 16, 16);
    form->RecordStep(" ");
    Active = form.get();
    ResetCounts();
    return form;
}

QList<gui::TImageForm*> StandInFrame::Forms() const {
    if (Active) return {Active};
    return {};
}

void StandInFrame::FormClosed(gui::TImageForm* form) {
    if (Active == form) Active = nullptr;
}

void StandInFrame::ShowZoomInList(int zoom) {
    Zoom = zoom;
    ++Asked.ZoomShown;
}

gui::TfrmName& StandInFrame::NameDialog() {
    if (!nameDialog_) nameDialog_ = new gui::TfrmName(&window_, Prompter);
    return *nameDialog_;
}

}  // namespace pq::test
