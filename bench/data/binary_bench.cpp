// Writing and reading the data-and-settings file beside copying the same file
// with cp, for a long two-column result and a wider one. Files go to
// $KURVEX_BENCH_DIR (default /tmp/kurvex-bench).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../BenchSupport.h"
#include "ReaderBench.h"
#include "data/formats/SettingsDataFile.h"

namespace {

using namespace kurvex;

using benchsupport::Loud;

std::string PathFor(int rows, int vars, const char* what) {
    std::filesystem::create_directories(BenchDir());
    return BenchDir() + "/" + what + "_" + std::to_string(rows) + "x" + std::to_string(vars) +
           ".kfd";
}

// X unevenly spaced so that every column is stored in full.
CResultDataRef MakeData(int rows, int vars) {
    CResultDataRef d;
    d.Initialise(kDataSetPlain, vars, rows, 100);
    std::vector<double> v(static_cast<size_t>(vars));
    std::vector<std::uint8_t> f(static_cast<size_t>(vars), kPointValid);
    for (int i = 1; i < vars; ++i) d.SetName(i, ("V" + std::to_string(i)).c_str());
    d.SetName(0, "Time");
    for (int r = 0; r < rows; ++r) {
        v[0] = r * 1e-7 + (r % 3) * 1e-9;
        for (int i = 1; i < vars; ++i)
            v[static_cast<size_t>(i)] = 100.0 * std::sin(r * 1e-3 * i) + i;
        d.SetRow(r, v.data(), f.data(), 0, vars);
    }
    d.UpdateExtents();
    return d;
}

CIOBuffer Settings() {
    CIOBuffer b;
    b.SetVersion(7, 1);
    b.WriteInt32(7);
    b.WriteInt32(1);
    b.WriteInt32(0);
    return b;
}

void BM_Write(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0)), vars = static_cast<int>(state.range(1));
    const CResultDataRef d = MakeData(rows, vars);
    const std::string path = PathFor(rows, vars, "written");
    CIOBuffer settings = Settings();
    Loud messages;
    for (auto _ : state) SaveSettingsDataFile(path, d, nullptr, settings, messages);
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

void BM_Read(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0)), vars = static_cast<int>(state.range(1));
    const std::string path = PathFor(rows, vars, "source");
    {
        CIOBuffer settings = Settings();
        Loud messages;
        SaveSettingsDataFile(path, MakeData(rows, vars), nullptr, settings, messages);
    }
    Loud messages;
    for (auto _ : state) {
        CResultDataRef d;
        CIOBuffer settings;
        if (LoadSettingsDataFile(path, d, &settings, messages) != DataPartResult::Read)
            state.SkipWithError("not read");
        benchmark::DoNotOptimize(d->Variable(vars - 1)->Values());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

// The yardstick: cp of the same file in the same run.
void BM_CopyWithCp(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0)), vars = static_cast<int>(state.range(1));
    const std::string from = PathFor(rows, vars, "source");
    if (!std::filesystem::exists(from)) {
        CIOBuffer settings = Settings();
        Loud messages;
        SaveSettingsDataFile(from, MakeData(rows, vars), nullptr, settings, messages);
    }
    benchsupport::CopyWithCp(state, from, PathFor(rows, vars, "copied"));
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Args({10000000, 2})->Args({1000000, 8})->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_CopyWithCp)->Apply(Sizes);
BENCHMARK(BM_Write)->Apply(Sizes);
BENCHMARK(BM_Read)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
