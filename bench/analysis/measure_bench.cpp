// Max, Min and the averages over 10,000,000 samples beside one plain pass
// (a sum) over the same samples: the searches should cost at most twice that.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <mutex>
#include <random>
#include <vector>

#include "analysis/Averages.h"
#include "analysis/Measure.h"
#include "analysis/MeasureTables.h"
#include "data/model/ResultData.h"
#include "graph/GraphCurve.h"

namespace {

using namespace kurvex;

constexpr std::int32_t kSamples = 10'000'000;

// Time and a noisy sine, every 97th sample flagged invalid.
struct Fixture {
    CResultDataRef data;
    CGraphCurve screen;

    Fixture() {
        data.Initialise(kDataSetPlain, 2, kSamples, 100);
        data.SetName(0, "Time");
        data.SetName(1, "V");
        std::mt19937 rng(1);
        std::normal_distribution<double> noise(0.0, 0.1);
        double* x = data->Variable(0)->Values();
        double* y = data->Variable(1)->Values();
        std::uint8_t* xf = data->Variable(0)->Flags();
        std::uint8_t* yf = data->Variable(1)->Flags();
        for (std::int32_t i = 0; i < kSamples; ++i) {
            x[i] = i * 1e-6;
            y[i] = std::sin(x[i] * 50.0) + noise(rng);
            xf[i] = kPointValid;
            yf[i] = i % 97 == 0 ? kPointInvalid : kPointValid;
        }
        {
            std::lock_guard<std::recursive_mutex> hold(data->Lock());
            data->SetRowCountLocked(kSamples);
        }
        data.UpdateExtents();
        screen.SetData(data);
        screen.AddCurve(CCurveEntry::ForColumn(data, 1));
        screen.SetSelectedCurve(0);
        screen.StoreX(DataExtent{0.0, x[kSamples - 1]}, AxisRange{0.0, x[kSamples - 1], 1.0});
    }
    const double* Y() const { return data->Variable(1)->Values(); }
    const std::uint8_t* YFlags() const { return data->Variable(1)->Flags(); }
};

Fixture& Data() {
    static Fixture f;
    return f;
}

void Done(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * kSamples);
    state.SetBytesProcessed(state.iterations() * kSamples *
                            static_cast<std::int64_t>(sizeof(double)));
}

void BM_PlainPass(benchmark::State& state) {
    const double* y = Data().Y();
    for (auto _ : state) {
        double sum = 0.0;
        for (std::int32_t i = 0; i < kSamples; ++i) sum += y[i];
        benchmark::DoNotOptimize(sum);
    }
    Done(state);
}

void BM_Max(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(FindExtremum(Data().Y(), Data().YFlags(), 0, kSamples - 1, true));
    Done(state);
}

void BM_Min(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(FindExtremum(Data().Y(), Data().YFlags(), 0, kSamples - 1, false));
    Done(state);
}

void BM_AllAveragesOnePass(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(AveragesOver(Data().Y(), 0, kSamples - 1));
    Done(state);
}

// The whole command: visible range located on the screen, the search, the
// cursor set.
void BM_MaxCommand(benchmark::State& state) {
    const std::vector<CGraphCurve*> screens = {&Data().screen};
    for (auto _ : state)
        benchmark::DoNotOptimize(RunMeasureSearch(screens, MeasureSearch::Max, kMeasureCross));
    Done(state);
}

void BM_RmsCommand(benchmark::State& state) {
    const std::vector<CGraphCurve*> screens = {&Data().screen};
    for (auto _ : state) benchmark::DoNotOptimize(AverageCommand(screens, AverageKind::Rms));
    Done(state);
}

BENCHMARK(BM_PlainPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Max)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Min)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllAveragesOnePass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaxCommand)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RmsCommand)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
