// Writing and reading the block container beside copying the same file with
// cp, for a long two-column result and a wider one. Files go to
// $KURVEX_BENCH_DIR (default /tmp/kurvex-bench).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ReaderBench.h"
#include "data/formats/BlockContainerFile.h"

namespace {

using kurvex::CIOBuffer;
using kurvex::CResultDataRef;

using benchsupport::Loud;

std::string PathFor(int rows, int vars, const char* what) {
    const char* dir = std::getenv("KURVEX_BENCH_DIR");
    const std::string base = dir && *dir ? dir : "/tmp/kurvex-bench";
    std::filesystem::create_directories(base);
    return base + "/container_" + what + "_" + std::to_string(rows) + "x" + std::to_string(vars) +
           ".kfd";
}

// X unevenly spaced so that every column is stored in full.
CResultDataRef MakeData(int rows, int vars) {
    CResultDataRef d;
    d.Initialise(kurvex::kDataSetPlain, vars, rows, 100);
    std::vector<double> v(static_cast<size_t>(vars));
    std::vector<std::uint8_t> f(static_cast<size_t>(vars), kurvex::kPointValid);
    d.SetName(0, "Time");
    for (int i = 1; i < vars; ++i) d.SetName(i, ("V" + std::to_string(i)).c_str());
    for (int r = 0; r < rows; ++r) {
        v[0] = r * 1e-7 + (r % 3) * 1e-9;
        for (int i = 1; i < vars; ++i)
            v[static_cast<size_t>(i)] = 100.0 * std::sin(r * 1e-3 * i) + i;
        d.SetRow(r, v.data(), f.data(), 0, vars);
    }
    d.UpdateExtents();
    return d;
}

std::vector<CIOBuffer> Settings() {
    std::vector<CIOBuffer> streams(1);
    streams[0].WriteInt32(7);
    streams[0].WriteInt32(1);
    streams[0].WriteInt32(0);
    return streams;
}

void WriteSource(int rows, int vars) {
    const std::string path = PathFor(rows, vars, "source");
    if (std::filesystem::exists(path)) return;
    Loud messages;
    kurvex::WriteBlockContainer(MakeData(rows, vars), path, nullptr, Settings(), messages);
}

void BM_ContainerWrite(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0)), vars = static_cast<int>(state.range(1));
    const CResultDataRef d = MakeData(rows, vars);
    const std::string path = PathFor(rows, vars, "written");
    const std::vector<CIOBuffer> settings = Settings();
    Loud messages;
    for (auto _ : state) kurvex::WriteBlockContainer(d, path, nullptr, settings, messages);
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

void BM_ContainerRead(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0)), vars = static_cast<int>(state.range(1));
    WriteSource(rows, vars);
    const std::string path = PathFor(rows, vars, "source");
    Loud messages;
    for (auto _ : state) {
        CResultDataRef d;
        std::vector<CIOBuffer> settings;
        if (!kurvex::ReadBlockContainer(path, d, settings, messages))
            state.SkipWithError("not read");
        benchmark::DoNotOptimize(d->Variable(vars - 1)->Values());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

// The yardstick: cp of the same file in the same run.
void BM_ContainerCopyWithCp(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0)), vars = static_cast<int>(state.range(1));
    WriteSource(rows, vars);
    const std::string from = PathFor(rows, vars, "source");
    benchsupport::CopyWithCp(state, from, PathFor(rows, vars, "copied"));
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Args({10000000, 2})->Args({1000000, 8})->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_ContainerCopyWithCp)->Apply(Sizes);
BENCHMARK(BM_ContainerWrite)->Apply(Sizes);
BENCHMARK(BM_ContainerRead)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
