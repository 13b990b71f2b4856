#include "gui/formats/file_commands.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <algorithm>
#include <functional>

#include "core/document/selection.h"
#include "core/formats/ani_file.h"
#include "core/formats/atomic_write.h"
#include "core/formats/bitmap_file.h"
#include "core/formats/bmp_reader.h"
#include "core/formats/icon_container.h"
#include "core/formats/icon_file.h"
#include "core/formats/icon_set.h"
#include "core/formats/native_document.h"
#include "core/formats/palette_file.h"
#include "core/formats/picture_import.h"
#include "core/formats/png_file.h"
#include "core/formats/program_icons.h"
#include "core/formats/xcursor_file.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"
#include "gui/document/image_form.h"
#include "gui/formats/area_picker.h"
#include "gui/formats/exe_dll_dialog.h"
#include "gui/formats/icon_chooser.h"

namespace pq::gui {

namespace {

std::filesystem::path& ProgramFolderOverride() {
    static std::filesystem::path folder;
    return folder;
}

// Shows the wait cursor for the lifetime of the object.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

void ShowFailure(Prompt& prompt, QWidget* parent, const pq::FileResult& r) {
    if (!r.Ok && !r.Message.empty())
        prompt.Message(parent, "Pixquil", QString::fromStdString(r.Message), PromptIcon::Error, PromptButtons::Ok);
}

FileDialogRequest SaveIconDialog(const QString& initialName) {
    FileDialogRequest request;
    request.Title = kSaveAsTitle;
    request.Filter = SaveFileFilter();
    request.DefaultSuffix = "pqf";
    request.InitialName = initialName;
    return request;
}

// The entry of the save chooser's filter that writes `suffix` ("ico"); 0 when none does.
int SaveFilterIndexOf(const QString& suffix) {
    // The set's filter begins with every entry of the document's, in the same places.
    const QStringList entries = SetSaveFileFilter().split(";;");
    for (int i = 0; i < entries.size(); ++i)
        if (entries[i].endsWith("(*." + suffix + ")")) return i;
    return 0;
}

// The name the save chooser proposes. A document made from a picture proposes the picture's
// name beside it with `suffix` (".ico" for 上書き保存, none for 名前を付けて保存, whose default
// extension then applies), so that the picture is replaced only when the user picks it.
QString ProposedName(const TImageForm& form, const QString& suffix) {
    const QString picture = form.ImportSource();
    if (picture.isEmpty()) return suffix.isEmpty() ? ProposedSaveName(form.DocumentName()) : form.DocumentName();
    const QFileInfo info(picture);
    return info.dir().filePath(info.completeBaseName() + suffix);
}

// Writes and, on success, makes the path the document's name and clears Modified.
bool WriteAndAdopt(TImageForm& form, Prompt& prompt, const QString& path, DocumentFileKind kind) {
    const pq::FileResult r = WriteFormatFile(path, kind, form.Doc());
    if (!r.Ok) {
        ShowFailure(prompt, &form, r);
        return false;
    }
    form.SetFilePath(path);
    form.Doc().Modified = false;
    return true;
}

int ResourceTypeOf(DocumentFileKind kind) {
    return kind == DocumentFileKind::Cursor ? pq::kCursorResourceType : pq::kIconResourceType;
}

// Writes every page of the set into one icon or cursor file; on success the file is the set's.
bool WriteSetAndAdopt(TImageForm& form, Prompt& prompt, const QString& path, DocumentFileKind kind) {
    const int type = ResourceTypeOf(kind);
    std::vector<pq::Document> shown;
    shown.reserve(std::size_t(form.PageCount()));
    for (int i = 0; i < form.PageCount(); ++i) shown.push_back(pq::DocumentAsShown(form.PageDoc(i)));
    std::vector<pq::IconSetEntry> entries;
    for (int i = 0; i < form.PageCount(); ++i) {
        const IconPage& page = form.PageAt(i);
        const bool unchanged = !form.PageDoc(i).Modified && page.Stored;
        entries.push_back({&shown[std::size_t(i)], page.Kind, unchanged ? &*page.Stored : nullptr, page.StoredType,
                           page.Stored ? &*page.Stored : nullptr, page.StoredType});
    }
    std::vector<pq::StoredIconImage> written;
    const pq::FileResult r = pq::SaveIconSet(entries, ToFsPath(path), type, &written);
    if (!r.Ok) {
        ShowFailure(prompt, &form, r);
        return false;
    }
    form.MarkSetSaved(written, type);
    form.SetFilePath(path);
    return true;
}

// An animation's kind: the set has several frames, or was read from (or saved as) an animation.
bool IsAnimation(const TImageForm& form) {
    if (form.FrameCount() > 1 || form.AnimationSource()) return true;
    if (form.FilePath().isEmpty()) return false;
    const DocumentFileKind kind = KindOfFile(form.FilePath());
    return kind == DocumentFileKind::Ani || kind == DocumentFileKind::Xcursor;
}

// Writes the set as an animation (.ani or Xcursor); on success the file is the set's. An .ani
// is read back for what writes it again unchanged.
bool WriteAnimationAndAdopt(TImageForm& form, Prompt& prompt, const QString& path, DocumentFileKind kind) {
    const pq::CursorAnimation anim = form.Animation();
    const pq::FileResult r = kind == DocumentFileKind::Ani ? pq::SaveAniFile(anim, form.AnimationSource(), ToFsPath(path))
                                                           : pq::SaveXcursorFile(anim, ToFsPath(path));
    if (!r.Ok) {
        ShowFailure(prompt, &form, r);
        return false;
    }
    std::optional<pq::AniFile> back;
    if (kind == DocumentFileKind::Ani) {
        back.emplace();
        if (!pq::ReadAniFile(ToFsPath(path), form.Doc().Zoom, *back).Ok) back.reset();
    }
    form.MarkAnimationSaved(back ? &back->Source : nullptr);
    form.SetFilePath(path);
    return true;
}

void SayAnimationNotIcon(TImageForm& form, Prompt& prompt, const QString& title) {
    prompt.Message(&form, title, kAnimationNotIconMessage, PromptIcon::Warning, PromptButtons::Ok);
}

// 名前を付けて保存 of a set. An .ico or .cur file takes every page; a one-image kind takes the
// current page only, after saying so, and the set keeps its own file. `wholeSet`: true only
// when the whole set was written (what 上書き保存 and closing need).
bool SaveSetAs(TImageForm& form, Prompt& prompt, bool wholeSet) {
    // The chooser opens on the set's own kind: its filter (which sets the suffix added) and name.
    const bool animation = IsAnimation(form);
    const bool xcursor = animation && !form.FilePath().isEmpty() && KindOfFile(form.FilePath()) == DocumentFileKind::Xcursor;
    QString suffix = form.SetResourceType() == pq::kCursorResourceType ? "cur" : "ico";
    if (animation) suffix = xcursor ? QString() : "ani";
    FileDialogRequest request = SaveIconDialog(ProposedName(form, QString()) + (suffix.isEmpty() ? "" : "." + suffix));
    request.Filter = SetSaveFileFilter();
    request.DefaultSuffix = suffix;
    request.FilterIndex = xcursor ? SetSaveFileFilter().split(";;").size() - 1 : SaveFilterIndexOf(suffix);
    const auto chosen = prompt.SaveFileName(&form, request);
    if (!chosen) return false;
    DocumentFileKind kind = KindOfFileName(*chosen);
    // An Xcursor file has no extension of its own: an animation named without one is written so.
    if (kind == DocumentFileKind::Unknown && animation && QFileInfo(*chosen).suffix().isEmpty())
        kind = DocumentFileKind::Xcursor;
    if (kind == DocumentFileKind::Ani || kind == DocumentFileKind::Xcursor)
        return WriteAnimationAndAdopt(form, prompt, *chosen, kind);
    if ((kind == DocumentFileKind::Icon || kind == DocumentFileKind::Cursor) && form.FrameCount() > 1) {
        SayAnimationNotIcon(form, prompt, kSaveAsTitle);
        return false;
    }
    if (kind == DocumentFileKind::Icon || kind == DocumentFileKind::Cursor)
        return WriteSetAndAdopt(form, prompt, *chosen, kind);
    if (kind == DocumentFileKind::Unknown || kind == DocumentFileKind::Jpeg) {
        prompt.Message(&form, kSaveAsTitle, kNoWriterMessage, PromptIcon::Warning, PromptButtons::Ok);
        return false;
    }
    if (prompt.Message(&form, kSaveAsTitle, kOnePageMessage, PromptIcon::Information, PromptButtons::OkCancel) !=
        PromptAnswer::Ok)
        return false;
    const pq::FileResult r = WriteFormatFile(*chosen, kind, form.Doc());
    ShowFailure(prompt, &form, r);
    return r.Ok && !wholeSet;
}

}  // namespace

std::filesystem::path ToFsPath(const QString& path) { return std::filesystem::path(QFile::encodeName(path).toStdString()); }

// ---- readers -------------------------------------------------------------------------------------

pq::FileResult ReadIconOrCursor(const QString& path, pq::Document& doc, const ReadRequest& request) {
    std::vector<uint8_t> bytes;
    if (pq::FileResult r = pq::ReadIconFileBytes(ToFsPath(path), bytes); !r.Ok) return r;
    pq::IconDirectory dir;
    if (pq::FileResult r = pq::ReadIconDirectory(bytes, dir); !r.Ok) return r;
    std::optional<IconChoice> choice = IconChoice{};
    if (dir.Entries.size() != 1) {
        if (!request.prompt) return pq::FileResult::Failure(pq::kIconOpenError);
        choice = ChooseIconImage(*request.prompt, request.parent, dir, bytes);
        if (!choice) return pq::FileResult::Failure("");
    }
    if (choice->All && request.SetPages) {
        std::vector<pq::IconSetPage> pages;
        int type = pq::kIconResourceType;
        if (pq::FileResult r = pq::LoadIconSet(bytes, request.SelectedZoom, pages, type, nullptr, request.Reduction);
            !r.Ok)
            return r;
        for (pq::IconSetPage& page : pages) page.Doc.Origin.Path = ToFsPath(path).string();
        doc = pages.front().Doc;
        *request.SetPages = std::move(pages);
        if (request.SetResourceType) *request.SetResourceType = type;
        return pq::FileResult::Success();
    }
    pq::FileResult r = pq::LoadIconImage(bytes, dir, choice->Index, doc, request.SelectedZoom, request.Reduction);
    // Remembered so that saving into this very file replaces only this image.
    if (r.Ok) doc.Origin.Path = ToFsPath(path).string();
    return r;
}

namespace {

// The picture the area picker shows, and for a picture with alpha of its own (a PNG, a 32-bit
// bitmap) its straight pixels from the same decode, which the フルカラー import takes. A 32-bit
// bitmap whose alpha bytes are used is shown over white with its clear pixels transparent, as
// a PNG is.
pq::FileResult LoadPictureForImport(const std::filesystem::path& path, pq::PictureKind kind, pq::Raster& picture,
                                    pq::Plane& transparent, std::vector<pq::Rgba8>& rgba, bool& withAlpha) {
    withAlpha = false;
    if (kind == pq::PictureKind::Png) {
        withAlpha = true;
        return pq::LoadPngPictureRgba(path, picture, transparent, rgba);
    }
    pq::BitmapInfo info;
    if (kind != pq::PictureKind::Bitmap || !pq::ReadBitmapFileInfo(path, info).Ok || info.BitsPerPixel != 32)
        return pq::LoadPicture(path, kind, picture, &transparent);
    std::vector<std::uint8_t> bytes;
    if (pq::FileResult r = pq::ReadPictureFileBytes(path, bytes); !r.Ok) return r;
    if (pq::FileResult r = pq::DecodeBitmap(bytes, picture); !r.Ok) return r;
    withAlpha = true;
    // The reader's colours, opaque unless the file's alpha bytes say otherwise.
    const int w = picture.Width(), h = picture.Height();
    rgba.resize(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const pq::Rgb c = picture.Pixel(x, y);
            rgba[std::size_t(y) * w + x] = pq::Rgba8{c.r, c.g, c.b, 255};
        }
    pq::ApplyBitmapAlpha(bytes, rgba, w, h);
    if (std::any_of(rgba.begin(), rgba.end(), [](const pq::Rgba8& c) { return c.a != 255; }))
        pq::PictureOverWhite(rgba, w, h, picture, transparent);
    return pq::FileResult::Success();
}

}  // namespace

pq::FileResult ImportPicture(const QString& path, pq::PictureKind kind, pq::Document& doc,
                             const ReadRequest& request) {
    pq::Raster picture;
    pq::Plane transparent;          // the fully transparent pixels of a picture with alpha
    std::vector<pq::Rgba8> rgba;    // the same picture's straight pixels
    bool withAlpha = false;
    if (pq::FileResult r = LoadPictureForImport(ToFsPath(path), kind, picture, transparent, rgba, withAlpha); !r.Ok)
        return r;
    if (!request.prompt) return pq::FileResult::Failure("");
    TfrmSelectOpenArea dialog(request.parent, picture, AreaPickerMode::Import, 16, 16, &transparent);
    dialog.OfferTrueColor(withAlpha);
    if (!request.prompt->RunDialog(dialog)) return pq::FileResult::Failure("");
    WaitCursor wait;
    if (dialog.TrueColorChosen()) {
        pq::Document made = AreaTrueColorDocument(rgba, picture.Width(), picture.Height(), dialog.Picker().FrameRect(),
                                                  dialog.Preview().Width(), dialog.Preview().Height(),
                                                  request.SelectedZoom);
        if (!made.Ready) return pq::FileResult::Failure(pq::kPictureTooLargeMessage);
        doc = std::move(made);
        return pq::FileResult::Success();
    }
    pq::ImportPictureDocument(doc, dialog.Preview(), dialog.OutputColors(), request.SelectedZoom,
                              &dialog.Picker().PreviewUnpainted(), request.Reduction);
    return pq::FileResult::Success();
}

pq::FileResult ReadAnimation(const QString& path, DocumentFileKind kind, pq::Document& doc,
                             const ReadRequest& request) {
    AnimationRead read;
    if (kind == DocumentFileKind::Ani) {
        pq::AniFile file;
        if (pq::FileResult r = pq::ReadAniFile(ToFsPath(path), request.SelectedZoom, file); !r.Ok) return r;
        read.Animation = std::move(file.Animation);
        read.Source = std::move(file.Source);
    } else if (pq::FileResult r = pq::ReadXcursorFile(ToFsPath(path), request.SelectedZoom, read.Animation); !r.Ok) {
        return r;
    }
    // The readers refuse a file without a page, so the first frame has one.
    for (pq::CursorFrame& frame : read.Animation.Frames)
        for (pq::IconSetPage& page : frame.Sizes) page.Doc.Origin.Path = ToFsPath(path).string();
    doc = read.Animation.Frames.front().Sizes.front().Doc;
    if (request.Animation) *request.Animation = std::move(read);
    return pq::FileResult::Success();
}

pq::FileResult ReadFormatFile(const QString& path, DocumentFileKind kind, pq::Document& doc,
                              const ReadRequest& request) {
    switch (kind) {
    case DocumentFileKind::Ani:
    case DocumentFileKind::Xcursor: return ReadAnimation(path, kind, doc, request);
    case DocumentFileKind::Native: return pq::LoadDocumentFile(ToFsPath(path), doc, request.SelectedZoom);
    case DocumentFileKind::Icon:
    case DocumentFileKind::Cursor: return ReadIconOrCursor(path, doc, request);
    case DocumentFileKind::Bitmap: return ImportPicture(path, pq::PictureKind::Bitmap, doc, request);
    case DocumentFileKind::Jpeg: return ImportPicture(path, pq::PictureKind::Jpeg, doc, request);
    case DocumentFileKind::Png: return ImportPicture(path, pq::PictureKind::Png, doc, request);
    case DocumentFileKind::Unknown: break;
    }
    return pq::FileResult::Failure("");
}

// ---- writers -------------------------------------------------------------------------------------

pq::FileResult WriteFormatFile(const QString& path, DocumentFileKind kind, const pq::Document& shownDoc) {
    const std::filesystem::path target = ToFsPath(path);
    // Writers see the picture as the canvas shows it: a floating selection's pixels are put down
    // in a copy (the window keeps them floating); the layer alone has the hole lifting left.
    const pq::Document doc = pq::DocumentAsShown(shownDoc);
    switch (kind) {
    case DocumentFileKind::Native: return pq::SaveDocumentFile(doc, target);
    case DocumentFileKind::Icon: return pq::SaveIconKeepingOthers(doc, target, pq::kIconResourceType);
    case DocumentFileKind::Cursor: return pq::SaveIconKeepingOthers(doc, target, pq::kCursorResourceType);
    case DocumentFileKind::Bitmap: return pq::SaveBitmapFile(doc, target);
    case DocumentFileKind::Png: return pq::SavePngFile(doc, target);
    case DocumentFileKind::Ani:
    case DocumentFileKind::Xcursor: {
        // One document is an animation of one frame shown in one step.
        pq::CursorFrame frame;
        pq::IconSetPage page;
        page.Doc = doc;
        page.Kind = pq::NewPageKind(doc.ImageWidth, doc.ImageHeight);
        frame.Sizes.push_back(std::move(page));
        const pq::CursorAnimation anim =
            pq::AnimationOfFrames({std::move(frame)}, kDefaultFrameMilliseconds, pq::kCursorResourceType);
        return kind == DocumentFileKind::Ani ? pq::SaveAniFile(anim, nullptr, target)
                                             : pq::SaveXcursorFile(anim, target);
    }
    case DocumentFileKind::Jpeg:
    case DocumentFileKind::Unknown: break;
    }
    return pq::FileResult::Failure(kNoWriterMessage);
}

// ---- save commands -----------------------------------------------------------------------------

QString ProposedSaveName(const QString& caption) {
    const int dot = caption.lastIndexOf('.');
    const int separator = std::max(caption.lastIndexOf('/'), caption.lastIndexOf('\\'));
    if (dot <= separator + 1) return caption;   // no extension (a leading dot names a hidden file)
    return caption.left(dot);
}

bool Save1Click(TImageForm& form, Prompt& prompt, QWidget* mainWindow) {
    QString path = form.FilePath();
    if (form.IsSet()) {
        // A set is written whole into its icon or cursor file (a cursor set keeps every page's
        // hotspot, so it may be overwritten); without such a file it asks for one.
        const DocumentFileKind kind = path.isEmpty() ? DocumentFileKind::Unknown : KindOfFile(path);
        const bool file = QFileInfo(path).isFile();
        if ((kind == DocumentFileKind::Ani || kind == DocumentFileKind::Xcursor) && file)
            return WriteAnimationAndAdopt(form, prompt, path, kind);
        if ((kind == DocumentFileKind::Icon || kind == DocumentFileKind::Cursor) && file && form.FrameCount() > 1) {
            SayAnimationNotIcon(form, prompt, kSaveTitle);
            return false;
        }
        if ((kind == DocumentFileKind::Icon || kind == DocumentFileKind::Cursor) && file)
            return WriteSetAndAdopt(form, prompt, path, kind);
        return SaveSetAs(form, prompt, true);
    }
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        FileDialogRequest request = SaveIconDialog(ProposedName(form, ".ico"));
        if (!form.ImportSource().isEmpty()) request.FilterIndex = SaveFilterIndexOf("ico");
        const auto chosen = prompt.SaveFileName(&form, request);
        if (!chosen) return false;
        path = *chosen;
    }
    // A file opened by its first bytes (no extension, or one the editor does not know) is
    // written back as that kind.
    const DocumentFileKind kind = KindOfFile(path);
    if (kind != DocumentFileKind::Native && kind != DocumentFileKind::Icon && kind != DocumentFileKind::Bitmap) {
        // A cursor's hotspot and pictures read through the area picker would not survive a
        // silent overwrite: only 名前を付けて保存 writes those.
        prompt.Message(mainWindow, kSaveTitle, kCannotOverwriteMessage, PromptIcon::Warning, PromptButtons::Ok);
        return false;
    }
    return WriteAndAdopt(form, prompt, path, kind);
}

