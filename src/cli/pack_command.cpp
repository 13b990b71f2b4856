// pqtool pack: several documents or icons as the images of one icon or cursor file.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/open_input.h"
#include "core/formats/file_formats.h"
#include "core/formats/icon_container.h"
#include "core/formats/icon_file.h"

namespace pq::cli {

const char* const kPackUsage =
    "usage: pqtool pack OUT IN...\n"
    "\n"
    "Writes OUT (.ico or .cur) holding each IN as one image, in the order given. Each IN is\n"
    "opened as 'pqtool convert' opens it without options (.pqf the document; .ico and .cur\n"
    "their image 0; pictures their top-left 16x16 corner in 16 colours) and becomes a 4-bit\n"
    "image for 16 colours, 8-bit for 256, with its visible layers composed. In a cursor each\n"
    "image keeps the hotspot of its input (0,0 for inputs that are not cursors).\n"
    "\n"
    "Exit status: 0 success, 1 an IN is refused or OUT cannot be written (the reason on stderr;\n"
    "nothing is written then), 2 wrong usage.\n";

int RunPack(std::span<const std::string> args) {
    if (AsksForHelp(args)) {
        std::fputs(kPackUsage, stdout);
        return kExitOk;
    }
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, {}, parsed, error)) return UsageFailure("pack", error);
    if (parsed.Positionals.size() < 2)
        return UsageFailure("pack", parsed.Positionals.empty() ? "missing OUT and IN" : "missing IN");
    const std::string& out = parsed.Positionals[0];
    const FileFormat* format = FormatOfPath(out);
    if (!format || (format->Id != FileFormatId::Icon && format->Id != FileFormatId::Cursor))
        return UsageFailure("pack", "OUT must be an .ico or .cur file, not '" + out + "'");

    std::vector<Document> docs(parsed.Positionals.size() - 1);
    std::vector<const Document*> images;
    for (std::size_t i = 0; i < docs.size(); ++i) {
        const std::string& in = parsed.Positionals[i + 1];
        if (InputKindOf(in) == InputKind::None)
            return UsageFailure("pack", "no reader for '" + in + "': inputs are " + InputExtensions());
        const OpenResult opened = OpenInput(in, OpenRequest{}, docs[i]);
        if (opened.Exit == kExitUsage) return UsageFailure("pack", opened.Message);
        if (opened.Exit != kExitOk) return Refused(in, opened.Message);
        images.push_back(&docs[i]);
    }
    const int type = format->Id == FileFormatId::Cursor ? kCursorResourceType : kIconResourceType;
    if (FileResult r = PackIconFile(images, out, type); !r) return Refused(out, r.Message);
    return kExitOk;
}

}  // namespace pq::cli
