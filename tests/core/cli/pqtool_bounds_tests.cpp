// pqtool within bounds: icons built to exhaust time or memory are answered quickly by every
// command, and refusals say why: files named as programs that are no program, icon files over
// their size limit, kinds pqtool does not read, and extracts whose outputs would share a name.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/io/byte_io.h"
#include "support/hostile_icons.h"
#include "support/run_pqtool.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;
using pq::test::ChildCost;
using pq::test::ReadBytes;
using pq::test::RunResult;
using pq::test::SharedImage;
using pq::test::TempDir;
using pq::test::WriteBytes;

namespace {

RunResult Pqtool(const std::vector<std::string>& args, const std::string& lang = "C.UTF-8") {
    return pq::test::RunPqtool(args, pq::test::RunSetup{lang});
}

std::vector<uint8_t> ProgramBytes() { return ReadBytes(pq::test::DataDir() / "program_icons" / "pe32_icons.exe"); }

// Every command on each hostile icon: the answer, its cost measured in the child itself.
TEST(PqtoolBounds, HostileIconsAreAnsweredWithinFiveSecondsAnd400MB) {
    TempDir dir;
    struct Variant {
        const char* name;
        SharedImage kind;
        int side;
    };
    for (const Variant v : {Variant{"dib256", SharedImage::Dib32, 256}, Variant{"png256", SharedImage::Png, 256},
                            Variant{"dib16", SharedImage::Dib32, 16}}) {
        const fs::path ico = dir / (std::string(v.name) + ".ico");
        WriteBytes(ico, pq::test::SharedImageIcon(v.kind, v.side, 65535));
        const std::string in = ico.string(), size = std::to_string(v.side) + "x" + std::to_string(v.side);
        struct Run {
            std::vector<std::string> args;
            int status;
        };
        const std::vector<Run> runs = {
            {{"info", in}, 0},
            {{"info", "--json", in}, 0},
            {{"extract", in, (dir / "out").string()}, 1},
            {{"extract", in, (dir / "one").string(), "--index", "65534"}, 0},
            {{"convert", in, (dir / "c.pqf").string(), "--index", "40000"}, 0},
            {{"pack", (dir / "p.ico").string(), in}, 0},
            // These images open as truecolour: a transform applies, the 16/256 switch is refused.
            {{"apply", in, (dir / "a.pqf").string(), "flip-h"}, 0},
            {{"apply", in, (dir / "refused.pqf").string(), "colors:16"}, 1},
            // Written back into the very file: the image replaced, the shared data kept once.
            {{"convert", (dir / "self.ico").string(), (dir / "self.ico").string(), "--index", "7"}, 0},
            {{"apply", (dir / "self.ico").string(), (dir / "self.ico").string(), "--index", "9", "flip-h"}, 0},
        };
        fs::copy_file(ico, dir / "self.ico", fs::copy_options::overwrite_existing);
        for (const Run& run : runs) {
            const ChildCost cost = pq::test::RunPqtoolMeasured(run.args);
            std::string joined = v.name;
            for (const std::string& a : run.args) joined += " " + a;
            EXPECT_EQ(cost.Status, run.status) << joined << "\n" << cost.Err.substr(0, 500);
            EXPECT_LT(cost.Seconds, 5.0) << joined;
            EXPECT_LT(cost.PeakKiB, pq::test::MemoryBoundKiB(400 * 1024)) << joined;
            if (run.args[0] == "info" && run.args.size() == 2) {
                EXPECT_NE(cost.Out.find("images: 65535\n"), std::string::npos) << joined;
                EXPECT_NE(cost.Out.find("image 65534: " + size + (v.kind == SharedImage::Png ? " PNG" : " 32ビット") + ", color count byte 0, " +
                                        (v.kind == SharedImage::Png ? "PNG" : "32 bits per pixel") + "\n"),
                          std::string::npos)
                    << joined;
                EXPECT_TRUE(cost.Out.ends_with(
                    "set: cannot be opened as a set (it holds 65535 images, more than the 1024 a set may hold)\n"))
                    << joined;
            }
            if (run.args[0] == "info" && run.args.size() == 3) {
                EXPECT_NE(cost.Out.find("\"set_opens\": false, \"set_unopened\": null, \"set_limit\": \"it holds 65535 "
                                        "images, more than the 1024 a set may hold\""),
                          std::string::npos)
                    << joined;
                EXPECT_EQ(cost.Out.find("\"opens\": false"), std::string::npos) << joined;
            }
            if (run.args[0] == "extract" && run.status == 1) {
                EXPECT_EQ(cost.Err, in + ": over a limit: the file holds 65535 images, more than the 1024 extract "
                                         "writes from one file (--index N extracts one image)\n");
                EXPECT_FALSE(fs::exists(dir / "out")) << joined;
            }
        }
        EXPECT_TRUE(fs::exists(dir / "one" / (std::string(v.name) + "-65534-" + size + "-32.png")));
        EXPECT_FALSE(fs::exists(dir / "refused.pqf")) << v.name;
        EXPECT_LT(fs::file_size(dir / "self.ico"), fs::file_size(ico) + 2 * 300 * 1024) << v.name;
    }
}

TEST(PqtoolBounds, ExtractTakesAWholeFileUpTo1024Images) {
    TempDir dir;
    WriteBytes(dir / "full.ico", pq::test::SharedImageIcon(SharedImage::Dib32, 5, 1024));
    WriteBytes(dir / "over.ico", pq::test::SharedImageIcon(SharedImage::Dib32, 5, 1025));
    RunResult r = Pqtool({"extract", (dir / "full.ico").string(), (dir / "out").string()});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1024);
    // Entries sharing one image give identical files.
    EXPECT_EQ(ReadBytes(dir / "out" / "full-0-5x5-32.png"), ReadBytes(dir / "out" / "full-1023-5x5-32.png"));