bool SaveAs1Click(TImageForm& form, Prompt& prompt) {
    if (form.IsSet()) return SaveSetAs(form, prompt, false);
    const auto chosen = prompt.SaveFileName(&form, SaveIconDialog(ProposedName(form, QString())));
    if (!chosen) return false;
    const DocumentFileKind kind = KindOfFileName(*chosen);
    if (kind == DocumentFileKind::Unknown || kind == DocumentFileKind::Jpeg) {
        prompt.Message(&form, kSaveAsTitle, kNoWriterMessage, PromptIcon::Warning, PromptButtons::Ok);
        return false;
    }
    return WriteAndAdopt(form, prompt, *chosen, kind);
}

// ---- palette commands --------------------------------------------------------------------------

void mcPalRepClick(TImageForm& form, Prompt& prompt) {
    FileDialogRequest request;
    request.Title = "開く";
    request.Filter = "パレット(*.pqp;*.pal;*.act) (*.pqp *.pal *.act)";
    const auto path = prompt.OpenFileName(&form, request);
    if (!path) return;
    const pq::FileResult r = pq::LoadPaletteFile(ToFsPath(*path), form.Doc());
    if (!r.Ok) {
        ShowFailure(prompt, &form, r);   // an unknown kind has no message: silently nothing
        return;
    }
    form.CommitEdit(kPaletteStep);
}

