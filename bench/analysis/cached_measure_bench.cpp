// Avg, Avg(|x|) and RMS (AveragesOver) and Max (FindExtremum) over the
// whole of a cached column of N points, answered from its summary pyramid,
// beside the floor of walking the same mapped samples once as the plain
// functions do. Each pyramid answer must be the walk's (figures within 1e-12
// of the data's scale, the same index) or the benchmark stops.
// The raw source goes to $KURVEX_BENCH_DIR/meas (default /tmp/kurvex-bench),
// the cache beside it; $KURVEX_BENCH_POINTS sets N (default 10,000,000).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "../BenchSupport.h"
#include "analysis/Averages.h"
#include "analysis/Measure.h"
#include "data/cache/CacheConvert.h"
#include "data/cache/CachedResult.h"
#include "data/cache/ColumnCache.h"
#include "data/model/SummaryPyramid.h"

namespace {

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "cached_measure_bench: %s\n", why.c_str());
    std::exit(1);
}

std::string WriteSource(long long points) {
    // A source given from outside (bench/compare_billion.py) is used as it is.
    if (const char* given = std::getenv("KURVEX_BENCH_SOURCE"); given && *given) return given;
    // An offset wave with a slow drift: no figure is trivially zero.
    return BenchRawFile(BenchDir() + "/meas/measure_" + std::to_string(points) + "x2.raw", points,
                        [](long long r) {
                            return 100.0 * std::sin(static_cast<double>(r) * 1e-3) + 3.0 +
                                   static_cast<double>(r % 1000003) * 1e-6;
                        });
}

// The cached result, converted once per process.
const kurvex::CResultDataRef& Cached() {
    static const kurvex::CResultDataRef data = [] {
        const std::string path = WriteSource(BenchPoints(10000000LL));
        ::setenv("XDG_CACHE_HOME", (BenchDir() + "/meas/cache").c_str(),
                 !std::getenv("KURVEX_BENCH_SOURCE"));
        kurvex::CacheConvertOptions options;
        options.limit = UINT64_MAX;
        const kurvex::CacheConversion made = kurvex::ConvertToCache(path, options);
        if (!made.entry) Fail("no cache entry: " + made.error);
        kurvex::CResultDataRef opened;
        std::string error;
        if (!kurvex::OpenCachedResult(made.entry, opened, error)) Fail(error);
        if (!kurvex::PyramidAt(opened->Variable(1)->Values())) Fail("the column has no pyramid");
        return opened;
    }();
    return data;
}

// The plain functions' loops, over the mapped samples.
kurvex::AverageFigures WalkAverages(const double* y, std::int32_t n) {
    double sum = 0.0, sumAbs = 0.0, sumSquares = 0.0;
    for (std::int32_t i = 0; i < n; ++i) {
        sum += y[i];
        sumAbs += std::fabs(y[i]);
        sumSquares += y[i] * y[i];
    }
    return {sum / n, sumAbs / n, std::sqrt(sumSquares / n), n};
}

std::int32_t WalkMax(const double* y, const std::uint8_t* flags, std::int32_t n) {
    std::int32_t i = 0;
    while (i < n && (flags[i] != kurvex::kPointValid || y[i] != y[i])) ++i;
    if (i == n) return -1;
    std::int32_t best = i;
    double value = y[i];
    for (++i; i < n; ++i) {
        if (flags[i] == kurvex::kPointValid && y[i] > value) {
            value = y[i];
            best = i;
        }
    }
    return best;
}

void Check(double got, double want, double scale, const char* what) {
    if (!(std::fabs(got - want) <= 1e-12 * scale))
        Fail(std::string(what) + ": pyramid " + std::to_string(got) + " walk " +
             std::to_string(want));
}

void BM_AveragesFromPyramid(benchmark::State& state) {
    const kurvex::CResultVariable& v = *Cached()->Variable(1);
    const std::int32_t n = Cached()->RowCount();
    const kurvex::AverageFigures want = WalkAverages(v.Values(), n);
    std::optional<kurvex::AverageFigures> got;
    for (auto _ : state) {
        got = kurvex::AveragesOver(v.Values(), 0, n - 1);
        benchmark::DoNotOptimize(got);
    }
    if (!got || got->samples != n) Fail("no figures");
    Check(got->mean, want.mean, want.meanAbs, "mean");
    Check(got->meanAbs, want.meanAbs, want.meanAbs, "mean |x|");
    Check(got->rms, want.rms, want.rms, "rms");
    state.counters["points"] = n;
}
BENCHMARK(BM_AveragesFromPyramid)->Unit(benchmark::kMillisecond)->UseRealTime();

// Avg and RMS alone: |x| is what sends the pyramid to the samples, at every
// bucket the wave crosses zero in.
void BM_SumsWithoutAbsFromPyramid(benchmark::State& state) {
    const kurvex::CResultVariable& v = *Cached()->Variable(1);
    const std::int32_t n = Cached()->RowCount();
    const kurvex::AverageFigures want = WalkAverages(v.Values(), n);
    kurvex::PyramidSums got;
    for (auto _ : state) {
        const auto p = kurvex::PyramidAt(v.Values());
        if (!p) Fail("the column has no pyramid");
        got = p->pyramid.Sums(p->column, 0, n, false);
        benchmark::DoNotOptimize(got);
    }
    Check(got.sum / n, want.mean, want.meanAbs, "mean");
    Check(std::sqrt(got.sumSquares / n), want.rms, want.rms, "rms");
    state.counters["points"] = n;
}
BENCHMARK(BM_SumsWithoutAbsFromPyramid)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AveragesWalk(benchmark::State& state) {
    const kurvex::CResultVariable& v = *Cached()->Variable(1);
    const std::int32_t n = Cached()->RowCount();
    for (auto _ : state) benchmark::DoNotOptimize(WalkAverages(v.Values(), n));
    state.counters["points"] = n;
}
BENCHMARK(BM_AveragesWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MaxFromPyramid(benchmark::State& state) {
    const kurvex::CResultVariable& v = *Cached()->Variable(1);
    const std::int32_t n = Cached()->RowCount();
    const std::int32_t want = WalkMax(v.Values(), v.Flags(), n);
    std::optional<std::int32_t> got;
    for (auto _ : state) {
        got = kurvex::FindExtremum(v.Values(), v.Flags(), 0, n - 1, true);
        benchmark::DoNotOptimize(got);
    }
    if (!got || *got != want) Fail("max: pyramid and walk differ");
    state.counters["points"] = n;
}
BENCHMARK(BM_MaxFromPyramid)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MaxWalk(benchmark::State& state) {
    const kurvex::CResultVariable& v = *Cached()->Variable(1);
    const std::int32_t n = Cached()->RowCount();
    for (auto _ : state) benchmark::DoNotOptimize(WalkMax(v.Values(), v.Flags(), n));
    state.counters["points"] = n;
}
BENCHMARK(BM_MaxWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
