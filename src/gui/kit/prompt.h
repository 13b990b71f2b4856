#pragma once
// Every message box, question, file chooser, colour and font chooser, every modal dialog of
// the application and every page handed to the browser goes through this one interface. The
// editor uses QtPrompt (real Qt dialogs, the desktop's browser); tests install a scripted
// implementation that answers from a queue.

#include <QColor>
#include <QFileDialog>
#include <QFont>
#include <QString>
#include <QUrl>
#include <optional>

class QDialog;
class QWidget;

namespace pq::gui {

enum class PromptIcon { None, Information, Warning, Error, Question };
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptAnswer { Ok, Cancel, Yes, No };

struct FileDialogRequest {
    QString Title;
    // Qt filter list separated by ";;", each entry "description (patterns)"; the description
    // names the patterns itself ("PixquilFile(*.pqf)") and is all the chooser shows.
    QString Filter;
    int FilterIndex = 0;     // entry selected when the dialog opens
    QString DefaultSuffix;   // save dialogs: added when the name has none
    QString InitialName;
};

class Prompt {
public:
    virtual ~Prompt() = default;
    // A message box; returns the button chosen (Cancel when closed otherwise).
    virtual PromptAnswer Message(QWidget* parent, const QString& title, const QString& text, PromptIcon icon,
                                 PromptButtons buttons) = 0;
    // File choosers; nullopt when cancelled.
    virtual std::optional<QString> OpenFileName(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual std::optional<QString> SaveFileName(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial) = 0;
    // The colour chooser with an alpha channel (the colours of a truecolour document). By
    // default the plain chooser answers, with whatever alpha its colour carries.
    virtual std::optional<QColor> ChooseColorWithAlpha(QWidget* parent, const QColor& initial) {
        return ChooseColor(parent, initial);
    }
    virtual std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial) = 0;
    // A folder chooser opened on `initial`; nullopt when cancelled (and where none is offered).
    virtual std::optional<QString> FolderName(QWidget* parent, const QString& title, const QString& initial) {
        (void)parent, (void)title, (void)initial;
        return std::nullopt;
    }
    // Shows one of the application's own dialogs modally (the dialog's objectName names it,
    // e.g. "TfrmNew"); true when it was accepted.
    virtual bool RunDialog(QDialog& dialog) = 0;
    // Hands a URL to the desktop (a file: URL opens in the user's browser); false when the
    // desktop could not open it.
    virtual bool OpenUrl(const QUrl& url) = 0;
};

// A save chooser whose default suffix follows the filter chosen (the extension of its first
// pattern), so that a name typed without an extension is given the one of the format written.
// The suffix is settled when the chooser is accepted, before it asks about overwriting.
class TSaveFileDialog : public QFileDialog {
public:
    TSaveFileDialog(QWidget* parent, const QString& title);
    // The entry of nameFilters() selected (also while the chooser shows descriptions only); -1 none.
    int ChosenFilterIndex() const;
    // The name chosen, with the chosen filter's extension when it was typed without one; empty
    // when nothing was chosen.
    QString ChosenFile();
    void accept() override;

private:
    void FollowFilter();
};

// Sets a chooser up as the request asks (filters showing their descriptions only, the entry
// FilterIndex selected, initial name; save: the default suffix, open: an existing file).
void SetUpFileDialog(QFileDialog& dialog, const FileDialogRequest& request, bool save);

// The production implementation: QMessageBox, QFileDialog, QColorDialog, QFontDialog, exec().
class QtPrompt : public Prompt {
public:
    PromptAnswer Message(QWidget* parent, const QString& title, const QString& text, PromptIcon icon,
                         PromptButtons buttons) override;
    std::optional<QString> OpenFileName(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<QString> SaveFileName(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial) override;
    std::optional<QColor> ChooseColorWithAlpha(QWidget* parent, const QColor& initial) override;
    std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial) override;
    std::optional<QString> FolderName(QWidget* parent, const QString& title, const QString& initial) override;
    bool RunDialog(QDialog& dialog) override;
    bool OpenUrl(const QUrl& url) override;
};

}  // namespace pq::gui
