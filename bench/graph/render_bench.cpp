// Drawing whole views of large curves onto a 1600 × 900 image, each beside the
// memory-bound floor: one pass finding the minimum and maximum of the samples
// the view shows.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <memory>
#include <random>

#include "controls/QPainterCanvas.h"
#include "graph/render/Renderer.h"

namespace {

using namespace kurvex;

// Rows of X (equally spaced, or with jittered steps) and `curves` waveforms.
CResultDataRef MakeData(std::int32_t rows, int curves, bool uniform) {
    CResultDataRef d;
    d.Initialise(kDataSetPlain, 1 + curves, rows, 100);
    d.SetName(0, "Time");
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> jitter(0.5, 1.5), noise(-0.05, 0.05);
    double t = 0;
    std::vector<double> v(static_cast<size_t>(1 + curves));
    std::vector<std::uint8_t> f(v.size(), kPointValid);
    for (std::int32_t r = 0; r < rows; ++r) {
        // Steps of a power of two are exact, so X passes the equal-spacing test.
        v[0] = uniform ? r * 0x1p-24 : t;
        t += 1e-7 * jitter(rng);
        for (int c = 1; c <= curves; ++c)
            v[static_cast<size_t>(c)] = std::sin(r * 2e-5 * c) + noise(rng);
        d.SetRow(r, v.data(), f.data(), 0, -1);
    }
    for (int c = 1; c <= curves; ++c) d.SetName(c, ("V" + std::to_string(c)).c_str());
    d.UpdateExtents();
    d->SetUniformX(uniform ? CResultDataRef::UniformTest(d->Variable(0)->Values(), 0, rows - 1)
                           : 0);
    return d;
}

struct View {
    View(const CResultDataRef& data, double visible) : image(1600, 900, QImage::Format_RGB32) {
        model.SetData(data);
        for (std::int32_t c = 1; c < data->VariableCount(); ++c)
            model.AddCurve(CCurveEntry::ForColumn(data, c));
        model.UpdateExtents();
        const DataExtent x = model.XExtent();
        RangeFlags flags;
        model.SetXRange(x.min, x.min + (x.max - x.min) * visible, 0, flags);
        model.SetYRange(-1.2, 1.2, 0, flags);
    }
    void Draw() {
        QPainter painter(&image);
        QPainterCanvas canvas(painter);
        DrawOptions o;
        o.target = {0, 0, 1600, 900};
        DrawMemory memory;
        DrawScreen(model, canvas, o, memory);
    }
    CGraphCurve model;
    QImage image;
};

// The floor: minimum and maximum over the samples of the visible rows of
// every curve.
void Floor(benchmark::State& state, const CResultDataRef& data, double visible) {
    const auto rows = static_cast<size_t>(data->RowCount() * visible);
    for (auto _ : state) {
        for (std::int32_t c = 1; c < data->VariableCount(); ++c) {
            const double* y = data->Variable(c)->Values();
            double mn = y[0], mx = y[0];
            for (size_t i = 1; i < rows; ++i) {
                mn = std::min(mn, y[i]);
                mx = std::max(mx, y[i]);
            }
            benchmark::DoNotOptimize(mn);
            benchmark::DoNotOptimize(mx);
        }
    }
    state.SetItemsProcessed(
        static_cast<std::int64_t>(state.iterations() * rows * (data->VariableCount() - 1)));
}

void Draw(benchmark::State& state, const CResultDataRef& data, double visible) {
    View view(data, visible);
    for (auto _ : state) view.Draw();
    const auto rows = static_cast<std::int64_t>(data->RowCount() * visible);
    state.SetItemsProcessed(state.iterations() * rows * (data->VariableCount() - 1));
}

const CResultDataRef& Uniform10M() {
    static CResultDataRef d = MakeData(10'000'000, 1, true);
    return d;
}
const CResultDataRef& Uneven10M() {
    static CResultDataRef d = MakeData(10'000'000, 1, false);
    return d;
}
const CResultDataRef& Eight1M() {
    static CResultDataRef d = MakeData(1'000'000, 8, true);
    return d;
}

void BM_Floor_Uniform10M(benchmark::State& s) {
    Floor(s, Uniform10M(), 1.0);
}
void BM_Draw_Uniform10M(benchmark::State& s) {
    Draw(s, Uniform10M(), 1.0);
}
void BM_Floor_Uneven10M(benchmark::State& s) {
    Floor(s, Uneven10M(), 1.0);
}
void BM_Draw_Uneven10M(benchmark::State& s) {
    Draw(s, Uneven10M(), 1.0);
}
void BM_Floor_Zoom1Percent(benchmark::State& s) {
    Floor(s, Uniform10M(), 0.01);
}
void BM_Draw_Zoom1Percent(benchmark::State& s) {
    Draw(s, Uniform10M(), 0.01);
}
// A close zoom: a few thousand samples, every one a point of its own.
void BM_Floor_Zoom5000Samples(benchmark::State& s) {
    Floor(s, Uniform10M(), 0.0005);
}
void BM_Draw_Zoom5000Samples(benchmark::State& s) {
    Draw(s, Uniform10M(), 0.0005);
}
void BM_Floor_Eight1M(benchmark::State& s) {
    Floor(s, Eight1M(), 1.0);
}
void BM_Draw_Eight1M(benchmark::State& s) {
    Draw(s, Eight1M(), 1.0);
}

BENCHMARK(BM_Floor_Uniform10M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw_Uniform10M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor_Uneven10M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw_Uneven10M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor_Zoom1Percent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw_Zoom1Percent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor_Zoom5000Samples)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw_Zoom5000Samples)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor_Eight1M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw_Eight1M)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