    r = Pqtool({"extract", (dir / "over.ico").string(), (dir / "out2").string()}, "ja_JP.UTF-8");
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, (dir / "over.ico").string() +
                         ": 上限を超えています：画像が 1025 枚あり、一つのファイルから取り出せる 1024 枚を超えています"
                         "（--index N で一枚ずつ取り出せます）\n");
    EXPECT_FALSE(fs::exists(dir / "out2"));
}

// A 2 GB icon file that takes no disk space: refused by its size, which every command names.
TEST(PqtoolBounds, AnIconFileOverItsSizeLimitIsRefusedByThatLimit) {
    TempDir dir;
    const fs::path big = dir / "sparse.ico";
    WriteBytes(big, {0, 0, 1, 0, 1, 0});
    fs::resize_file(big, std::uintmax_t(2) << 30);
    const std::string reason =
        "This icon cannot be opened.\nover a limit: the file's 2147483648 bytes are more than the 67108864 an icon "
        "file may have";
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"info", big.string()},
                                               {"extract", big.string(), (dir / "out").string()},
                                               {"convert", big.string(), (dir / "c.pqf").string()},
                                               {"pack", (dir / "p.ico").string(), big.string()}}) {
        const RunResult r = Pqtool(args);
        EXPECT_EQ(r.Status, 1) << args[0];
        EXPECT_EQ(r.Err, big.string() + ": " + reason + "\n") << args[0];
    }
    const RunResult json = Pqtool({"info", "--json", big.string()});
    EXPECT_EQ(json.Status, 1);
    EXPECT_NE(json.Out.find("\"error\": \"This icon cannot be opened.\\u000Aover a limit: the file's 2147483648 bytes"),
              std::string::npos)
        << json.Out;
    EXPECT_FALSE(fs::exists(dir / "out"));
}

