#include "gui/app/main_form.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "core/io/atomic_write.h"
#include "gui/app/artwork.h"
#include "gui/app/document_area.h"
#include "gui/app/option_dialog.h"
#include "gui/kit/prompt.h"
#include "gui/app/recovery_dialog.h"
#include "gui/kit/window_placement.h"
#include "gui/formats/document_files.h"
#include "gui/document/image_form.h"
#include "gui/document/page_strip.h"
#include "gui/document/name_dialog.h"
#include "gui/document/new_dialog.h"
#include "gui/document/text_dialog.h"
#include "gui/formats/file_commands.h"
#include "gui/palettes/color_palette.h"
#include "gui/palettes/layer_palette.h"
#include "gui/palettes/preview_window.h"

namespace pq::gui {

namespace {

// Undo snapshots or recovery notes ("img…") or the kept folder of a dead instance.
bool HoldsLeftovers(const std::filesystem::path& folder) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with("img") || name.starts_with(pq::kPrivateFolderPrefix)) return true;
    }
    return false;
}

}  // namespace

TMainForm::TMainForm(const std::filesystem::path& settingsFolder, Prompt* prompt, QWidget* parent)
    : QMainWindow(parent) {
    setObjectName("TMainForm");
    setWindowTitle("Pixquil");
    if (prompt) {
        prompt_ = prompt;
    } else {
        ownPrompt_ = std::make_unique<QtPrompt>();
        prompt_ = ownPrompt_.get();
    }
    textDrawer_ = std::make_unique<QtTextDrawer>();
    RegisterFontSubstitutions();

    settingsFolder_ = settingsFolder.empty()
                          ? pq::ChooseSettingsFolder(QCoreApplication::applicationDirPath().toStdString())
                          : settingsFolder;
    std::error_code ec;
    // A first start: no settings file, and no documents an earlier run left behind (that run
    // was killed before it could write its settings).
    firstStart_ = !std::filesystem::exists(settingsFolder_ / pq::kMainSettingsFile, ec) && !HoldsLeftovers(settingsFolder_);
    std::filesystem::create_directories(settingsFolder_, ec);
    snapshotFolder_ = std::make_unique<pq::SnapshotFolder>(settingsFolder_);

    mdi_ = new QMdiArea(this);
    mdi_->setObjectName("ClientArea");
    SetUpDocumentArea(*mdi_);
    setCentralWidget(mdi_);
    connect(mdi_, &QMdiArea::subWindowActivated, this, &TMainForm::SubWindowActivated);
    // Designed bounds: 640 x 460 outside, at the screen's top-left corner (the size becomes the
    // outer one once the decoration is known, see showEvent).
    outerWidth_ = settings_.Width;
    outerHeight_ = settings_.Height;
    resize(outerWidth_, outerHeight_);
    move(0, 0);
    pendingBoundsFix_ = true;

    CreateActions();
    CreateToolBars();
    CreateMenus();
    CreateStatusBar();
    nextWindowNumber_ = 0;
    cmbZoom_->setCurrentIndex(5);
    SelectTool(kToolZoom);
    cbSize_->setCurrentIndex(0);
    ReadSettings();
    ReadShortcutScheme();
    setAcceptDrops(true);

    // The tool windows read their position files from the settings folder as they are made.
    newDialog_ = new TfrmNew(this);
    colorPalette_ = new TfrmColorPalette(*this, settingsFolder_);
    layerPalette_ = new TLayerPalette(*this, settingsFolder_);
    preview_ = new TfrmView(this, settingsFolder_);
    textDialog_ = new TfrmText(this, *prompt_);
    nameDialog_ = new TfrmName(this, *prompt_);
    RebuildMenuBar();
    ActionList1Update();
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &TMainForm::ActionList1Update);
}

