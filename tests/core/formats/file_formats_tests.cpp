#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "core/formats/bmp_reader.h"
#include "core/formats/file_formats.h"
#include "core/formats/icon_file.h"
#include "core/formats/jpeg_reader.h"
#include "core/formats/native_document.h"
#include "core/formats/palette_file.h"
#include "core/formats/png_file.h"
#include "core/formats/program_icons.h"
#include "core/io/atomic_write.h"
#include "support/test_paths.h"

namespace pq {
namespace {

TEST(FileFormats, ExtensionsInAnyCaseNameOneKindAndTheEditorsSets) {
    EXPECT_EQ(FormatOfPath("a/b.JPEG")->Id, FileFormatId::Jpeg);
    EXPECT_EQ(FormatOfPath("x.Cur")->Id, FileFormatId::Cursor);
    EXPECT_EQ(FormatOfPath("dir.ico/file"), nullptr);
    EXPECT_EQ(FormatOfPath("pqf"), nullptr);
    EXPECT_EQ(FormatOfPath("a.gif"), nullptr);

    std::set<std::string> seen;
    std::string opens, saves;
    for (const FileFormat& f : FileFormats())
        for (std::string_view e : f.Extensions) {
            if (e.empty()) continue;
            EXPECT_TRUE(seen.insert(std::string(e)).second) << e << " is listed twice";
            EXPECT_EQ(FormatOfPath("name" + std::string(e)), &f);
            if (f.EditorOpens()) opens += std::string(e) + " ";
            if (f.EditorSaves()) saves += std::string(e) + " ";
            // What the editor saves has a writer; what it opens has a document reader.
            if (f.EditorSaves()) {
                EXPECT_NE(f.Writer, nullptr) << e;
            }
        }
    EXPECT_EQ(opens, ".pqf .ico .cur .bmp .jpg .jpeg .png ");
    EXPECT_EQ(saves, ".pqf .ico .cur .bmp .png ");
    EXPECT_EQ(ExtensionList([](const FileFormat& f) { return f.Writer != nullptr; }),
              ".pqf, .ico, .cur, .bmp, .pqp, .pal, .png");
}

TEST(FileFormats, FirstBytesOfPicturesAndOfNothingKnown) {
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(ReadFileBytes(test::DataDir() / "jpeg_reader" / "gradient.jpg", jpeg).Ok);
    EXPECT_EQ(FormatOfContent(jpeg)->Id, FileFormatId::Jpeg);
    const std::vector<std::vector<uint8_t>> unknown = {
        {}, {'B'}, {'p', 'q', 'f', 'x'}, {0, 0, 3, 0}, {0, 0, 1}, {0xFF, 0xD8}, {'R', 'I', 'F', 'F'}, {'J', 'A', 'S', 'C'}};
    for (const auto& head : unknown) EXPECT_EQ(FormatOfContent(head), nullptr) << head.size();
}

// Each writer in the table writes the kind its extension names: read back by that kind's reader.
TEST(FileFormats, EachWriterWritesTheKindItsExtensionNames) {
    test::TempDir dir;
    Document doc;
    InitBlankDocument(doc, 16, 16, 16, 10);
    doc.LayerAt(0).Mask[5] = 1;
    doc.LayerAt(0).Indices[5] = 3;
    for (const FileFormat& f : FileFormats()) {
        if (!f.Writer) continue;
        const std::filesystem::path path = dir / ("out" + std::string(f.Extensions[0]));
        ASSERT_TRUE(f.Writer(doc, path).Ok) << path;
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(ReadFileBytes(path, bytes).Ok);
        // A file whose name says nothing is known by its first bytes as what wrote it.
        EXPECT_EQ(FormatOfContent(std::span(bytes).first(std::min(bytes.size(), kContentSniffBytes))), &f) << path;
        Document back;
        Raster picture;
        switch (f.Id) {
        case FileFormatId::Document: EXPECT_TRUE(LoadDocumentBytes(bytes, back, 10).Ok); break;
        case FileFormatId::Icon:
        case FileFormatId::Cursor: {
            IconDirectory icons;
            ASSERT_TRUE(ReadIconDirectory(bytes, icons).Ok);
            EXPECT_EQ(icons.ResourceType, f.Id == FileFormatId::Icon ? kIconResourceType : kCursorResourceType);
            break;
        }
        case FileFormatId::Bitmap: EXPECT_TRUE(DecodeBitmap(bytes, picture).Ok); break;
        case FileFormatId::PqpPalette:
            EXPECT_EQ(DescribePaletteFile(bytes, path).Kind, PaletteKind::Pqp);
            break;
        case FileFormatId::PalPalette:
            EXPECT_EQ(DescribePaletteFile(bytes, path).Kind, PaletteKind::Jasc);
            break;
        case FileFormatId::Png: EXPECT_EQ(bytes, EncodePng(doc)); break;
        default: ADD_FAILURE() << "no check for " << path;
        }
    }
}

// Folders, FIFOs (which block a plain open until a writer comes) and files far larger than
// their format can need are refused by every reader at once, with the reader's own message.
TEST(FileFormats, EveryReaderRefusesFoldersFifosAndOversizedFilesAtOnce) {
    test::TempDir dir;
    Document doc;
    Raster picture;
    BitmapInfo bitmapInfo;
    JpegInfo jpegInfo;
    ProgramIcons icons;
    const std::string unreadable = "を読み込めませんでした。";
    struct Reader {
        const char* extension;
        std::function<FileResult(const std::filesystem::path&)> read;
        std::string openMessage;       // a part of the message for a folder or FIFO
        std::uint64_t oversize = 0;    // a size the format refuses unread (0: none)
        std::string largeMessage;
    };
    const std::vector<Reader> readers = {
        {".pqf", [&](const auto& p) { return LoadDocumentFile(p, doc, 10); }, unreadable, 0, ""},
        {".ico", [&](const auto& p) { return LoadIconFile(p, 0, doc, 10); }, unreadable, 3ull << 29, kIconOpenError},
        {".pal", [&](const auto& p) { return LoadPaletteFile(p, doc); }, unreadable, 2u << 20, kPaletteFileError},
        {".bmp", [&](const auto& p) { return LoadBitmapFile(p, picture); }, kPictureFileOpenMessage, 1ull << 30,
         kPictureTooLargeMessage},
        {".bmp", [&](const auto& p) { return ReadBitmapFileInfo(p, bitmapInfo); }, kPictureFileOpenMessage, 1ull << 30,
         kPictureTooLargeMessage},
        {".jpg", [&](const auto& p) { return LoadJpegFile(p, picture); }, kPictureFileOpenMessage, 1ull << 30,
         kPictureTooLargeMessage},
        {".jpg", [&](const auto& p) { return ReadJpegFileInfo(p, jpegInfo); }, kPictureFileOpenMessage, 1ull << 30,
         kPictureTooLargeMessage},
        {".exe", [&](const auto& p) { return ProgramIcons::Load(p, icons); }, kProgramFileOpenMessage, 0, ""},
    };
    InitBlankDocument(doc, 4, 4, 16, 10);
    for (const Reader& r : readers) {
        const std::filesystem::path folder = dir / (std::string("folder") + r.extension);
        const std::filesystem::path fifo = dir / (std::string("fifo") + r.extension);
        std::filesystem::create_directory(folder);
        ::mkfifo(fifo.c_str(), 0600);
        for (const auto& path : {folder, fifo}) {
            const FileResult result = r.read(path);
            EXPECT_FALSE(result.Ok) << path;
            EXPECT_NE(result.Message.find(r.openMessage), std::string::npos) << path << ": " << result.Message;
        }
        if (r.oversize == 0) continue;
        const std::filesystem::path huge = dir / (std::string("huge") + r.extension);
        { std::ofstream(huge) << "x"; }
        std::filesystem::resize_file(huge, r.oversize);   // sparse: nothing is stored
        EXPECT_EQ(r.read(huge).Message, r.largeMessage) << huge;
    }
    EXPECT_EQ(doc.ImageWidth, 4);   // nothing refused changed the document
}

}  // namespace
}  // namespace pq
