// pqtool info over several inputs, as JSON and from standard input: the documented keys read
// back by an independent JSON parser, and a refused input reported without stopping the rest.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/formats/icon_container.h"
#include "core/formats/icon_set.h"
#include "core/formats/native_document.h"
#include "support/run_pqtool.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;
using namespace pq;
using pq::test::PqtoolPath;
using pq::test::ReadBytes;
using pq::test::RunPqtool;
using pq::test::RunResult;
using pq::test::TempDir;
using pq::test::WriteBytes;

namespace {

constexpr const char* kPython = "/usr/bin/python3";

// A document of odd, unequal sides painted in a pattern, its hotspot at (hx, hy).
Document Page(int width, int height, int colors, int hx, int hy) {
    Document d;
    InitBlankDocument(d, width, height, colors, 10);
    Layer& l = d.LayerAt(0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            l.Indices[std::size_t(x + width * y)] = uint8_t((x * 3 + y) % colors);
            l.Mask[std::size_t(x + width * y)] = (x + y) % 4 != 0;
        }
    d.HotspotX = hx;
    d.HotspotY = hy;
    d.HasHotspot = true;
    return d;
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command line; its standard output, and its exit status in `status`.
std::string Shell(const std::string& command, int& status) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int raw = pclose(p);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

// The JSON text parsed by Python and written back one object per line, keys sorted, each
// member of "images" and "layers" on a line of its own; "PARSE ERROR" when it does not parse.
std::string ParsedBack(const TempDir& dir, const std::string& json) {
    WriteBytes(dir / "out.json", std::vector<uint8_t>(json.begin(), json.end()));
    const std::string script =
        "import json,sys\n"
        "try:\n"
        "    d = json.loads(open(sys.argv[1], 'rb').read().decode('utf-8'))\n"
        "except Exception as e:\n"
        "    print('PARSE ERROR', e); sys.exit(0)\n"
        "for o in (d if isinstance(d, list) else [d]):\n"
        "    subs = o.pop('images', []) + o.pop('layers', [])\n"
        "    print(json.dumps(o, sort_keys=True, ensure_ascii=False))\n"
        "    for s in subs: print(' ', json.dumps(s, sort_keys=True, ensure_ascii=False))\n";
    WriteBytes(dir / "check.py", std::vector<uint8_t>(script.begin(), script.end()));
    int status = -1;
    return Shell(std::string(kPython) + " " + Quote((dir / "check.py").string()) + " " + Quote((dir / "out.json").string()),
                 status);
}

}  // namespace

// A cursor whose three images are a 4-bit, a 32-bit and a PNG one, the same file with the PNG's
// pixel data damaged, a document with a control character in a layer name, and a file that is
// no kind at all whose name is not UTF-8: one JSON array in the order given, exit status 1 for
// the refused file, and its reason on stderr.
TEST(PqtoolInfoJson, KeysAndValuesOfEveryInputReadBackByAJsonParser) {
    if (access(kPython, X_OK) != 0) GTEST_SKIP() << "no " << kPython;
    TempDir dir;
    const Document a = Page(5, 3, 16, 4, 2), b = Page(7, 9, 256, 1, 8), c = Page(13, 11, 256, 12, 0);
    const std::vector<IconSetEntry> entries = {
        {&a, IconPageKind::Palette}, {&b, IconPageKind::TrueColor}, {&c, IconPageKind::Png}};
    const fs::path cur = dir / "set.cur";
    ASSERT_TRUE(SaveIconSet(entries, cur, kCursorResourceType).Ok);
    StoredIconFile stored;
    ASSERT_TRUE(ReadStoredIconFile(ReadBytes(cur), stored).Ok);
    IconDirectory directory;
    ASSERT_TRUE(ReadIconDirectory(ReadBytes(cur), directory).Ok);
    std::vector<uint8_t>& png = stored.Images[2].Data;
    const auto idat = std::search(png.begin(), png.end(), std::begin("IDAT"), std::end("IDAT") - 1);
    ASSERT_NE(idat, png.end());
    idat[10] ^= 0x55;
    const fs::path damaged = dir / "damaged.cur";
    WriteBytes(damaged, EncodeStoredIconFile(stored));

    Document doc = Page(3, 5, 16, 0, 0);
    doc.LayerAt(0).Name = "線\x01\"画\\";
    doc.AppendLayer();
    doc.LayerAt(1).Visible = 0;
    const fs::path pqf = dir / "doc.pqf";
    ASSERT_TRUE(SaveDocumentFile(doc, pqf).Ok);
    const fs::path junk = dir / "junk\xFF.bin";
    WriteBytes(junk, {'n', 'o', 't', 'h', 'i', 'n', 'g'});

    const RunResult r = RunPqtool({"info", "--json", cur.string(), damaged.string(), pqf.string(), junk.string()});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, junk.string() + ": not a file kind pqtool knows: it looks like text; info reads .pqf, .ico, .cur, .bmp, .jpg, .jpeg, .png, "
                     ".pqp, .pal, .act, .exe, .dll, .scr\n");