TMainForm::~TMainForm() {
    destroying_ = true;
    // Document windows go first, also those closed but not yet deleted: each deletes its undo
    // snapshot files, which needs the snapshot folder this frame still holds.
    QList<QPointer<QMdiSubWindow>> subs;
    for (QMdiSubWindow* sub : mdi_->findChildren<QMdiSubWindow*>()) subs << sub;
    for (const auto& sub : subs) delete sub.data();
    colorPalette_->WritePosition();
    layerPalette_->WritePosition();
    preview_->WritePosition();
    WriteSettings();
}

const std::filesystem::path& TMainForm::SnapshotFolderPath() const { return snapshotFolder_->Path(); }

// ---- settings ----------------------------------------------------------------------------------

void TMainForm::ReadSettings() {
    recent_ = pq::ReadRecentFiles(settingsFolder_ / pq::kRecentFilesFile);
    reduction_ = pq::ReadReductionSettings(settingsFolder_ / pq::kReductionSettingsFile);
    SharedPageView().File = settingsFolder_ / pq::kPageViewSettingsFile;
    SharedPageView().Settings = pq::ReadPageViewSettings(SharedPageView().File);
    const auto file = settingsFolder_ / pq::kMainSettingsFile;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return;
    settings_ = pq::ReadMainSettings(file);
    if (settings_.HasBounds) {
        defaultBounds_ = false;
        const QRect outer(settings_.Left, settings_.Top, settings_.Width, settings_.Height);
        // Saved with these very bounds: the inner size and the state come back exactly; the
        // place is the stored outer one (Qt's restore may nudge it, which would change it at
        // every start).
        if (RestoreWindowGeometry(*this, file, outer)) {
            pendingBoundsFix_ = false;
            if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) move(KeepOnScreen(outer));
            return;
        }
        // Only the outer bounds (a folder of an older version): the inner size follows once the
        // decoration is known (showEvent).
        outerWidth_ = settings_.Width;
        outerHeight_ = settings_.Height;
        resize(outerWidth_, outerHeight_);
        move(KeepOnScreen(outer));
        pendingBoundsFix_ = true;
    }
}

void TMainForm::NoteRecentFile(const QString& path) {
    pq::AddRecentFile(recent_, QFileInfo(path).absoluteFilePath().toStdString());
    pq::WriteRecentFiles(settingsFolder_ / pq::kRecentFilesFile, recent_);
}

void TMainForm::RebuildRecentMenu() {
    mRecent_->clear();
    for (std::size_t i = 0; i < recent_.size(); ++i) {
        const QString path = QString::fromStdString(recent_[i]);
        // "&1 " … "&8 ": the number is the accelerator; an ampersand in the name stays visible.
        QAction* entry = mRecent_->addAction(QString("&%1 %2").arg(i + 1).arg(QString(path).replace("&", "&&")));
        connect(entry, &QAction::triggered, this, [this, path] { OpenRecentFile(path); });
    }
    if (recent_.empty()) mRecent_->addAction("（なし）")->setEnabled(false);
}

void TMainForm::OpenRecentFile(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        prompt_->Message(this, "Pixquil", "「" + path + "」が見つかりません。\n最近使ったファイルの一覧から削除しました。",
                         PromptIcon::Warning, PromptButtons::Ok);
        recent_.erase(std::remove(recent_.begin(), recent_.end(), path.toStdString()), recent_.end());
        pq::WriteRecentFiles(settingsFolder_ / pq::kRecentFilesFile, recent_);
        return;
    }
    OpenFile(path);
}

void TMainForm::WriteSettings() {
    pq::MainSettings s = settings_;
    const QRect outer = frameGeometry();
    s.HasBounds = true;
    s.Left = outer.left();
    s.Top = outer.top();
    s.Width = outer.width();
    s.Height = outer.height();
    s.WindowState = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    const auto file = settingsFolder_ / pq::kMainSettingsFile;
    if (pq::WriteMainSettings(file, s)) SaveWindowGeometry(*this, file, outer);
}

