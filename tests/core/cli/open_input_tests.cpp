// A whole JPEG converted by pqtool to a size that is not square: the picture is fitted into the
// output's own width and height (decoded band by band), centred, and what it does not cover
// stays unpainted.
#include <gtest/gtest.h>

#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/formats/native_document.h"
#include "support/run_pqtool.h"
#include "support/test_paths.h"

namespace pq {
namespace {

// A baseline JPEG at quality 100 without chroma subsampling: red on the left half, blue on the
// right half (a tall picture: red on the top half, blue below).
std::vector<uint8_t> TwoColourJpeg(int w, int h) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    for (int i = 0; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(3 * std::size_t(w));
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < w; ++x) {
            const bool first = w >= h ? x < w / 2 : y < h / 2;
            row[3 * std::size_t(x)] = first ? 220 : 20;
            row[3 * std::size_t(x) + 1] = 30;
            row[3 * std::size_t(x) + 2] = first ? 20 : 220;
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

struct Case {
    int pictureWidth, pictureHeight, width, height;
    Rect painted;   // where the fitted picture lands
};

TEST(OpenInput, WholeJpegIsFittedIntoANonSquareOutput) {
    const Case cases[] = {
        // 60 x 20 into 48 x 20: 48 x 16, rows 2..17.
        {60, 20, 48, 20, {0, 2, 48, 18}},
        // Turned: 20 x 60 into 20 x 48: columns 2..17.
        {20, 60, 20, 48, {2, 0, 18, 48}},
        // A wide picture into a tall frame: 40 x 16 into 12 x 30 is 12 x 5 (4.8 rounded), rows 12..16.
        {40, 16, 12, 30, {0, 12, 12, 17}},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        SCOPED_TRACE(std::to_string(c.pictureWidth) + "x" + std::to_string(c.pictureHeight) + " into " + size);
        const auto in = dir / "in.jpg", out = dir / "out.pqf";
        test::WriteBytes(in, TwoColourJpeg(c.pictureWidth, c.pictureHeight));
        std::filesystem::remove(out);
        const test::RunResult run = test::RunPqtool({"convert", in.string(), out.string(), "--size", size, "--colors", "256"});
        ASSERT_EQ(run.Status, 0) << run.Err;
        Document doc;
        ASSERT_TRUE(LoadDocumentFile(out, doc, 20).Ok);
        ASSERT_EQ(doc.ImageWidth, c.width);
        ASSERT_EQ(doc.ImageHeight, c.height);
        const Layer& layer = doc.LayerAt(0);
        const bool wide = c.painted.right - c.painted.left >= c.painted.bottom - c.painted.top;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const std::size_t p = std::size_t(y) * std::size_t(c.width) + std::size_t(x);
                const bool inside = x >= c.painted.left && x < c.painted.right && y >= c.painted.top && y < c.painted.bottom;
                ASSERT_EQ(layer.Mask[p] != 0, inside) << "pixel " << x << "," << y;
                if (!inside) continue;
                // Away from the colour edge, the colour of its half.
                const int along = wide ? x - c.painted.left : y - c.painted.top;
                const int length = wide ? c.painted.right - c.painted.left : c.painted.bottom - c.painted.top;
                if (std::abs(2 * along + 1 - length) < 4) continue;
                const Rgb colour = doc.ColorOf(layer.Indices[p]);
                const bool first = 2 * along < length;
                EXPECT_NEAR(colour.r, first ? 220 : 20, 12) << "pixel " << x << "," << y;
                EXPECT_NEAR(colour.b, first ? 20 : 220, 12) << "pixel " << x << "," << y;
            }
    }
}

// convert opens a JPEG input one time, however it takes the picture (a frame, the whole picture
// fitted, several inputs into a folder): the kind is judged by the first bytes of the file that
// is then decoded. Counted with strace where it is installed.
TEST(OpenInput, ConvertOpensAJpegInputOnce) {
    if (!std::filesystem::exists("/usr/bin/strace")) GTEST_SKIP() << "no strace";
    test::TempDir dir;
    const auto in = dir / "in.jpg", log = dir / "calls.txt";
    test::WriteBytes(in, TwoColourJpeg(61, 37));
    const std::string out = (dir / "out.ico").string();
    const std::vector<std::vector<std::string>> runs{{in.string(), out, "--area", "3,2,50,30", "--colors", "256"},
                                                     {in.string(), out, "--size", "7x13"},
                                                     {in.string(), in.string(), "-o", (dir / "many").string(), "--to", "ico",
                                                      "--name", "{n}"}};
    for (const std::vector<std::string>& args : runs) {
        // The leak checker of a sanitizer build cannot run under ptrace: it is switched off for
        // the traced run.
        std::string command = "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" /usr/bin/strace -f -qq "
                              "-e trace=open,openat -o '" + log.string() + "' '" PQ_PQTOOL_PATH "' convert";
        for (const std::string& a : args) command += " '" + a + "'";
        ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
        std::ifstream calls(log);
        int opens = 0;
        for (std::string line; std::getline(calls, line);) opens += line.find("\"" + in.string() + "\"") != std::string::npos;
        EXPECT_EQ(opens, args[2] == "-o" ? 2 : 1) << command;   // the batch names the file twice
    }
}

}  // namespace
}  // namespace pq
