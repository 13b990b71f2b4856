#pragma once
// pqtool run as a separate process by the command-line tests.

#include <sys/types.h>

#include <string>
#include <vector>

namespace pq::test {

struct RunResult {
    int Status = -1;  // exit status, -1 when the process did not exit normally
    std::string Out, Err;
};

// How a run is set up: its locale (LANG, with LC_ALL and LC_MESSAGES removed; English unless a
// test asks otherwise, so that no developer's own locale changes what a test reads) and what
// its standard input holds (empty: /dev/null).
struct RunSetup {
    std::string Lang = "C.UTF-8";
    std::string Stdin;
};

// Runs pqtool with the arguments to its end, standard output and error captured. A pqtool that
// is not built or cannot start is a test failure (Status stays -1).
RunResult RunPqtool(const std::vector<std::string>& args, const RunSetup& setup = {});
// Starts pqtool with its output thrown away and returns at once: its process id, -1 when it could
// not start. The caller waits for it (or kills it).
pid_t StartPqtool(const std::vector<std::string>& args);

}  // namespace pq::test
