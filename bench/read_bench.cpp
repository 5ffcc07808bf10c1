// Throughput and memory of the text reader on fixed-width files such as the
// writer makes. Files are generated once into $KURVEX_BENCH_DIR (default
// /tmp/kurvex-bench) so that bench/compare_pandas.py can read the same files.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "data/formats/TextReader.h"
#include "data/formats/TextWriter.h"
#include "data/platform/SafeFile.h"

namespace {

using namespace kurvex;

class Quiet : public UserMessages {
public:
    void Show(const std::string& text, MessageIcon) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

// A file of `rows` rows: X then `vars - 1` waveforms, "%.9E" in 18-character columns.
std::string MakeFile(int rows, int vars) {
    char name[64];
    std::snprintf(name, sizeof name, "/fixed_%dx%d.txt", rows, vars);
    const std::string path = BenchDir() + name;
    if (std::filesystem::exists(path)) return path;
    std::filesystem::create_directories(BenchDir());
    CResultDataRef d;
    d.Initialise(kDataSetPlain, vars, rows, 100);
    d.SetName(0, "Time");
    std::vector<double> v(static_cast<size_t>(vars));
    std::vector<std::uint8_t> f(static_cast<size_t>(vars), kPointValid);
    for (int i = 1; i < vars; ++i) d.SetName(i, ("V" + std::to_string(i)).c_str());
    for (int r = 0; r < rows; ++r) {
        v[0] = r * 1e-7;
        for (int i = 1; i < vars; ++i)
            v[static_cast<size_t>(i)] = 100.0 * std::sin(r * 1e-3 * i) + i;
        d.SetRow(r, v.data(), f.data(), 0, vars);
    }
    SafeFile out;
    if (!out.Open(path) || !ExportDataSet(d, out.Stream(), nullptr, kExportFixedWidth) ||
        !out.Commit()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    return path;
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void ReadFile(benchmark::State& state, int rows, int vars) {
    const std::string path = MakeFile(rows, vars);
    const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
    Quiet quiet;
    double perSample = 0, peakPerSample = 0;
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0);
        ResetPeak();
        const long before = StatusKb("VmRSS:");
        CResultDataRef data;
        std::vector<std::string> names;
        state.ResumeTiming();
        if (!ReadTextResult(path, data, names, quiet)) state.SkipWithError("read failed");
        state.PauseTiming();
        const double samples = static_cast<double>(data->RowCount()) * data->VariableCount();
        perSample = (StatusKb("VmRSS:") - before) * 1024.0 / samples;
        peakPerSample = (StatusKb("VmHWM:") - before) * 1024.0 / samples;
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["resident_bytes_per_sample"] = perSample;
    state.counters["peak_bytes_per_sample"] = peakPerSample;
}

void BM_Read_1Mx8(benchmark::State& state) {
    ReadFile(state, 1'000'000, 8);
}
void BM_Read_10Mx2(benchmark::State& state) {
    ReadFile(state, 10'000'000, 2);
}

BENCHMARK(BM_Read_1Mx8)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Read_10Mx2)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
