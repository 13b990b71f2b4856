#include "gui/document/document_files.h"

#include <QFileInfo>

namespace pq::gui {

namespace {
constexpr const char* kNotYetReadable = "この形式のファイルはまだ読み込めません。";
constexpr const char* kNotYetWritable = "この形式のファイルはまだ保存できません。";
}  // namespace

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
    (void)doc;
    (void)request;
    switch (KindOfFileName(path)) {
    case DocumentFileKind::Unknown: return pq::FileResult::Failure("");
    // Readers of the native document, icon/cursor and picture import plug in here.
    case DocumentFileKind::Native:
    case DocumentFileKind::Icon:
    case DocumentFileKind::Cursor:
    case DocumentFileKind::Bitmap:
    case DocumentFileKind::Jpeg: break;
    }
    return pq::FileResult::Failure(kNotYetReadable);
}

pq::FileResult WriteDocumentFile(const QString& path, const pq::Document& doc) {
    (void)doc;
    (void)path;
    // Writers of the native document, icons, cursors and bitmaps plug in here.
    return pq::FileResult::Failure(kNotYetWritable);
}

QString OpenFileFilter() {
    return "PixquilFile(*.pqf) (*.pqf);;アイコン(*ico) (*.ico);;カーソル(*.cur) (*.cur);;ビットマップ(*.bmp) (*.bmp);;"
           "JPEG(*.jpg;*.jpeg) (*.jpg *.jpeg);;開けるファイル(*.pqf;*.ico;*.cur;*.bmp;*.jpg;*.jpeg) "
           "(*.pqf *.ico *.cur *.bmp *.jpg *.jpeg)";
}

QString SaveFileFilter() {
    return "PixquilFile(*.pqf) (*.pqf);;アイコン(*ico) (*.ico);;カーソル(*.cur) (*.cur);;ビットマップ(*.bmp) (*.bmp)";
}

}  // namespace pq::gui