void mcPalSaveClick(TImageForm& form, Prompt& prompt) {
    // A name typed without extension gets the chosen filter's, so JASC text is named .pal.
    TSaveFileDialog dialog(&form, "名前を付けて保存");
    dialog.setObjectName("SavePalDlg");
    const QStringList filters = {"PixquilPalette (*.pqp)", "JASC-PAL (*.pal)"};
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters[0]);
    dialog.setDefaultSuffix("pqp");
    if (!prompt.RunDialog(dialog)) return;
    const QString path = dialog.ChosenFile();
    if (path.isEmpty()) return;
    const pq::PaletteFormat format = dialog.ChosenFilterIndex() == 1 ? pq::PaletteFormat::Jasc : pq::PaletteFormat::Pqp;
    ShowFailure(prompt, &form, pq::SavePalette(form.Doc(), ToFsPath(path), format));
}

std::filesystem::path ProgramFolder() {
    if (!ProgramFolderOverride().empty()) return ProgramFolderOverride();
    return ToFsPath(QCoreApplication::applicationDirPath());
}

void SetProgramFolder(const std::filesystem::path& folder) { ProgramFolderOverride() = folder; }

bool LoadProgramPalette(pq::Document& doc) {
    if (doc.ColorCount != 256) return false;
    const std::filesystem::path file = ProgramFolder() / "palette.pqp";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return false;
    return pq::LoadPaletteFile(file, doc).Ok;
}

