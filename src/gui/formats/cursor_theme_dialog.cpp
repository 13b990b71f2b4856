#include "gui/formats/cursor_theme_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <map>
#include <system_error>

#include "core/formats/ani_file.h"
#include "core/formats/cursor_theme.h"
#include "core/formats/icon_set.h"
#include "core/formats/xcursor_file.h"
#include "core/io/atomic_write.h"
#include "core/ops/resample.h"
#include "gui/document/image_form.h"
#include "gui/kit/dialog_buttons.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"

namespace pq::gui {

namespace fs = std::filesystem;

namespace {
constexpr const char* kTitle = "カーソルテーマの書き出し";
constexpr const char* kNotCursorMessage = "カーソルのファイル（.cur、.ani、Xcursor）ではありません。";

QString Quoted(const QString& s) { return "「" + s + "」"; }
QString Quoted(const fs::path& p) { return Quoted(QString::fromStdString(p.string())); }

bool IsDefaultSize(int size) {
    return std::find(std::begin(pq::kDefaultThemeSizes), std::end(pq::kDefaultThemeSizes), size) !=
           std::end(pq::kDefaultThemeSizes);
}
}  // namespace

bool WindowHoldsCursor(const TImageForm& form) {
    if (form.IsSet()) return form.SetResourceType() == pq::kCursorResourceType;
    return form.Doc().Origin.ResourceType == pq::kCursorResourceType || form.Doc().HasHotspot;
}

pq::CursorAnimation AnimationOfWindow(const TImageForm& form) {
    pq::CursorAnimation anim = form.Animation();
    anim.ResourceType = pq::kCursorResourceType;
    // A page drawn without a hotspot is pointed at from its top-left corner.
    for (pq::CursorFrame& frame : anim.Frames)
        for (pq::IconSetPage& page : frame.Sizes) page.Doc.HasHotspot = true;
    return anim;
}

std::string RoleOfName(const std::string& fileName) {
    const fs::path p(fileName);
    for (const std::string& name : {p.filename().string(), p.stem().string()}) {
        if (pq::IsCursorRole(name)) return name;
        for (const pq::LegacyCursorName& l : pq::LegacyCursorNames())
            if (l.Legacy == name) return std::string(l.Role);
    }
    return "";
}

pq::FileResult ReadCursorInput(const fs::path& path, int selectedZoom, pq::CursorAnimation& out) {
    std::vector<uint8_t> head;
    const pq::ReadStatus status = pq::ReadFilePrefix(path, 12, head);
    if (status == pq::ReadStatus::Missing) return pq::FileResult::Failure("ファイルが見つかりません。");
    if (status != pq::ReadStatus::Ok) return pq::FileResult::Failure("ファイルを読めません。");
    if (pq::LooksLikeAni(head)) {
        pq::AniFile file;
        if (pq::FileResult r = pq::ReadAniFile(path, selectedZoom, file); !r) return r;
        out = std::move(file.Animation);
        return {};
    }
    if (pq::LooksLikeXcursor(head)) return pq::ReadXcursorFile(path, selectedZoom, out);
    // An icon directory: reserved 0, type 1 or 2.
    if (head.size() < 6 || head[0] != 0 || head[1] != 0 || (head[2] != 1 && head[2] != 2) || head[3] != 0)
        return pq::FileResult::Failure(kNotCursorMessage);
    pq::CursorFrame frame;
    int type = 0;
    if (pq::FileResult r = pq::LoadIconSetFile(path, selectedZoom, frame.Sizes, type); !r) return r;
    for (pq::IconSetPage& page : frame.Sizes) page.Doc.HasHotspot = true;
    out = pq::AnimationOfFrames({std::move(frame)}, 0, pq::kCursorResourceType);
    return {};
}

TfrmCursorTheme::TfrmCursorTheme(FrameServices& frame) : QDialog(frame.FrameWidget()), frame_(frame) {
    setObjectName("TfrmCursorTheme");
    setWindowTitle(kTitle);

    table_ = new QTableWidget(0, 3, this);
    table_->setObjectName("lvInputs");
    table_->setHorizontalHeaderLabels({"カーソル", "フレーム", "役割"});
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Fixed);
    table_->setColumnWidth(2, 170);
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setMinimumSize(420, 160);
    auto* addFile = new QPushButton("ファイルの追加...", this);
    addFile->setObjectName("btAddFile");
    auto* addFolder = new QPushButton("フォルダの追加...", this);
    addFolder->setObjectName("btAddFolder");
    auto* remove = new QPushButton("削除", this);
    remove->setObjectName("btRemove");
    connect(addFile, &QPushButton::clicked, this, &TfrmCursorTheme::AddFileClick);
    connect(addFolder, &QPushButton::clicked, this, &TfrmCursorTheme::AddFolderClick);
    connect(remove, &QPushButton::clicked, this, [this] {
        const int row = table_->currentRow();
        if (row < 0 || row >= InputCount()) return;
        inputs_.erase(inputs_.begin() + row);
        table_->removeRow(row);
    });
    auto* inputButtons = new QHBoxLayout;
    inputButtons->addWidget(addFile);
    inputButtons->addWidget(addFolder);
    inputButtons->addWidget(remove);
    inputButtons->addStretch();

