#pragma once
// Command-line parsing for pqtool: options with values ("--index 3" or "--index=3"), flags
// ("--json"), positional arguments ("-" among them: standard input or output), "--" ending the
// options, the "--quiet" every command takes, and strict number parsing (digits only, no sign,
// no spaces, no overflow) so that a mistyped value is reported instead of read as garbage.

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/raster/raster.h"

namespace pq::cli {

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;   // a file was refused (the editor's message on stderr)
inline constexpr int kExitUsage = 2;     // wrong usage

struct OptionSpec {
    std::string_view Name;   // with the dashes: "--index"
    bool Flag = false;       // takes no value ("--json"); stored with the value ""
};

// Every command takes it besides its own options: notes that are no errors are left out.
inline constexpr std::string_view kQuietOption = "--quiet";

struct ParsedArgs {
    std::vector<std::string> Positionals;
    std::map<std::string, std::string, std::less<>> Options;   // name with dashes -> value

    bool Has(std::string_view name) const { return Options.find(name) != Options.end(); }
    const std::string& Value(std::string_view name) const { return Options.find(name)->second; }
};

// Splits `args` (the words after the command name, help already handled) by the option table
// and kQuietOption. False with `error` set on an unknown option, a missing value, a value given
// to a flag or an option given twice. Seeing kQuietOption turns notes off (Note below).
bool ParseArgs(std::span<const std::string> args, std::span<const OptionSpec> known, ParsedArgs& out,
               std::string& error);

// True when "--help" or "-h" comes before any "--": help is given even beside wrong arguments.
bool AsksForHelp(std::span<const std::string> args);

// A whole decimal number 0..INT_MAX made of digits only.
bool ParseNonNegative(std::string_view text, int& out);

// "L,T,R,B": four whole numbers (a leading '-' allowed) within +-kAreaLimit with L <= R and
// T <= B: every frame the area picker can make, on the picture, hanging off it or empty. The
// limit covers the widest picture the readers accept and keeps the work on a frame bounded.
inline constexpr int kAreaLimit = 1 << 26;
bool ParseArea(std::string_view text, Rect& out, std::string& error);

// A message on stderr that is no error ("skipped", "written"): left out after --quiet.
void Note(const std::string& message);
bool NotesQuiet();

// Prints "pqtool COMMAND: message" and a hint to the command's help on stderr; returns kExitUsage.
int UsageFailure(std::string_view command, const std::string& message);
// Prints "FILE: message" on stderr, the editor's sentences in the run's language (EditorMessage);
// returns kExitRefused.
int Refused(std::string_view file, const std::string& message);

}  // namespace pq::cli
