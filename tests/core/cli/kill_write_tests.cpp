// pqtool killed while it writes a large document: the target is always either the old file or
// the new one, whole. Nothing else is left in its folder, except in the one instant between
// naming the finished temporary file and renaming it over the target: then the leftover is a
// whole copy of the new content, never a part of it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/document/document.h"
#include "core/formats/native_document.h"
#include "core/io/atomic_write.h"
#include "support/run_pqtool.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;
using namespace pq;
using Clock = std::chrono::steady_clock;
using pq::test::StartPqtool;

namespace {

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// An odd-sized one-layer 256-colour document: 2 bytes a pixel in the file.
Document MakeDocument(int width, int height, unsigned seed) {
    Document doc;
    InitBlankDocument(doc, width, height, 256, 10);
    Layer& layer = doc.LayerAt(0);
    for (std::size_t i = 0; i < layer.Indices.size(); ++i) {
        layer.Indices[i] = uint8_t((i * 37 + seed + (i >> 12)) & 0xff);
        layer.Mask[i] = uint8_t((i + seed) % 3 != 0);
    }
    return doc;
}

// True once the process has a file open in `folder`: its output is being written.
bool WritesInto(pid_t pid, const fs::path& folder) {
    const std::string prefix = folder.string() + "/";
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code ec2;
        if (fs::read_symlink(e.path(), ec2).string().rfind(prefix, 0) == 0) return true;
    }
    return false;
}

// Waits until the process writes into `folder` (true) or ends first (false, and `status` set).
bool WaitForWrite(pid_t pid, const fs::path& folder, int& status) {
    for (;;) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return false;
        if (WritesInto(pid, folder)) return true;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

TEST(KillWrite, KilledWhileWritingLeavesTheOldOrTheNewFileAndNothingElse) {
    ASSERT_TRUE(fs::exists(test::PqtoolPath())) << "pqtool is not built: " << test::PqtoolPath();
    test::TempDir inputs, outputs;
    const fs::path in = inputs / "big.pqf", out = outputs / "out.pqf";
    ASSERT_TRUE(SaveDocumentFile(MakeDocument(4093, 3001, 1), in).Ok);   // 24.6 MB
    ASSERT_TRUE(SaveDocumentFile(MakeDocument(1021, 769, 2), out).Ok);
    const std::vector<uint8_t> oldBytes = test::ReadBytes(out);

    // One whole run: the new content and how long its write takes. On a busy machine the watcher
    // may not be scheduled while the file is open at all; then the run is timed from its start.
    int status = 0;
    pid_t pid = -1;
    Clock::duration writeTime{};
    for (int attempt = 0; attempt < 5; ++attempt) {
        const Clock::time_point start = Clock::now();
        pid = StartPqtool({"convert", in.string(), out.string()});
        ASSERT_GT(pid, 0);
        const bool seen = WaitForWrite(pid, outputs.Path(), status);
        const Clock::time_point writeStart = seen ? Clock::now() : start;
        if (seen) ::waitpid(pid, &status, 0);
        writeTime = Clock::now() - writeStart;
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        if (seen) break;
    }
    const std::vector<uint8_t> newBytes = test::ReadBytes(out);
    ASSERT_GT(newBytes.size(), 20u << 20);
    ASSERT_NE(newBytes, oldBytes);

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const long long spanUs = std::chrono::duration_cast<std::chrono::microseconds>(writeTime).count();
    // Delays over the write's first four fifths, so that most kills land before it ends.
    std::uniform_int_distribution<long long> delay(0, std::max(1LL, spanUs * 4 / 5));
    int killedMidWrite = 0;
    // Ten kills at least, more (up to 30) until five of them struck mid-write: a slower or a
    // sanitized build changes how long the write takes.
    for (int run = 0; run < 30 && (run < 10 || killedMidWrite < 5); ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        test::WriteBytes(out, oldBytes);
        pid = StartPqtool({"convert", in.string(), out.string()});
        ASSERT_GT(pid, 0);
        if (WaitForWrite(pid, outputs.Path(), status)) {
            std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        const std::vector<uint8_t> now = test::ReadBytes(out);
        EXPECT_TRUE(now == oldBytes || now == newBytes) << "target of " << now.size() << " bytes is neither";
        for (const std::string& name : Entries(outputs.Path())) {
            if (name == "out.pqf") continue;
            EXPECT_EQ(name.rfind(kTempFilePrefix, 0), 0u) << name;
            EXPECT_TRUE(test::ReadBytes(outputs / name) == newBytes) << name << " is a part of the new content";
            fs::remove(outputs / name);
        }
        if (WIFSIGNALED(status) && now == oldBytes) ++killedMidWrite;
    }
    // Most kills must have struck while the file was being written, or this proved nothing.
    EXPECT_GE(killedMidWrite, 5);
}

}  // namespace