// ---- wiring ------------------------------------------------------------------------------------

CommandTable SaveCommands() {
    return {
        {.Name = "Save1", .Caption = "上書き保存(&S)", .Hint = "既存のファイルに上書きします。", .Tooltip = "上書き保存",
         .Shortcut = QKeySequence("Ctrl+S"), .Run = [](TImageForm& form, FrameServices&) { form.Save(); }},
        {.Name = "SaveAs1", .Caption = "名前を付けて保存(&A)...", .Hint = "新しいファイルに名前を付けて保存します。",
         .Tooltip = "名前を付けて保存", .Run = [](TImageForm& form, FrameServices&) { form.SaveAs(); }},
    };
}

CommandTable PaletteFileCommands() {
    return {
        {.Name = "mcPalRep", .Caption = "パレットの交換(&P)...", .Hint = "保存されているパレットと交換します。",
         .Run = [](TImageForm& form, FrameServices& frame) { mcPalRepClick(form, frame.GetPrompt()); }},
        {.Name = "mcPalSave", .Caption = "パレットの保存(&S)...", .Hint = "パレットを保存します。",
         .Run = [](TImageForm& form, FrameServices& frame) { mcPalSaveClick(form, frame.GetPrompt()); }},
    };
}

Command ExtractCommand() {
    return {.Name = "mtExtract", .Caption = "実行可能ファイルから読み込み(&E)...", .Hint = "EXE、DLLからアイコンを取り出します。",
            .RunOnFrame = [](FrameServices& frame) { mtExtractClick(frame); }};
}

void mtExtractClick(FrameServices& frame) {
    TfrmExeDll dialog(frame.FrameWidget(), frame.GetPrompt(), [&frame](const pq::IconPicture& icon) {
        const int number = frame.AdvanceWindowNumber();
        frame.OpenBuiltDocument(QString("Icon%1").arg(number),
                                [&icon, reduction = frame.Reduction()](pq::Document& doc, int zoom) {
                                    pq::IconFromPictures(doc, icon, zoom, reduction);
                                });
    });
    frame.GetPrompt().RunDialog(dialog);
    WaitCursor wait;
    for (TImageForm* form : frame.Forms()) form->Redraw();
}

}  // namespace pq::gui
