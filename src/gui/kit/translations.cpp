#include "gui/kit/translations.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstring>
#include <utility>

namespace pq::gui {

namespace {

// The file chooser's names for what is not a file, which Qt's Japanese catalogue lacks. Consulted
// after that catalogue, so a catalogue that has them wins.
class FileKindNames : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char*, int) const override {
        if (context == nullptr || sourceText == nullptr || std::strcmp(context, "QAbstractFileIconProvider") != 0)
            return QString();
        static const std::pair<const char*, const char*> kNames[] = {
            {"Folder", "フォルダー"}, {"Drive", "ドライブ"}, {"Shortcut", "ショートカット"}, {"Unknown", "不明"}};
        for (auto [english, japanese] : kNames)
            if (std::strcmp(sourceText, english) == 0) return QString::fromUtf8(japanese);
        return QString();
    }
};

// Qt's file model writes sizes and dates in the system's locale; these columns are written again
// in the default locale. Folders keep their empty size.
class DefaultLocaleFileDetails : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || files == nullptr || (index.column() != kSize && index.column() != kModified))
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        if (index.column() == kModified) return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        if (files->isDir(source)) return QIdentityProxyModel::data(index, role);
        return QLocale().formattedDataSize(files->size(source));
    }

private:
    // QFileSystemModel's columns: name, size, type, date modified.
    static constexpr int kSize = 1;
    static constexpr int kModified = 3;
};

}  // namespace

bool InstallQtJapanese() {
    // Whatever the system's locale, numbers, dates and file types in Qt's own dialogs read
    // Japanese, like the rest of the interface.
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    QLocale::setDefault(japanese);
    static QTranslator* installed = nullptr;
    static bool supplemented = false;
    if (installed) return true;
    // Translators are consulted newest first: the supplement goes in before Qt's catalogue.
    if (!supplemented) {
        QCoreApplication::installTranslator(new FileKindNames(QCoreApplication::instance()));
        supplemented = true;
    }
    auto* translator = new QTranslator(QCoreApplication::instance());
    // "qt_ja" pulls in qtbase_ja and the other modules' catalogues.
    if (!translator->load(japanese, "qt", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

void UseDefaultLocaleForFileDetails(QFileDialog& dialog) {
    dialog.setProxyModel(new DefaultLocaleFileDetails(&dialog));
}

}  // namespace pq::gui
