#pragma once
// Icons of program files (.exe, .dll, .scr), read from the program's own resources: PE32 and
// PE32+ files. Icon n is the n-th RT_GROUP_ICON group in resource order. From a group the image
// the desktop would show at 32 x 32 is taken (an exact 32 x 32 image first, the deepest colour
// depth among equals), decoded (1, 4, 8, 16, 24 and 32-bit DIBs with their AND masks, PNG
// images) and scaled to 32 x 32 when the group has no image of that size.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/quality_reduction.h"
#include "core/io/file_result.h"
#include "core/raster/raster.h"

namespace pq {

class RegularFile;

inline constexpr const char* kNoIconsMessage = "アイコンが含まれていません";
inline constexpr const char* kProgramFileOpenMessage = "ファイルを開けません。";

// An icon as two pictures of the same size: the colour image, and the mask (black where the
// icon is opaque, white where it is transparent). Pixels an icon leaves transparent keep the
// colour stored under them. Images with an alpha channel are composed over white, and pixels
// at least half opaque count as opaque.
struct IconPicture {
    Raster Color;
    Raster Mask;
};

// One image of a group as the program stores it. Width, height and depth come from the image
// data itself, not from the group's directory (which only holds their low bytes).
struct IconImageInfo {
    int ResourceId = 0;
    int Width = 0, Height = 0;
    int BitsPerPixel = 0;
    bool Png = false;
    bool Decodable = false;   // the image header was read and its data lies inside the file
};

// What is wrong with a file read as a program, from its headers: the first problem found. A
// well-formed program without resources, or without icon groups among them, has none.
struct ProgramProblem {
    enum class Kind {
        None,
        NotPe,         // no "MZ" at the start
        NoPeSignature, // an MZ file whose e_lfanew does not point to "PE\0\0" (At: that place)
        Truncated,     // the file ends (At: its size) before what the headers need (Needed bytes)
        DamagedField   // a header field holds an impossible value (Field, Value, At: its offset)
    };
    Kind What = Kind::None;
    std::uint64_t At = 0;
    std::uint64_t Needed = 0;
    std::string Field;     // the field's name as the PE format calls it ("e_lfanew", "Magic", ...)
    std::uint64_t Value = 0;
    std::string Part;      // Truncated: what the file ends inside ("the section table", "section .rsrc")
};

class ProgramIcons {
public:
    // Reads the icon groups of a file, leaving the file open to read the rest as it is asked
    // for (a program is never loaded whole). A file that is not a PE program, or a program
    // without icon groups, gives Count() == 0. Refused with kProgramFileOpenMessage: a file that
    // cannot be read or is not a regular file (at once), and a program listing more than 4096
    // icon groups.
    static FileResult Load(const std::filesystem::path& path, ProgramIcons& out);
    // The same over bytes in memory; a program listing too many groups gives Count() == 0.
    static ProgramIcons FromBytes(std::vector<std::uint8_t> bytes);

    // What is wrong with the file as a program (Kind::None for a well-formed one). A program
    // whose headers are damaged or cut short still gives the groups that can be found.
    const ProgramProblem& Problem() const { return problem_; }

    // Number of icon groups (what the icon list of the extraction dialog shows).
    int Count() const { return int(groups_.size()); }
    // The group's resource name: its number in decimal, or its name.
    const std::string& GroupName(int index) const { return groups_.at(std::size_t(index)).name; }
    // The images the group lists, in its own order. A group listing more than 256 images lists
    // none (it is broken). Each image is described once however many groups list it.
    std::vector<IconImageInfo> Images(int index) const;
    // Bytes of one image of a group (empty when it is missing from the program or above 16 MB).
    std::vector<std::uint8_t> ImageBytes(int index, int image) const;
    // Which image of the group the desktop would show at 32 x 32; -1 when none can be decoded.
    int ChooseImage(int index) const;

