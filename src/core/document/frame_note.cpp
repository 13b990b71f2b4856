#include "core/document/frame_note.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <system_error>

#include "core/io/atomic_write.h"

namespace pq {

namespace {

constexpr const char* kMagic = "pixquil-frames 1";
constexpr std::uint64_t kNoteLimit = 1 << 20;

void WriteLine(std::ostringstream& out, const std::vector<int>& values) {
    out << values.size();
    for (int v : values) out << ' ' << v;
    out << '\n';
}

bool ReadLine(std::istringstream& in, std::vector<int>& values) {
    std::string line;
    if (!std::getline(in, line)) return false;
    std::istringstream fields(line);
    long long count = 0;
    if (!(fields >> count) || count < 0 || count > 1 << 16) return false;
    values.clear();
    for (long long i = 0; i < count; ++i) {
        long long v = 0;
        if (!(fields >> v) || v < 0 || v > 1'000'000'000) return false;
        values.push_back(int(v));
    }
    std::string rest;
    return !(fields >> rest);
}

}  // namespace

std::filesystem::path FrameNotePath(const std::filesystem::path& folder, int setWindow) {
    return folder / ("anim" + std::to_string(setWindow));
}

bool WriteFrameNote(const std::filesystem::path& folder, int setWindow, const FrameNote& note) {
    std::ostringstream out;
    out << kMagic << '\n';
    WriteLine(out, note.PageFrames);
    WriteLine(out, note.Steps);
    WriteLine(out, note.StepMilliseconds);
    const std::string text = out.str();
    return WriteFileAtomically(FrameNotePath(folder, setWindow),
                               std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), Flush::Now,
                               Owner::Program)
        .Ok;
}

void RemoveFrameNote(const std::filesystem::path& folder, int setWindow) {
    std::error_code ec;
    std::filesystem::remove(FrameNotePath(folder, setWindow), ec);
}

std::optional<FrameNote> ReadFrameNote(const std::filesystem::path& folder, int setWindow, int pages,
                                       int maxMilliseconds) {
    std::vector<std::uint8_t> bytes;
    if (ReadWholeFile(FrameNotePath(folder, setWindow), bytes, kNoteLimit, Owner::Program) != ReadStatus::Ok)
        return std::nullopt;
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string magic;
    FrameNote note;
    if (!std::getline(in, magic) || magic != kMagic || !ReadLine(in, note.PageFrames) || !ReadLine(in, note.Steps) ||
        !ReadLine(in, note.StepMilliseconds))
        return std::nullopt;
    if (int(note.PageFrames.size()) != pages || pages == 0 || note.Steps.empty() ||
        note.Steps.size() != note.StepMilliseconds.size())
        return std::nullopt;
    const int frames = *std::max_element(note.PageFrames.begin(), note.PageFrames.end()) + 1;
    for (int f = 0; f < frames; ++f)
        if (std::find(note.PageFrames.begin(), note.PageFrames.end(), f) == note.PageFrames.end()) return std::nullopt;
    for (std::size_t k = 0; k < note.Steps.size(); ++k)
        if (note.Steps[k] >= frames || note.StepMilliseconds[k] < 1 || note.StepMilliseconds[k] > maxMilliseconds)
            return std::nullopt;
    return note;
}

}  // namespace pq
