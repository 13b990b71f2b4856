#include "gui/document/document_files.h"

#include <QFileInfo>

#include "gui/formats/file_commands.h"

namespace pq::gui {

DocumentFileKind KindOfFileName(const QString& name) {
    const QString ext = QFileInfo(name).suffix().toLower();
    if (ext == "pqf") return DocumentFileKind::Native;
    if (ext == "ico") return DocumentFileKind::Icon;
    if (ext == "cur") return DocumentFileKind::Cursor;
    if (ext == "bmp") return DocumentFileKind::Bitmap;
    if (ext == "jpg" || ext == "jpeg") return DocumentFileKind::Jpeg;
    return DocumentFileKind::Unknown;
}

pq::FileResult ReadDocumentFile(const QString& path, pq::Document& doc, const ReadRequest& request) {
    return ReadFormatFile(path, KindOfFileName(path), doc, request);
}

pq::FileResult WriteDocumentFile(const QString& path, const pq::Document& doc) {
    return WriteFormatFile(path, KindOfFileName(path), doc);
}

QString OpenFileFilter() {
    return "PixquilFile(*.pqf) (*.pqf);;アイコン(*ico) (*.ico);;カーソル(*.cur) (*.cur);;ビットマップ(*.bmp) (*.bmp);;"
           "JPEG(*.jpg;*.jpeg) (*.jpg *.jpeg);;開けるファイル(*.pqf;*.ico;*.cur;*.bmp;*.jpg;*.jpeg) "
           "(*.pqf *.ico *.cur *.bmp *.jpg *.jpeg)";
}

QString SaveFileFilter() {
    return "PixquilFile(*.pqf) (*.pqf);;アイコン(*.ico) (*.ico);;カーソル(*.cur) (*.cur);;ビットマップ(*.bmp) (*.bmp)";
}

}  // namespace pq::gui
