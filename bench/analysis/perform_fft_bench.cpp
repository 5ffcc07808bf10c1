// A whole "Perform FFT" of one screen of 8 curves of 1,000,000 samples: the
// plan, each curve resampled and transformed on the worker, the axes fitted.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/FrequencyDisplay.h"
#include "data/model/ResultData.h"
#include "data/platform/UserMessages.h"
#include "graph/CurveEntry.h"
#include "graph/GraphCurve.h"

namespace {

constexpr std::int32_t kCurves = 8;
constexpr std::int32_t kRows = 1000000;

class Quiet : public kurvex::UserMessages {
public:
    void Show(const std::string&, kurvex::MessageIcon) override {}
};

kurvex::CResultDataRef Data() {
    kurvex::CResultDataRef d;
    d.Initialise(kurvex::kDataSetPlain, kCurves + 1, kRows, 100);
    d.SetName(0, "Time");
    for (std::int32_t c = 1; c <= kCurves; ++c) d.SetName(c, ("v" + std::to_string(c)).c_str());
    std::vector<double> row(kCurves + 1);
    const std::vector<std::uint8_t> flags(row.size(), kurvex::kPointValid);
    for (std::int32_t r = 0; r < kRows; ++r) {
        const double t = r * 1e-6;
        row[0] = t;
        for (std::int32_t c = 1; c <= kCurves; ++c)
            row[static_cast<std::size_t>(c)] =
                std::sin(2.0 * 3.141592653589793 * 1000.0 * c * t) + 0.1 * c;
        d.SetRow(r, row.data(), flags.data(), 0, -1);
    }
    d.UpdateExtents();
    return d;
}

void BM_PerformFft(benchmark::State& state) {
    const kurvex::CResultDataRef data = Data();
    kurvex::CGraphCurve screen;
    screen.SetData(data);
    for (std::int32_t c = 1; c <= kCurves; ++c)
        screen.AddCurve(kurvex::CCurveEntry::ForColumn(data, c));
    screen.UpdateExtents();
    kurvex::RangeFlags flags;
    flags.setIncrement = true;
    screen.SetXYRange(0.0, (kRows - 1) * 1e-6, 0.1, -2.0, 2.0, 0.5, flags);
    Quiet quiet;
    for (auto _ : state) {
        const auto r = kurvex::ToggleFrequencyDisplay({&screen}, quiet);
        if (r.did != kurvex::DomainSwitch::kToFrequency) state.SkipWithError("no spectra");
        benchmark::DoNotOptimize(screen.Curve(kCurves - 1).spectrum);
        state.PauseTiming();
        kurvex::ToggleFrequencyDisplay({&screen}, quiet);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PerformFft)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
