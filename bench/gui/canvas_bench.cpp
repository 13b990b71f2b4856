// The document window under load, offscreen: a brush move event as the canvas handles it (the
// handler, then the repaint it asked for) beside the whole rebuild of before, on a plain
// 256 x 256 document of 16 layers and on the 256 x 256 page of a 10-image icon set whose
// preview shows every page; and opening that set (すべて開く). Counters are medians in
// microseconds: `handler_us` the move handler alone (stroke, recompose, thumbnails, page
// picture, preview), `event_us` with the repaint of every widget it touched (Qt painting).
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QComboBox>
#include <QMdiSubWindow>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>
#include <random>
#include <vector>

#include "core/document/strokes.h"
#include "core/formats/icon_set.h"
#include "core/formats/icon_file.h"
#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/formats/icon_chooser.h"
#include "gui/kit/tool_state.h"
#include "support/scripted_prompt.h"
#include "support/test_paths.h"

namespace {

using Clock = std::chrono::steady_clock;
using pq::gui::TImageForm;

struct Editor {
    pq::test::TempDir folder;
    pq::test::ScriptedPrompt prompt;
    std::unique_ptr<pq::gui::TMainForm> frame;
    std::filesystem::path iconPath;
    std::filesystem::path paletteIconPath;   // the same ten sides, every page a palette image
};

// `layers` layers, each about a third painted with random indices of a random palette.
void Paint(pq::Document& d, int width, int height, int layers, int colors, unsigned seed) {
    pq::InitBlankDocument(d, width, height, colors, 20);
    std::mt19937 rng(seed);
    for (int i = 0; i < colors; ++i) d.Palette[std::size_t(i)] = pq::MakeEntry(pq::Rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
    for (int l = 0; l < layers; ++l) {
        if (l > 0) d.AppendLayer();
        pq::Layer& layer = d.LayerAt(l);
        for (std::size_t p = 0; p < layer.Mask.size(); ++p)
            if (rng() % 3 == 0) {
                layer.Mask[p] = 1;
                layer.Indices[p] = uint8_t(rng() % unsigned(colors));
            }
    }
}

// A truecolour document of `layers` layers, each about a third painted with random colours of
// random, mostly partial alpha, so that composing blends every layer instead of taking the top.
void PaintTrueColor(pq::Document& d, int width, int height, int layers, unsigned seed) {
    pq::InitBlankTrueColorDocument(d, width, height, 20);
    std::mt19937 rng(seed);
    for (int l = 0; l < layers; ++l) {
        if (l > 0) d.AppendLayer();
        pq::Layer& layer = d.LayerAt(l);
        for (pq::Rgba8& px : layer.Pixels)
            if (rng() % 3 == 0) px = pq::Rgba8{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(1 + rng() % 254)};
    }
    d.DrawRgba = pq::Rgba8{200, 40, 90, 160};
}

// Ten images: palette ones from 16 to 128 pixels, two 32-bit ones, and a 256 x 256 PNG last
// (the last three open as truecolour pages). `paletteOnly` writes all ten as palette images
// (the 32 and 48 as 256 colours, the 256 as 8-bit), the figure to compare the set against.
void WriteTenImageIcon(const std::filesystem::path& path, bool paletteOnly = false) {
    struct Page { int side; pq::IconPageKind kind; int colors; };
    const Page pages[] = {{16, pq::IconPageKind::Palette, 16},   {24, pq::IconPageKind::Palette, 16},
                          {32, pq::IconPageKind::Palette, 256},  {48, pq::IconPageKind::Palette, 256},
                          {64, pq::IconPageKind::Palette, 256},  {96, pq::IconPageKind::Palette, 256},
                          {128, pq::IconPageKind::Palette, 256}, {32, pq::IconPageKind::TrueColor, 256},
                          {48, pq::IconPageKind::TrueColor, 256}, {256, pq::IconPageKind::Png, 256}};
    std::vector<pq::Document> docs(std::size(pages));
    std::vector<pq::IconSetEntry> entries;
    for (std::size_t i = 0; i < docs.size(); ++i) {
        Paint(docs[i], pages[i].side, pages[i].side, 1, pages[i].colors, unsigned(i + 1));
        entries.push_back(pq::IconSetEntry{&docs[i], paletteOnly ? pq::IconPageKind::Palette : pages[i].kind});
    }
    if (!pq::SaveIconSet(entries, path, 1).Ok) std::abort();
}

Editor& TheEditor() {
    static Editor* e = [] {
        auto* editor = new Editor;
        editor->frame = std::make_unique<pq::gui::TMainForm>(editor->folder.Path() / "setting", &editor->prompt);
        editor->frame->resize(1400, 1000);
        editor->frame->show();
        editor->iconPath = editor->folder.Path() / "ten.ico";
        WriteTenImageIcon(editor->iconPath);
        editor->paletteIconPath = editor->folder.Path() / "ten_palette.ico";
        WriteTenImageIcon(editor->paletteIconPath, true);
        return editor;
    }();
    return *e;
}

TImageForm* OpenSet(Editor& e, bool paletteOnly = false) {
    e.prompt.ExpectDialog("TForm7", [](QDialog& d) {
        static_cast<pq::gui::TForm7&>(d).Button3()->click();
        return d.result() == QDialog::Accepted;
    });
    const auto& path = paletteOnly ? e.paletteIconPath : e.iconPath;
    return e.frame->OpenFile(QString::fromStdString(path.string()));
}

void Close(TImageForm* form) {
    for (int i = 0; i < form->PageCount(); ++i) form->PageDoc(i).Modified = false;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(form->parentWidget())) sub->close();
    QApplication::processEvents();
}

double Median(std::vector<double>& v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Brush (size 3) moves back and forth along a diagonal of the 800 x 600 viewport at 20x.
// `whole` runs the move as it was handled before: the stroke, then the whole recompose and
// repaint (the outline follows as in the handler).
void BrushMoves(benchmark::State& state, TImageForm* form, bool whole) {
    Editor& e = TheEditor();
    form->SetZoom(20);
    auto* sub = qobject_cast<QMdiSubWindow*>(form->parentWidget());
    for (int k = 0; k < 3; ++k) {
        const QSize view = form->ScrollArea()->viewport()->size();
        sub->resize(sub->size() + (QSize(800, 600) - view));
        QApplication::processEvents();
    }
    QScrollArea* scroll = form->ScrollArea();
    scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->maximum() / 2);
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum() / 2);
    QApplication::processEvents();
    const QSize view = scroll->viewport()->size();
    const int left = scroll->horizontalScrollBar()->value(), top = scroll->verticalScrollBar()->value();
    state.counters["viewport_w"] = view.width();
    state.counters["viewport_h"] = view.height();
    e.frame->SelectTool(pq::gui::kToolBrush);
    e.frame->SizeCombo()->setCurrentIndex(2);
    const int x0 = left / 20 + 1, y0 = top / 20 + 1;
    const int span = std::min(view.width(), view.height()) / 20 - 2;
    auto at = [](int x, int y) { return QPoint(x * 20 + 10, y * 20 + 10); };
    form->pbIconImageMouseDown(Qt::LeftButton, Qt::NoModifier, at(x0, y0));
    QApplication::processEvents();
    std::vector<double> handler, event;
    int step = 0;
    for (auto _ : state) {
        const int k = step++ % (2 * span);
        const int t = k < span ? k : 2 * span - k;
        const QPoint pos = at(x0 + t, y0 + t / 2);
        const auto start = Clock::now();
        if (whole) {
            pq::gui::StrokeState& st = e.frame->Stroke();
            pq::StampLine(form->Doc(), pq::StrokeContext{3, st.StrokeColor, st.StrokeRgba}, st.LastX, st.LastY, pos.x() / 20, pos.y() / 20, false);
            form->Redraw();
            st.LastX = pos.x() / 20;
            st.LastY = pos.y() / 20;
        } else {
            form->pbIconImageMouseMove(Qt::NoModifier, pos);
        }
        const auto handled = Clock::now();
        QApplication::processEvents();
        const auto painted = Clock::now();
        handler.push_back(std::chrono::duration<double, std::micro>(handled - start).count());
        event.push_back(std::chrono::duration<double, std::micro>(painted - start).count());
    }
    form->pbIconImageMouseUp(Qt::LeftButton);
    state.counters["handler_us"] = Median(handler);
    state.counters["event_us"] = Median(event);
}

