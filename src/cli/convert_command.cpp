// pqtool convert: open a file as the editor does and write it with the writer its output name
// picks.
#include <array>
#include <cstdio>
#include <string>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/open_input.h"
#include "core/formats/file_formats.h"

namespace pq::cli {

const char* const kConvertUsage =
    "usage: pqtool convert IN OUT [--index N] [--size 16|32|48] [--colors 16|256] [--area L,T,R,B]\n"
    "                             [--hotspot X,Y]\n"
    "\n"
    "Opens IN as the editor opens it and writes OUT in the format its extension names.\n"
    "Input, by extension:\n"
    "  .pqf            the layered document\n"
    "  .ico, .cur      image N of the file (--index N, default 0)\n"
    "  .bmp, .jpg,     an area of the picture resampled to --size (default 16) pixels square\n"
    "  .jpeg, .png     and reduced to --colors (default 16) colours. Without --area the area is\n"
    "                  the picture's top-left corner at the output size, unscaled; --area takes\n"
    "                  the rectangle from (L,T) to (R,B), right and bottom exclusive, scaled to\n"
    "                  the output size. It may reach off the picture (negative numbers too):\n"
    "                  what falls outside is white, as in the editor's area picker. Pixels\n"
    "                  made mostly of a PNG's fully transparent pixels stay unpainted.\n"
    "Output, by extension:\n"
    "  .pqf            the layered document\n"
    "  .ico, .cur      one-image icon or cursor of the visible layers; a cursor's hotspot is\n"
    "                  --hotspot X,Y, else the one of the cursor IN (0,0 for other input).\n"
    "                  OUT naming the very file IN came from replaces only image N in it,\n"
    "                  in the image's own kind: a 32-bit image stays 32-bit, a PNG image PNG,\n"
    "                  others become 4-bit or 8-bit; every other image is kept byte for byte.\n"
    "  .bmp            24-bit bitmap of the visible layers, white where nothing is painted\n"
    "  .pqp, .pal      the document's palette as pqp or JASC-PAL text\n"
    "  .png            RGBA picture of the visible layers, transparent where nothing is painted\n"
    "\n"
    "Exit status: 0 success, 1 IN is refused or OUT cannot be written (the reason on stderr),\n"
    "2 wrong usage.\n";

namespace {

constexpr std::array<OptionSpec, 5> kOptions{{{"--index"}, {"--size"}, {"--colors"}, {"--area"}, {"--hotspot"}}};

// "X,Y": two whole numbers 0 or above.
bool ParseHotspot(const std::string& text, int& x, int& y) {
    const std::size_t comma = text.find(',');
    return comma != std::string::npos && ParseNonNegative(std::string_view(text).substr(0, comma), x) &&
           ParseNonNegative(std::string_view(text).substr(comma + 1), y);
}

}  // namespace

int RunConvert(std::span<const std::string> args) {
    if (AsksForHelp(args)) {
        std::fputs(kConvertUsage, stdout);
        return kExitOk;
    }
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, kOptions, parsed, error)) return UsageFailure("convert", error);
    if (parsed.Positionals.size() < 2)
        return UsageFailure("convert", parsed.Positionals.empty() ? "missing IN and OUT" : "missing OUT");
    if (parsed.Positionals.size() > 2) return UsageFailure("convert", "too many arguments");
    const std::string& in = parsed.Positionals[0];
    const std::string& out = parsed.Positionals[1];

    const InputKind inKind = InputKindOf(in);
    if (inKind == InputKind::None)
        return UsageFailure("convert", "no reader for '" + in + "': inputs are " + InputExtensions());
    const FormatWriter writer = OutputWriterOf(out);
    if (!writer) return UsageFailure("convert", "no writer for '" + out + "': outputs are " + OutputExtensions());

    OpenRequest request;
    if (parsed.Has("--index")) {
        if (inKind != InputKind::Icon) return UsageFailure("convert", "--index applies to .ico and .cur input only");
        if (!ParseNonNegative(parsed.Value("--index"), request.Index))
            return UsageFailure("convert", "--index: '" + parsed.Value("--index") + "' is not a whole number 0 or above");
    }
    for (const char* pictureOption : {"--size", "--colors", "--area"})
        if (parsed.Has(pictureOption) && inKind != InputKind::Picture)
            return UsageFailure("convert", std::string(pictureOption) + " applies to .bmp, .jpg, .jpeg and .png input only");
    if (parsed.Has("--size")) {
        const std::string& v = parsed.Value("--size");
        if (!ParseNonNegative(v, request.Size) || (request.Size != 16 && request.Size != 32 && request.Size != 48))
            return UsageFailure("convert", "--size must be 16, 32 or 48, not '" + v + "'");
    }
    if (parsed.Has("--colors")) {
        const std::string& v = parsed.Value("--colors");
        if (!ParseNonNegative(v, request.Colors) || (request.Colors != 16 && request.Colors != 256))
            return UsageFailure("convert", "--colors must be 16 or 256, not '" + v + "'");
    }
    if (parsed.Has("--area")) {
        Rect area;
        if (!ParseArea(parsed.Value("--area"), area, error)) return UsageFailure("convert", error);
        request.Area = area;
    }

    int hotspotX = 0, hotspotY = 0;
    if (parsed.Has("--hotspot")) {
        const FileFormat* outFormat = FormatOfPath(out);
        if (!outFormat || outFormat->Id != FileFormatId::Cursor)
            return UsageFailure("convert", "--hotspot applies to .cur output only");
        if (!ParseHotspot(parsed.Value("--hotspot"), hotspotX, hotspotY))
            return UsageFailure("convert", "--hotspot: '" + parsed.Value("--hotspot") + "' is not X,Y (whole numbers 0 or above)");
    }

    Document doc;
    const OpenResult opened = OpenInput(in, request, doc);
    if (opened.Exit == kExitUsage) return UsageFailure("convert", opened.Message);
    if (opened.Exit != kExitOk) return Refused(in, opened.Message);
    if (parsed.Has("--hotspot")) {
        if (hotspotX >= doc.ImageWidth || hotspotY >= doc.ImageHeight)
            return UsageFailure("convert", "--hotspot " + parsed.Value("--hotspot") + " lies outside the " +
                                               std::to_string(doc.ImageWidth) + "x" + std::to_string(doc.ImageHeight) + " image");
        doc.HotspotX = hotspotX;
        doc.HotspotY = hotspotY;
        doc.HasHotspot = true;
    }
    if (FileResult r = writer(doc, out); !r) return Refused(out, r.Message);
    return kExitOk;
}

}  // namespace pq::cli