    name_ = new QLineEdit("MyCursors", this);
    name_->setObjectName("edName");
    comment_ = new QLineEdit(this);
    comment_->setObjectName("edComment");
    inherits_ = new QLineEdit(kDefaultInheritedTheme, this);
    inherits_->setObjectName("edInherits");
    folder_ = new QLineEdit(this);
    folder_->setObjectName("edFolder");
    auto* browse = new QPushButton("参照...", this);
    browse->setObjectName("btBrowse");
    connect(browse, &QPushButton::clicked, this, &TfrmCursorTheme::BrowseClick);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(browse);
    auto* form = new QFormLayout;
    form->addRow("テーマの名前:", name_);
    form->addRow("説明:", comment_);
    form->addRow("継承するテーマ:", inherits_);
    form->addRow("出力先のフォルダ:", folderRow);

    auto* sizeGroup = new QGroupBox("サイズ", this);
    auto* sizeRow = new QHBoxLayout(sizeGroup);
    for (int size : kOfferedThemeSizes) {
        auto* box = new QCheckBox(QString::number(size), sizeGroup);
        box->setObjectName(QString("cbSize%1").arg(size));
        box->setChecked(IsDefaultSize(size));
        sizeRow->addWidget(box);
        sizes_.push_back(box);
    }
    windows_ = new QCheckBox("Windows用のセットも書き出す", this);
    windows_->setObjectName("cbWindows");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addLayout(inputButtons);
    layout->addLayout(form);
    layout->addWidget(sizeGroup);
    layout->addWidget(windows_);
    layout->addLayout(MakeOkCancelRow(this, "Button1", "Button2"));

    for (TImageForm* window : frame_.Forms()) {
        if (!window || window->Dying() || !WindowHoldsCursor(*window)) continue;
        const QString path = window->FilePath();
        const QString label = path.isEmpty() ? window->DocumentName() : QFileInfo(path).fileName();
        AddInput({label, AnimationOfWindow(*window)}, label.toStdString());
    }
}

void TfrmCursorTheme::AddInput(Input input, const std::string& nameForRole) {
    const int row = int(inputs_.size());
    table_->insertRow(row);
    table_->setItem(row, 0, new QTableWidgetItem(input.Label));
    table_->setItem(row, 1, new QTableWidgetItem(QString::number(input.Animation.Frames.size())));
    auto* roles = new QComboBox(table_);
    roles->setObjectName(QString("cbRole%1").arg(row));
    for (std::string_view role : pq::CursorRoleNames()) roles->addItem(QString::fromUtf8(role.data(), qsizetype(role.size())));
    roles->setPlaceholderText("（役割を選ぶ）");
    roles->setCurrentIndex(roles->findText(QString::fromStdString(RoleOfName(nameForRole))));
    table_->setCellWidget(row, 2, roles);
    inputs_.push_back(std::move(input));
}

bool TfrmCursorTheme::AddFile(const QString& path) {
    Input input{QFileInfo(path).fileName(), {}};
    if (pq::FileResult r = ReadCursorInput(path.toStdString(), frame_.SelectedZoom(), input.Animation); !r) {
        Say(Quoted(input.Label) + "\n" + QString::fromStdString(r.Message), true);
        return false;
    }
    AddInput(std::move(input), QFileInfo(path).fileName().toStdString());
    return true;
}

int TfrmCursorTheme::AddFolder(const QString& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder.toStdString(), ec), end; !ec && it != end; it.increment(ec))
        if (!it->is_symlink(ec) && it->is_regular_file(ec)) files.push_back(it->path());
    if (ec && files.empty()) {
        Say(Quoted(folder) + "を読めません。", true);
        return 0;
    }
    std::sort(files.begin(), files.end());
    int added = 0;
    QStringList refused;
    for (const fs::path& file : files) {
        Input input{QString::fromStdString(file.filename().string()), {}};
        const pq::FileResult r = ReadCursorInput(file, frame_.SelectedZoom(), input.Animation);
        if (!r) {
            // Other kinds of files are passed over quietly; a cursor that does not open is named.
            if (r.Message != kNotCursorMessage) refused << input.Label + "：" + QString::fromStdString(r.Message);
            continue;
        }
        AddInput(std::move(input), file.filename().string());
        ++added;
    }
    if (!refused.isEmpty()) Say("次のファイルは追加できませんでした。\n" + refused.join("\n"), true);
    else if (added == 0) Say(Quoted(folder) + "にはカーソルのファイルがありません。", false);
    return added;
}

bool TfrmCursorTheme::AddFileClick() {
    FileDialogRequest request;
    request.Title = "ファイルの追加";
    request.Filter = "カーソル(*.cur *.ani *.ico);;すべてのファイル(*)";
    const std::optional<QString> path = frame_.GetPrompt().OpenFileName(this, request);
    return path && AddFile(*path);
}

