#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/random.h"
#include "core/ops/compositing.h"
#include "core/ops/filters.h"
#include "core/ops/palette_adjust.h"
#include "core/ops/pixel_effects.h"
#include "core/ops/transforms.h"

// Every image operation of the core on truecolour documents and, beside each, on 256-colour
// documents of the same sizes:
//   48x48x4   four layers, each about two thirds painted (truecolour: random colours of random
//             alpha 1..254), layer 1 current;
//   256x256x1 one layer painted the same way.
// Names are TrueColorOp/<key>/<size> and PaletteOp/<key>/<size>. Each iteration runs on a fresh
// copy of the document; `none` only copies, and every other entry's counter `op_us` is its time
// less that copy (see RunOp). The label says "nothing" when the operation returned
// EditResult::Nothing (it did not apply to that document).
namespace {

struct Size {
    const char* Name;
    int Width, Height, Layers;
};
constexpr Size kSizes[] = {{"48x48x4", 48, 48, 4}, {"256x256x1", 256, 256, 1}};

pq::Document MakeDocument(const Size& size, bool trueColor) {
    pq::Document d;
    std::mt19937 rng(23);
    if (trueColor) {
        pq::InitBlankTrueColorDocument(d, size.Width, size.Height, 10);
        d.DrawRgba = pq::Rgba8{200, 40, 90, 160};
        d.AuxRgba = pq::Rgba8{10, 220, 30, 255};
    } else {
        pq::InitBlankDocument(d, size.Width, size.Height, 256, 10);
        for (int i = 0; i < 256; ++i)
            d.Palette[std::size_t(i)] = pq::MakeEntry(pq::Rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
        d.DrawColor = 3;
        d.AuxColor = 200;
    }
    for (int l = 0; l < size.Layers; ++l) {
        if (l > 0) d.AppendLayer();
        pq::Layer& layer = d.LayerAt(l);
        for (std::size_t p = 0; p < std::size_t(size.Width) * std::size_t(size.Height); ++p) {
            if (rng() % 3 == 0) continue;
            if (trueColor)
                layer.Pixels[p] = pq::Rgba8{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(1 + rng() % 254)};
            else
                layer.Mask[p] = 1, layer.Indices[p] = uint8_t(rng());
        }
    }
    d.SetCurrentLayer(size.Layers > 1 ? 1 : 0);
    return d;
}

using Op = std::function<pq::EditResult(pq::Document&)>;

double CpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }
// Processor seconds of one copy of each document (`none`), by index of Base.
double g_copySeconds[4] = {};

// Copies the document and runs `op` on the copy, once per iteration. The time shown includes the
// copy; the counter `op_us` is the processor time per iteration less that of `none` on the same
// document, measured first in this run.
void RunOp(benchmark::State& state, std::size_t index, const pq::Document& base, const Op& op, bool isNone) {
    pq::Document d;
    bool applied = false;
    const double start = CpuSeconds();
    for (auto _ : state) {
        d = base;
        applied = op(d).Record;
        benchmark::DoNotOptimize(d);
    }
    const double seconds = (CpuSeconds() - start) / double(state.iterations());
    if (isNone)
        g_copySeconds[index] = seconds;
    else
        state.counters["op_us"] = std::max(0.0, seconds - g_copySeconds[index]) * 1e6;
    if (!applied) state.SetLabel("nothing");
}

// The operations by key, in menu order within each family.
std::vector<std::pair<std::string, Op>> Operations() {
    std::vector<std::pair<std::string, Op>> ops;
    ops.emplace_back("none", [](pq::Document&) { return pq::EditResult::Recorded("none"); });
    for (const pq::FilterSpec& f : pq::kFilters)
        ops.emplace_back(f.Key, [id = f.Id](pq::Document& d) { return pq::ApplyFilter(d, id); });
    for (const pq::PixelEffectInfo& e : pq::kPixelEffects)
        ops.emplace_back(e.Key, [id = e.Id](pq::Document& d) {
            pq::Lcg rng;   // the same draws in every iteration
            return pq::ApplyPixelEffect(d, id, rng, 3, 2);
        });
    for (const pq::TransformInfo& t : pq::kTransforms) {
        if (t.Id == pq::TransformId::RotateByAngle) {
            ops.emplace_back("rotate-30", [](pq::Document& d) {
                return pq::ApplyTransform(d, pq::TransformId::RotateByAngle, pq::TransformArgs{.AngleDegrees = 30});
            });
        } else if (t.Id == pq::TransformId::Resize) {
            // Two thirds of each side, resampled; and a canvas 16 pixels larger, nothing resampled.
            ops.emplace_back("resize-scaled", [](pq::Document& d) {
                const pq::TransformArgs args{.NewWidth = d.ImageWidth * 2 / 3, .NewHeight = d.ImageHeight * 2 / 3, .Scale = true};
                return pq::ApplyTransform(d, pq::TransformId::Resize, args);
            });
            ops.emplace_back("resize", [](pq::Document& d) {
                const pq::TransformArgs args{.NewWidth = d.ImageWidth + 16, .NewHeight = d.ImageHeight + 16, .Scale = false};
                return pq::ApplyTransform(d, pq::TransformId::Resize, args);
            });
        } else {
            ops.emplace_back(t.Key, [id = t.Id](pq::Document& d) { return pq::ApplyTransform(d, id); });
        }
    }
    ops.emplace_back("invert", [](pq::Document& d) { return pq::InvertPalette(d); });
    ops.emplace_back("solarize", [](pq::Document& d) { return pq::SolarizePalette(d); });
    ops.emplace_back("grayscale", [](pq::Document& d) { return pq::GrayscalePalette(d); });
    ops.emplace_back("brightness", [](pq::Document& d) { return pq::AdjustBrightness(d, 40); });
    ops.emplace_back("rgb-shift", [](pq::Document& d) { return pq::AdjustRgb(d, pq::ChannelShift{30, -20, 10}); });
    // Layer 1 over layer 0 at the dialog's default opacity (a one-layer document has no pair).
    ops.emplace_back("composite", [](pq::Document& d) { return pq::CompositeLayers(d, 0, 1, pq::kDefaultOpacity); });
    return ops;
}

std::size_t Index(std::size_t size, bool trueColor) { return 2 * size + (trueColor ? 0 : 1); }

// The four documents, built on first use: truecolour then 256 colours, for each size.
const pq::Document& Base(std::size_t size, bool trueColor) {
    static const std::vector<pq::Document> bases = [] {
        std::vector<pq::Document> v;
        for (const Size& s : kSizes) {
            v.push_back(MakeDocument(s, true));
            v.push_back(MakeDocument(s, false));
        }
        return v;
    }();
    return bases[Index(size, trueColor)];
}

// Registers every operation for both sizes, the truecolour document first and the 256-colour
// one beside it.
const bool kRegistered = [] {
    static const auto ops = Operations();
    for (const auto& entry : ops)
        for (std::size_t s = 0; s < 2; ++s)
            for (bool trueColor : {true, false}) {
                const std::string name =
                    std::string(trueColor ? "TrueColorOp/" : "PaletteOp/") + entry.first + "/" + kSizes[s].Name;
                const Op* op = &entry.second;
                const bool isNone = entry.first == "none";
                benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& st) {
                    RunOp(st, Index(s, trueColor), Base(s, trueColor), *op, isNone);
                })
                    ->Unit(benchmark::kMicrosecond);
            }
    return true;
}();

}  // namespace
