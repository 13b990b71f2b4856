#pragma once
// The "OK" / "キャンセル" row shared by the application's modal dialogs: OK is the default button
// and accepts, キャンセル rejects; both are named so tests and handlers can find them.

class QDialog;
class QHBoxLayout;

namespace pq::gui {

// A right-aligned row with the two buttons, object names as given.
QHBoxLayout* MakeOkCancelRow(QDialog* dialog, const char* okName, const char* cancelName);

}  // namespace pq::gui