pq::TransparencyColors TMainForm::TransparencyColors() const {
    return pq::TransparencyColors{pq::FromColorRef(settings_.TransparencyColor1),
                                  pq::FromColorRef(settings_.TransparencyColor2)};
}

void TMainForm::SetOptions(uint32_t color1, uint32_t color2, bool undoEnabled) {
    settings_.TransparencyColor1 = color1;
    settings_.TransparencyColor2 = color2;
    settings_.UndoEnabled = undoEnabled;
}

// ---- start-up, close, drop ---------------------------------------------------------------------

QStringList TMainForm::ShowAtStartup(const QStringList& arguments) {
    // The state the frame had when the program last ended: 1 minimised, 2 maximised.
    if (settings_.WindowState == 2) showMaximized();
    else if (settings_.WindowState == 1) showMinimized();
    else show();
    ShowToolWindows();
    // Documents an earlier run left behind when it ended without cleaning up come first.
    OfferRecovery(*this, settingsFolder_);
    QStringList failures;
    startupFailures_ = &failures;
    for (const QString& arg : arguments) {
        if (QFileInfo(arg).isFile()) OpenFile(arg);
        else failures << "「" + QFileInfo(arg).absoluteFilePath() + "」が見つかりません。";
    }
    startupFailures_ = nullptr;
    if (!failures.isEmpty())
        prompt_->Message(this, "Pixquil", "次のファイルを開けませんでした。\n\n" + failures.join("\n\n"), PromptIcon::Warning,
                         PromptButtons::Ok);
    // A first start with nothing to open shows something to draw on at once, and where help is.
    if (firstStart_ && arguments.isEmpty() && Forms().isEmpty()) {
        OpenDocument(QString("Icon%1").arg(AdvanceWindowNumber()), 32, 16, 32);
        // Panel 0 is 275 pixels wide; a large font widens it so the whole hint shows.
        const QString hint = kFirstStartHint;
        const int need = statusPanel0_->fontMetrics().horizontalAdvance(hint) + 2 * statusPanel0_->margin() + 8;
        if (need > statusPanel0_->width()) statusPanel0_->setFixedWidth(need);
        SetStatusText(hint);
    }
    return failures;
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The stored size is the outer one; the decoration is known only once shown. A resize would
    // bring a maximised or minimised frame back to its normal state: a maximised frame stored
    // its maximised bounds and needs no fix, a minimised one gets it when first shown normal.
    if (pendingBoundsFix_ && (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) pendingBoundsFix_ = false;
    if (pendingBoundsFix_ && !(windowState() & Qt::WindowMinimized)) FitOuterSizeWhenDecorated(0);
    // Under X11 the frame's own window is mapped only after this event: tool windows mapped
    // before it reach the window manager as transients of a window it does not know yet, and
    // some (openbox) then stack them below the frame for good, whatever is done later. There
    // they follow once the frame is mapped (ShowAtStartup, or the next turn of the event loop).
    if (!shownOnce_) {
        shownOnce_ = true;
        if (QGuiApplication::platformName() == "xcb") QTimer::singleShot(0, this, &TMainForm::ShowToolWindows);
        else ShowToolWindows();
    }
}

void TMainForm::WidenForMenuBar() {
    if (!defaultBounds_ || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))) return;
    // Once, when the first document brings its menus: a frame the user made narrower later
    // stays so. The bar spans the inner width; its size hint is the width that shows every menu.
    if (ActiveForm() && windowMenuShown_) defaultBounds_ = false;
    const int need = menuBar()->sizeHint().width();
    if (need <= geometry().width()) return;
    const int decoration = frameGeometry().width() - geometry().width();
    int outer = need + decoration;
    if (const QScreen* s = screen()) outer = std::min(outer, s->availableGeometry().width());
    outerWidth_ = std::max(outerWidth_, outer);
    resize(outer - decoration, height());
}

