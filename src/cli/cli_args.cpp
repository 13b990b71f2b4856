#include "cli/cli_args.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "cli/messages.h"

namespace pq::cli {

namespace {
bool notesQuiet = false;
}

bool NotesQuiet() { return notesQuiet; }

void Note(const std::string& message) {
    if (!notesQuiet) std::fprintf(stderr, "%s\n", message.c_str());
}

bool ParseArgs(std::span<const std::string> args, std::span<const OptionSpec> known, ParsedArgs& out,
               std::string& error) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            out.Positionals.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = a;
        std::string value;
        bool inlineValue = false;
        if (std::size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        const auto option = std::find_if(known.begin(), known.end(), [&](const OptionSpec& s) { return s.Name == name; });
        const bool quiet = name == kQuietOption;
        if (option == known.end() && !quiet) {
            error = Say("unknown option '" + name + "'", "知らないオプション '" + name + "' です");
            return false;
        }
        if (quiet || option->Flag) {
            if (inlineValue) {
                error = Say("option '" + name + "' takes no value", "オプション '" + name + "' は値を取りません");
                return false;
            }
        } else if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = Say("option '" + name + "' needs a value", "オプション '" + name + "' には値が要ります");
                return false;
            }
            value = args[++i];
        }
        if (out.Has(name)) {
            error = Say("option '" + name + "' given more than once", "オプション '" + name + "' が二度あります");
            return false;
        }
        out.Options.emplace(name, value);
        if (quiet) notesQuiet = true;
    }
    return true;
}

bool AsksForHelp(std::span<const std::string> args) {
    for (const std::string& a : args) {
        if (a == "--") return false;
        if (a == "--help" || a == "-h") return true;
    }
    return false;
}

bool ParseNonNegative(std::string_view text, int& out) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    out = value;
    return true;
}

namespace {

// A whole decimal number with an optional leading '-', digits only otherwise.
bool ParseInteger(std::string_view text, int& out) {
    const bool negative = !text.empty() && text[0] == '-';
    int magnitude = 0;
    if (!ParseNonNegative(negative ? text.substr(1) : text, magnitude)) return false;
    out = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

bool ParseArea(std::string_view text, Rect& out, std::string& error) {
    int v[4];
    std::size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        std::size_t comma = text.find(',', start);
        if ((k < 3) != (comma != std::string_view::npos)) {
            error = Say("--area needs four numbers L,T,R,B", "--area には 4 つの数 L,T,R,B が要ります");
            return false;
        }
        std::string_view part = text.substr(start, k < 3 ? comma - start : std::string_view::npos);
        if (!ParseInteger(part, v[k]) || v[k] < -kAreaLimit || v[k] > kAreaLimit) {
            error = Say("--area: '" + std::string(part) + "' is not a whole number from ",
                        "--area：'" + std::string(part) + "' は次の範囲の整数ではありません：") +
                    std::to_string(-kAreaLimit) + Say(" to ", "～") + std::to_string(kAreaLimit);
            return false;
        }
        start = comma + 1;
    }
    if (v[0] > v[2] || v[1] > v[3]) {
        error = Say("--area needs L <= R and T <= B", "--area は L <= R、T <= B でなければなりません");
        return false;
    }
    out = Rect{v[0], v[1], v[2], v[3]};
    return true;
}

int UsageFailure(std::string_view command, const std::string& message) {
    const std::string help = command.empty() ? "pqtool --help" : "pqtool " + std::string(command) + " --help";
    const std::string hint = Say("Try '" + help + "'.", "'" + help + "' で使い方を表示します。");
    if (command.empty())
        std::fprintf(stderr, "pqtool: %s\n%s\n", message.c_str(), hint.c_str());
    else
        std::fprintf(stderr, "pqtool %.*s: %s\n%s\n", int(command.size()), command.data(), message.c_str(), hint.c_str());
    return kExitUsage;
}

int Refused(std::string_view file, const std::string& message) {
    std::fprintf(stderr, "%.*s: %s\n", int(file.size()), file.data(), EditorMessage(message).c_str());
    return kExitRefused;
}

}  // namespace pq::cli
