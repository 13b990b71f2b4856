#pragma once
// Folders the tests read from: tests/data in this repository and the shared corpus of files
// written by other tools (absent on some machines: tests that need it skip).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pq::test {

inline std::filesystem::path DataDir() { return PQ_TEST_DATA_DIR; }
inline std::filesystem::path CorpusDir() { return PQ_CORPUS_DIR; }
inline bool HaveCorpus() { return std::filesystem::is_directory(CorpusDir()); }
inline std::filesystem::path PqtoolPath() { return PQ_PQTOOL_PATH; }

// Whole-file helpers for tests: an unreadable file reads as empty; writing replaces the file.
std::vector<uint8_t> ReadBytes(const std::filesystem::path& p);
void WriteBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes);

// A fresh empty folder under the system's temporary folder, removed when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

}  // namespace pq::test