void TMainForm::FitOuterSizeWhenDecorated(int attempt) {
    if (!pendingBoundsFix_ || destroying_) return;
    // Under X11 the window manager adds its frame some time after the window is mapped; until
    // then the outer size equals the inner one, and fitting at once would store a larger frame
    // at every start. Ask again for a while; a window manager that draws no frame needs no fix.
    const QSize decoration = frameGeometry().size() - geometry().size();
    if (decoration.width() > 0 || decoration.height() > 0) {
        pendingBoundsFix_ = false;
        if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            resize(QSize(outerWidth_, outerHeight_) - decoration);
        return;
    }
    if (attempt >= 40 || QGuiApplication::platformName() == "offscreen") {
        pendingBoundsFix_ = false;
        return;
    }
    QTimer::singleShot(50, this, [this, attempt] { FitOuterSizeWhenDecorated(attempt + 1); });
}

void TMainForm::ShowToolWindows() {
    if (toolWindowsShown_ || destroying_) return;
    toolWindowsShown_ = true;
    colorPalette_->show();
    layerPalette_->show();
    preview_->show();
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) RedrawIcons();
    // A window manager that does not keep transients above their owner still brings them up
    // again whenever the frame is activated (raising does not take the focus from the frame).
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !destroying_)
        for (QWidget* w : {static_cast<QWidget*>(colorPalette_), static_cast<QWidget*>(layerPalette_),
                           static_cast<QWidget*>(preview_)})
            if (w && w->isVisible()) w->raise();
}

void TMainForm::RedrawIcons() {
    if (!tbEdit_ || !tbStandard_) return;
    const QPalette pal = palette();
    for (int tool = 0; tool < int(toolActions_.size()); ++tool) toolActions_[tool]->setIcon(ToolIcon(tool, pal));
    for (QAction* a : tbStandard_->actions())
        if (a->objectName().startsWith("tb")) a->setIcon(CommandIcon(a->objectName(), pal));
}

void TMainForm::closeEvent(QCloseEvent* event) {
    bool refused = false;
    for (QMdiSubWindow* sub : mdi_->subWindowList(QMdiArea::CreationOrder)) {
        if (!sub->close()) refused = true;
    }
    if (refused) event->ignore();
    else event->accept();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        const QString path = url.toLocalFile();
        if (!path.isEmpty()) OpenFile(path);
    }
    event->acceptProposedAction();
}

bool TMainForm::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        statusPanel0_->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

// ---- documents -----------------------------------------------------------------------------------

