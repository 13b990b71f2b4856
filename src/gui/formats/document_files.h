#pragma once
// The one table through which the document windows read and write files: the reader is chosen
// by the file name's extension (compared without regard to case), or by the file's first bytes
// when the name says nothing the editor knows; the writer by the extension. The readers and
// writers of each kind are the file commands' (gui/formats/file_commands.h).

#include <QString>
#include <optional>
#include <vector>

#include "core/document/document.h"
#include "core/document/quality_reduction.h"
#include "core/formats/file_result.h"
#include "core/formats/ani_file.h"
#include "core/formats/cursor_animation.h"
#include "core/formats/icon_set.h"

class QWidget;

namespace pq::gui {

class Prompt;

// Ani and Xcursor open and save as animated sets (TImageForm::AdoptAnimation), never as one document.
enum class DocumentFileKind { Unknown, Native, Icon, Cursor, Bitmap, Jpeg, Png, Ani, Xcursor };

DocumentFileKind KindOfFileName(const QString& name);
// The kind of an existing file: its name's, else (an extension the editor does not know, or none)
// what its first bytes show, so that "x.jpe", "x.dib" or a document without extension open.
DocumentFileKind KindOfFile(const QString& path);
// The message of a file that shows no kind the editor opens.
QString UnknownKindMessage(const QString& path);

// An animation as its file was read: the frames, and for an .ani what writes it back unchanged.
struct AnimationRead {
    pq::CursorAnimation Animation;
    std::optional<pq::AniSource> Source;
};

// What a reader may need besides the file: the zoom chosen in the zoom list (for the zoom rule of
// InitBlankDocument) and the prompt, for readers that ask the user (image or area choice).
struct ReadRequest {
    int SelectedZoom = 10;
    Prompt* prompt = nullptr;
    QWidget* parent = nullptr;
    // When given, すべて開く in the image chooser fills it with every image of the file (and the
    // document with the first), and the file's resource type.
    std::vector<pq::IconSetPage>* SetPages = nullptr;
    int* SetResourceType = nullptr;
    // How pictures and true-colour icon images are reduced to the palette.
    pq::ReductionOptions Reduction{};
    // When given, an .ani or Xcursor file fills it with every frame (and the document with the
    // first page); without it only that first page is read.
    std::optional<AnimationRead>* Animation = nullptr;
};

// Reads an existing file into `doc` (which the reader sets up with pq::InitBlankDocument), by
// the reader KindOfFile chooses. A file of no kind the editor opens fails with UnknownKindMessage.
pq::FileResult ReadDocumentFile(const QString& path, pq::Document& doc, const ReadRequest& request);

// True for a file read through the area picker (.bmp, .jpg, .jpeg, .png, or such content under
// another name): its document is made from the picture and is not that picture, so it never
// takes the picture's name.
bool OpensAsImport(const QString& path);

// Writes the document to `path` in the format its extension selects.
pq::FileResult WriteDocumentFile(const QString& path, const pq::Document& doc);

// Filters of the open and save dialogs. An .ani file has an entry of its own; an Xcursor file,
// which has no extension, opens by its first bytes under "すべてのファイル (*)".
QString OpenFileFilter();
inline constexpr int kOpenFilterAllIndex = 7;
QString SaveFileFilter();
// The save dialog of a set: SaveFileFilter's entries, then the kinds a set is written to whole
// as an animation ("アニメーションカーソル (*.ani)", "Xcursorファイル (*)").
QString SetSaveFileFilter();

}  // namespace pq::gui
