// Drawing many runs of one variable: 100 runs of 100,000 points (sizes from
// KURVEX_BENCH_RUNS and KURVEX_BENCH_RUN_POINTS), the whole view at
// 1600 × 900 onto a canvas that only counts what reaches it, beside one plain
// min/max pass over every sample of every run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "graph/render/Renderer.h"

namespace {

using namespace kurvex;

std::int32_t SizeFrom(const char* variable, std::int32_t otherwise) {
    const char* text = std::getenv(variable);
    const long v = text ? std::strtol(text, nullptr, 10) : 0;
    return v > 0 && v < (1L << 30) ? static_cast<std::int32_t>(v) : otherwise;
}

// Takes every primitive and keeps only a count, so the figure is the
// renderer's own work.
class NullCanvas : public Canvas {
public:
    std::int64_t count = 0;
    void FillRect(const Rect&, Colour) override { ++count; }
    void SetTextColour(Colour) override {}
    void SetBackgroundColour(Colour) override {}
    void SetTransparentText(bool) override {}
    void SelectFont(const CanvasFont&) override {}
    void TextOut(int, int, const std::string&) override { ++count; }
    Size TextExtent(const std::string& text) override {
        return {7 * static_cast<int>(text.size()), 15};
    }
    int DrawWrappedText(const Rect&, const std::string&, bool) override { return 15; }
    void SetPen(PenStyle, int, Colour) override {}
    void SetBrush(Colour) override {}
    void MoveTo(int, int) override {}
    void LineTo(int, int) override { ++count; }
    void Segments(const std::vector<Point>& ends) override {
        count += static_cast<std::int64_t>(ends.size() / 2);
    }
    void Polyline(const std::vector<Point>& points) override {
        count += static_cast<std::int64_t>(points.size());
    }
    void Polygon(const std::vector<Point>&) override { ++count; }
    void Ellipse(const Rect&) override { ++count; }
    void SetClip(const Rect*) override {}
    void SetInchMapping(bool) override {}
};

// Runs of "Time" and "V", each with its own time step and a waveform of its own.
CResultDataRef MakeRuns(std::int32_t runs, std::int32_t points) {
    CResultDataRef first;
    std::vector<CResultDataRef> rest;
    for (std::int32_t k = 0; k < runs; ++k) {
        CResultDataRef d;
        d.Initialise(kDataSetPlain, 2, points, 100);
        d.SetName(0, "Time");
        d.SetName(1, "V");
        const double step = 1e-7 * (1.0 + 0.001 * k);
        const std::uint8_t f[2] = {kPointValid, kPointValid};
        for (std::int32_t r = 0; r < points; ++r) {
            const double v[2] = {r * step, std::sin(r * 2e-4) * (1.0 + 0.005 * k)};
            d.SetRow(r, v, f, 0, -1);
        }
        d.UpdateExtents();
        if (k == 0)
            first = d;
        else
            first->AddRun(d.Get(), "run " + std::to_string(k + 1));
    }
    return first;
}

const CResultDataRef& Runs() {
    static CResultDataRef d =
        MakeRuns(SizeFrom("KURVEX_BENCH_RUNS", 100), SizeFrom("KURVEX_BENCH_RUN_POINTS", 100'000));
    return d;
}

std::int64_t SampleCount(const CResultData& data) {
    std::int64_t n = 0;
    for (std::int32_t k = 0; k < data.RunCount(); ++k) n += data.Run(k)->RowCount();
    return n;
}

void BM_Floor_Runs(benchmark::State& state) {
    const CResultData& data = *Runs().Get();
    for (auto _ : state) {
        for (std::int32_t k = 0; k < data.RunCount(); ++k) {
            const CResultData& run = *data.Run(k);
            const double* y = run.Variable(1)->Values();
            double mn = y[0], mx = y[0];
            for (std::int32_t i = 1; i < run.RowCount(); ++i) {
                mn = std::min(mn, y[i]);
                mx = std::max(mx, y[i]);
            }
            benchmark::DoNotOptimize(mn);
            benchmark::DoNotOptimize(mx);
        }
    }
    state.SetItemsProcessed(state.iterations() * SampleCount(data));
}

void BM_Draw_Runs(benchmark::State& state) {
    CGraphCurve model;
    model.SetData(Runs());
    model.AddCurve(CCurveEntry::ForColumn(Runs(), 1));
    model.UpdateExtents();
    RangeFlags flags;
    const DataExtent x = model.XExtent();
    // Later runs have longer steps: the view reaches the end of the last.
    model.SetXRange(x.min, x.max * 1.2, 0, flags);
    model.SetYRange(-1.8, 1.8, 0, flags);
    NullCanvas canvas;
    DrawOptions o;
    o.target = {0, 0, 1600, 900};
    for (auto _ : state) {
        DrawMemory memory;
        DrawScreen(model, canvas, o, memory);
    }
    benchmark::DoNotOptimize(canvas.count);
    state.SetItemsProcessed(state.iterations() * SampleCount(*Runs().Get()));
}

BENCHMARK(BM_Floor_Runs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw_Runs)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
