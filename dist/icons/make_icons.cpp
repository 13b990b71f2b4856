// Builds Pixquil's program icon from its pixel art. pixquil.art holds one 16-colour palette and
// the 16, 32 and 48 pixel pictures as character grids; each picture becomes a one-layer document
// that the editor's own icon writer encodes, and the three images are put into one .ico. PNG
// copies for the desktop's icon theme are the pictures at their size and scaled up by whole
// factors, pixel for pixel.
//
//   pq_make_icons ART OUTDIR           writes OUTDIR/pixquil.ico and OUTDIR/png/pixquil-N.png
//   pq_make_icons ART OUTDIR --check   compares with what OUTDIR holds; exit 1 on a difference
#include <png.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/formats/icon_file.h"

namespace fs = std::filesystem;

namespace {

struct Picture {
    int Size = 0;
    std::vector<std::string> Rows;
};

struct Art {
    std::vector<pq::Rgb> Colors;   // palette entries 0.. in order
    std::map<char, int> IndexOf;   // grid character -> palette entry
    std::vector<Picture> Pictures; // ascending sizes
};

// '.' is a transparent pixel: mask 0, index 0 (entry 0 should be black, so that the colour
// image adds nothing where a system draws it over the masked background).
constexpr char kTransparent = '.';

// The theme sizes: which picture each is made from and by what whole factor it is scaled.
struct ThemeSize {
    int Size, From, Factor;
};
constexpr ThemeSize kThemeSizes[] = {{16, 16, 1}, {32, 32, 1}, {48, 48, 1}, {64, 32, 2},
                                     {96, 48, 2}, {128, 32, 4}, {256, 32, 8}};

bool Fail(const std::string& message) {
    std::fprintf(stderr, "pq_make_icons: %s\n", message.c_str());
    return false;
}

// Format: '#' comments and blank lines are skipped; "color C RRGGBB" adds palette entry n for
// grid character C (words after it are notes); "image N" starts an N x N picture whose N rows
// follow.
bool ReadArt(const fs::path& path, Art& art) {
    std::ifstream in(path);
    if (!in) return Fail("cannot read " + path.string());
    std::string line;
    int lineNo = 0;
    Picture* open = nullptr;
    const auto where = [&] { return path.filename().string() + ":" + std::to_string(lineNo) + ": "; };
    while (std::getline(in, line)) {
        ++lineNo;
        if (open && int(open->Rows.size()) < open->Size) {
            if (int(line.size()) != open->Size) return Fail(where() + "row of " + std::to_string(line.size()) + " pixels");
            for (char c : line)
                if (c != kTransparent && !art.IndexOf.count(c)) return Fail(where() + "unknown colour '" + c + "'");
            open->Rows.push_back(line);
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (word == "color") {
            std::string ch, hex;
            words >> ch >> hex;
            if (ch.size() != 1 || ch[0] == kTransparent || art.IndexOf.count(ch[0]) || hex.size() != 6 ||
                hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return Fail(where() + "expected: color CHAR RRGGBB, with a new CHAR");
            if (art.Colors.size() == 16) return Fail(where() + "more than 16 colours");
            const unsigned long v = std::stoul(hex, nullptr, 16);
            art.IndexOf[ch[0]] = int(art.Colors.size());
            art.Colors.push_back(pq::Rgb{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
        } else if (word == "image") {
            int size = 0;
            words >> size;
            if (size < 1 || size > 255 || (!art.Pictures.empty() && size <= art.Pictures.back().Size))
                return Fail(where() + "expected: image N, sizes ascending");
            art.Pictures.push_back(Picture{size, {}});
            open = &art.Pictures.back();
        } else {
            return Fail(where() + "unknown line");
        }
    }
    if (open && int(open->Rows.size()) < open->Size) return Fail(path.filename().string() + ": last picture is short");
    if (art.Pictures.empty()) return Fail(path.filename().string() + ": no picture");
    return true;
}

const Picture* PictureOfSize(const Art& art, int size) {
    for (const Picture& p : art.Pictures)
        if (p.Size == size) return &p;
    return nullptr;
}

// The picture scaled by `factor` as a 16-colour one-layer document.
pq::Document MakeDocument(const Art& art, const Picture& pic, int factor) {
    pq::Document doc;
    const int side = pic.Size * factor;
    pq::InitBlankDocument(doc, side, side, 16, 1);
    doc.Palette.fill(pq::PaletteEntry{});
    for (std::size_t i = 0; i < art.Colors.size(); ++i) doc.Palette[i] = pq::MakeEntry(art.Colors[i]);
    pq::Layer& layer = doc.Current();
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const char c = pic.Rows[std::size_t(y / factor)][std::size_t(x / factor)];
            const std::size_t at = std::size_t(y) * std::size_t(side) + std::size_t(x);
            layer.Mask[at] = c != kTransparent;
            layer.Indices[at] = c == kTransparent ? 0 : uint8_t(art.IndexOf.at(c));
        }
    return doc;
}

void Put16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// One icon file holding every picture: the directory, then each image exactly as the editor's
// one-image writer lays it out (header, colour table, bottom-up colour rows, AND mask). The
// directory gives planes 1 and the bit count, as icon directories conventionally do.
std::optional<std::vector<uint8_t>> EncodeMultiIcon(const Art& art) {
    std::vector<std::vector<uint8_t>> images;
    for (const Picture& pic : art.Pictures) {
        const std::vector<uint8_t> one = pq::EncodeIcon(MakeDocument(art, pic, 1), pq::kIconResourceType, 0, 0);
        constexpr std::size_t kHeadAndEntry = 6 + 16;
        if (one.size() <= kHeadAndEntry) return std::nullopt;
        images.emplace_back(one.begin() + kHeadAndEntry, one.end());
    }
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, pq::kIconResourceType);
    Put16(out, unsigned(images.size()));
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int size = art.Pictures[i].Size;
        out.push_back(uint8_t(size));
        out.push_back(uint8_t(size));
        out.push_back(16);  // colours
        out.push_back(0);
        Put16(out, 1);      // planes
        Put16(out, 4);      // bits per pixel
        Put32(out, uint32_t(images[i].size()));
        Put32(out, offset);
        offset += uint32_t(images[i].size());
    }
    for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}

// Reads every image back with the editor's icon reader: a file the editor cannot open, or one
// whose pixels differ from the art, is not shipped.
bool CheckReadBack(const Art& art, const std::vector<uint8_t>& ico) {
    for (std::size_t i = 0; i < art.Pictures.size(); ++i) {
        pq::Document doc;
        const pq::FileResult r = pq::LoadIconBytes(ico, int(i), doc, 1);
        if (!r.Ok) return Fail("the editor refuses image " + std::to_string(i) + ": " + r.Message);
        const pq::Document want = MakeDocument(art, art.Pictures[i], 1);
        if (doc.ImageWidth != want.ImageWidth || doc.ImageHeight != want.ImageHeight)
            return Fail("image " + std::to_string(i) + " reads back at another size");
        const pq::Layer &got = doc.LayerAt(0), &exp = want.LayerAt(0);
        for (std::size_t p = 0; p < exp.Mask.size(); ++p)
            if (bool(got.Mask[p]) != bool(exp.Mask[p]) || (exp.Mask[p] && got.Indices[p] != exp.Indices[p]))
                return Fail("image " + std::to_string(i) + " reads back with other pixels");
        for (std::size_t c = 0; c < art.Colors.size(); ++c)
            if (doc.Palette[c] != want.Palette[c]) return Fail("image " + std::to_string(i) + " reads back with another palette");
    }
    return true;
}

std::optional<std::vector<uint8_t>> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out.flush()) || Fail("cannot write " + path.string());
}

