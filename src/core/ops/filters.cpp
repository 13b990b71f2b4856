#include "core/ops/filters.h"

#include <algorithm>
#include <vector>

#include "core/document/color_reduction.h"
#include "core/document/selection.h"
#include "core/ops/working_area.h"

namespace pq {

const FilterSpec& SpecOf(FilterId id) {
    for (const FilterSpec& f : kFilters)
        if (f.Id == id) return f;
    return kFilters[0];
}

std::optional<FilterId> FindFilter(std::string_view key) {
    for (const FilterSpec& f : kFilters)
        if (key == f.Key) return f.Id;
    return std::nullopt;
}

void ApplyKernel(const FilterSpec& filter, Raster& picture) {
    const int w = picture.Width(), h = picture.Height();
    // Every output comes from the unfiltered picture, never from pixels already written.
    const Raster source = picture;
    for (int y = 0; y < h; ++y) {
        uint8_t* out = picture.Row(y);
        for (int x = 0; x < w; ++x) {
            long long sum[3] = {0, 0, 0};
            int divisor = filter.Divisor;
            for (int dx = -filter.RadiusX; dx <= filter.RadiusX; ++dx)
                for (int dy = -filter.RadiusY; dy <= filter.RadiusY; ++dy) {
                    const int weight = filter.Weight(dx, dy);
                    const int nx = x + dx, ny = y + dy;
                    // A cell off the picture adds no colour and takes its weight out of the divisor.
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h) {
                        divisor -= weight;
                        continue;
                    }
                    const uint8_t* p = source.Row(ny) + 3 * nx;
                    for (int c = 0; c < 3; ++c) sum[c] += (long long)weight * p[c];
                }
            if (divisor == 0) divisor = 1;
            for (int c = 0; c < 3; ++c) {
                const double v = filter.Bias + double(sum[c]) / double(divisor);
                out[3 * x + c] = v < 0 ? 0 : v > 255 ? 255 : uint8_t(v);
            }
        }
    }
}

bool SpreadsAlpha(FilterId id) { return id <= FilterId::MotionBlurVertical; }

void ApplyKernelRgba(const FilterSpec& filter, RgbaPlane& pixels, int w, int h) {
    if (w <= 0 || h <= 0 || pixels.size() != std::size_t(w) * std::size_t(h)) return;
    // Premultiplied by alpha (scaled by 255, so exact in integers), taken before any output.
    struct Pre {
        int r, g, b, a;
    };
    std::vector<Pre> pre(pixels.size());
    for (std::size_t p = 0; p < pixels.size(); ++p) {
        const Rgba8 c = pixels[p];
        pre[p] = Pre{c.r * c.a, c.g * c.a, c.b * c.a, c.a};
    }
    const bool spreads = SpreadsAlpha(filter.Id);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Rgba8& out = pixels[std::size_t(y) * std::size_t(w) + std::size_t(x)];
            // A colour filter leaves a transparent pixel alone: it has no colour to change.
            if (!spreads && out.a == 0) continue;
            long long sum[4] = {0, 0, 0, 0};
            long long present = 0;   // the weights of the cells on the picture
            int divisor = filter.Divisor;
            for (int dx = -filter.RadiusX; dx <= filter.RadiusX; ++dx)
                for (int dy = -filter.RadiusY; dy <= filter.RadiusY; ++dy) {
                    const int weight = filter.Weight(dx, dy);
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h) {
                        divisor -= weight;
                        continue;
                    }
                    const Pre& q = pre[std::size_t(ny) * std::size_t(w) + std::size_t(nx)];
                    sum[0] += (long long)weight * q.r;
                    sum[1] += (long long)weight * q.g;
                    sum[2] += (long long)weight * q.b;
                    sum[3] += (long long)weight * q.a;
                    present += weight;
                }
            const long long onPictureDivisor = divisor;   // before a divisor of 0 counts as 1
            if (divisor == 0) divisor = 1;
            if (spreads) {
                // The blur kernels have no negative weight, so the sums are never negative.
                const long long alpha = sum[3] / divisor;
                if (alpha <= 0) {
                    out = Rgba8{};
                    continue;
                }
                auto channel = [&](long long s) { return uint8_t(std::min<long long>(255, s / sum[3])); };
                out = Rgba8{channel(sum[0]), channel(sum[1]), channel(sum[2]), uint8_t(std::min<long long>(255, alpha))};
                continue;
            }
            // A colour filter changes the colour of the pixel it keeps the alpha of. The pixel
            // itself counts with its own colour; each neighbour counts by its coverage: a
            // neighbour of alpha a gives a/255 of its weight to its colour and takes the rest out
            // of the divisor, as a cell off the picture does. So a transparent neighbour is no
            // neighbour, and a flat colour stays flat whatever its alpha (no light or dark
            // fringes at soft edges); on an opaque layer this is the palette engine's sum.
            // Everything is scaled by 255 to stay in integers until the one division.
            const Pre& centre = pre[std::size_t(y) * std::size_t(w) + std::size_t(x)];
            const long long wc = filter.Weight(0, 0);
            long long num[3] = {sum[0] - wc * centre.r + wc * 255 * out.r, sum[1] - wc * centre.g + wc * 255 * out.g,
                                sum[2] - wc * centre.b + wc * 255 * out.b};
            // sum[3] holds the weighted alphas of the cells on the picture, the centre included.
            const long long onPicture = sum[3] - wc * centre.a;   // neighbours' weighted alpha
            present -= wc;                                          // neighbours' weights
            long long d255 = onPictureDivisor * 255 - (present * 255 - onPicture);
            // An effective divisor below one counts as one, as a divisor of 0 does on a palette.
            if (d255 > -255 && d255 < 255) d255 = 255;
            auto channel = [&](long long s) {
                const double v = double(filter.Bias) + double(s) / double(d255);
                return v < 0 ? uint8_t(0) : v > 255 ? uint8_t(255) : uint8_t(v);
            };
            out = Rgba8{channel(num[0]), channel(num[1]), channel(num[2]), out.a};
        }
}

EditResult ApplyFilter(Document& doc, FilterId id) {
    if (doc.LayerCount() == 0 || !OperationApplies(doc, OperationFamily::Filter)) return EditResult::Nothing();
    if (doc.TrueColor && !LayerFits(doc, doc.Current())) return EditResult::Nothing();
    // Callers release the selection as its own step; one still floating is put down unrecorded.
    if (doc.HasSelection) {
        DropSelection(doc);
        doc.HasSelection = false;
    }
    const FilterSpec& filter = SpecOf(id);
    if (doc.TrueColor) {
        ApplyKernelRgba(filter, doc.Current().Pixels, doc.ImageWidth, doc.ImageHeight);
        EditResult r = EditResult::Recorded(filter.UndoName);
        r.Redraw = true;
        return r;
    }
    Raster picture = LayerToBitmap(doc, doc.CurrentLayer());
    ApplyKernel(filter, picture);
    BitmapToLayer(doc, doc.CurrentLayer(), picture);
    EditResult r = EditResult::Recorded(filter.UndoName);
    r.Redraw = true;
    r.RefreshColors = true;
    r.RebuildLayers = true;
    return r;
}

}  // namespace pq
