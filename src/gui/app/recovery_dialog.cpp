#include "gui/app/recovery_dialog.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "gui/app/main_form.h"
#include "gui/kit/prompt.h"
#include "gui/document/image_form.h"

namespace pq::gui {

TfrmRecovery::TfrmRecovery(QWidget* parent, const std::vector<pq::LostDocument>& documents) : QDialog(parent) {
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
    for (const pq::LostDocument& d : documents) {
        auto* row = new QCheckBox(Describe(d), list);
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

namespace {

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
    // The window records the state as its base step, which the lost history replaces: a base
    // that could not be written matters only when the history cannot be adopted.
    std::string baseFailure;
    TImageForm* form = frame.OpenBuiltDocument(
        caption, [&loaded](pq::Document& doc, int) { doc = std::move(loaded); }, &baseFailure);
    if (!form) return;
    if (!d.Note.Label.FileName.empty()) form->SetFilePath(QString::fromStdString(d.Note.Label.FileName));
    if (const pq::FileResult r = lost.Adopt(d, form->Doc(), form->HistoryCtx()); !r.Ok) {
        QString text = QString::fromStdString(r.Message) + "\n文書は開きましたが、以前の手順には戻せません。";
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
    pq::LostDocuments lost(settingsFolder);
    const std::vector<pq::LostDocument> documents = lost.Documents();
    if (documents.empty()) return;
    TfrmRecovery dialog(&frame, documents);
    if (!frame.GetPrompt().RunDialog(dialog)) return;
    for (std::size_t i = 0; i < documents.size(); ++i) {
        if (!dialog.Rows()[int(i)]->isChecked()) continue;
        if (dialog.Chosen() == TfrmRecovery::Choice::Discard) lost.Discard(documents[i]);
        else if (dialog.Chosen() == TfrmRecovery::Choice::Restore && documents[i].Recoverable)
            Restore(frame, lost, documents[i]);
    }
}

}  // namespace pq::gui
