// Reading a binary COMTRADE record of 8 analog channels and 10,000,000
// samples beside copying its .dat with cp. Files go to $KURVEX_BENCH_DIR
// (default /tmp/kurvex-bench); $KURVEX_COMTRADE_SAMPLES gives another size.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ReaderBench.h"
#include "data/formats/ComtradeFile.h"

namespace {

constexpr int kAnalogs = 8;

using benchsupport::Loud;

long long Samples() {
    const char* n = std::getenv("KURVEX_COMTRADE_SAMPLES");
    return n && *n ? std::atoll(n) : 10000000;
}

std::string PathFor(long long samples, const char* what) {
    const char* dir = std::getenv("KURVEX_BENCH_DIR");
    const std::string base = dir && *dir ? dir : "/tmp/kurvex-bench";
    std::filesystem::create_directories(base);
    return base + "/comtrade_" + std::to_string(samples) + "x" + std::to_string(kAnalogs) + what;
}

// Three-phase voltages and currents sampled at 10 kHz.
void WriteSource(long long samples) {
    const std::string cfg = PathFor(samples, ".cfg"), dat = PathFor(samples, ".dat");
    if (std::filesystem::exists(cfg) && std::filesystem::exists(dat)) return;
    std::FILE* f = std::fopen(cfg.c_str(), "wb");
    if (!f) std::exit(1);
    std::fprintf(f, "Bench,Relay,1999\n%d,%dA,0D\n", kAnalogs, kAnalogs);
    for (int a = 0; a < kAnalogs; ++a)
        std::fprintf(f, "%d,%c%d,%c,line,%s,0.01,0,0,-32767,32767,1,1,P\n", a + 1,
                     a < 4 ? 'V' : 'I', a % 4, "ABCN"[a % 4], a < 4 ? "kV" : "A");
    std::fprintf(f,
                 "50\n1\n10000,%lld\n01/02/2020,10:00:00.000000\n"
                 "01/02/2020,10:00:00.100000\nBINARY\n1\n",
                 samples);
    if (std::fclose(f) != 0) std::exit(1);
    const std::string temp = dat + ".part";
    f = std::fopen(temp.c_str(), "wb");
    if (!f) std::exit(1);
    constexpr int kRecord = 8 + 2 * kAnalogs;
    std::vector<char> chunk;
    const long long rows = 1 << 16;
    for (long long r0 = 0; r0 < samples; r0 += rows) {
        chunk.clear();
        for (long long r = r0; r < std::min(samples, r0 + rows); ++r) {
            char record[kRecord];
            const std::uint32_t n = static_cast<std::uint32_t>(r + 1),
                                t = static_cast<std::uint32_t>(r * 100);
            std::memcpy(record, &n, 4);
            std::memcpy(record + 4, &t, 4);
            for (int a = 0; a < kAnalogs; ++a) {
                const auto v =
                    static_cast<std::int16_t>(30000.0 * std::sin(r * 0.0314159 + a * 2.0944));
                std::memcpy(record + 8 + 2 * a, &v, 2);
            }
            chunk.insert(chunk.end(), record, record + kRecord);
        }
        std::fwrite(chunk.data(), 1, chunk.size(), f);
    }
    if (std::fclose(f) != 0) std::exit(1);
    std::filesystem::rename(temp, dat);
}

void BM_ComtradeRead(benchmark::State& state) {
    const long long samples = Samples();
    WriteSource(samples);
    const std::string cfg = PathFor(samples, ".cfg");
    Loud messages;
    for (auto _ : state) {
        kurvex::CResultDataRef d;
        if (!kurvex::ReadComtradeFile(cfg, d, messages)) state.SkipWithError("not read");
        benchmark::DoNotOptimize(d->Variable(kAnalogs)->Values());
    }
    state.SetBytesProcessed(
        state.iterations() *
        static_cast<std::int64_t>(std::filesystem::file_size(PathFor(samples, ".dat"))));
}

// The yardstick: cp of the .dat in the same run.
void BM_ComtradeCopyWithCp(benchmark::State& state) {
    const long long samples = Samples();
    WriteSource(samples);
    const std::string from = PathFor(samples, ".dat");
    const std::string to = PathFor(samples, ".copied");
    benchsupport::CopyWithCp(state, from, to);
}

BENCHMARK(BM_ComtradeCopyWithCp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ComtradeRead)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
