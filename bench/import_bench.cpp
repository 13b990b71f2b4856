// Picture import and program icons: decoding a 6000 x 4000 JPEG (beside libjpeg-turbo's own
// djpeg on the same file), importing a 48 x 48 area of it, the two whole-picture imports
// against djpeg in one run each, and listing and extracting every icon of the largest program
// in the corpus.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "core/document/document.h"
#include "core/formats/jpeg_reader.h"
#include "core/formats/picture_import.h"
#include "core/formats/program_icons.h"
#include "core/ops/resample.h"
#include "bench_jpeg.h"
#include "support/reference_area_average.h"
#include "support/reference_resample.h"

namespace fs = std::filesystem;

namespace {

using pq::bench::BenchJpeg;
using pq::bench::kJpegHeight;
using pq::bench::kJpegWidth;

const pq::Raster& BenchPicture() {
    static pq::Raster picture;
    static std::once_flag once;
    std::call_once(once, [] { pq::LoadJpegFile(BenchJpeg(), picture); });
    return picture;
}

// The largest .exe or .dll under the corpus's program folder.
fs::path LargestProgram() {
    fs::path best;
    std::uintmax_t size = 0;
    const fs::path dir = fs::path(PQ_CORPUS_DIR) / "pe";
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator(); ++it) {
        const std::string ext = it->path().extension().string();
        if (!it->is_regular_file() || (ext != ".exe" && ext != ".dll")) continue;
        if (it->file_size() > size) {
            size = it->file_size();
            best = it->path();
        }
    }
    return best;
}

}  // namespace

static void BM_DecodeJpeg6000x4000(benchmark::State& state) {
    const std::string& path = BenchJpeg();
    for (auto _ : state) {
        pq::Raster r;
        if (!pq::LoadJpegFile(path, r).Ok) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(r.Data());
    }
    state.counters["megapixels"] = kJpegWidth * kJpegHeight / 1e6;
}
BENCHMARK(BM_DecodeJpeg6000x4000)->Unit(benchmark::kMillisecond)->UseRealTime();

