#include "support/hostile_icons.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/io/byte_io.h"
#include "support/png_encode.h"
#include "support/test_paths.h"

namespace pq::test {

namespace {

std::vector<uint8_t> Dib32(int side) {
    std::vector<uint8_t> out;
    ByteWriter put(out);
    put.U32(40), put.I32(side), put.I32(2 * side), put.U16(1), put.U16(32);
    for (int i = 0; i < 6; ++i) put.U32(0);
    for (int i = 0; i < side * side; ++i) put.Bytes(std::array<uint8_t, 4>{uint8_t(i), uint8_t(i >> 8), 90, 255});
    put.Fill((std::size_t(side) + 31) / 32 * 4 * std::size_t(side), 0);
    return out;
}

std::vector<uint8_t> Png(int side) {
    std::vector<uint8_t> rgba(std::size_t(side) * std::size_t(side) * 4);
    for (std::size_t i = 0; i < rgba.size(); i += 4) rgba[i] = uint8_t(i), rgba[i + 1] = 40, rgba[i + 2] = 200, rgba[i + 3] = 255;
    return EncodePng(side, side, rgba);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

}  // namespace

long MemoryBoundKiB(long kib) { return kSanitized ? 2 * kib + 256 * 1024 : kib; }

namespace {

void CapAddressSpace(long capMiB) {
    if (kSanitized) return;   // sanitizers reserve far more address space than they use
    const rlim_t bytes = rlim_t(capMiB) << 20;
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_AS, &limit);
}

ChildCost Wait(pid_t pid, std::chrono::steady_clock::time_point start) {
    ChildCost cost;
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return cost;
    cost.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.PeakKiB = usage.ru_maxrss;
    cost.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return cost;
}

std::string Text(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::vector<uint8_t> SharedImageIcon(SharedImage kind, int side, int entries) {
    const std::vector<uint8_t> image = kind == SharedImage::Png ? Png(side) : Dib32(side);
    std::vector<uint8_t> out;
    ByteWriter put(out);
    put.U16(0), put.U16(1), put.U16(uint16_t(entries));
    const uint32_t offset = 6 + 16 * uint32_t(entries);
    for (int i = 0; i < entries; ++i) {
        put.Bytes(std::array<uint8_t, 4>{uint8_t(side % 256), uint8_t(side % 256), 0, 0});
        put.U16(1), put.U16(32), put.U32(uint32_t(image.size())), put.U32(offset);
    }
    put.Bytes(image);
    return out;
}

ChildCost RunInChild(const std::function<int()>& body, long capMiB) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        CapAddressSpace(capMiB);
        _exit(body());
    }
    return Wait(pid, start);
}

ChildCost RunPqtoolMeasured(const std::vector<std::string>& args, long capMiB) {
    TempDir capture;
    const std::string outPath = (capture / "stdout").string(), errPath = (capture / "stderr").string();
    const std::string program = PqtoolPath().string();
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) _exit(127);
        dup2(in, 0), dup2(out, 1), dup2(err, 2);
        setenv("LANG", "C.UTF-8", 1);
        unsetenv("LC_ALL"), unsetenv("LC_MESSAGES"), unsetenv("LANGUAGE");
        CapAddressSpace(capMiB);
        std::vector<std::string> copies(args);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    ChildCost cost = Wait(pid, start);
    cost.Out = Text(outPath);
    cost.Err = Text(errPath);
    return cost;
}

}  // namespace pq::test