    auto image = [&](int i, int w, int h, int depth, const char* kind, int hx, int hy, bool opens, const char* edited) {
        const IconDirEntry& e = directory.Entries[std::size_t(i)];
        return "  {\"bytes\": " + std::to_string(e.BytesInRes) + ", \"depth\": " + std::to_string(depth) +
               ", \"edited_as\": " + (edited ? "\"" + std::string(edited) + "\"" : "null") +
               ", \"error\": " + (opens ? "null" : "\"This icon cannot be opened.\\nimage 2: damaged field: the checksum of chunk IDAT does not match its data\"") +
               ", \"height\": " + std::to_string(h) + ", \"hotspot\": [" + std::to_string(hx) + ", " +
               std::to_string(hy) + "], \"index\": " + std::to_string(i) + ", \"kind\": \"" + kind +
               "\", \"label\": \"" + (std::string(kind) == "png" ? std::string("PNG") : depth > 8 ? std::to_string(depth) + "ビット" : std::to_string(1 << depth) + "色") +
               "\", \"offset\": " + std::to_string(e.ImageOffset) + ", \"opens\": " + (opens ? "true" : "false") +
               ", \"width\": " + std::to_string(w) + "}\n";
    };
    const std::string expected =
        "{\"error\": null, \"file\": \"" + cur.string() +
        "\", \"kind\": \"cursor\", \"resource_type\": 2, \"set_opens\": true, \"set_unopened\": null}\n" +
        image(0, 5, 3, 4, "palette", 4, 2, true, "4-bit") + image(1, 7, 9, 32, "truecolor", 1, 8, true, "32-bit") +
        image(2, 13, 11, 32, "png", 12, 0, true, "png") +
        "{\"error\": null, \"file\": \"" + damaged.string() +
        "\", \"kind\": \"cursor\", \"resource_type\": 2, \"set_opens\": false, \"set_unopened\": 2}\n" +
        image(0, 5, 3, 4, "palette", 4, 2, true, nullptr) + image(1, 7, 9, 32, "truecolor", 1, 8, true, nullptr) +
        image(2, 13, 11, 32, "png", 12, 0, false, nullptr) +
        "{\"colors\": 16, \"error\": null, \"file\": \"" + pqf.string() +
        "\", \"height\": 5, \"kind\": \"document\", \"width\": 3}\n"
        "  {\"name\": \"線\\u0001\\\"画\\\\\", \"visible\": true}\n"
        "  {\"name\": \"レイヤ2\", \"visible\": false}\n"
        "{\"error\": \"not a file kind pqtool knows: it looks like text; info reads .pqf, .ico, .cur, .bmp, .jpg, .jpeg, "
        ".png, .pqp, .pal, .act, .exe, .dll, .scr\", \"file\": \"" + (dir / "junk\xEF\xBF\xBD.bin").string() +
        "\", \"kind\": null}\n";
    EXPECT_EQ(ParsedBack(dir, r.Out), expected) << r.Out;

    // One input gives its object alone, not an array.
    const RunResult one = RunPqtool({"info", "--json", pqf.string()});
    EXPECT_EQ(one.Status, 0) << one.Err;
    EXPECT_EQ(one.Out.rfind("{\"file\": ", 0), 0u) << one.Out;
}

