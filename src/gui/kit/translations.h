#pragma once
// Japanese texts, dates and sizes for Qt's own standard dialogs (message box buttons, file,
// colour and font choosers), from the translations and locale data that ship with Qt.

class QFileDialog;

namespace pq::gui {

// Makes Japan's Japanese the default locale, whatever the system's, and installs Qt's Japanese
// translation into the running application once, with the file chooser's few names it lacks.
// Returns false when the translation files are not installed, in which case the standard
// dialogs' other texts stay in English (the locale and the supplement are set all the same).
bool InstallQtJapanese();

// Qt's file chooser writes file sizes and dates in the system's locale, not the default one: this
// makes `dialog` write them in the default locale (Japanese once InstallQtJapanese ran). Only
// Qt's own chooser is affected; a native one follows the desktop.
void UseDefaultLocaleForFileDetails(QFileDialog& dialog);

}  // namespace pq::gui
