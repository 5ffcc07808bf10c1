// Writing samples as text: the shortest "%.{p}g" that reads back exactly
// against the plain "%g" the delimited exports used to write (its floor), and
// against the obvious search that tries p = 6, 7, ... with printf and strtod.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/platform/NumberText.h"

namespace {

using kurvex::AppendExactNumber;

// 0: a 1 ns time column; 1: full-precision waveform values; 2: short values.
std::vector<double> Column(int kind) {
    std::vector<double> v(1 << 16);
    for (size_t i = 0; i < v.size(); ++i) {
        const double k = static_cast<double>(i);
        v[i] = kind == 0 ? k * 1e-9 : kind == 1 ? 325.0 * std::sin(k * 1e-3) : k * 0.25;
    }
    return v;
}

void BM_PlainG(benchmark::State& state) {
    const std::vector<double> v = Column(static_cast<int>(state.range(0)));
    std::string line;
    char buf[32];
    for (auto _ : state) {
        line.clear();
        for (double x : v) line.append(buf, static_cast<size_t>(std::snprintf(buf, 32, "%g", x)));
        benchmark::DoNotOptimize(line.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(v.size()));
}

void BM_ExactNumber(benchmark::State& state) {
    const std::vector<double> v = Column(static_cast<int>(state.range(0)));
    std::string line;
    for (auto _ : state) {
        line.clear();
        for (double x : v) AppendExactNumber(line, x);
        benchmark::DoNotOptimize(line.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(v.size()));
}

void BM_PrintfSearch(benchmark::State& state) {
    const std::vector<double> v = Column(static_cast<int>(state.range(0)));
    std::string line;
    char buf[32];
    for (auto _ : state) {
        line.clear();
        for (double x : v) {
            int n = 0;
            for (int p = 6; p <= 17; ++p) {
                n = std::snprintf(buf, 32, "%.*g", p, x);
                if (std::strtod(buf, nullptr) == x) break;
            }
            line.append(buf, static_cast<size_t>(n));
        }
        benchmark::DoNotOptimize(line.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(v.size()));
}

BENCHMARK(BM_PlainG)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_ExactNumber)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_PrintfSearch)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
