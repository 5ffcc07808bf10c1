// Merging two result files whose X values interleave: the time per row must
// stay the same from 100,000 to 1,000,000 rows (the merge walks both X
// columns once).
#include <benchmark/benchmark.h>

#include <cmath>

#include "data/document/ResultFile.h"

namespace {

using namespace kurvex;

class Quiet : public UserMessages {
public:
    void Show(const std::string&, MessageIcon) override {}
};

// X = offset, offset + 1, ... with two waveforms.
CResultDataRef MakeData(std::int32_t rows, double offset) {
    CResultDataRef d;
    d.Initialise(kDataSetPlain, 3, rows, 100);
    d.SetName(0, "Time");
    d.SetName(1, "V");
    d.SetName(2, "I");
    const std::uint8_t f[3] = {1, 1, 1};
    for (std::int32_t r = 0; r < rows; ++r) {
        const double v[3] = {r + offset, std::sin(r * 1e-3), std::cos(r * 1e-3)};
        d.SetRow(r, v, f, 0, 3);
    }
    d.UpdateExtents();
    return d;
}

void BM_MergeInterleaved(benchmark::State& state) {
    const auto rows = static_cast<std::int32_t>(state.range(0));
    const CResultDataRef a = MakeData(rows, 0.0), b = MakeData(rows, 0.5);
    Quiet quiet;
    for (auto _ : state) {
        CResultDataRef merged;
        if (!MergeDataSets(a, b, merged, "b", quiet)) state.SkipWithError("merge failed");
        benchmark::DoNotOptimize(merged->RowCount());
    }
    state.SetItemsProcessed(state.iterations() * 2 * static_cast<std::int64_t>(rows));
}

BENCHMARK(BM_MergeInterleaved)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
