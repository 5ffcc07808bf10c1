// The summary pyramid of one column: its build against the floor of one
// min/max pass over the same samples, and the queries a view of the whole
// column asks, which must cost the pyramid's top, not the samples.
// KURVEX_PYRAMID_SAMPLES sets the column's length (10^8 by default).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "data/model/MinMax.h"
#include "data/model/ResultVariable.h"
#include "data/model/SummaryPyramid.h"
#include "data/platform/Workers.h"

namespace {

using namespace kurvex;

struct Column {
    std::vector<double> v;
    std::vector<std::uint8_t> f;
    PyramidColumn Span() const { return {v, f}; }
};

// One column for all benchmarks: a switching waveform with a few invalid points.
const Column& TheColumn() {
    static const std::unique_ptr<Column> column = [] {
        std::int64_t rows = 100'000'000;
        if (const char* n = std::getenv("KURVEX_PYRAMID_SAMPLES")) rows = std::atoll(n);
        auto c = std::make_unique<Column>();
        c->v.resize(static_cast<std::size_t>(rows));
        c->f.assign(c->v.size(), kPointValid);
        for (std::int64_t i = 0; i < rows; ++i) {
            c->v[i] = std::sin(i * 1e-4) + (i % 97 < 40 ? 0.3 : -0.3);
            if (i % 100'003 == 0) c->f[i] = kPointInvalid;
        }
        return c;
    }();
    return *column;
}

void SetSamples(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(TheColumn().v.size()));
}

void BM_MinMaxFloor(benchmark::State& state) {
    const Column& c = TheColumn();
    constexpr std::int32_t kBlock = 1 << 20;
    for (auto _ : state) {
        double lo = 0.0, hi = 0.0;
        for (std::size_t i = 0; i < c.v.size(); i += kBlock) {
            double mn, mx;
            const auto n = static_cast<std::int32_t>(std::min<std::size_t>(kBlock, c.v.size() - i));
            if (MinMax(c.v.data() + i, n, mn, mx)) {
                lo = std::min(lo, mn);
                hi = std::max(hi, mx);
            }
        }
        benchmark::DoNotOptimize(lo + hi);
    }
    SetSamples(state);
}

void BM_BuildOnePass(benchmark::State& state) {
    const Column& c = TheColumn();
    const int workers = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto p = SummaryPyramid::Build(c.Span(), workers);
        if (!p) state.SkipWithError("out of memory");
        benchmark::DoNotOptimize(p);
    }
    SetSamples(state);
}

void BM_BuildStreaming(benchmark::State& state) {
    const Column& c = TheColumn();
    constexpr std::size_t kChunk = 1 << 16;
    for (auto _ : state) {
        SummaryPyramidAppender appender;
        for (std::size_t i = 0; i < c.v.size(); i += kChunk) {
            const std::size_t n = std::min(kChunk, c.v.size() - i);
            appender.Append({c.v.data() + i, n}, {c.f.data() + i, n});
        }
        benchmark::DoNotOptimize(appender.Finish());
    }
    SetSamples(state);
}

const SummaryPyramid& ThePyramid() {
    static const SummaryPyramid p = *SummaryPyramid::Build(TheColumn().Span(), WorkerCount());
    return p;
}

// Avg and RMS need no |x|: the top bucket answers.
void BM_AvgRmsFullRange(benchmark::State& state) {
    const Column& c = TheColumn();
    const SummaryPyramidView& view = ThePyramid().View();
    const bool withAbs = state.range(0) != 0;
    for (auto _ : state) benchmark::DoNotOptimize(view.Sums(c.Span(), 0, view.Rows(), withAbs));
}

// A full view 1600 pixel columns wide, as the renderer asks it.
void BM_FullView1600Columns(benchmark::State& state) {
    const Column& c = TheColumn();
    const SummaryPyramidView& view = ThePyramid().View();
    constexpr std::int64_t kColumns = 1600;
    std::vector<std::int32_t> starts;
    for (std::int64_t k = 0; k <= kColumns; ++k)
        starts.push_back(static_cast<std::int32_t>(view.Rows() * k / kColumns));
    for (auto _ : state) benchmark::DoNotOptimize(view.ColumnExtents(c.Span(), starts));
}

BENCHMARK(BM_MinMaxFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildOnePass)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildStreaming)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AvgRmsFullRange)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullView1600Columns)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
