#pragma once
// The one table through which the document windows read and write files: the reader is chosen
// by the file name's extension (compared without regard to case), the writer likewise. The
// readers and writers of each kind are the file commands' (gui/formats/file_commands.h).

#include <QString>

#include "core/document/document.h"
#include "core/formats/file_result.h"

class QWidget;

namespace pq::gui {

class Prompt;

enum class DocumentFileKind { Unknown, Native, Icon, Cursor, Bitmap, Jpeg, Png };

DocumentFileKind KindOfFileName(const QString& name);

// What a reader may need besides the file: the zoom chosen in the zoom list (for the zoom rule of
// InitBlankDocument) and the prompt, for readers that ask the user (image or area choice).
struct ReadRequest {
    int SelectedZoom = 10;
    Prompt* prompt = nullptr;
    QWidget* parent = nullptr;
};

// Reads an existing file into `doc` (which the reader sets up with pq::InitBlankDocument).
// Unknown extensions fail with an empty message (nothing is shown).
pq::FileResult ReadDocumentFile(const QString& path, pq::Document& doc, const ReadRequest& request);

// Writes the document to `path` in the format its extension selects.
pq::FileResult WriteDocumentFile(const QString& path, const pq::Document& doc);

// Filters of the open and save dialogs.
QString OpenFileFilter();
inline constexpr int kOpenFilterAllIndex = 6;
QString SaveFileFilter();

}  // namespace pq::gui
