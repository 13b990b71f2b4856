#include "core/ops/filters.h"

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

EditResult ApplyFilter(Document& doc, FilterId id) {
    if (doc.LayerCount() == 0 || !OperationApplies(doc, OperationFamily::Filter)) return EditResult::Nothing();
    // Callers release the selection as its own step; one still floating is put down unrecorded.
    if (doc.HasSelection) {
        DropSelection(doc);
        doc.HasSelection = false;
    }
    const FilterSpec& filter = SpecOf(id);
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