// libjpeg-turbo's own command-line decoder on the same file, process start included.
static void BM_DjpegSameFile(benchmark::State& state) {
    const std::string command = "djpeg -outfile /dev/null " + BenchJpeg();
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("djpeg not available");
            break;
        }
    }
}
BENCHMARK(BM_DjpegSameFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// A click with "48×48ピクセル" (1:1 area), then OK with 256 colours.
static void BM_ImportArea48Click(benchmark::State& state) {
    const pq::Raster& picture = BenchPicture();
    for (auto _ : state) {
        pq::AreaPicker picker(picture);
        picker.SetOutputSize(48, 48);
        picker.Press(2000, 1500);
        picker.Release();
        pq::Document doc;
        pq::ImportPictureDocument(doc, picker.Preview(), 256, 20);
        benchmark::DoNotOptimize(doc.Palette.data());
    }
}
BENCHMARK(BM_ImportArea48Click)->Unit(benchmark::kMicrosecond);

// "全体を使う": the whole 6000 x 4000 picture averaged into 48 x 48, then OK with 256 colours.
static void BM_ImportWholePictureTo48(benchmark::State& state) {
    const pq::Raster& picture = BenchPicture();
    for (auto _ : state) {
        pq::AreaPicker picker(picture);
        picker.SetOutputSize(48, 48);
        picker.UseWholePicture();
        pq::Document doc;
        pq::ImportPictureDocument(doc, picker.Preview(), 256, 20);
        benchmark::DoNotOptimize(doc.Palette.data());
    }
}
BENCHMARK(BM_ImportWholePictureTo48)->Unit(benchmark::kMillisecond);

// The same with "高速": the picture averaged down by 8 in blocks first.
static void BM_ImportWholePictureTo48Fast(benchmark::State& state) {
    const pq::Raster& picture = BenchPicture();
    for (auto _ : state) {
        pq::AreaPicker picker(picture);
        picker.SetOutputSize(48, 48);
        picker.Fast = true;
        picker.UseWholePicture();
        pq::Document doc;
        pq::ImportPictureDocument(doc, picker.Preview(), 256, 20);
        benchmark::DoNotOptimize(doc.Palette.data());
    }
}
BENCHMARK(BM_ImportWholePictureTo48Fast)->Unit(benchmark::kMillisecond);

// The exact frame sampler alone (pqtool convert --area 0,0,6000,4000 without the decoding): the
// decoded rows handed over one by one as the decoder hands them, into 48 x 48; with arg 1 a
// frame whose x positions fall between columns (0,0,5999,3999 into 47 x 47).
static void BM_FrameSamplerRows(benchmark::State& state) {
    const pq::Raster& picture = BenchPicture();
    const bool blended = state.range(0) == 1;
    const int w = blended ? 47 : 48, right = blended ? kJpegWidth - 1 : kJpegWidth, bottom = blended ? kJpegHeight - 1 : kJpegHeight;
    for (auto _ : state) {
        pq::Raster preview(w, w);
        preview.Fill(pq::kWhite);
        pq::AreaResampler sampler(0, 0, right, bottom, preview);
        sampler.Start(picture.Width(), picture.Height());
        for (int y = 0; y < picture.Height(); ++y) {
            std::copy_n(picture.Row(y), 3 * std::size_t(picture.Width()), sampler.RowBuffer(y));
            sampler.RowDone(y);
        }
        benchmark::DoNotOptimize(preview.Row(0));
    }
}
BENCHMARK(BM_FrameSamplerRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The whole file decoded at an eighth of its size by the DCT and sampled into 48 x 48
// (pqtool convert --fast --area 0,0,6000,4000), beside the exact decoding of the whole file.
static void BM_ImportWholeJpegFileFast(benchmark::State& state) {
    const std::string& path = BenchJpeg();
    for (auto _ : state) {
        pq::Raster preview(48, 48);
        preview.Fill(pq::kWhite);
        if (!pq::ResampleJpegFileArea(path, 0, 0, kJpegWidth, kJpegHeight, preview, true).Ok) state.SkipWithError("decode");
        benchmark::DoNotOptimize(preview.Row(0));
    }
}
BENCHMARK(BM_ImportWholeJpegFileFast)->Unit(benchmark::kMillisecond);

namespace {

// The whole picture fitted into the output as pqtool convert's default does it (FitInside,
// AreaAverager fed as the decoder hands the rows over, unpainted around it).
struct FittingSink : pq::PictureRowSink {
    void Start(int width, int height) override {
        fit = pq::FitInside(width, height, 48, 48);
        averager.emplace(width, height, fit.right - fit.left, fit.bottom - fit.top);
        row.assign(3 * std::size_t(width), 0);
    }
    std::uint8_t* RowBuffer(int) override { return row.data(); }
    void RowDone(int) override { averager->AddRow(row.data()); }
    pq::Rect fit;
    std::optional<pq::AreaAverager> averager;
    std::vector<std::uint8_t> row;
};

// One whole import of the bench file into a 256-colour 48 x 48 document: "area" as
// pqtool convert --area 0,0,6000,4000 (and "全体を使う") takes it, else the default fit.
// Returns the resampled picture before the reduction.
pq::Raster ImportWhole(const std::string& path, bool area) {
    pq::Raster preview(48, 48);
    preview.Fill(pq::kWhite);
    pq::Document doc;
    if (area) {
        if (!pq::ResampleJpegFileArea(path, 0, 0, kJpegWidth, kJpegHeight, preview).Ok) return {};
        pq::ImportPictureDocument(doc, preview, 256, 20);
    } else {
        FittingSink sink;
        if (!pq::LoadJpegFileRows(path, sink).Ok) return {};
        const pq::ResampledPicture fitted = sink.averager->Take();
        pq::Plane unpainted(48 * 48, 1);
        for (int y = 0; y < fitted.Height; ++y)
            for (int x = 0; x < fitted.Width; ++x)
                if (fitted.Painted[std::size_t(y * fitted.Width + x)]) {
                    preview.SetPixelUnchecked(sink.fit.left + x, sink.fit.top + y, fitted.Colors.PixelUnchecked(x, y));
                    unpainted[std::size_t((sink.fit.top + y) * 48 + sink.fit.left + x)] = 0;
                }
        pq::ImportPictureDocument(doc, preview, 256, 20, &unpainted);
    }
    benchmark::DoNotOptimize(doc.Palette.data());
    return preview;
}

// What the old whole-picture paths give: the picture loaded whole, then the sample-by-sample
// resampling or the first area averaging.
pq::Raster ExpectedWhole(bool area) {
    pq::Raster expected(48, 48);
    expected.Fill(pq::kWhite);
    if (area) {
        pq::test::ReferenceResample(BenchPicture(), 0, 0, kJpegWidth, kJpegHeight, expected);
        return expected;
    }
    const pq::Rect fit = pq::FitInside(kJpegWidth, kJpegHeight, 48, 48);
    const pq::ResampledPicture fitted =
        pq::test::ReferenceAreaAverage(BenchPicture(), nullptr, fit.right - fit.left, fit.bottom - fit.top);
    for (int y = 0; y < fitted.Height; ++y)
        for (int x = 0; x < fitted.Width; ++x)
            if (fitted.Painted[std::size_t(y * fitted.Width + x)])
                expected.SetPixelUnchecked(fit.left + x, fit.top + y, fitted.Colors.PixelUnchecked(x, y));
    return expected;
}

// A whole import (reading and decoding the file band by band, resampling to 48 x 48, reducing
// to 256 colours, in this process) alternating with djpeg decoding the same file (a process of
// its own): the counter "ratio" is our time over djpeg's. "identical" is 1 when the resampled
// picture matches the old path's byte for byte.
void WholeImportVsDjpeg(benchmark::State& state, bool area) {
    using Clock = std::chrono::steady_clock;
    const std::string& path = BenchJpeg();
    const std::string command = "djpeg -outfile /dev/null " + path;
    double ours = 0, djpeg = 0;
    pq::Raster preview;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("djpeg not available");
            return;
        }
        const auto t1 = Clock::now();
        preview = ImportWhole(path, area);
        const auto t2 = Clock::now();
        if (preview.Empty()) {
            state.SkipWithError("decode failed");
            return;
        }
        djpeg += std::chrono::duration<double>(t1 - t0).count();
        ours += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["ratio"] = djpeg > 0 ? ours / djpeg : 0;
    state.counters["identical"] = preview == ExpectedWhole(area) ? 1 : 0;
}

}  // namespace

// "全体を使う" as pqtool convert --area 0,0,6000,4000 --size 48 --colors 256 runs it.
static void BM_WholePictureImportVsDjpeg(benchmark::State& state) { WholeImportVsDjpeg(state, true); }
BENCHMARK(BM_WholePictureImportVsDjpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// pqtool convert --size 48 --colors 256 without --area: the whole picture fitted, kept in proportion.
static void BM_WholePictureFitVsDjpeg(benchmark::State& state) { WholeImportVsDjpeg(state, false); }
BENCHMARK(BM_WholePictureFitVsDjpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Reading the file, listing its icon groups, and building the 32 x 32 document of every icon.
static void BM_ExtractAllIconsOfLargestProgram(benchmark::State& state) {
    const fs::path program = LargestProgram();
    int count = 0;
    for (auto _ : state) {
        pq::ProgramIcons icons;
        if (program.empty() || !pq::ProgramIcons::Load(program, icons).Ok) {
            state.SkipWithError("no program in the corpus");
            break;
        }
        count = icons.Count();
        for (int i = 0; i < icons.Count(); ++i) {
            pq::IconPicture picture;
            if (!icons.Extract(i, picture)) continue;
            pq::Document doc;
            pq::IconFromPictures(doc, picture, 20);
            benchmark::DoNotOptimize(doc.Palette.data());
        }
    }
    state.counters["icons"] = count;
    state.counters["bytes"] = program.empty() ? 0 : double(fs::file_size(program));
}
BENCHMARK(BM_ExtractAllIconsOfLargestProgram)->Unit(benchmark::kMillisecond);

// Listing only: what the extraction dialog does when a file is chosen.
static void BM_ListIconsOfLargestProgram(benchmark::State& state) {
    const fs::path program = LargestProgram();
    for (auto _ : state) {
        pq::ProgramIcons icons;
        if (program.empty() || !pq::ProgramIcons::Load(program, icons).Ok) {
            state.SkipWithError("no program in the corpus");
            break;
        }
        benchmark::DoNotOptimize(icons.Count());
    }
}
BENCHMARK(BM_ListIconsOfLargestProgram)->Unit(benchmark::kMillisecond);
