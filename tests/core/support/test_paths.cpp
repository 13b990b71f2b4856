#include "support/test_paths.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace pq::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "pqtest-XXXXXX").string();
    char* made = mkdtemp(tmpl.data());
    path_ = made ? std::filesystem::path(made) : std::filesystem::temp_directory_path();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace pq::test