    // Number of cursor groups (RT_GROUP_CURSOR) and a group's resource name, as for icons.
    int CursorCount() const { return int(cursorGroups_.size()); }
    const std::string& CursorGroupName(int index) const { return cursorGroups_.at(std::size_t(index)).name; }

    // Group `index` of the kind as an icon (.ico) or cursor (.cur) file: every image the group
    // lists, in its order, its data byte for byte as the program stores it (a cursor's without
    // the hotspot the resource starts with). An icon's directory entries are the group's (the
    // byte count the image's); a cursor's state the image's own width, height (256 as 0) and
    // colour count (2, 16 below 8 bits, else 0), and its hotspot. False, `out` empty, when the
    // group is broken or lists an image the program lacks (or above 16 MB, or 64 MB in all).
    enum class GroupKind { Icon, Cursor };
    bool GroupFile(GroupKind kind, int index, std::vector<std::uint8_t>& out) const;

    // Icon `index` at 32 x 32. False, leaving `out` empty, when the program yields no icon for
    // that index (index out of range, no decodable image in the group): callers skip it. The
    // images decoded by one object may hold at most 32 M pixels plus 16 per byte of the file:
    // beyond that every icon is refused, so that groups repeating large images cost what the
    // file holds.
    bool Extract(int index, IconPicture& out) const;

private:
    struct Entry {
        int id = 0;
        std::uint64_t offset = 0;
        std::uint32_t size = 0;   // 0: no RT_ICON resource of that id
    };
    struct Group {
        std::string name;
        std::uint64_t offset = 0;
        std::uint32_t size = 0;   // its directory; 0 when it could not be found
    };
    struct Tree;

    // Reads the sections, the resource tree and the group list; false when the file lists more
    // groups than anyone could ask for.
    bool ReadTables();
    bool Read(std::uint64_t offset, std::size_t n, std::vector<std::uint8_t>& out) const;
    std::uint64_t Size() const;
    // The group's directory entries with their RT_ICON data (read on demand, so that a file
    // whose groups all repeat one huge directory costs nothing until an icon is asked for).
    std::vector<Entry> Entries(int index) const;
    // The entries of a group of resource type `type` (1 icons, 2 cursors) over `images`; the
    // group's 14-byte directory entries go to `directory` when given.
    std::vector<Entry> GroupEntries(const Group& g, int type, const std::vector<Entry>& images,
                                    std::vector<std::uint8_t>* directory) const;

    std::vector<std::uint8_t> bytes_;               // the program, when made FromBytes
    std::shared_ptr<const RegularFile> file_;       // the program, when loaded from a file
    std::vector<Group> groups_;
    std::vector<Entry> icons_;   // RT_ICON resources sorted by id (first of equal ids first)
    std::vector<Group> cursorGroups_;
    std::vector<Entry> cursors_;   // RT_CURSOR resources, as icons_
    mutable std::vector<std::optional<IconImageInfo>> described_;   // per icons_ entry
    mutable std::uint64_t decodedPixels_ = 0;
    ProgramProblem problem_;
};

// Decodes one icon image (a DIB with its AND mask, or a PNG) at its own size. False when the
// data is not a readable icon image (sides above 1024 pixels included).
bool DecodeIconImage(std::span<const std::uint8_t> data, IconPicture& out);

// Builds the document the editor opens for an icon: InitBlankDocument(32, 32, 256) with the
// selected zoom; the colour picture is reduced to at most 256 palette entries into layer 0
// (every pixel painted; ReduceColors with `options`); when fewer than 16 entries result the
// document becomes a 16-colour one; then Mask is 0 where the mask picture is not black and 1
// where it is. Pictures of another size are cut or padded (white colour, transparent mask) at
// the bottom and right.
void IconFromPictures(Document& doc, const IconPicture& icon, int selectedZoom,
                      const ReductionOptions& options = ReductionOptions{});

}  // namespace pq
