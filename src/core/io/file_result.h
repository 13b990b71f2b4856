#pragma once
// The outcome of reading or writing a file: success, or failure with the exact message the
// user must see. Readers and writers never show UI; the caller shows Message.

#include <string>
#include <utility>

namespace pq {

struct FileResult {
    bool Ok = true;
    std::string Message;   // UTF-8, shown to the user as it stands when !Ok

    static FileResult Success() { return {}; }
    static FileResult Failure(std::string message) { return FileResult{false, std::move(message)}; }
    explicit operator bool() const { return Ok; }
};

}  // namespace pq
