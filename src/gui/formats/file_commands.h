#pragma once
// The file commands of the editor over the core readers and writers: reading a file into a
// fresh document (asking for the image of a multi-image icon, or the area of a picture), the
// writers by extension, 上書き保存 / 名前を付けて保存, the palette exchange and save, and the
// palette "palette.pqp" beside the program for new 256-colour documents. Every question and
// message goes through the prompt.

#include <QString>
#include <filesystem>

#include "core/document/document.h"
#include "core/formats/file_result.h"
#include "core/formats/picture_import.h"
#include "gui/kit/command_table.h"
#include "gui/formats/document_files.h"

class QWidget;

namespace pq::gui {

class FrameServices;
class Prompt;
class TImageForm;

// Texts of the save commands.
inline constexpr const char* kSaveTitle = "上書き保存";
inline constexpr const char* kSaveAsTitle = "名前を付けて保存";
inline constexpr const char* kCannotOverwriteMessage =
    "この形式のファイルは上書き保存できません。\n名前をつけて保存を選んでください。";
inline constexpr const char* kNoWriterMessage =
    "この形式では保存できません。\n拡張子を .pqf、.ico、.cur、.bmp、.png のいずれかにしてください。";
inline constexpr const char* kPaletteStep = "パレット交換";
inline constexpr const char* kAnimationNotIconMessage =
    "このアイコンには複数のフレームがあるため、.ico や .cur には保存できません。\n"
    "アニメーションカーソル (.ani) として保存してください。";
inline constexpr const char* kOnePageMessage =
    "この形式のファイルに保存できるのは現在のページだけです。\n現在のページを保存しますか？";

std::filesystem::path ToFsPath(const QString& path);

// ---- readers -------------------------------------------------------------------------------------
// The reader of each kind; Unknown fails with an empty message (nothing is shown). Cancel in the
// image chooser or the area picker fails with an empty message too. `doc` changes only on success.
pq::FileResult ReadFormatFile(const QString& path, DocumentFileKind kind, pq::Document& doc,
                              const ReadRequest& request);
// .ico / .cur: the chooser TForm7 when the file holds more than one image.
pq::FileResult ReadIconOrCursor(const QString& path, pq::Document& doc, const ReadRequest& request);
// .ani / Xcursor: every frame into request.Animation (when given), the first page into `doc`;
// the reader's refusal as it is.
pq::FileResult ReadAnimation(const QString& path, DocumentFileKind kind, pq::Document& doc,
                             const ReadRequest& request);
// .bmp / .jpg / .jpeg / .png: the area picker in import mode, then the preview reduced to 16 or
// 256 colours; pixels made mostly of a PNG's fully transparent ones stay unpainted.
pq::FileResult ImportPicture(const QString& path, pq::PictureKind kind, pq::Document& doc,
                             const ReadRequest& request);

// ---- writers -------------------------------------------------------------------------------------
// .pqf the native document; .ico an icon and .cur a cursor with the document's hotspot, written
// back into the file the document came from as its image only (pq::SaveIconKeepingOthers); .bmp
// a 24-bit bitmap; .ani and Xcursor an animation of this one picture. Any other kind writes
// nothing and fails with kNoWriterMessage.
pq::FileResult WriteFormatFile(const QString& path, DocumentFileKind kind, const pq::Document& doc);

// ---- save commands -----------------------------------------------------------------------------
// The proposed name of 名前を付けて保存: the caption without its extension.
QString ProposedSaveName(const QString& caption);
// A set is written whole: an animation (or any set) into its .ani or Xcursor file, a set of one
// frame into its .ico or .cur file; a set of several frames is refused there with
// kAnimationNotIconMessage. 名前を付けて保存 of an animation proposes .ani (an Xcursor file's own
// kind for one read from such a file) and writes a name without extension as an Xcursor file.
// 上書き保存: a document without a file asks for a name first (proposing its caption); .pqf,
// .ico and .bmp are written over the file without a question; .cur and other kinds are refused
// with a warning owned by `mainWindow`. True only when the file was written; then the caption
// becomes the path and Modified is cleared. A failed write keeps Modified and the old file.
bool Save1Click(TImageForm& form, Prompt& prompt, QWidget* mainWindow);
// 名前を付けて保存: proposes the caption without its extension, default extension "pqf".
bool SaveAs1Click(TImageForm& form, Prompt& prompt);

// ---- palette commands --------------------------------------------------------------------------
// パレットの交換: a file of no known kind changes nothing silently; a malformed one is reported
// and changes nothing; otherwise the palette is replaced and the step "パレット交換" recorded.
void mcPalRepClick(TImageForm& form, Prompt& prompt);
// パレットの保存: the save chooser "SavePalDlg" (run through the prompt); the filter chosen, not
// the extension typed, decides between .pqp and JASC-PAL.
void mcPalSaveClick(TImageForm& form, Prompt& prompt);

// The program's own folder (where "palette.pqp" is looked for); tests may point it elsewhere.
std::filesystem::path ProgramFolder();
void SetProgramFolder(const std::filesystem::path& folder);
// A new 256-colour document takes the palette of "palette.pqp" in the program folder when that
// file exists and reads; otherwise (and for 16 colours) nothing changes. No undo step.
bool LoadProgramPalette(pq::Document& doc);

// ---- wiring ------------------------------------------------------------------------------------
// The File menu's 上書き保存 and 名前を付けて保存.
CommandTable SaveCommands();
// The Palette menu's パレットの交換 and パレットの保存.
CommandTable PaletteFileCommands();
// Tool > 実行可能ファイルから読み込み(&E)....
Command ExtractCommand();
// Tool > 実行可能ファイルから読み込み(&E)...: the dialog TfrmExeDll; each icon taken becomes a
// 32 x 32 document "Icon" + the next window number; afterwards every window is redrawn.
void mtExtractClick(FrameServices& frame);

}  // namespace pq::gui
