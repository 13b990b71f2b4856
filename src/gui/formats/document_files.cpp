#include "gui/formats/document_files.h"

#include <QStringList>

#include "core/formats/file_formats.h"
#include "core/io/atomic_write.h"
#include "gui/formats/file_commands.h"

namespace pq::gui {

namespace {

// "caption (*.a *.b)" for each kind the table gives that caption, in table order; the patterns
// of all of them are collected in `allPatterns`.
QStringList FilterEntries(std::string_view pq::FileFormat::*caption, QStringList& allPatterns) {
    QStringList entries;
    for (const pq::FileFormat& f : pq::FileFormats()) {
        const std::string_view label = f.*caption;
        if (label.empty()) continue;
        QStringList patterns;
        for (std::string_view e : f.Extensions)
            if (!e.empty()) patterns << "*" + QString::fromUtf8(e.data(), qsizetype(e.size()));
        const QString text = QString::fromUtf8(label.data(), qsizetype(label.size()));
        // A kind known by its first bytes alone matches any name, and says so as
        // "すべてのファイル (*)" does.
        if (patterns.isEmpty()) entries << text + " (*) (*)";
        else entries << text + " (" + patterns.join(' ') + ")";
        allPatterns << patterns;
    }
    return entries;
}

}  // namespace

namespace {

DocumentFileKind KindOfFormat(const pq::FileFormat* format) {
    if (!format || (!format->EditorOpens() && !format->EditorSaves() && !format->EditorEditsAsSet()))
        return DocumentFileKind::Unknown;
    switch (format->Id) {
    case pq::FileFormatId::Document: return DocumentFileKind::Native;
    case pq::FileFormatId::Icon: return DocumentFileKind::Icon;
    case pq::FileFormatId::Cursor: return DocumentFileKind::Cursor;
    case pq::FileFormatId::Bitmap: return DocumentFileKind::Bitmap;
    case pq::FileFormatId::Jpeg: return DocumentFileKind::Jpeg;
    case pq::FileFormatId::Png: return DocumentFileKind::Png;
    case pq::FileFormatId::Ani: return DocumentFileKind::Ani;
    case pq::FileFormatId::Xcursor: return DocumentFileKind::Xcursor;
    default: return DocumentFileKind::Unknown;
    }
}

}  // namespace

DocumentFileKind KindOfFileName(const QString& name) {
    return KindOfFormat(pq::FormatOfPath(std::filesystem::path(name.toStdString())));
}

DocumentFileKind KindOfFile(const QString& path) {
    const DocumentFileKind byName = KindOfFileName(path);
    if (byName != DocumentFileKind::Unknown) return byName;
    std::vector<uint8_t> head;
    if (pq::ReadFilePrefix(ToFsPath(path), pq::kContentSniffBytes, head) != pq::ReadStatus::Ok)
        return DocumentFileKind::Unknown;
    return KindOfFormat(pq::FormatOfContent(head));
}

QString UnknownKindMessage(const QString& path) {
    const std::string kinds =
        pq::ExtensionList([](const pq::FileFormat& f) { return f.EditorOpens() || f.EditorEditsAsSet(); });
    return "「" + path + "」を開けません。\n開けるのは " + QString::fromStdString(kinds) + " のファイルです。";
}

pq::FileResult ReadDocumentFile(const QString& path, pq::Document& doc, const ReadRequest& request) {
    const DocumentFileKind kind = KindOfFile(path);
    if (kind == DocumentFileKind::Unknown) return pq::FileResult::Failure(UnknownKindMessage(path).toStdString());
    return ReadFormatFile(path, kind, doc, request);
}

bool OpensAsImport(const QString& path) {
    const DocumentFileKind kind = KindOfFile(path);
    return kind == DocumentFileKind::Bitmap || kind == DocumentFileKind::Jpeg || kind == DocumentFileKind::Png;
}

pq::FileResult WriteDocumentFile(const QString& path, const pq::Document& doc) {
    return WriteFormatFile(path, KindOfFileName(path), doc);
}

QString OpenFileFilter() {
    QStringList patterns;
    QStringList entries = FilterEntries(&pq::FileFormat::OpenCaption, patterns);
    // Animations open as sets of frames. An Xcursor file has no extension of its own: it is
    // among "すべてのファイル", known by its first bytes.
    for (const QString& entry : FilterEntries(&pq::FileFormat::SetCaption, patterns))
        if (!entry.endsWith(" (*) (*)")) entries << entry;
    entries << "開けるファイル(" + patterns.join(';') + ") (" + patterns.join(' ') + ")";
    // Last, for a file whose name does not tell its kind: it opens by its first bytes. Shown
    // as "すべてのファイル (*)" like the other entries, whose patterns are part of their captions.
    entries << "すべてのファイル (*) (*)";
    return entries.join(";;");
}

QString SaveFileFilter() {
    QStringList patterns;
    return FilterEntries(&pq::FileFormat::SaveCaption, patterns).join(";;");
}

QString SetSaveFileFilter() {
    QStringList patterns;
    QStringList entries = FilterEntries(&pq::FileFormat::SaveCaption, patterns);
    entries << FilterEntries(&pq::FileFormat::SetCaption, patterns);
    return entries.join(";;");
}

}  // namespace pq::gui
