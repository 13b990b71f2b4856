#include "gui/app/recovery_dialog.h"

#include "core/formats/page_view_settings.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

#include "core/formats/icon_file.h"
#include "core/formats/icon_set.h"
#include "core/formats/settings_files.h"
#include "gui/app/main_form.h"
#include "gui/kit/prompt.h"
#include "gui/document/image_form.h"

namespace pq::gui {

TfrmRecovery::TfrmRecovery(QWidget* parent, const std::vector<pq::LostDocument>& documents,
                           const std::vector<std::vector<std::size_t>>& groups,
                           const std::vector<std::filesystem::path>& damaged)
    : QDialog(parent) {
    setObjectName("TfrmRecovery");
    setWindowTitle("文書の復元");
    auto* text = new QLabel(
        "前回、Pixquilが正しく終了しなかったため、保存されていない文書が残っています。\n"
        "チェックした文書を復元または破棄します。チェックしなかった文書は次回の起動時にもう一度表示されます。",
        this);
    text->setObjectName("Label1");
    text->setWordWrap(true);

    auto* list = new QWidget;
    auto* listLayout = new QVBoxLayout(list);
    for (const std::vector<std::size_t>& group : groups) {
        std::vector<const pq::LostDocument*> members;
        for (std::size_t i : group) members.push_back(&documents.at(i));
        const bool set = members.size() > 1 || members.front()->Note.Label.SetWindow != 0;
        auto* row = new QCheckBox(set ? DescribeSet(members) : Describe(*members.front()), list);
        row->setObjectName(QString("Row%1").arg(rows_.size()));
        row->setChecked(true);
        listLayout->addWidget(row);
        rows_ << row;
    }
    listLayout->addStretch();
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(list);
    scroll->setWidgetResizable(true);

    restore_ = new QPushButton("復元", this);
    restore_->setObjectName("btnRestore");
    restore_->setDefault(true);
    discard_ = new QPushButton("破棄", this);
    discard_->setObjectName("btnDiscard");
    connect(restore_, &QPushButton::clicked, this, [this] {
        choice_ = Choice::Restore;
        accept();
    });
    connect(discard_, &QPushButton::clicked, this, [this] {
        choice_ = Choice::Discard;
        accept();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(restore_);
    buttons->addWidget(discard_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(scroll, 1);
    if (!damaged.empty()) {
        auto* damage = new QLabel(DescribeDamage(damaged), this);
        damage->setObjectName("lblDamaged");
        damage->setWordWrap(true);
        layout->addWidget(damage);
    }
    layout->addLayout(buttons);
    resize(520, 300);
}

QString TfrmRecovery::Describe(const pq::LostDocument& d) {
    QString caption = QString::fromStdString(d.Note.Label.Caption);
    if (caption.isEmpty()) caption = "（名前不明）";
    if (!d.Recoverable) return caption + "　（アンドゥ情報が壊れているため復元できません）";
    const QString time = QDateTime::fromSecsSinceEpoch(qint64(d.Time)).toString("yyyy/MM/dd HH:mm:ss");
    return QString("%1　%2×%3　%4色　%5手順　%6")
        .arg(caption)
        .arg(d.Width)
        .arg(d.Height)
        .arg(d.ColorCount)
        .arg(d.Steps)
        .arg(time);
}

QString TfrmRecovery::DescribeSet(const std::vector<const pq::LostDocument*>& pages) {
    QString caption = QString::fromStdString(pages.front()->Note.Label.Caption);
    if (caption.isEmpty()) caption = "（名前不明）";
    std::time_t newest = 0;
    for (const pq::LostDocument* d : pages) newest = std::max(newest, d->Time);
    const int recoverable = pq::RecoverablePages(pages);
    const int total = pq::LostSetPages(pages);
    if (recoverable == 0) return caption + "　（アンドゥ情報が壊れているため復元できません）";
    QString text = QString("%1　アイコンセット　%2ページ").arg(caption).arg(recoverable);
    // Pages whose files are gone or damaged: the set comes back without them, untitled.
    if (recoverable < total)
        text += QString("（%1ページのうち%2ページが失われています。名前のない文書として復元します）")
                    .arg(total)
                    .arg(total - recoverable);
    return text + "　" + QDateTime::fromSecsSinceEpoch(qint64(newest)).toString("yyyy/MM/dd HH:mm:ss");
}

QString TfrmRecovery::DescribeDamage(const std::vector<std::filesystem::path>& damaged) {
    QStringList names;
    for (const std::filesystem::path& p : damaged) names << QString::fromStdString(p.string());
    return "設定フォルダの次のファイルはシンボリックリンクになっていたため、壊れたファイルとして削除しました"
           "（リンク先のファイルには触れていません）。\n" +
           names.join('\n');
}

namespace {

// Every recoverable page of a lost icon set in one window, each with its own history.
void RestoreSet(TMainForm& frame, pq::LostDocuments& lost, const std::vector<const pq::LostDocument*>& members) {
    Prompt& prompt = frame.GetPrompt();
    std::vector<pq::IconSetPage> pages;
    std::vector<const pq::LostDocument*> restored;
    for (const pq::LostDocument* d : members) {
        if (!d->Recoverable) continue;
        pq::IconSetPage page;
        if (const pq::FileResult r = lost.Load(*d, page.Doc, frame.SelectedZoom()); !r.Ok) {
            prompt.Message(&frame, "Pixquil", QString::fromStdString(r.Message), PromptIcon::Error, PromptButtons::Ok);
            continue;
        }
        page.Kind = pq::IconPageKind(std::clamp(d->Note.Label.PageKind, 0, 2));
        pages.push_back(std::move(page));
        restored.push_back(d);
    }
    if (pages.empty()) return;
    const int number = frame.AdvanceWindowNumber();
    const pq::WindowLabel& label = members.front()->Note.Label;
    // A set that lost pages is not its file any more: saving it under that name would drop
    // them from the file. It comes back untitled, like a new document.
    const bool whole = int(pages.size()) == pq::LostSetPages(members);
    QString caption = whole ? QString::fromStdString(label.Caption) : QString();
    if (caption.isEmpty()) caption = QString("Icon%1").arg(number);
    const QString file = QString::fromStdString(label.FileName);
    pq::Document first = pages.front().Doc;
    TImageForm* form = frame.OpenBuiltDocument(caption, [&first](pq::Document& doc, int) { doc = std::move(first); });
    if (!form) return;
    const int type = file.endsWith(".cur", Qt::CaseInsensitive) ? pq::kCursorResourceType : pq::kIconResourceType;
    // Named only once the pages are in: a set adopted by a window named after a file is taken
    // for what that file holds, which a restored set is not.
    form->AdoptIconSet(std::move(pages), type);
    QStringList failures;
    for (int i = 0; i < form->PageCount(); ++i) {
        if (const pq::FileResult r = lost.Adopt(*restored[std::size_t(i)], form->PageDoc(i), form->PageHistoryCtx(i)); !r.Ok)
            failures << QString::fromStdString(r.Message);
        form->PageDoc(i).Modified = true;
    }
    if (whole && !file.isEmpty()) form->SetFilePath(file);
    if (!failures.isEmpty())
        prompt.Message(&frame, "Pixquil", failures.join("\n") + "\n文書は開きましたが、以前の手順には戻せないページがあります。",
                       PromptIcon::Warning, PromptButtons::Ok);
    // An animated set's frames and times come back from the note it left beside its pages.
    std::vector<int> places;
    for (const pq::LostDocument* d : restored) places.push_back(d->Note.Label.PageIndex);
    form->AdoptFrameNote(members.front()->Folder, label.SetWindow, pq::LostSetPages(members), places);
    // The page the window showed is shown again (the first when no note says).
    int shown = 0;
    for (std::size_t i = 0; i < restored.size(); ++i)
        if (restored[i]->Note.Label.PageCurrent) shown = int(i);
    form->SelectPage(shown);
    form->Activate();
    form->FitWindowToCanvas();
    frame.ActionList1Update();
}

// A window at the lost document's shown state, then its history, caption and file name.
void Restore(TMainForm& frame, pq::LostDocuments& lost, const pq::LostDocument& d) {
    Prompt& prompt = frame.GetPrompt();
    pq::Document loaded;
    if (const pq::FileResult r = lost.Load(d, loaded, frame.SelectedZoom()); !r.Ok) {
        prompt.Message(&frame, "Pixquil", QString::fromStdString(r.Message), PromptIcon::Error,
                       PromptButtons::Ok);
        return;
    }
    const int number = frame.AdvanceWindowNumber();
    QString caption = QString::fromStdString(d.Note.Label.Caption);
    if (caption.isEmpty()) caption = QString("Icon%1").arg(number);
    // The window opens on a one-pixel stand-in whose base step the lost history replaces, and
    // takes the restored state after that: a large document is never encoded once more for a
    // base step nobody keeps, so restoring takes little more than the document's own size.
    std::string baseFailure;
    const int colors = loaded.ColorCount;
    TImageForm* form = frame.OpenBuiltDocument(
        caption,
        [colors](pq::Document& doc, int zoom) {
            pq::InitBlankDocument(doc, 1, 1, colors, zoom);
            // A low-space warning about the stand-in's base step would speak of a step nobody
            // keeps; the restored window warns with its own next step instead.
            doc.Journal.SpaceWarned = true;
        },
        &baseFailure);
    if (!form) return;
    if (!d.Note.Label.FileName.empty()) form->SetFilePath(QString::fromStdString(d.Note.Label.FileName));
    const pq::FileResult adopted = lost.Adopt(d, form->Doc(), form->HistoryCtx());
    pq::Document& doc = form->Doc();
    loaded.HistoryPosition = doc.HistoryPosition;
    loaded.RedoCount = doc.RedoCount;
    loaded.SnapshotCount = doc.SnapshotCount;
    loaded.Journal = std::move(doc.Journal);
    loaded.Journal.SpaceWarned = false;
    doc = std::move(loaded);
    form->AdoptLoadedDocument();
    form->SetZoom(doc.Zoom);
    form->FitWindowToCanvas();
    form->Activate();
    if (!adopted.Ok) {
        // No history came: the restored state becomes the window's base step instead of the
        // stand-in's.
        baseFailure.clear();
        pq::ClearHistory(doc, form->HistoryCtx());
        // Restored, not read from its file: the base step holds nothing the file does.
        doc.Modified = true;
        form->RecordStep(" ", false, &baseFailure);
        QString text = QString::fromStdString(adopted.Message) + "\n文書は開きましたが、以前の手順には戻せません。";
        if (!baseFailure.empty()) text += "\n\n" + QString::fromStdString(baseFailure);
        prompt.Message(&frame, "Pixquil", text, PromptIcon::Warning, PromptButtons::Ok);
    } else if (form->Doc().Journal.NoteBehind) {
        prompt.Message(&frame, "Pixquil",
                       "以前の手順は復元しましたが、回復用の記録を保存できませんでした。\n空きができしだい記録します。",
                       PromptIcon::Warning, PromptButtons::Ok);
        form->FlushHistory();
    }
    form->Doc().Modified = true;
    if (form->Doc().HasSelection) form->StartOutlineTimer();
    frame.ActionList1Update();
}

}  // namespace

void OfferRecovery(TMainForm& frame, const std::filesystem::path& settingsFolder) {
    if (!frame.UndoEnabled()) return;
    pq::LostDocuments lost(settingsFolder, {pq::kMainSettingsFile, pq::kColorPaletteFile, pq::kLayerPaletteFile,
                                            pq::kPreviewFile, pq::kReductionSettingsFile, pq::kRecentFilesFile,
                                            pq::kPageViewSettingsFile});
    const std::vector<pq::LostDocument> documents = lost.Documents();
    if (documents.empty()) {
        if (!lost.DamagedLinks().empty())
            frame.GetPrompt().Message(&frame, "Pixquil", TfrmRecovery::DescribeDamage(lost.DamagedLinks()),
                                      PromptIcon::Warning, PromptButtons::Ok);
        return;
    }
    const std::vector<std::vector<std::size_t>> groups = pq::LostDocumentGroups(documents);
    TfrmRecovery dialog(&frame, documents, groups, lost.DamagedLinks());
    if (!frame.GetPrompt().RunDialog(dialog)) return;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (!dialog.Rows()[int(g)]->isChecked()) continue;
        std::vector<const pq::LostDocument*> members;
        for (std::size_t i : groups[g]) members.push_back(&documents[i]);
        if (dialog.Chosen() == TfrmRecovery::Choice::Discard) {
            for (const pq::LostDocument* d : members) lost.Discard(*d);
        } else if (dialog.Chosen() == TfrmRecovery::Choice::Restore) {
            if (members.front()->Note.Label.SetWindow != 0) RestoreSet(frame, lost, members);
            else if (members.front()->Recoverable) Restore(frame, lost, *members.front());
        }
    }
}

}  // namespace pq::gui