// Several inputs as text: each report headed by its name, a missing file in the middle reported
// on stderr alone, the inputs after it still described, exit status 1.
TEST(PqtoolInfoInputs, ARefusedInputDoesNotStopTheOthers) {
    TempDir dir;
    const fs::path pqf = dir / "doc.pqf", cur = dir / "one.cur", missing = dir / "missing.ico";
    ASSERT_TRUE(SaveDocumentFile(Page(3, 5, 16, 0, 0), pqf).Ok);
    const Document page = Page(7, 9, 16, 6, 1);
    ASSERT_TRUE(SaveIconSet(std::vector<IconSetEntry>{{&page, IconPageKind::Palette}}, cur, kCursorResourceType).Ok);
    const RunResult r = RunPqtool({"info", pqf.string(), missing.string(), cur.string()});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "file: " + pqf.string() + "\ntype: document\nsize: 3x5\ncolors: 16\nlayers: 1\n" +
                         "layer 0: visible \"レイヤ1\"\n\nfile: " + cur.string() + "\ntype: cursor\nimages: 1\n" +
                         "image 0: 7x9 16色, color count byte 16, 4 bits per pixel, hotspot 6,1, set: kept byte for byte "
                         "unless edited (then 4-bit)\n");
    EXPECT_EQ(r.Err.rfind(missing.string() + ": ", 0), 0u) << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
}

