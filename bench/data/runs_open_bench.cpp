// Opening 200 result files of 50,000 rows × 4 as runs of one view, against the
// sum of reading each alone on one core divided by the cores: the goal is at
// most 1.5×. The sum of reads on all cores each is shown beside it.
// KURVEX_RUNS_FILES and KURVEX_RUNS_ROWS shrink it for a quick try.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ReaderBench.h"
#include "data/document/Document.h"
#include "data/document/ResultFile.h"
#include "data/platform/Workers.h"

namespace {

using namespace kurvex;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int EnvOr(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

struct Files {
    fs::path dir;
    std::vector<std::string> paths;
    Files() {
        const int count = EnvOr("KURVEX_RUNS_FILES", 200), rows = EnvOr("KURVEX_RUNS_ROWS", 50'000);
        std::string pattern = (fs::temp_directory_path() / "kurvex-runs-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::exit(1);
        dir = pattern;
        for (int f = 0; f < count; ++f) {
            paths.push_back((dir / (std::to_string(f) + "/out.txt")).string());
            fs::create_directories(dir / std::to_string(f));
            std::FILE* out = std::fopen(paths.back().c_str(), "w");
            if (!out) std::exit(1);
            std::fputs("Time V(out) I(L1) V(sw)\n", out);
            const double step = 1e-7 * (1.0 + f * 1e-3);  // every run its own time step
            for (int r = 0; r < rows; ++r) {
                const double t = r * step;
                std::fprintf(out, "%.9g %.9g %.9g %.9g\n", t, std::sin(t * 6e5 + f),
                             0.1 * std::cos(t * 6e5), r % 20 < 10 ? 12.0 : 0.0);
            }
            std::fclose(out);
        }
    }
    ~Files() { fs::remove_all(dir); }
};

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void BM_OpenAsRuns(benchmark::State& state) {
    static const Files files;
    benchsupport::Loud loud;
    double alone = 0, oneCore = 0, together = 0;
    LoadOptions single;
    single.text.threads = 1;
    for (auto _ : state) {
        for (const LoadOptions& o : {LoadOptions{}, single}) {
            // Each read keeps its samples, as a viewer of that file alone would:
            // fresh memory costs its page faults here as in the runs.
            std::vector<CResultDataRef> kept(files.paths.size());
            const auto start = Clock::now();
            for (size_t i = 0; i < kept.size(); ++i) {
                if (!LoadResultFile(files.paths[i], kept[i], nullptr, loud, o))
                    state.SkipWithError("read failed");
            }
            (o.text.threads == 1 ? oneCore : alone) = Seconds(start);
        }
        const auto start = Clock::now();
        COhmixGraphDoc doc(loud);
        if (!doc.OpenRuns(files.paths) ||
            doc.Data()->RunCount() != static_cast<std::int32_t>(files.paths.size()))
            state.SkipWithError("open as runs failed");
        together = Seconds(start);
        state.SetIterationTime(together);
    }
    const double floor = oneCore / WorkerCount();
    state.counters["alone_sum_s"] = alone;
    state.counters["one_core_sum_s"] = oneCore;
    state.counters["sum_over_cores_s"] = floor;
    state.counters["as_runs_s"] = together;
    state.counters["ratio"] = together / floor;  // goal: at most 1.5
}

BENCHMARK(BM_OpenAsRuns)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
