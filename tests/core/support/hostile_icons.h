#pragma once
// Icon files built to cost as much as possible to open: one image listed by every entry of a
// full directory. And a way to run something in a child process and learn what it cost (time,
// peak resident memory), so that a reader that runs away fails a test instead of the test run.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pq::test {

enum class SharedImage { Dib32, Png };

// An icon of `entries` directory entries (at most 65535) that all point to one side x side image:
// a 32-bit DIB with its AND mask, or a PNG. The entries' size bytes say the side (256 as 0).
std::vector<uint8_t> SharedImageIcon(SharedImage kind, int side, int entries);

struct ChildCost {
    int Status = -1;        // exit status; -1 when it did not exit normally (killed, crashed)
    double Seconds = 0;     // wall-clock time from start to exit
    long PeakKiB = 0;       // the child's peak resident set (ru_maxrss of wait4)
    std::string Out, Err;   // what a pqtool run wrote
};

// Runs `body` in a forked child whose exit status is its result; the child's address space is
// capped at `capMiB` (when not built with a sanitizer) so that a runaway cannot take the machine.
ChildCost RunInChild(const std::function<int()>& body, long capMiB = 2048);
// A peak-memory bound for such a child: `kib` itself, or, in a sanitized build, that plus what
// the sanitizer keeps on its own (freed blocks held in quarantine, redzones, shadow memory).
long MemoryBoundKiB(long kib);
// Runs pqtool with `args` (English, standard input empty) the same way.
ChildCost RunPqtoolMeasured(const std::vector<std::string>& args, long capMiB = 2048);

}  // namespace pq::test