// Files named .exe, .dll or .scr that are no valid program: info says what is wrong.
TEST(PqtoolInfoProgram, AFileThatIsNoValidProgramIsRefusedWithWhy) {
    TempDir dir;
    const std::vector<uint8_t> program = ProgramBytes();
    ASSERT_EQ(program.size(), 9528u);   // PE header at 64, optional header at 88, section table to 352
    WriteBytes(dir / "photo.exe", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0});
    WriteBytes(dir / "noise.dll", {0x13, 0x87, 0x02, 0xFE, 0x55, 0x9A, 0x00, 0x01});
    WriteBytes(dir / "cut.exe", std::vector<uint8_t>(program.begin(), program.begin() + 70));
    WriteBytes(dir / "table.scr", std::vector<uint8_t>(program.begin(), program.begin() + 330));
    WriteBytes(dir / "half.exe", std::vector<uint8_t>(program.begin(), program.begin() + 5000));
    std::vector<uint8_t> magic = program;
    magic[88] = 0x77;
    WriteBytes(dir / "magic.exe", magic);
    std::vector<uint8_t> dos = program;
    dos[64] = 'N';
    WriteBytes(dir / "dos.exe", dos);
    std::vector<uint8_t> far = program;
    far[0x3C + 3] = 0x40;
    WriteBytes(dir / "far.exe", far);

    struct Case {
        const char* file;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"photo.exe", "It holds no icons\nnot a PE file: it looks like a JPEG picture"},
        {"noise.dll", "It holds no icons\nnot a PE file: its first bytes match no kind pqtool knows"},
        {"cut.exe", "It holds no icons\ntruncated at byte 70 of 88: the file ends inside the PE header"},
        {"table.scr", "It holds no icons\ntruncated at byte 330 of 352: the file ends inside the section table"},
        {"half.exe", "The file cannot be opened.\ntruncated at byte 5000 of 9528: the file ends inside section .rsrc"},
        {"magic.exe", "It holds no icons\ndamaged header field: Magic (at byte 88) holds 0x177"},
        {"dos.exe", "It holds no icons\nnot a PE file: an MZ file without the PE signature at byte 64, where its "
                    "e_lfanew points (a DOS or 16-bit program?)"},
        {"far.exe", "It holds no icons\ndamaged header field: e_lfanew (at byte 60) holds 0x40000040"},
    };
    for (const Case& c : cases) {
        const RunResult r = Pqtool({"info", (dir / c.file).string()});
        EXPECT_EQ(r.Status, 1) << c.file;
        EXPECT_EQ(r.Err, (dir / c.file).string() + ": " + c.err + "\n") << c.file;
        EXPECT_EQ(r.Out, "") << c.file;
    }
    const RunResult ja = Pqtool({"info", (dir / "half.exe").string()}, "ja_JP.UTF-8");
    EXPECT_EQ(ja.Err, (dir / "half.exe").string() +
                          ": ファイルを開けません。\n途中で切れています（9528 バイトのうち 5000 バイトまで）：セクション .rsrc "
                          "の途中でファイルが終わっています\n");

    // A well-formed program without resources is described: it simply has no icons.
    std::vector<uint8_t> bare = program;
    for (int i = 0; i < 4; ++i) bare[88 + 96 + 16 + std::size_t(i)] = 0;
    WriteBytes(dir / "bare.exe", bare);
    const RunResult r = Pqtool({"info", (dir / "bare.exe").string()});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "type: program\nicons: 0\n");
}