TImageForm* TMainForm::OpenDocument(const QString& name, int width, int colors, int height, bool trueColor) {
    if (QMdiSubWindow* current = mdi_->currentSubWindow(); current && current->isMaximized()) current->showNormal();
    auto* form = new TImageForm(this, name, nextWindowNumber_);
    QMdiSubWindow* sub = AddDocumentWindow(*mdi_, form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    const QFileInfo info(name);
    if (info.isFile()) {
        std::vector<pq::IconSetPage> pages;
        int type = pq::kIconResourceType;
        std::optional<AnimationRead> animation;
        ReadRequest request{SelectedZoom(), prompt_, this, &pages, &type, reduction_};
        request.Animation = &animation;
        const pq::FileResult r = ReadDocumentFile(name, form->Doc(), request);
        if (!r.Ok) {
            delete sub;
            // Readers' refusals are plain message boxes with an OK button; at start-up they are
            // gathered into one.
            if (!r.Message.empty() && startupFailures_) *startupFailures_ << QString::fromStdString(r.Message);
            else if (!r.Message.empty())
                prompt_->Message(this, "Pixquil", QString::fromStdString(r.Message), PromptIcon::None, PromptButtons::Ok);
            ActionList1Update();
            return nullptr;
        }
        // Named first, so that a set's pages are written with their file name. A picture read
        // through the area picker is not the document's file: it stays untitled.
        if (OpensAsImport(name)) form->AdoptImportedPicture(name);
        else form->SetFilePath(name);
        if (animation) form->AdoptAnimation(std::move(animation->Animation), animation->Source ? &*animation->Source : nullptr);
        else if (!pages.empty()) form->AdoptIconSet(std::move(pages), type);
        form->AdoptLoadedDocument();
    } else {
        form->InitBlankDocument(width, height, colors, trueColor);
    }
    return ShowOpenedForm(form, sub);
}

TImageForm* TMainForm::OpenBuiltDocument(const QString& name,
                                         const std::function<void(pq::Document&, int selectedZoom)>& build,
                                         std::string* baseFailure) {
    if (QMdiSubWindow* current = mdi_->currentSubWindow(); current && current->isMaximized()) current->showNormal();
    auto* form = new TImageForm(this, name, nextWindowNumber_);
    QMdiSubWindow* sub = AddDocumentWindow(*mdi_, form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    build(form->Doc(), SelectedZoom());
    form->AdoptLoadedDocument();
    return ShowOpenedForm(form, sub, baseFailure);
}

TImageForm* TMainForm::ShowOpenedForm(TImageForm* form, QMdiSubWindow* sub, std::string* baseFailure) {
    // A set wrote every page's base step as it was adopted.
    if (!form->IsSet()) form->RecordStep(" ", false, baseFailure);
    sub->show();
    form->FitWindowToCanvas();
    mdi_->setActiveSubWindow(sub);
    lastActive_ = form;
    form->Activate();
    form->SetZoom(form->Doc().Zoom);
    RebuildMenuBar();
    ActionList1Update();
    return form;
}

TImageForm* TMainForm::OpenFile(const QString& path) {
    AdvanceWindowNumber();
    // Only a file opens: a folder, or a name gone before it is opened, is refused as unreadable
    // rather than becoming a blank document under its name.
    const QFileInfo info(path);
    if (!info.isFile()) {
        prompt_->Message(this, "Pixquil", QString::fromStdString(pq::CannotReadMessage(ToFsPath(path))),
                         PromptIcon::None, PromptButtons::Ok);
        return nullptr;
    }
    // The caption and the file name are the full path, also for a name typed relative.
    return OpenDocument(info.absoluteFilePath(), 16, 16, 16);
}

TImageForm* TMainForm::ActiveForm() const {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(static_cast<QObject*>(mdi_->activeSubWindow()))) {
        auto* form = qobject_cast<TImageForm*>(sub->widget());
        if (form && !form->Dying()) return form;
    }
    // While a tool window or dialog has the focus the MDI area reports no active window; the
    // document last activated stays the one the tool windows and commands act on.
    const QList<TImageForm*> forms = Forms();
    if (lastActive_ && forms.contains(lastActive_.data())) return lastActive_.data();
    if (QMdiSubWindow* sub = mdi_->currentSubWindow(); sub && forms.contains(qobject_cast<TImageForm*>(sub->widget())))
        return qobject_cast<TImageForm*>(sub->widget());
    return forms.isEmpty() ? nullptr : forms.back();
}

QList<TImageForm*> TMainForm::Forms() const {
    QList<TImageForm*> forms;
    for (QObject* o : mdi_->subWindowList(QMdiArea::CreationOrder)) {
        // A window in the middle of its destruction is no longer a QMdiSubWindow here.
        auto* sub = qobject_cast<QMdiSubWindow*>(o);
        if (!sub) continue;
        auto* f = qobject_cast<TImageForm*>(sub->widget());
        if (f && !f->Dying()) forms << f;
    }
    return forms;
}

void TMainForm::FormClosed(TImageForm* form) {
    if (destroying_) return;
    if (lastActive_.data() == form) lastActive_.clear();
    // A pointer position shown for the window's canvas goes with the window.
    SetStatusText(QString());
    // Called while the window is being destroyed, when the MDI area still lists it: the menus
    // and buttons follow once it is gone.
    QTimer::singleShot(0, this, [this] {
        RebuildMenuBar();
        ActionList1Update();
    });
}

void TMainForm::SubWindowActivated(QMdiSubWindow* window) {
    if (destroying_) return;
    if (window) {
        if (auto* form = qobject_cast<TImageForm*>(window->widget()); form && !form->Dying()) {
            lastActive_ = form;
            form->Activate();
        }
    }
    RebuildMenuBar();
    ActionList1Update();
}

// ---- commands ------------------------------------------------------------------------------------

void TMainForm::mlNewClick() {
    if (!prompt_->RunDialog(*newDialog_)) return;
    const int size = newDialog_->ChosenSize();
    const int colors = newDialog_->ChosenColors();
    const int number = AdvanceWindowNumber();
    OpenDocument(QString("Icon%1").arg(number), size, colors, size, newDialog_->ChosenTrueColor());
}

void TMainForm::FileOpen1Execute() {
    FileDialogRequest request;
    request.Title = "開く";
    request.Filter = OpenFileFilter();
    request.FilterIndex = kOpenFilterAllIndex;
    if (auto path = prompt_->OpenFileName(this, request)) OpenFile(*path);
}

void TMainForm::mtOptionClick() {
    TfrmOption dialog(this, *prompt_, settings_.TransparencyColor1, settings_.TransparencyColor2, settings_.UndoEnabled,
                      reduction_);
    dialog.SetCommonKeys(CommonShortcuts());
    if (!prompt_->RunDialog(dialog)) return;
    if (dialog.CommonKeys() != CommonShortcuts()) WriteShortcutScheme(dialog.CommonKeys());
    const bool wasEnabled = settings_.UndoEnabled;
    SetOptions(dialog.Color1(), dialog.Color2(), dialog.UndoEnabled());
    // The reduction choices have their own file, written now (pqset is written at the end).
    reduction_ = dialog.Reduction();
    if (!pq::WriteReductionSettings(settingsFolder_ / pq::kReductionSettingsFile, reduction_))
        prompt_->Message(this, "オプション", "減色の設定を保存できませんでした。\n選んだ設定は Pixquil を終了するまで使われます。",
                         PromptIcon::Warning, PromptButtons::Ok);
    if (TImageForm* form = ActiveForm()) {
        form->Redraw();
        if (!settings_.UndoEnabled) pq::ClearHistory(form->Doc(), form->HistoryCtx());
        else if (!wasEnabled) form->RecordStep(" ");
    }
    ActionList1Update();
}

void TMainForm::AboutClick() {
    TAboutBox box(this);
    prompt_->RunDialog(box);
}

// The installed manual's folder relative to the program's comes from the build (CMakeLists.txt);
// the fallback is the layout of an install with the default folders. No absolute path of the
// build is compiled in: an editor run from its build folder finds its source tree at run time.
#ifndef PQ_MANUAL_RELATIVE_DIR
#define PQ_MANUAL_RELATIVE_DIR "../share/doc/pixquil"
#endif

namespace {

QStringList& ManualFolderOverride() {
    static QStringList folders;
    return folders;
}

// The source folder a CMake build folder was configured from, read from its CMakeCache.txt;
// empty when the folder holds no cache or the cache names no Pixquil source.
QString SourceOfBuildFolder(const QString& folder) {
    QFile cache(QDir(folder).filePath("CMakeCache.txt"));
    if (!QFileInfo(cache.fileName()).isFile() || !cache.open(QIODevice::ReadOnly)) return QString();
    static const QByteArray kKey = "Pixquil_SOURCE_DIR:STATIC=";
    // A cache is a few tens of kB; a larger file is not one to trust.
    for (int lines = 0; !cache.atEnd() && lines < 20000; ++lines) {
        const QByteArray line = cache.readLine(4096).trimmed();
        if (line.startsWith(kKey)) return QString::fromUtf8(line.mid(kKey.size()));
    }
    return QString();
}

}  // namespace

QString TMainForm::BuildTreeManualFolder(const QString& programFolder) {
    const QDir dir(programFolder);
    // An installed program (in a bin folder) uses its installed manual only.
    if (dir.dirName() == "bin") return QString();
    // The editor sits in the build folder, a test program one folder below it.
    for (const QString& folder : {dir.absolutePath(), QDir::cleanPath(dir.absoluteFilePath(".."))}) {
        const QString source = SourceOfBuildFolder(folder);
        if (source.isEmpty()) continue;
        const QString manual = QDir(source).filePath("docs/manual");
        if (QFileInfo(QDir(manual).filePath("index.html")).isFile()) return QDir::cleanPath(manual);
    }
    return QString();
}

QStringList TMainForm::ManualIndexCandidates() {
    QStringList folders = ManualFolderOverride();
    if (folders.isEmpty()) {
        const QString program = QCoreApplication::applicationDirPath();
        folders << QDir(program).filePath(PQ_MANUAL_RELATIVE_DIR);
        const QString buildTree = BuildTreeManualFolder(program);
        if (!buildTree.isEmpty()) folders << buildTree;
    }
    QStringList candidates;
    for (const QString& folder : folders) candidates << QDir::cleanPath(QDir(folder).absoluteFilePath("index.html"));
    return candidates;
}

void TMainForm::SetManualFolders(const QStringList& folders) { ManualFolderOverride() = folders; }

void TMainForm::HelpClick() {
    const QStringList candidates = ManualIndexCandidates();
    for (const QString& index : candidates) {
        if (!QFileInfo(index).isFile()) continue;
        if (!prompt_->OpenUrl(QUrl::fromLocalFile(index)))
            prompt_->Message(this, "Pixquil", "マニュアルをブラウザで開けませんでした。\n" + index, PromptIcon::Warning,
                             PromptButtons::Ok);
        return;
    }
    prompt_->Message(this, "Pixquil", "マニュアルが見つかりませんでした。\n" + candidates.join('\n'), PromptIcon::Warning,
                     PromptButtons::Ok);
}

void TMainForm::ZoomIn() {
    const int entry = cmbZoom_->currentIndex();
    if (entry <= 0) return;
    cmbZoom_->setCurrentIndex(entry - 1);
    cmbZoomChange();
}

void TMainForm::ZoomOut() {
    const int entry = cmbZoom_->currentIndex();
    if (entry >= cmbZoom_->count() - 1) return;
    cmbZoom_->setCurrentIndex(entry + 1);
    cmbZoomChange();
}

void TMainForm::cmbZoomChange() {
    if (TImageForm* form = ActiveForm()) form->SetZoom(SelectedZoom());
}

void TMainForm::SelectTool(int tool) {
    if (tool < 0 || tool >= kToolCount) return;
    if (tool == kToolCloneBrush) {
        // A new choice of the clone brush forgets the source point.
        if (TImageForm* form = ActiveForm()) form->Doc().CloneState = 0;
    }
    currentTool_ = tool;
    if (!toolActions_[tool]->isChecked()) toolActions_[tool]->setChecked(true);
    ApplyToolCursor();
}

// ---- tool state ----------------------------------------------------------------------------------

int TMainForm::BrushSize() const { return cbSize_->currentIndex() + 1; }

int TMainForm::SelectedZoom() const { return ZoomFactorOfEntry(cmbZoom_->currentIndex()); }

void TMainForm::ShowZoomInList(int zoom) { cmbZoom_->setCurrentIndex(ZoomEntryOfFactor(zoom)); }

bool TMainForm::SelectionOutlineVisible() const { return actSelectVisible_->isChecked(); }

void TMainForm::SetSelectionOutlineVisible(bool visible) { actSelectVisible_->setChecked(visible); }

QCursor TMainForm::ToolCursor() const {
    switch (currentTool_) {
    case kToolZoom: return ZoomCursor();
    case kToolMove: return QCursor(Qt::SizeAllCursor);
    case kToolFill: return FillCursor();
    default: return QCursor(Qt::CrossCursor);
    }
}

void TMainForm::ApplyToolCursor() {
    const QCursor cursor = ToolCursor();
    for (TImageForm* form : Forms()) form->ApplyCursor(cursor);
}

void TMainForm::RefreshColorPalette() {
    if (colorPalette_) colorPalette_->RefreshColorPalette();
}

void TMainForm::RebuildLayerPalette(TImageForm& form) {
    if (layerPalette_) layerPalette_->RebuildLayerPalette(&form);
}

void TMainForm::RefreshLayerRows(TImageForm& form) {
    if (layerPalette_) layerPalette_->RefreshLayerRows(&form);
}

void TMainForm::CompositeChanged(TImageForm& form) {
    if (!preview_) return;
    if (form.IsSet()) {
        std::vector<QImage> pages;
        for (int i = 0; i < form.PageCount(); ++i) pages.push_back(form.PagePicture(i));
        preview_->SetSetSource(&form);
        preview_->PaintSet(pages, form.CurrentPage(), TransparencyColors());
    } else {
        preview_->PaintFrom(form.Comp(), form.Doc().ImageWidth, form.Doc().ImageHeight);
    }
    if (form.FrameCount() > 1) {
        // Every size the pages have, in order of first appearance, each with its frames.
        std::vector<std::pair<int, int>> sizes;
        for (int i = 0; i < form.PageCount(); ++i) {
            const std::pair<int, int> s{form.PageDoc(i).ImageWidth, form.PageDoc(i).ImageHeight};
            if (std::find(sizes.begin(), sizes.end(), s) == sizes.end()) sizes.push_back(s);
        }
        std::vector<std::vector<QImage>> framesBySize;
        for (const auto& [w, h] : sizes) {
            std::vector<QImage>& frames = framesBySize.emplace_back();
            for (int f = 0; f < form.FrameCount(); ++f) {
                const int page = form.FramePage(f, w, h);
                frames.push_back(page >= 0 ? form.PagePicture(page) : QImage());
            }
        }
        preview_->OfferAnimation(std::move(framesBySize), form.AnimationSteps(), form.AnimationStepMilliseconds());
    } else {
        preview_->ForgetAnimation();
    }
    if (layerPalette_) layerPalette_->UpdateThumbnails(&form);
}

// ---- status bar, idle update ---------------------------------------------------------------------

void TMainForm::SetStatusText(const QString& text) { statusPanel0_->setText(text); }

QString TMainForm::StatusText() const { return statusPanel0_->text(); }

void TMainForm::SetDocumentInfoText(const QString& text) { statusPanel1_->setText(text); }

QString TMainForm::DocumentInfoText() const { return statusPanel1_->text(); }

QAction* TMainForm::ActionNamed(const QString& objectName) const { return findChild<QAction*>(objectName); }

void TMainForm::ActionList1Update() {
    if (destroying_ || !colorPalette_) return;
    const bool open = !Forms().isEmpty();
    UpdateCommandButtons(tbStandard_);
    actSelectVisible_->setEnabled(open);
    layerPalette_->UpdateButtons();
    if (!open) {
        RefreshColorPalette();
        layerPalette_->ClearLayerPalette();
        SetDocumentInfoText(QString());
        preview_->Blank();
        return;
    }
    // Every command, undo and redo end here: the size and colour count follow the active
    // document at once, not only when a window is activated.
    if (const TImageForm* form = ActiveForm(); form && form->Doc().Ready) {
        SetDocumentInfoText(form->StatusText());
    }
    if (!windowMenuShown_) {
        windowMenuShown_ = true;
        RebuildMenuBar();
    }
}

}  // namespace pq::gui
