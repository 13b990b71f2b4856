#pragma once
// The pqtool commands. Each takes the words after its name and returns the exit status
// (cli_args.h: 0 success, 1 a file refused, 2 wrong usage); output goes to stdout, messages to
// stderr.

#include <span>
#include <string>

namespace pq::cli {

// Each command's help in English, as the manual page and the completions are checked against.
extern const char* const kInfoUsage;
extern const char* const kConvertUsage;
extern const char* const kExtractUsage;
extern const char* const kPackUsage;
extern const char* const kCursorThemeUsage;

// Each command's help in the run's language (cli/messages.h): what --help and `help CMD` print.
std::string InfoUsage();
std::string ConvertUsage();
std::string ExtractUsage();
std::string PackUsage();
std::string CursorThemeUsage();
// Generated from the operation table, so it lists every word with its range.
std::string ApplyUsage();

int RunInfo(std::span<const std::string> args);
int RunConvert(std::span<const std::string> args);
int RunExtract(std::span<const std::string> args);
int RunPack(std::span<const std::string> args);
int RunApply(std::span<const std::string> args);
int RunCursorTheme(std::span<const std::string> args);

}  // namespace pq::cli