void CanvasBrushMove_256x256x16(benchmark::State& state, bool whole) {
    Editor& e = TheEditor();
    TImageForm* form = e.frame->OpenBuiltDocument("bench", [](pq::Document& d, int) {
        Paint(d, 256, 256, 16, 256, 7);
        d.Zoom = 20;
    });
    BrushMoves(state, form, whole);
    Close(form);
}
BENCHMARK_CAPTURE(CanvasBrushMove_256x256x16, whole, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(CanvasBrushMove_256x256x16, rect, false)->Unit(benchmark::kMicrosecond);

// The same on a truecolour document: 16 layers of soft-alpha RGBA, painting a half-transparent colour.
void CanvasBrushMove_256x256x16_TrueColor(benchmark::State& state, bool whole) {
    Editor& e = TheEditor();
    TImageForm* form = e.frame->OpenBuiltDocument("bench", [](pq::Document& d, int) {
        PaintTrueColor(d, 256, 256, 16, 7);
        d.Zoom = 20;
    });
    if (!form || !form->Doc().TrueColor || form->Doc().LayerCount() != 16) {
        state.SkipWithError("the truecolour document did not open");
        return;
    }
    BrushMoves(state, form, whole);
    Close(form);
}
BENCHMARK_CAPTURE(CanvasBrushMove_256x256x16_TrueColor, whole, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(CanvasBrushMove_256x256x16_TrueColor, rect, false)->Unit(benchmark::kMicrosecond);

void CanvasBrushMove_48x48(benchmark::State& state, bool whole) {
    Editor& e = TheEditor();
    TImageForm* form = e.frame->OpenBuiltDocument("bench", [](pq::Document& d, int) {
        Paint(d, 48, 48, 1, 16, 9);
        d.Zoom = 20;
    });
    BrushMoves(state, form, whole);
    Close(form);
}
BENCHMARK_CAPTURE(CanvasBrushMove_48x48, whole, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(CanvasBrushMove_48x48, rect, false)->Unit(benchmark::kMicrosecond);

// On the set's 256 x 256 page, the preview showing all ten pages.
void IconSetBrushMove_256Page(benchmark::State& state, bool whole) {
    Editor& e = TheEditor();
    TImageForm* form = OpenSet(e);
    form->SelectPage(form->PageCount() - 1);
    BrushMoves(state, form, whole);
    Close(form);
}
BENCHMARK_CAPTURE(IconSetBrushMove_256Page, whole, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(IconSetBrushMove_256Page, rect, false)->Unit(benchmark::kMicrosecond);

// すべて開く on the ten-image icon: reading, every page's document, the window, its strip,
// the preview of all pages and the base steps; closing is not timed. `paletteOnly` opens the
// set whose ten pages are all palette images; otherwise the 32-bit and PNG pages open as
// truecolour (counted in `truecolor_pages`).
void OpenTenImageIconAsSet(benchmark::State& state, bool paletteOnly) {
    Editor& e = TheEditor();
    int trueColorPages = 0;
    for (auto _ : state) {
        TImageForm* form = OpenSet(e, paletteOnly);
        QApplication::processEvents();
        state.PauseTiming();
        if (!form || form->PageCount() != 10) state.SkipWithError("the set did not open");
        if (form) {
            trueColorPages = 0;
            for (int i = 0; i < form->PageCount(); ++i) trueColorPages += form->PageDoc(i).TrueColor ? 1 : 0;
            Close(form);
        }
        state.ResumeTiming();
    }
    state.counters["truecolor_pages"] = trueColorPages;
}
BENCHMARK_CAPTURE(OpenTenImageIconAsSet, palette_only, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenTenImageIconAsSet, with_truecolor, false)->Unit(benchmark::kMillisecond);

// The core's part of it: the ten pages from the file's bytes.
void LoadTenImageIconSet(benchmark::State& state, bool paletteOnly) {
    Editor& e = TheEditor();
    std::vector<uint8_t> bytes;
    pq::ReadIconFileBytes(paletteOnly ? e.paletteIconPath : e.iconPath, bytes);
    int trueColorPages = 0;
    for (auto _ : state) {
        std::vector<pq::IconSetPage> pages;
        int type = 1;
        if (!pq::LoadIconSet(bytes, 20, pages, type).Ok) state.SkipWithError("not loaded");
        benchmark::DoNotOptimize(pages.data());
        trueColorPages = int(std::count_if(pages.begin(), pages.end(), [](const pq::IconSetPage& p) { return p.Doc.TrueColor; }));
    }
    state.counters["truecolor_pages"] = trueColorPages;
}
BENCHMARK_CAPTURE(LoadTenImageIconSet, palette_only, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadTenImageIconSet, with_truecolor, false)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