bool TfrmCursorTheme::AddFolderClick() {
    const std::optional<QString> folder = frame_.GetPrompt().FolderName(this, "フォルダの追加", QString());
    return folder && AddFolder(*folder) > 0;
}

void TfrmCursorTheme::BrowseClick() {
    // The chooser opens where the user's cursor themes are installed, until a folder is chosen.
    QString initial = folder_->text();
    if (initial.isEmpty()) initial = QDir::homePath() + "/.local/share/icons";
    if (std::optional<QString> folder = frame_.GetPrompt().FolderName(this, "出力先のフォルダ", initial))
        folder_->setText(*folder);
}

QComboBox* TfrmCursorTheme::RoleBox(int i) const { return qobject_cast<QComboBox*>(table_->cellWidget(i, 2)); }

QCheckBox* TfrmCursorTheme::SizeBox(int size) const {
    for (QCheckBox* box : sizes_)
        if (box->text() == QString::number(size)) return box;
    return nullptr;
}

QPushButton* TfrmCursorTheme::OkButton() const { return findChild<QPushButton*>("Button1"); }

fs::path TfrmCursorTheme::ThemeFolder() const {
    return fs::path(folder_->text().toStdString()) / name_->text().trimmed().toStdString();
}

void TfrmCursorTheme::Say(const QString& text, bool error) {
    frame_.GetPrompt().Message(this, kTitle, text,
                               error ? PromptIcon::Error : PromptIcon::Information, PromptButtons::Ok);
}

QString TfrmCursorTheme::Problem() const {
    if (inputs_.empty()) return "書き出すカーソルがありません。「ファイルの追加...」でカーソルを加えてください。";
    std::map<QString, QString> used;   // role -> the input that took it
    for (int i = 0; i < InputCount(); ++i) {
        const QString role = RoleBox(i)->currentText();
        if (RoleBox(i)->currentIndex() < 0) return Quoted(inputs_[std::size_t(i)].Label) + "の役割を選んでください。";
        auto [it, fresh] = used.emplace(role, inputs_[std::size_t(i)].Label);
        if (!fresh)
            return "役割「" + role + "」が二つのカーソル（" + it->second + "、" + inputs_[std::size_t(i)].Label +
                   "）に選ばれています。役割は一つのカーソルに一つずつ選んでください。";
    }
    if (std::none_of(sizes_.begin(), sizes_.end(), [](QCheckBox* b) { return b->isChecked(); }))
        return "サイズを一つ以上選んでください。";
    const QString name = name_->text().trimmed();
    if (name.isEmpty()) return "テーマの名前を入力してください。";
    // The name is the theme's folder inside the output folder: it may not lead elsewhere.
    if (name.contains('/') || name == "." || name == "..") return "テーマの名前には「/」や「.」「..」は使えません。";
    if (folder_->text().trimmed().isEmpty()) return "出力先のフォルダを選んでください。";
    return {};
}

void TfrmCursorTheme::accept() {
    if (const QString problem = Problem(); !problem.isEmpty()) {
        Say(problem, true);
        return;
    }
    pq::CursorThemeOptions options;
    options.Name = name_->text().trimmed().toStdString();
    options.Comment = comment_->text().toStdString();
    options.Inherits = inherits_->text().trimmed().toStdString();
    options.Sizes.clear();
    for (QCheckBox* box : sizes_)
        if (box->isChecked()) options.Sizes.push_back(box->text().toInt());
    options.Windows = windows_->isChecked();
    options.Resample = [](const std::vector<pq::Rgba8>& px, int w, int h, int nw, int nh) {
        return pq::ResampleRgba(px, w, h, nw, nh);
    };
    const fs::path target = ThemeFolder();
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(target, ec)) && !fs::is_empty(target, ec)) {
        const PromptAnswer answer = frame_.GetPrompt().Message(
            this, kTitle, Quoted(target) + "はすでにあります。置き換えますか？", PromptIcon::Question, PromptButtons::YesNo);
        if (answer != PromptAnswer::Yes) return;
        options.Replace = true;
    }
    std::vector<pq::CursorThemeRole> roles;
    for (int i = 0; i < InputCount(); ++i)
        roles.push_back({RoleBox(i)->currentText().toStdString(), inputs_[std::size_t(i)].Animation});
    if (pq::FileResult r = pq::WriteCursorTheme(target, roles, options); !r) {
        Say(QString::fromStdString(r.Message), true);
        return;
    }
    Say("カーソルテーマを" + Quoted(target) + "に書き出しました。", false);
    QDialog::accept();
}

bool mfCursorThemeClick(FrameServices& frame) {
    TfrmCursorTheme dialog(frame);
    return frame.GetPrompt().RunDialog(dialog);
}

Command CursorThemeCommand() {
    return {.Name = "mfCursorTheme", .Caption = "カーソルテーマの書き出し...",
            .Hint = "開いているカーソルとカーソルのファイルから、カーソルテーマを書き出します。",
            .RunOnFrame = [](FrameServices& frame) { mfCursorThemeClick(frame); }};
}

}  // namespace pq::gui