// "-" reads standard input as the kind --format names, and reports as the file would; "--"
// lets a file named like an option through; "-" without --format is wrong usage.
TEST(PqtoolInfoInputs, StandardInputAndNamesAfterDoubleDash) {
    TempDir dir;
    const Document page = Page(7, 9, 256, 2, 3);
    const fs::path cur = dir / "-p.cur";
    ASSERT_TRUE(SaveIconSet(std::vector<IconSetEntry>{{&page, IconPageKind::TrueColor}}, cur, kCursorResourceType).Ok);
    const RunResult fromFile = RunPqtool({"info", "--json", cur.string()});
    ASSERT_EQ(fromFile.Status, 0) << fromFile.Err;

    const std::string tool = Quote(PqtoolPath().string());
    int status = -1;
    const std::string fromStdin =
        Shell(tool + " info --quiet --json --format cur - < " + Quote(cur.string()) + " 2>/dev/null", status);
    EXPECT_EQ(status, 0);
    std::string expected = fromFile.Out;
    expected.replace(expected.find(cur.string()), cur.string().size(), "-");
    EXPECT_EQ(fromStdin, expected);

    // The same bytes refused when --format names another kind: the document reader's reason.
    Shell(tool + " info --format pqf - < " + Quote(cur.string()) + " 2>/dev/null", status);
    EXPECT_EQ(status, 1);
    Shell(tool + " info - < " + Quote(cur.string()) + " 2>/dev/null", status);
    EXPECT_EQ(status, 2);

    const std::string text = Shell("cd " + Quote(dir.Path().string()) + " && " + tool + " info -- -p.cur", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(text.rfind("type: cursor\nimages: 1\nimage 0: 7x9 32ビット, color count byte 0, 32 bits per pixel, hotspot 2,3", 0), 0u)
        << text;
}

namespace {

// A line of English prose: three or more words of letters ("the", "Try"), one of them of four
// letters or more, so that a list of format words (pqf, ico, cur) kept in both languages is not
// taken for one.
bool IsEnglishSentence(const std::string& line) {
    int words = 0;
    bool long_word = false;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        std::string w = line.substr(at, end - at);
        at = end + 1;
        while (!w.empty() && std::string("\"'(),.;:").find(w.back()) != std::string::npos) w.pop_back();
        while (!w.empty() && std::string("\"'(").find(w.front()) != std::string::npos) w.erase(0, 1);
        const bool letters = w.size() >= 2 && ((w[0] >= 'a' && w[0] <= 'z') || (w[0] >= 'A' && w[0] <= 'Z')) &&
                             std::all_of(w.begin() + 1, w.end(), [](char c) { return c >= 'a' && c <= 'z'; });
        if (!letters) continue;
        ++words;
        long_word = long_word || w.size() >= 4;
    }
    return words >= 3 && long_word;
}

// Hiragana or katakana (UTF-8 E3 81..83 xx).
bool HasKana(const std::string& s) {
    for (std::size_t i = 0; i + 1 < s.size(); ++i)
        if (static_cast<unsigned char>(s[i]) == 0xE3 && static_cast<unsigned char>(s[i + 1]) >= 0x81 &&
            static_cast<unsigned char>(s[i + 1]) <= 0x83)
            return true;
    return false;
}

// Every "--word" a text names, as the man page and completion checks collect them.
std::vector<std::string> OptionWords(const std::string& text) {
    std::vector<std::string> found;
    for (std::size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
        std::size_t end = at + 2;
        if (end >= text.size() || text[end] < 'a' || text[end] > 'z') continue;
        while (end < text.size() && ((text[end] >= 'a' && text[end] <= 'z') || text[end] == '-')) ++end;
        found.push_back(text.substr(at, end - at));
        at = end - 2;
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

}  // namespace

// Each command's help and one usage error of each, run in Japanese and in English: the same
// status and stream, no English sentence left in the Japanese text, every option of the English
// help named in the Japanese one; LC_ALL decides over LANG both ways. A skipped image's note is
// said in the run's language, the written path is the same in both, and --quiet leaves the note
// out.
TEST(PqtoolLanguage, JapaneseRunsSayEveryHelpAndUsageErrorInJapanese) {
    TempDir dir;
    const pq::test::RunSetup ja{"ja_JP.UTF-8", ""};
    const std::string in = (dir / "in.pqf").string(), out = (dir / "out.pqf").string();
    const std::vector<std::vector<std::string>> runs = {
        {"--help"},
        {},
        {"frobnicate"},
        {"info", "--help"},
        {"info"},
        {"convert", "--help"},
        {"convert", in},
        {"extract", "--help"},
        {"extract", (dir / "x.dll").string()},
        {"pack", "--help"},
        {"pack", "--sizes", "16,24,16", (dir / "o.ico").string(), in},
        {"apply", "--help"},
        {"apply", in, out, "flip-h", "rotate:1000"},
    };
    for (const std::vector<std::string>& args : runs) {
        std::string joined;
        for (const std::string& a : args) joined += a + " ";
        const RunResult en = RunPqtool(args), jp = RunPqtool(args, ja);
        EXPECT_EQ(jp.Status, en.Status) << joined;
        EXPECT_EQ(jp.Out.empty(), en.Out.empty()) << joined;
        EXPECT_EQ(jp.Err.empty(), en.Err.empty()) << joined;
        const std::string english = en.Out + en.Err, japanese = jp.Out + jp.Err;
        ASSERT_FALSE(english.empty()) << joined;
        EXPECT_TRUE(HasKana(japanese)) << joined << "\n" << japanese;
        EXPECT_EQ(japanese.find(english.substr(0, english.find('\n'))), std::string::npos) << joined << "\n" << japanese;
        for (std::size_t at = 0, end; at < english.size(); at = end + 1) {
            end = std::min(english.find('\n', at), english.size());
            std::string line = english.substr(at, end - at);
            line.erase(0, line.find_first_not_of(' '));
            if (IsEnglishSentence(line)) {
                EXPECT_EQ(japanese.find(line), std::string::npos) << joined << ": " << line;
            }
        }
        const bool help = std::find(args.begin(), args.end(), "--help") != args.end();
        if (help) {
            EXPECT_EQ(OptionWords(jp.Out), OptionWords(en.Out)) << joined;
            EXPECT_GE(OptionWords(en.Out).size(), args.size() == 1 ? 1u : 2u) << joined;
        }
        if (help && args.size() == 2) {
            // "help CMD" prints the same help as "CMD --help".
            EXPECT_EQ(RunPqtool({"help", args[0]}, ja).Out, jp.Out) << joined;
            EXPECT_EQ(RunPqtool({"help", args[0]}).Out, en.Out) << joined;
        }
    }

    // LC_ALL decides over LANG (RunSetup only sets LANG).
    const std::string tool = Quote(PqtoolPath().string());
    int status = -1;
    const std::string overJa = Shell("env -u LC_MESSAGES LANG=C.UTF-8 LC_ALL=ja_JP.UTF-8 " + tool + " pack 2>&1", status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(overJa, RunPqtool({"pack"}, ja).Err);
    const std::string overEn = Shell("env -u LC_MESSAGES LANG=ja_JP.UTF-8 LC_ALL=C.UTF-8 " + tool + " pack 2>&1", status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(overEn, RunPqtool({"pack"}).Err);
    EXPECT_NE(overJa, overEn);

    // An icon of a 5x3 and a 7x9 image, the second claiming 3 bits per pixel: extract writes
    // the first and skips the second with a note.
    const Document a = Page(5, 3, 16, 0, 0), b = Page(7, 9, 16, 0, 0);
    const fs::path ico = dir / "two.ico";
    ASSERT_TRUE(SaveIconSet(std::vector<IconSetEntry>{{&a, IconPageKind::Palette}, {&b, IconPageKind::Palette}}, ico,
                            kIconResourceType)
                    .Ok);
    std::vector<uint8_t> bytes = ReadBytes(ico);
    IconDirectory directory;
    ASSERT_TRUE(ReadIconDirectory(bytes, directory).Ok);
    bytes.at(directory.Entries.at(1).ImageOffset + 14) = 3;
    WriteBytes(ico, bytes);
    const std::vector<std::string> extract = {"extract", ico.string(), (dir / "png").string()};
    std::vector<std::string> quiet = extract;
    quiet.push_back("--quiet");
    const RunResult en = RunPqtool(extract), jp = RunPqtool(extract, ja);
    const std::string written = (dir / "png" / "two-0-5x3-4.png").string() + "\n";
    EXPECT_EQ(en.Status, 0);
    EXPECT_EQ(jp.Status, 0);
    EXPECT_EQ(en.Out, written);
    EXPECT_EQ(jp.Out, written);
    EXPECT_EQ(en.Err, ico.string() +
                          ": image 1 cannot be decoded; skipped (damaged field: image 1's bit count is 3, where 1, 4, "
                          "8, 16, 24 or 32 is expected)\n");
    EXPECT_EQ(jp.Err, ico.string() +
                          ": 画像 1 を読み取れないので飛ばします（壊れた値：画像 1 のビット数が 3 です（1、4、8、16、24、"
                          "32 のいずれかのはず））\n");
    for (const pq::test::RunSetup& setup : {pq::test::RunSetup{}, ja}) {
        const RunResult q = RunPqtool(quiet, setup);
        EXPECT_EQ(q.Status, 0) << setup.Lang;
        EXPECT_EQ(q.Out, written) << setup.Lang;
        EXPECT_EQ(q.Err, "") << setup.Lang;
    }
}

// Written files get the modes a user expects: a new one 0666 less the umask pqtool started with,
// a replaced one its own bits, even those the umask would cut.
TEST(PqtoolFiles, NewFilesFollowTheUmaskAndReplacedOnesKeepTheirMode) {
    TempDir dir;
    const Document doc = Page(5, 3, 16, 0, 0);
    const fs::path in = dir / "in.pqf", fresh = dir / "fresh.pqf", kept = dir / "kept.pqf";
    ASSERT_TRUE(SaveDocumentFile(doc, in).Ok);
    ASSERT_TRUE(SaveDocumentFile(doc, kept).Ok);
    fs::permissions(kept, fs::perms(0606));
    const std::string tool = Quote(PqtoolPath().string());
    int status = -1;
    Shell("umask 027 && " + tool + " convert " + Quote(in.string()) + " " + Quote(fresh.string()) + " && " + tool +
              " convert " + Quote(in.string()) + " " + Quote(kept.string()),
          status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(unsigned(fs::status(fresh).permissions()), 0640u);
    EXPECT_EQ(unsigned(fs::status(kept).permissions()), 0606u);
}

// A standard output that cannot take the file is a failure, said as one, in every command that
// writes there.
TEST(PqtoolFiles, AFullStandardOutputIsAFailure) {
    TempDir dir;
    const fs::path in = dir / "in.pqf";
    ASSERT_TRUE(SaveDocumentFile(Page(7, 3, 16, 0, 0), in).Ok);
    const std::string tool = Quote(PqtoolPath().string()), file = Quote(in.string());
    for (const std::string& command : {" convert " + file + " - --to png", " pack - " + file + " --to ico",
                                       " apply " + file + " - --to bmp flip-h"}) {
        int status = -1;
        const std::string err = Shell("LC_ALL=C.UTF-8 " + tool + command + " 2>&1 >/dev/full", status);
        EXPECT_EQ(status, 1) << command;
        EXPECT_EQ(err, "standard output: cannot be written: no space left on the disk\n") << command;
    }
}
