// Cycle figures of 8 curves over 10,000,000 samples (50,000 cycles) beside
// the floor: one min/max pass over the same 8 curves. The figures (the
// reference's level and crossings, then one pass per curve) should stay
// within 3 times the floor.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <mutex>
#include <random>
#include <vector>

#include "analysis/Cycles.h"
#include "analysis/FigureRequest.h"
#include "analysis/MeasureTables.h"
#include "data/model/ResultData.h"
#include "formula/CycleMath.h"
#include "graph/GraphCurve.h"

namespace {

using namespace kurvex;

constexpr std::int32_t kSamples = 10'000'000;
constexpr std::int32_t kCurves = 8;
constexpr double kPeriod = 2e-6;  // 200 samples of about 10 ns per cycle

// Time with uneven steps; curve 1 a gate (the reference), the others the
// currents and voltages of a converter, one with every 1009th sample invalid.
struct Fixture {
    CResultDataRef data;
    CGraphCurve screen;

    Fixture() {
        data.Initialise(kDataSetPlain, kCurves + 1, kSamples, 100);
        data.SetName(0, "Time");
        std::mt19937 rng(5);
        std::uniform_real_distribution<double> jitter(0.5, 1.5);
        std::normal_distribution<double> noise(0.0, 0.01);
        double* x = data->Variable(0)->Values();
        double t = 0.0;
        for (std::int32_t i = 0; i < kSamples; ++i) {
            x[i] = t;
            t += 1e-8 * jitter(rng);
        }
        for (std::int32_t c = 1; c <= kCurves; ++c) {
            data.SetName(c, ("V" + std::to_string(c)).c_str());
            double* y = data->Variable(c)->Values();
            std::uint8_t* f = data->Variable(c)->Flags();
            for (std::int32_t i = 0; i < kSamples; ++i) {
                const double phase = std::fmod(x[i], kPeriod) / kPeriod;
                const double duty = 0.4 + 0.1 * std::sin(x[i] * 50.0);
                switch (c) {
                    case 1:
                        y[i] = phase < duty ? 15.0 : 0.0;
                        break;
                    case 2:  // inductor current: a triangle
                        y[i] = phase < duty ? 2 + 4 * phase / duty : 6 - 4 * (phase - duty);
                        break;
                    default:
                        y[i] = c + std::sin(2 * M_PI * phase * c) + noise(rng);
                }
                f[i] = c == 3 && i % 1009 == 0 ? kPointInvalid : kPointValid;
            }
        }
        std::fill_n(data->Variable(0)->Flags(), kSamples, std::uint8_t{kPointValid});
        {
            std::lock_guard<std::recursive_mutex> hold(data->Lock());
            data->SetRowCountLocked(kSamples);
        }
        data.UpdateExtents();
        screen.SetData(data);
        for (std::int32_t c = 1; c <= kCurves; ++c)
            screen.AddCurve(CCurveEntry::ForColumn(data, c));
        screen.SetSelectedCurve(0);
        screen.StoreX(DataExtent{0.0, x[kSamples - 1]}, AxisRange{0.0, x[kSamples - 1], 1.0});
    }
    CycleTrace Trace(std::int32_t c) const {
        return {data->Variable(0)->Values(),
                data->Variable(0)->Flags(),
                data->Variable(c)->Values(),
                data->Variable(c)->Flags(),
                0,
                kSamples - 1,
                data.IsSorted(0)};
    }
};

Fixture& Data() {
    static Fixture f;
    return f;
}

void Done(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * kSamples * kCurves);
}

// The floor: the least and greatest valid sample of each curve, one pass each.
void BM_MinMaxFloor(benchmark::State& state) {
    for (auto _ : state) {
        for (std::int32_t c = 1; c <= kCurves; ++c) {
            const double* y = Data().data->Variable(c)->Values();
            const std::uint8_t* f = Data().data->Variable(c)->Flags();
            double mn = INFINITY, mx = -INFINITY;
            for (std::int32_t i = 0; i < kSamples; ++i) {
                if (f[i] != kPointValid) continue;
                mn = std::min(mn, y[i]);
                mx = std::max(mx, y[i]);
            }
            benchmark::DoNotOptimize(mn);
            benchmark::DoNotOptimize(mx);
        }
    }
    Done(state);
}

// The figures: the reference's level and crossings, then one pass per curve.
void BM_CycleFigures8(benchmark::State& state) {
    std::size_t cycles = 0;
    for (auto _ : state) {
        const CycleTrace ref = Data().Trace(1);
        const auto level = CycleLevelOf(ref);
        const RisingCrossings r = FindRisingCrossings(ref, *level);
        cycles = r.times.size() - 1;
        for (std::int32_t c = 1; c <= kCurves; ++c) {
            benchmark::DoNotOptimize(FiguresPerCycle(
                Data().Trace(c), r.times, c == 1 ? std::optional(level->level) : std::nullopt));
        }
    }
    state.counters["cycles"] = static_cast<double>(cycles);
    Done(state);
}

// Its parts: the reference's level and crossings, and one curve's figures.
void BM_ReferenceCrossings(benchmark::State& state) {
    for (auto _ : state) {
        const CycleTrace ref = Data().Trace(1);
        benchmark::DoNotOptimize(FindRisingCrossings(ref, *CycleLevelOf(ref)));
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_FiguresOfOneCurve(benchmark::State& state) {
    const CycleTrace ref = Data().Trace(1);
    const RisingCrossings r = FindRisingCrossings(ref, *CycleLevelOf(ref));
    for (auto _ : state) benchmark::DoNotOptimize(FiguresPerCycle(Data().Trace(2), r.times));
    state.SetItemsProcessed(state.iterations() * kSamples);
}

// The Cycles window's table: the same work through the screen's curves.
void BM_CycleTable(benchmark::State& state) {
    const std::vector<CGraphCurve*> screens = {&Data().screen};
    for (auto _ : state) benchmark::DoNotOptimize(CycleTable(screens, std::nullopt, {}));
    Done(state);
}

// What a tool window does on the interface thread for each change while the
// view is dragged: the key that tells whether anything changed and the copy
// of the screens handed to its worker, which then computes BM_CycleTable.
// Set against one frame of a drag (16 ms), it must be a small part of it.
void BM_WindowUpdateOnInterfaceThread(benchmark::State& state) {
    const std::vector<const CGraphCurve*> screens = {&Data().screen};
    const AxisRange dragged{1e-3, 5e-2, 1e-3};
    for (auto _ : state) {
        benchmark::DoNotOptimize(FigureInputKey(screens));
        benchmark::DoNotOptimize(SnapshotScreens(screens, dragged));
    }
}

BENCHMARK(BM_MinMaxFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CycleFigures8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceCrossings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FiguresOfOneCurve)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CycleTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowUpdateOnInterfaceThread)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Data();  // built before any timing starts
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
