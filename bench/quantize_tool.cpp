// Reduces one PNG to N colours and writes the result as a PNG, for comparing palette builders
// on real pictures (bench/quantizer_vs_pngquant.py). Pixels of alpha 0 stay unpainted; the
// script hands over pictures whose alpha is already 0 or 255.
//   pixquil_quantize_tool IN.png OUT.png N median|quality [none|diffusion|ordered]

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/document/document.h"
#include "core/document/quality_reduction.h"
#include "core/formats/png_file.h"

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s IN.png OUT.png N median|quality [none|diffusion|ordered]\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[4], dither = argc > 5 ? argv[5] : "none";
    pq::ReductionOptions options;
    if (mode == "quality")
        options.quantizer = pq::Quantizer::Quality;
    else if (mode != "median")
        return std::fprintf(stderr, "unknown mode %s\n", mode.c_str()), 2;
    if (dither == "diffusion")
        options.dither = pq::Dither::Diffusion;
    else if (dither == "ordered")
        options.dither = pq::Dither::Ordered;
    else if (dither != "none")
        return std::fprintf(stderr, "unknown dither %s\n", dither.c_str()), 2;

    pq::Raster picture;
    pq::Plane transparent;
    const pq::FileResult read = pq::LoadPngPicture(argv[1], picture, &transparent);
    if (!read) return std::fprintf(stderr, "cannot read %s\n", argv[1]), 1;
    pq::Plane painted(transparent.size());
    for (std::size_t p = 0; p < painted.size(); ++p) painted[p] = transparent[p] ? 0 : 1;

    pq::Document doc;
    pq::InitBlankDocument(doc, picture.Width(), picture.Height(), 256, 20);
    const int K = pq::ReducePaintedPicture(doc, std::atoi(argv[3]), 0, picture, painted, options);
    const pq::FileResult written = pq::SavePngFile(doc, argv[2]);
    if (!written) return std::fprintf(stderr, "cannot write %s\n", argv[2]), 1;
    std::printf("%d\n", K);
    return 0;
}
