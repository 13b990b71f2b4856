#pragma once
// The main frame: a QMainWindow holding the document windows in an MDI area, the two toolbars
// "標準" and "編集", the two-panel status bar, the shared tool state and the settings. It owns the
// tool windows and the dialogs that are created once (New, text, layer name), and forwards its
// toolbar commands to the active document window. The other GUI folders reach it only through
// FrameServices.

#include <QCursor>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <memory>

#include "core/document/history.h"
#include "core/document/render.h"
#include "core/document/strokes.h"
#include "core/formats/settings_files.h"
#include "gui/app/document_window_hooks.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/tool_state.h"

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

namespace pq::gui {

class Prompt;
class TImageForm;
class TfrmNew;
class TfrmText;
class TfrmName;
class TfrmColorPalette;
class TLayerPalette;
class TfrmView;

class TMainForm : public QMainWindow, public FrameServices {
    Q_OBJECT
public:
    // settingsFolder empty: the folder beside the program (or the per-user fallback).
    // prompt null: real Qt dialogs. The frame does not own a prompt it is given.
    explicit TMainForm(const std::filesystem::path& settingsFolder = {}, Prompt* prompt = nullptr,
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    // Shows the frame as the settings left it (normal or maximised) and opens the files named on
    // the command line. Names that do not exist or cannot be opened are listed in one message
    // after the others opened; the reasons, one per name, are returned (for standard error).
    // A first start (no settings file) with no names opens a blank 32 x 32 document and shows
    // kFirstStartHint in the status bar (short enough for its 275-pixel panel).
    QStringList ShowAtStartup(const QStringList& arguments);
    static constexpr const char* kFirstStartHint = "マニュアル: ヘルプ > トピックの検索 (F1)";

    QMdiArea* MdiArea() const { return mdi_; }
    QWidget* FrameWidget() override { return this; }
    Prompt& GetPrompt() const override { return *prompt_; }
    const DocumentHooks& Hooks() const override { return hooks_; }
    const std::filesystem::path& SettingsFolder() const { return settingsFolder_; }
    const std::filesystem::path& SnapshotFolderPath() const override;

    // ---- documents ---------------------------------------------------------------------------
    // Creates a document window from a name: an existing file is read by the reader its
    // extension selects, any other name gives a blank document of the given size. The caller
    // advances NextWindowNumber first. Returns null when nothing was opened.
    TImageForm* OpenDocument(const QString& name, int width, int colors, int height, bool trueColor = false);
    // Command line, drop, File > Open: advance the window number and open as a 16 x 16 name.
    TImageForm* OpenFile(const QString& path);
    // A window whose document `build` sets up (icon extraction; the caller advances
    // NextWindowNumber first), then as OpenDocument after a read: base step, activation, zoom.
    TImageForm* OpenBuiltDocument(const QString& name,
                                  const std::function<void(pq::Document&, int selectedZoom)>& build,
                                  std::string* baseFailure = nullptr) override;
    int NextWindowNumber() const { return nextWindowNumber_; }
    int AdvanceWindowNumber() override { return ++nextWindowNumber_; }
    TImageForm* ActiveForm() const override;
    QList<TImageForm*> Forms() const override;
    void FormClosed(TImageForm* form) override;
    // The session ends (SIGTERM, a logout): nothing may be asked. Windows without unsaved changes
    // close and leave no undo files; the others keep their history on disk for the next start
    // to offer. True when every window closed and the frame with them (the caller quits the
    // event loop; the settings are written as the frame goes). False when windows were kept:
    // the settings and tool-window positions are written now, and the caller must end the
    // process without destroying the windows (their destruction would delete their history).
    bool EndSession();

    // ---- commands ------------------------------------------------------------------------------
    void mlNewClick() override;
    void FileOpen1Execute() override;
    void mtOptionClick();
    void AboutClick();
    // ヘルプ > トピックの検索: opens the first manual index of ManualIndexCandidates() that
    // exists in the desktop's browser; when there is none, a message lists the paths tried.
    void HelpClick();
    // Where the manual's index.html is looked for, in order: the installed copy (from the
    // program's bin folder, ../share/doc/pixquil), then, for a program run from its build
    // folder, BuildTreeManualFolder. SetManualFolders replaces these folders (tests); an empty
    // list brings them back.
    static QStringList ManualIndexCandidates();
    // The source tree's docs/manual when `programFolder` (or its parent, for a test program) is
    // a CMake build folder of Pixquil whose cache names a source tree holding the manual; empty
    // for a program in a bin folder and anywhere else.
    static QString BuildTreeManualFolder(const QString& programFolder);
    static void SetManualFolders(const QStringList& folders);
    void ZoomIn() override;
    void ZoomOut() override;
    void cmbZoomChange();
    void SelectTool(int tool);

    // ---- shared tool state ---------------------------------------------------------------------
    int CurrentTool() const override { return currentTool_; }
    int BrushSize() const override;
    int SelectedZoom() const override;
    void ShowZoomInList(int zoom) override;
    bool SelectionOutlineVisible() const override;
    void SetSelectionOutlineVisible(bool visible) override;
    StrokeState& Stroke() override { return stroke_; }
    QCursor ToolCursor() const;
    void ApplyToolCursor() override;
    int& OutlineFrameCounter() override { return outlineFrame_; }
    pq::TextDrawer& TextDrawer() override { return *textDrawer_; }

    // ---- settings ------------------------------------------------------------------------------
    pq::TransparencyColors TransparencyColors() const override;
    bool UndoEnabled() const override { return settings_.UndoEnabled; }
    pq::ReductionOptions Reduction() const override { return reduction_; }
    const pq::MainSettings& Settings() const { return settings_; }
    void SetOptions(uint32_t color1, uint32_t color2, bool undoEnabled);

    // ---- tool windows and dialogs ---------------------------------------------------------------
    TfrmColorPalette* ColorPalette() const { return colorPalette_; }
    TLayerPalette* LayerPalette() const { return layerPalette_; }
    TfrmView* Preview() const { return preview_; }
    TfrmNew* NewDialog() const { return newDialog_; }
    TfrmText* TextDialog() const override { return textDialog_; }
    TfrmName& NameDialog() override { return *nameDialog_; }
    void RefreshColorPalette() override;
    void RebuildLayerPalette(TImageForm& form) override;
    void RefreshLayerRows(TImageForm& form) override;
    void CompositeChanged(TImageForm& form) override;

    // ---- status bar, idle update ---------------------------------------------------------------
    void SetStatusText(const QString& text) override;
    QString StatusText() const;
    void SetDocumentInfoText(const QString& text) override;
    QString DocumentInfoText() const;
    // Enables the toolbar buttons to match the active document (run after every change).
    void ActionList1Update() override;
    // A button or entry of the frame by object name, for tests.
    QAction* ActionNamed(const QString& objectName) const;
    QComboBox* ZoomCombo() const { return cmbZoom_; }
    QComboBox* SizeCombo() const { return cbSize_; }
    QToolBar* StandardToolBar() const { return tbStandard_; }
    QToolBar* EditToolBar() const { return tbEdit_; }
    // The toggles of the 表示 > ツール menus, shared by the frame's and the documents' menus.
    QList<QAction*> ViewToggleActions() const override;
    QMenu* RecentFilesMenu() const override { return mRecent_; }
    void NoteRecentFile(const QString& path) override;
    const std::vector<std::string>& RecentFiles() const { return recent_; }
    QAction* StatusBarToggle() const override { return actStatusBar_; }
    void UpdateViewToggles() override;
    QMenu* ToolMenu() const { return mTool_; }
    QMenu* WindowMenu() const { return mWindow_; }
    QMenu* HelpMenu() const { return mHelp_; }

protected:
    bool event(QEvent* event) override;
    // A new palette or style redraws the toolbar icons in its text colour.
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateActions();
    void CreateToolBars();
    void CreateMenus();
    void CreateStatusBar();
    void RebuildMenuBar();
    void RebuildWindowMenu();
    void ReadSettings();
    void WriteSettings();
    // The shortcut scheme (command_table.h) in its own one-byte file "pqkeys", 1 for the
    // common keys; read at start, written and applied to every open menu when the option changes.
    void ReadShortcutScheme();
    void WriteShortcutScheme(bool common);
    void SubWindowActivated(QMdiSubWindow* window);
    // The end of opening a document window: base step, showing, activation and zoom.
    TImageForm* ShowOpenedForm(TImageForm* form, QMdiSubWindow* sub, std::string* baseFailure = nullptr);

    void TileWindows(bool vertical);

    // What every document window gets from the levels above it (composed once).
    DocumentHooks hooks_ = DocumentWindowHooks();
    bool destroying_ = false;
    bool shownOnce_ = false;
    // While the command line's files open: where their refusals go instead of message boxes.
    QStringList* startupFailures_ = nullptr;
    std::filesystem::path settingsFolder_;
    std::unique_ptr<pq::SnapshotFolder> snapshotFolder_;
    std::unique_ptr<Prompt> ownPrompt_;
    Prompt* prompt_ = nullptr;
    std::unique_ptr<pq::TextDrawer> textDrawer_;
    pq::MainSettings settings_;
    // From "pqreduce" at start; written when the Options dialog is accepted.
    pq::ReductionOptions reduction_;
    bool pendingBoundsFix_ = false;
    // The outer size the frame is to have once its decoration is known.
    int outerWidth_ = 640, outerHeight_ = 460;
    // The frame has its designed bounds (no stored ones): it may be widened for its menus.
    bool defaultBounds_ = true;
    // No settings file was found: the first start of this user (or of this settings folder).
    bool firstStart_ = false;
    void FitOuterSizeWhenDecorated(int attempt);
    void RedrawIcons();
    // Shows the three tool windows once, as the frame is first shown (see showEvent).
    void ShowToolWindows();
    bool toolWindowsShown_ = false;
    // At the designed bounds, widens the frame (up to the screen's width) until every menu of
    // the bar shows; done when the first document's menus join the bar.
    void WidenForMenuBar();

    QMdiArea* mdi_ = nullptr;
    int nextWindowNumber_ = 0;
    int currentTool_ = kToolZoom;
    int outlineFrame_ = 0;
    StrokeState stroke_;
    QPointer<TImageForm> lastActive_;
    bool windowMenuShown_ = false;

    TfrmNew* newDialog_ = nullptr;
    TfrmText* textDialog_ = nullptr;
    TfrmName* nameDialog_ = nullptr;
    TfrmColorPalette* colorPalette_ = nullptr;
    TLayerPalette* layerPalette_ = nullptr;
    TfrmView* preview_ = nullptr;

    QToolBar* tbStandard_ = nullptr;
    QToolBar* tbEdit_ = nullptr;
    QComboBox* cmbZoom_ = nullptr;
    QComboBox* cbSize_ = nullptr;
    QActionGroup* toolGroup_ = nullptr;
    QList<QAction*> toolActions_;
    QAction* actSelectVisible_ = nullptr;
    QLabel* statusPanel0_ = nullptr;
    QLabel* statusPanel1_ = nullptr;

    QMenu* mFile_ = nullptr;
    QMenu* mRecent_ = nullptr;
    std::vector<std::string> recent_;   // newest first, as in the settings file
    void RebuildRecentMenu();
    void OpenRecentFile(const QString& path);
    QMenu* mShow_ = nullptr;
    QMenu* mTool_ = nullptr;
    QMenu* mWindow_ = nullptr;
    QMenu* mHelp_ = nullptr;
    QAction* actShowStandard_ = nullptr;
    QAction* actShowEdit_ = nullptr;
    QAction* actShowView_ = nullptr;
    QAction* actShowLayer_ = nullptr;
    QAction* actShowColor_ = nullptr;
    QAction* actStatusBar_ = nullptr;
};

}  // namespace pq::gui