// Several programs into one folder: each group named after its program; two outputs that
// would get one name are refused before anything is written.
TEST(PqtoolExtract, SeveralProgramsNameTheirGroupsAfterThemselves) {
    TempDir dir;
    const std::vector<uint8_t> program = ProgramBytes();
    WriteBytes(dir / "cmd.exe", program);
    WriteBytes(dir / "tool.dll", program);
    RunResult single = Pqtool({"extract", (dir / "cmd.exe").string(), (dir / "single").string()});
    ASSERT_EQ(single.Status, 0) << single.Err;
    EXPECT_EQ(single.Out, (dir / "single" / "HELLO.ico").string() + "\n" + (dir / "single" / "1.ico").string() + "\n" +
                              (dir / "single" / "3.ico").string() + "\n");

    const fs::path out = dir / "both";
    const RunResult both = Pqtool({"extract", (dir / "cmd.exe").string(), (dir / "tool.dll").string(), out.string()});
    ASSERT_EQ(both.Status, 0) << both.Err;
    std::string expected;
    for (const char* stem : {"cmd", "tool"})
        for (const char* group : {"HELLO", "1", "3"}) {
            const fs::path file = out / (std::string(stem) + "-" + group + ".ico");
            expected += file.string() + "\n";
            EXPECT_EQ(ReadBytes(file), ReadBytes(dir / "single" / (std::string(group) + ".ico"))) << file;
        }
    EXPECT_EQ(both.Out, expected);

    // The same name in two folders: every clash reported, nothing written, not even the folder.
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    WriteBytes(dir / "a" / "setup.exe", program);
    WriteBytes(dir / "b" / "setup.exe", program);
    const fs::path clash = dir / "clash";
    const std::string a = (dir / "a" / "setup.exe").string(), b = (dir / "b" / "setup.exe").string();
    const RunResult r = Pqtool({"extract", a, b, (dir / "cmd.exe").string(), clash.string()});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "");
    std::string clashes;
    for (const char* group : {"1", "3", "HELLO"})
        clashes += (clash / (std::string("setup-") + group + ".ico")).string() + ": 2 files would get this name (from " +
                   a + ", " + b + "); nothing is written\n";
    EXPECT_EQ(r.Err, clashes);
    EXPECT_FALSE(fs::exists(clash));

    // Two icon files of one name clash the same way.
    WriteBytes(dir / "a" / "app.ico", pq::test::SharedImageIcon(SharedImage::Dib32, 4, 1));
    WriteBytes(dir / "b" / "app.ico", pq::test::SharedImageIcon(SharedImage::Dib32, 4, 1));
    const RunResult icons = Pqtool({"extract", (dir / "a" / "app.ico").string(), (dir / "b" / "app.ico").string(), clash.string()});
    EXPECT_EQ(icons.Status, 1);
    EXPECT_NE(icons.Err.find("app-0-4x4-32.png: 2 files would get this name"), std::string::npos) << icons.Err;
    EXPECT_FALSE(fs::exists(clash));
}

// Pictures of kinds pqtool does not read are refused files (exit 1), naming the kinds it reads;
// a missing file of such a name stays wrong usage.
TEST(PqtoolRefusals, KindsPqtoolDoesNotReadExitOneNamingWhatItReads) {
    TempDir dir;
    WriteBytes(dir / "anim.gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0});
    WriteBytes(dir / "scan.tif", {'I', 'I', 42, 0, 8, 0, 0, 0});
    const std::string kinds = ": pqtool reads .pqf, .ico, .cur, .bmp, .jpg, .jpeg, .png\n";
    for (const char* name : {"anim.gif", "scan.tif"}) {
        const std::string in = (dir / name).string();
        const std::string looks = name == std::string("anim.gif") ? " (it looks like a GIF picture)" : "";
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"convert", in, (dir / "c.ico").string()},
                 {"pack", (dir / "p.ico").string(), in},
                 {"apply", in, (dir / "a.pqf").string(), "invert"}}) {
            const RunResult r = Pqtool(args);
            EXPECT_EQ(r.Status, 1) << args[0] << " " << name;
            EXPECT_EQ(r.Err, in + ": not a kind pqtool reads" + looks + kinds) << args[0];
        }
        const RunResult info = Pqtool({"info", in});
        EXPECT_EQ(info.Status, 1);
        EXPECT_NE(info.Err.find("; info reads .pqf, .ico, .cur, .bmp, .jpg, .jpeg, .png, .pqp, .pal, .act, .exe, .dll, .scr\n"),
                  std::string::npos)
            << info.Err;
    }
    const RunResult ja = Pqtool({"convert", (dir / "anim.gif").string(), (dir / "c.ico").string()}, "ja_JP.UTF-8");
    EXPECT_EQ(ja.Err, (dir / "anim.gif").string() +
                          ": pqtool の読める形式ではありません（GIF画像のようです）。読めるのは .pqf, .ico, .cur, .bmp, .jpg, "
                          ".jpeg, .png です\n");
    EXPECT_EQ(Pqtool({"convert", (dir / "missing.gif").string(), (dir / "c.ico").string()}).Status, 2);
    EXPECT_FALSE(fs::exists(dir / "c.ico"));
    EXPECT_FALSE(fs::exists(dir / "p.ico"));
}

}  // namespace
