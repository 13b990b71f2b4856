#include "support/run_pqtool.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>

#include "support/test_paths.h"

extern char** environ;

namespace pq::test {

namespace {

// The environment with the locale variables replaced by LANG=`lang`.
std::vector<std::string> Environment(const std::string& lang) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind("LANG=", 0) == 0 || v.rfind("LC_ALL=", 0) == 0 || v.rfind("LC_MESSAGES=", 0) == 0 ||
            v.rfind("LANGUAGE=", 0) == 0)
            continue;
        env.push_back(v);
    }
    env.push_back("LANG=" + lang);
    return env;
}

// Spawns pqtool with standard input from `inPath` and standard output and error sent to the two
// files; -1 when it did not start.
pid_t Spawn(const std::vector<std::string>& args, const std::string& inPath, const std::string& outPath,
            const std::string& errPath, int openFlags, const std::string& lang = "C.UTF-8") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), openFlags, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), openFlags, 0600);
    std::string program = PqtoolPath().string();
    std::vector<std::string> copies(args);
    std::vector<char*> argv{program.data()};
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = Environment(lang);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string ReadText(const std::filesystem::path& p) {
    const std::vector<uint8_t> bytes = ReadBytes(p);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

RunResult RunPqtool(const std::vector<std::string>& args, const RunSetup& setup) {
    RunResult run;
    if (!std::filesystem::exists(PqtoolPath())) {
        ADD_FAILURE() << "pqtool is not built: " << PqtoolPath() << " (build all targets first)";
        return run;
    }
    TempDir capture;
    const std::string outPath = (capture / "stdout").string(), errPath = (capture / "stderr").string();
    std::string inPath = "/dev/null";
    if (!setup.Stdin.empty()) {
        inPath = (capture / "stdin").string();
        WriteBytes(inPath, std::vector<uint8_t>(setup.Stdin.begin(), setup.Stdin.end()));
    }
    const pid_t pid = Spawn(args, inPath, outPath, errPath, O_WRONLY | O_CREAT | O_TRUNC, setup.Lang);
    if (pid < 0) {
        ADD_FAILURE() << "cannot start " << PqtoolPath();
        return run;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Out = ReadText(outPath);
    run.Err = ReadText(errPath);
    return run;
}

pid_t StartPqtool(const std::vector<std::string>& args) { return Spawn(args, "/dev/null", "/dev/null", "/dev/null", O_WRONLY); }

}  // namespace pq::test
