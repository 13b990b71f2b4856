#pragma once
// Crash recovery at start-up: the documents of earlier instances that ended without cleaning up
// are listed, one check box each, with the buttons "復元" and "破棄". The ticked ones are restored
// (a window at the step it showed, with its undo history, marked modified) or deleted; the
// others stay on disk and are offered again at the next start.

#include <QDialog>
#include <QList>
#include <filesystem>
#include <vector>

#include "core/document/recovery.h"

class QCheckBox;
class QPushButton;

namespace pq::gui {

class TMainForm;

class TfrmRecovery : public QDialog {
    Q_OBJECT
public:
    enum class Choice { None, Restore, Discard };

    // One row per group of `documents` (pq::LostDocumentGroups): a document alone, or every page of
    // an icon set.
    // `damaged`: links found and removed where the program's own files belong, listed below the
    // rows ("lblDamaged").
    TfrmRecovery(QWidget* parent, const std::vector<pq::LostDocument>& documents,
                 const std::vector<std::vector<std::size_t>>& groups,
                 const std::vector<std::filesystem::path>& damaged = {});

    // The button that closed the dialog; None when it was closed otherwise.
    Choice Chosen() const { return choice_; }
    // One check box per group, in the order given ("Row0", "Row1", ...).
    const QList<QCheckBox*>& Rows() const { return rows_; }
    QPushButton* RestoreButton() const { return restore_; }
    QPushButton* DiscardButton() const { return discard_; }

    // "caption　W×H　N色　k手順　yyyy/MM/dd hh:mm:ss", or the caption and why it cannot be restored.
    static QString Describe(const pq::LostDocument& document);
    // A set: "caption　アイコンセット　Nページ　yyyy/MM/dd hh:mm:ss" (the newest page's time); a set
    // that lost pages adds "（TページのうちMページが失われています。名前のない文書として復元します）"
    // after the page count, and is restored untitled.
    static QString DescribeSet(const std::vector<const pq::LostDocument*>& pages);
    // What the dialog (or, without documents to offer, a message) says of removed links.
    static QString DescribeDamage(const std::vector<std::filesystem::path>& damaged);

private:
    Choice choice_ = Choice::None;
    QList<QCheckBox*> rows_;
    QPushButton* restore_ = nullptr;
    QPushButton* discard_ = nullptr;
};

// At start: when undo is on and earlier instances left documents behind in the settings folder,
// asks through the frame's prompt and restores or discards the ticked documents. Links planted
// under the names of the program's files in the settings folder are removed and reported. Nothing happens
// (and no dialog appears) with undo off: the documents stay for a later start.
void OfferRecovery(TMainForm& frame, const std::filesystem::path& settingsFolder);

}  // namespace pq::gui
