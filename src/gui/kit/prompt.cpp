#include "gui/kit/prompt.h"

#include "gui/kit/translations.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>

namespace pq::gui {

PromptAnswer QtPrompt::Message(QWidget* parent, const QString& title, const QString& text, PromptIcon icon,
                               PromptButtons buttons) {
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case PromptIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case PromptIcon::Information: box.setIcon(QMessageBox::Information); break;
    case PromptIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case PromptIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case PromptIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case PromptButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case PromptButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case PromptButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case PromptButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return PromptAnswer::Ok;
    case QMessageBox::Yes: return PromptAnswer::Yes;
    case QMessageBox::No: return PromptAnswer::No;
    default: return buttons == PromptButtons::Ok ? PromptAnswer::Ok : PromptAnswer::Cancel;
    }
}

namespace {

// The description Qt shows for a filter entry when it hides the patterns: the text before the
// last parenthesised pattern list.
QString FilterDescription(const QString& filter) {
    const int open = filter.lastIndexOf('(');
    if (open < 0 || !filter.endsWith(')')) return filter;
    return filter.left(open).simplified();
}

}  // namespace

TSaveFileDialog::TSaveFileDialog(QWidget* parent, const QString& title) : QFileDialog(parent, title) {
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
}

int TSaveFileDialog::ChosenFilterIndex() const {
    const QString chosen = selectedNameFilter();
    const QStringList filters = nameFilters();
    for (int i = 0; i < filters.size(); ++i)
        if (filters[i] == chosen) return i;
    for (int i = 0; i < filters.size(); ++i)
        if (FilterDescription(filters[i]) == chosen) return i;
    return -1;
}

void TSaveFileDialog::FollowFilter() {
    const int index = ChosenFilterIndex();
    if (index < 0) return;
    const QString filter = nameFilters()[index];
    const int open = filter.lastIndexOf('(');
    if (open < 0 || !filter.endsWith(')')) return;
    const QString firstPattern = filter.mid(open + 1).chopped(1).split(' ', Qt::SkipEmptyParts).value(0);
    const int dot = firstPattern.lastIndexOf('.');
    const QString suffix = dot < 0 ? QString() : firstPattern.mid(dot + 1);
    // A pattern such as "*" names no extension: the suffix set up front stays.
    if (!suffix.isEmpty() && !suffix.contains('*') && !suffix.contains('?')) setDefaultSuffix(suffix);
}

QString TSaveFileDialog::ChosenFile() {
    FollowFilter();
    const QStringList files = selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void TSaveFileDialog::accept() {
    FollowFilter();
    QFileDialog::accept();
}

void SetUpFileDialog(QFileDialog& dialog, const FileDialogRequest& request, bool save) {
    dialog.setWindowTitle(request.Title);
    // Each description names its patterns already: showing Qt's pattern list too would say
    // them twice.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    // Sizes and dates in Japanese whatever the system locale.
    UseDefaultLocaleForFileDetails(dialog);
    const QStringList filters = request.Filter.split(";;", Qt::SkipEmptyParts);
    dialog.setNameFilters(filters);
    if (request.FilterIndex >= 0 && request.FilterIndex < filters.size())
        dialog.selectNameFilter(filters[request.FilterIndex]);
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(request.DefaultSuffix);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::ReadOnly, false);
    }
    if (!request.InitialName.isEmpty()) dialog.selectFile(request.InitialName);
}

std::optional<QString> QtPrompt::OpenFileName(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent);
    SetUpFileDialog(dialog, request, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

std::optional<QString> QtPrompt::SaveFileName(QWidget* parent, const FileDialogRequest& request) {
    TSaveFileDialog dialog(parent, request.Title);
    SetUpFileDialog(dialog, request, true);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QString chosen = dialog.ChosenFile();
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
}

std::optional<QString> QtPrompt::FolderName(QWidget* parent, const QString& title, const QString& initial) {
    const QString folder = QFileDialog::getExistingDirectory(parent, title, initial);
    if (folder.isEmpty()) return std::nullopt;
    return folder;
}

std::optional<QColor> QtPrompt::ChooseColor(QWidget* parent, const QColor& initial) {
    const QColor c = QColorDialog::getColor(initial, parent);
    if (!c.isValid()) return std::nullopt;
    return c;
}

std::optional<QColor> QtPrompt::ChooseColorWithAlpha(QWidget* parent, const QColor& initial) {
    const QColor c = QColorDialog::getColor(initial, parent, QString(), QColorDialog::ShowAlphaChannel);
    if (!c.isValid()) return std::nullopt;
    return c;
}

std::optional<QFont> QtPrompt::ChooseFont(QWidget* parent, const QFont& initial) {
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, initial, parent);
    if (!ok) return std::nullopt;
    return f;
}

bool QtPrompt::RunDialog(QDialog& dialog) { return dialog.exec() == QDialog::Accepted; }

bool QtPrompt::OpenUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

}  // namespace pq::gui