// Row-major RGBA of the picture scaled by `factor`: transparent pixels (0, 0, 0, 0).
std::vector<uint8_t> Rgba(const Art& art, const Picture& pic, int factor) {
    const int side = pic.Size * factor;
    std::vector<uint8_t> rgba(std::size_t(side) * std::size_t(side) * 4, 0);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const char c = pic.Rows[std::size_t(y / factor)][std::size_t(x / factor)];
            if (c == kTransparent) continue;
            const pq::Rgb v = art.Colors[std::size_t(art.IndexOf.at(c))];
            uint8_t* p = rgba.data() + (std::size_t(y) * std::size_t(side) + std::size_t(x)) * 4;
            p[0] = v.r;
            p[1] = v.g;
            p[2] = v.b;
            p[3] = 255;
        }
    return rgba;
}

std::optional<std::vector<uint8_t>> EncodePng(const std::vector<uint8_t>& rgba, int side) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(side);
    image.height = png_uint_32(side);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr)) return std::nullopt;
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr)) return std::nullopt;
    out.resize(size);
    return out;
}

// RGBA of a PNG file, or nothing when it cannot be decoded.
std::optional<std::vector<uint8_t>> DecodePng(const fs::path& path, int& width, int& height) {
    const auto bytes = ReadBytes(path);
    if (!bytes) return std::nullopt;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes->data(), bytes->size())) return std::nullopt;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    width = int(image.width);
    height = int(image.height);
    return rgba;
}

bool Run(const fs::path& artPath, const fs::path& outDir, bool check) {
    Art art;
    if (!ReadArt(artPath, art)) return false;
    const auto ico = EncodeMultiIcon(art);
    if (!ico) return Fail("the icon writer refused a picture");
    if (!CheckReadBack(art, *ico)) return false;

    bool same = true;
    const fs::path icoPath = outDir / "pixquil.ico";
    if (check) {
        if (ReadBytes(icoPath) != *ico) same = Fail(icoPath.string() + " differs from what the art gives");
    } else if (!WriteBytes(icoPath, *ico)) {
        return false;
    }

    std::error_code ec;
    if (!check) fs::create_directories(outDir / "png", ec);
    for (const ThemeSize& t : kThemeSizes) {
        const Picture* pic = PictureOfSize(art, t.From);
        if (!pic) return Fail("no " + std::to_string(t.From) + " pixel picture");
        const std::vector<uint8_t> rgba = Rgba(art, *pic, t.Factor);
        const fs::path png = outDir / "png" / ("pixquil-" + std::to_string(t.Size) + ".png");
        if (check) {
            // Pixels, not bytes: another zlib may compress the same picture differently.
            int w = 0, h = 0;
            const auto have = DecodePng(png, w, h);
            if (!have || w != t.Size || h != t.Size || *have != rgba)
                same = Fail(png.string() + " differs from what the art gives");
        } else {
            const auto bytes = EncodePng(rgba, t.Size);
            if (!bytes) return Fail("cannot encode " + png.string());
            if (!WriteBytes(png, *bytes)) return false;
        }
    }
    return same;
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 4 && std::strcmp(argv[3], "--check") == 0;
    if (argc != 3 && !check) {
        std::fputs("usage: pq_make_icons ART OUTDIR [--check]\n", stderr);
        return 2;
    }
    return Run(argv[1], argv[2], check) ? 0 : 1;
}
