#include "gui/app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace pq::gui {

bool InstallQtJapanese() {
    static QTranslator* installed = nullptr;
    if (installed) return true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    // "qt_ja" pulls in qtbase_ja and the other modules' catalogues.
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), "qt", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

}  // namespace pq::gui
