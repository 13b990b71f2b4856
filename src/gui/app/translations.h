#pragma once
// Japanese texts for Qt's own standard dialogs (message box buttons, file, colour and font
// choosers), from the translations that ship with Qt.

namespace pq::gui {

// Installs Qt's Japanese translation into the running application once. Returns false when the
// translation files are not installed, in which case the standard dialogs stay in English.
bool InstallQtJapanese();

}  // namespace pq::gui
