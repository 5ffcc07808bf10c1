// Reading a binary SPICE raw file of 10,000,000 points of 4 variables beside
// copying the same file with cp: ngspice's doubles with the values of a
// point together (the reader transposes them), and LTspice's double time
// and float values, point by point and variable by variable ("fastaccess").
// Files go to $KURVEX_BENCH_DIR (default /tmp/kurvex-bench);
// $KURVEX_BENCH_POINTS sets another count of points for a quick run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../BenchSupport.h"
#include "ReaderBench.h"
#include "data/LtspiceRawWriter.h"
#include "data/formats/RawFile.h"

namespace {

using benchsupport::Loud;

std::string PathFor(long long points, int vars, const char* what) {
    const char* dir = std::getenv("KURVEX_BENCH_DIR");
    const std::string base = dir && *dir ? dir : "/tmp/kurvex-bench";
    std::filesystem::create_directories(base);
    return base + "/raw_" + what + "_" + std::to_string(points) + "x" + std::to_string(vars) +
           ".raw";
}

enum Form { kNgspice, kLtspice, kLtspiceFast };
const char* const kForms[] = {"source", "ltspice", "ltspice_fast"};

// A transient result as LTspice writes it, every third time marked negative.
void WriteLtspice(long long points, int vars, bool fast) {
    const std::string path = PathFor(points, vars, kForms[fast ? kLtspiceFast : kLtspice]);
    if (std::filesystem::exists(path)) return;
    const std::string temp = path + ".part";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) std::exit(1);
    kurvex::test::LtspiceLayout layout{{"time"}, points, fast};
    for (int v = 1; v < vars; ++v) layout.names.push_back("V(n" + std::to_string(v) + ")");
    auto value = [](std::int64_t v, std::int64_t r) {
        const double t = static_cast<double>(r) * 1e-7 + static_cast<double>(r % 3) * 1e-9;
        return v == 0 ? (r % 3 == 1 ? -t : t) : 100.0 * std::sin(r * 1e-3 * v) + v;
    };
    kurvex::test::WriteLtspiceRaw(layout, value, [&](std::string_view piece) {
        if (std::fwrite(piece.data(), 1, piece.size(), f) != piece.size()) std::exit(1);
    });
    if (std::fclose(f) != 0) std::exit(1);
    std::filesystem::rename(temp, path);
}

// A transient result as ngspice writes it, with an uneven time step.
void WriteSource(long long points, int vars, int form = kNgspice) {
    if (form != kNgspice) return WriteLtspice(points, vars, form == kLtspiceFast);
    const std::string path = PathFor(points, vars, "source");
    if (std::filesystem::exists(path)) return;
    const std::string temp = path + ".part";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) std::exit(1);
    std::fprintf(f,
                 "Title: bench\nDate: today\nPlotname: Transient Analysis\nFlags: real\n"
                 "No. Variables: %d\nNo. Points: %lld\nVariables:\n\t0\ttime\ttime\n",
                 vars, points);
    for (int v = 1; v < vars; ++v) std::fprintf(f, "\t%d\tv(n%d)\tvoltage\n", v, v);
    std::fputs("Binary:\n", f);
    std::vector<double> chunk;
    const long long rows = 1 << 16;
    for (long long r0 = 0; r0 < points; r0 += rows) {
        chunk.clear();
        for (long long r = r0; r < std::min(points, r0 + rows); ++r) {
            chunk.push_back(static_cast<double>(r) * 1e-7 + static_cast<double>(r % 3) * 1e-9);
            for (int v = 1; v < vars; ++v) chunk.push_back(100.0 * std::sin(r * 1e-3 * v) + v);
        }
        std::fwrite(chunk.data(), sizeof(double), chunk.size(), f);
    }
    if (std::fclose(f) != 0) std::exit(1);
    std::filesystem::rename(temp, path);
}

void BM_RawRead(benchmark::State& state) {
    const long long points = state.range(0);
    const int vars = static_cast<int>(state.range(1));
    const int form = static_cast<int>(state.range(2));
    WriteSource(points, vars, form);
    const std::string path = PathFor(points, vars, kForms[form]);
    Loud messages;
    for (auto _ : state) {
        kurvex::CResultDataRef d;
        std::vector<kurvex::RawPlot> plots;
        if (kurvex::ReadRawFile(path, d, plots, messages) != kurvex::RawReadResult::Read)
            state.SkipWithError("not read");
        benchmark::DoNotOptimize(d->Variable(vars - 1)->Values());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

// The yardstick: cp of the same file in the same run.
void BM_RawCopyWithCp(benchmark::State& state) {
    const long long points = state.range(0);
    const int vars = static_cast<int>(state.range(1));
    const int form = static_cast<int>(state.range(2));
    WriteSource(points, vars, form);
    const std::string from = PathFor(points, vars, kForms[form]);
    const std::string to = PathFor(points, vars, "copied");
    benchsupport::CopyWithCp(state, from, to);
}

void Sizes(benchmark::internal::Benchmark* b) {
    const long long n = BenchPoints(10000000);
    for (int form : {kNgspice, kLtspice, kLtspiceFast})
        b->Args({n, 4, form})->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_RawCopyWithCp)->Apply(Sizes);
BENCHMARK(BM_RawRead)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
