// pqtool killed while it writes a large document: the target is always either the old file or
// the new one, whole. Nothing else is left in its folder, except in the one instant between
// naming the finished temporary file and renaming it over the target: then the leftover is a
// whole copy of the new content, never a part of it.
// The kills land at chosen points, not at chosen times: pqtool runs traced (ptrace) and stops at
// the entry and the exit of every system call, and one run is killed at each of those stops
// from the moment it opens a file in the output folder to its end. A machine however busy kills
// at the same points, and every state the folder passes through is seen.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/formats/native_document.h"
#include "core/io/atomic_write.h"
#include "support/test_paths.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace pq;

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

// pqtool started under ptrace, output thrown away. Next() runs it to its next system-call stop
// (entry or exit); signals it receives on the way are passed on to it.
class TracedPqtool {
public:
    explicit TracedPqtool(const std::vector<std::string>& args) {
        // Everything the child needs is made before fork: after it only async-signal-safe calls.
        std::string program = test::PqtoolPath().string();
        std::vector<std::string> words{program};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        // A sanitized pqtool checks for leaks at exit by tracing its own threads, which cannot be
        // done while this test traces it: leaks are left to the other pqtool tests.
        std::vector<std::string> env;
        bool asanOptions = false;
        for (char** e = environ; *e; ++e) {
            env.emplace_back(*e);
            if (env.back().rfind("ASAN_OPTIONS=", 0) == 0) env.back() += ":detect_leaks=0", asanOptions = true;
        }
        if (!asanOptions) env.emplace_back("ASAN_OPTIONS=detect_leaks=0");
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
            if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(126);
            ::raise(SIGSTOP);
            ::execve(program.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
        if (pid_ < 0) return;
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_ || !WIFSTOPPED(status)) {
            pid_ = -1;
            return;
        }
        // EXITKILL: should this test die, the tracee does not run on untraced.
        ::ptrace(PTRACE_SETOPTIONS, pid_, nullptr,
                 reinterpret_cast<void*>(long(PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL)));
        running_ = true;
    }
    ~TracedPqtool() {
        if (running_) Kill();
    }
    TracedPqtool(const TracedPqtool&) = delete;
    TracedPqtool& operator=(const TracedPqtool&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    int Status() const { return status_; }

    // False once the process has ended (Status() then says how).
    bool Next() {
        int signal = 0;
        while (running_) {
            if (::ptrace(PTRACE_SYSCALL, pid_, nullptr, reinterpret_cast<void*>(long(signal))) != 0) {
                Kill();
                return false;
            }
            signal = 0;
            if (::waitpid(pid_, &status_, 0) != pid_) return running_ = false;
            if (WIFEXITED(status_) || WIFSIGNALED(status_)) return running_ = false;
            if (!WIFSTOPPED(status_)) continue;
            if (WSTOPSIG(status_) == (SIGTRAP | 0x80)) return true;   // a system-call stop
            if (status_ >> 8 == (SIGTRAP | (PTRACE_EVENT_EXEC << 8))) continue;
            signal = WSTOPSIG(status_);
        }
        return false;
    }

    void Kill() {
        if (!running_) return;
        ::kill(pid_, SIGKILL);
        while (::waitpid(pid_, &status_, 0) == pid_ && !WIFEXITED(status_) && !WIFSIGNALED(status_)) {
        }
        running_ = false;
    }

private:
    pid_t pid_ = -1;
    int status_ = 0;
    bool running_ = false;
};

// Runs to the first stop at which the process writes into `folder`; false when it ends first.
bool RunToFirstWrite(TracedPqtool& run, const fs::path& folder) {
    while (run.Next())
        if (WritesInto(run.Pid(), folder)) return true;
    return false;
}

TEST(KillWrite, KilledWhileWritingLeavesTheOldOrTheNewFileAndNothingElse) {
    ASSERT_TRUE(fs::exists(test::PqtoolPath())) << "pqtool is not built: " << test::PqtoolPath();
    test::TempDir inputs, outputs;
    const fs::path in = inputs / "big.pqf", out = outputs / "out.pqf";
    ASSERT_TRUE(SaveDocumentFile(MakeDocument(4093, 3001, 1), in).Ok);   // 24.6 MB
    ASSERT_TRUE(SaveDocumentFile(MakeDocument(1021, 769, 2), out).Ok);
    const std::vector<uint8_t> oldBytes = test::ReadBytes(out);
    const std::vector<std::string> args{"convert", in.string(), out.string()};

    // One whole run, traced to its end: the new content, and how many system-call stops it
    // makes from its first file in the output folder on.
    int stops = 0;
    {
        TracedPqtool run(args);
        ASSERT_TRUE(run.Started()) << "cannot trace pqtool";
        ASSERT_TRUE(RunToFirstWrite(run, outputs.Path())) << "pqtool never wrote into " << outputs.Path();
        for (stops = 1; run.Next(); ++stops) {
        }
        ASSERT_TRUE(WIFEXITED(run.Status()) && WEXITSTATUS(run.Status()) == 0);
    }
    const std::vector<uint8_t> newBytes = test::ReadBytes(out);
    ASSERT_GT(newBytes.size(), 20u << 20);
    ASSERT_NE(newBytes, oldBytes);

    // A kill at each of those stops up to the one that leaves the new content in place; of the
    // stops after it, where the folder no longer changes (the folder is flushed, pqtool ends),
    // the next two and the last.
    int killedMidWrite = 0, leftovers = 0, firstNew = -1;
    const auto nextStop = [&](int stop) {
        return firstNew >= 0 && stop >= firstNew + 2 && stop < stops - 1 ? stops - 1 : stop + 1;
    };
    for (int stop = 0; stop < stops; stop = nextStop(stop)) {
        SCOPED_TRACE("killed at stop " + std::to_string(stop) + " of " + std::to_string(stops));
        test::WriteBytes(out, oldBytes);
        TracedPqtool run(args);
        ASSERT_TRUE(run.Started());
        bool reached = RunToFirstWrite(run, outputs.Path());
        for (int k = 0; reached && k < stop; ++k) reached = run.Next();
        run.Kill();
        const bool killed = reached && WIFSIGNALED(run.Status()) && WTERMSIG(run.Status()) == SIGKILL;
        const std::vector<uint8_t> now = test::ReadBytes(out);
        EXPECT_TRUE(now == oldBytes || now == newBytes) << "target of " << now.size() << " bytes is neither";
        for (const std::string& name : Entries(outputs.Path())) {
            if (name == "out.pqf") continue;
            ++leftovers;
            EXPECT_EQ(name.rfind(kTempFilePrefix, 0), 0u) << name;
            EXPECT_TRUE(test::ReadBytes(outputs / name) == newBytes) << name << " is a part of the new content";
            fs::remove(outputs / name);
        }
        if (now == newBytes && firstNew < 0) firstNew = stop;
        // Once the new content is in place, no later kill brings the old one back.
        if (firstNew >= 0) {
            EXPECT_TRUE(now == newBytes) << "old content again after stop " << firstNew;
        }
        if (killed && now == oldBytes) ++killedMidWrite;
    }
    // The kills struck while the file was being written, in the instant between its temporary
    // name and the rename, and after the rename, or this proved nothing.
    EXPECT_GE(killedMidWrite, 5);
    EXPECT_GE(leftovers, 1);
    EXPECT_GT(firstNew, 0);
}

}  // namespace
