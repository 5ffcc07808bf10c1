// Reading a level-5 MAT file of 10,000,000 x 2 doubles (uncompressed, as
// matio writes it) beside copying the same file with cp. Files go to
// $KURVEX_BENCH_DIR (default /tmp/kurvex-bench); $KURVEX_BENCH_ROWS sets the rows.
#include <benchmark/benchmark.h>
#include <matio.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ReaderBench.h"
#include "data/formats/MatFile.h"

namespace {

using benchsupport::Loud;

long long Rows() {
    const char* rows = std::getenv("KURVEX_BENCH_ROWS");
    return rows && *rows ? std::atoll(rows) : 10000000;
}

std::string PathFor(long long rows, const char* what) {
    const char* dir = std::getenv("KURVEX_BENCH_DIR");
    const std::string base = dir && *dir ? dir : "/tmp/kurvex-bench";
    std::filesystem::create_directories(base);
    return base + "/mat_" + what + "_" + std::to_string(rows) + "x2.mat";
}

// Time with an uneven step and a sine, as one N x 2 matrix.
void WriteSource(long long rows) {
    const std::string path = PathFor(rows, "source");
    if (std::filesystem::exists(path)) return;
    const std::string temp = path + ".part";
    std::vector<double> values(static_cast<size_t>(2 * rows));
    for (long long r = 0; r < rows; ++r) {
        values[static_cast<size_t>(r)] =
            static_cast<double>(r) * 1e-7 + static_cast<double>(r % 3) * 1e-9;
        values[static_cast<size_t>(rows + r)] = 100.0 * std::sin(static_cast<double>(r) * 1e-3);
    }
    mat_t* mat = Mat_CreateVer(temp.c_str(), nullptr, MAT_FT_MAT5);
    size_t dims[2] = {static_cast<size_t>(rows), 2};
    matvar_t* v = Mat_VarCreate("signals", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, values.data(),
                                MAT_F_DONT_COPY_DATA);
    if (!mat || !v || Mat_VarWrite(mat, v, MAT_COMPRESSION_NONE) != 0) std::exit(1);
    Mat_VarFree(v);
    Mat_Close(mat);
    std::filesystem::rename(temp, path);
}

void BM_MatRead(benchmark::State& state) {
    const long long rows = Rows();
    WriteSource(rows);
    const std::string path = PathFor(rows, "source");
    Loud messages;
    for (auto _ : state) {
        kurvex::CResultDataRef d;
        if (!kurvex::ReadMatFile(path, d, messages)) state.SkipWithError("not read");
        benchmark::DoNotOptimize(d->Variable(1)->Values());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

// The yardstick: cp of the same file in the same run.
void BM_MatCopyWithCp(benchmark::State& state) {
    const long long rows = Rows();
    WriteSource(rows);
    const std::string from = PathFor(rows, "source");
    const std::string to = PathFor(rows, "copied");
    benchsupport::CopyWithCp(state, from, to);
}

BENCHMARK(BM_MatCopyWithCp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MatRead)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
