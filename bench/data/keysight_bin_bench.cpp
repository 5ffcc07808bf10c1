// Reading a Keysight binary data file of one float32 waveform of 10,000,000
// points beside copying it with cp. Files go to $KURVEX_BENCH_DIR (default
// /tmp/kurvex-bench); $KURVEX_KEYSIGHT_POINTS gives another size.
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
#include "data/formats/KeysightBinFile.h"

namespace {

using benchsupport::Loud;

long long Points() {
    const char* n = std::getenv("KURVEX_KEYSIGHT_POINTS");
    return n && *n ? std::atoll(n) : 10000000;
}

std::string PathFor(long long points, const char* what) {
    const char* dir = std::getenv("KURVEX_BENCH_DIR");
    const std::string base = dir && *dir ? dir : "/tmp/kurvex-bench";
    std::filesystem::create_directories(base);
    return base + "/keysight_" + std::to_string(points) + what;
}

template <class T>
void Put(std::string& out, T v) {
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// A 1 kHz square wave with ringing, as a scope saves channel 1.
void WriteSource(long long points) {
    const std::string path = PathFor(points, ".bin");
    if (std::filesystem::exists(path)) return;
    const auto bytes = static_cast<std::int32_t>(4 * points);
    std::string head = "AG10";
    Put<std::int32_t>(head, 12 + 140 + 12 + bytes);
    Put<std::int32_t>(head, 1);
    Put<std::int32_t>(head, 140);
    Put<std::int32_t>(head, 1);  // normal
    Put<std::int32_t>(head, 1);  // one buffer
    Put<std::int32_t>(head, static_cast<std::int32_t>(points));
    Put<std::int32_t>(head, 1);
    const double dt = 1e-9;
    Put<float>(head, static_cast<float>(dt * points));
    Put<double>(head, -dt * points / 2);
    Put<double>(head, dt);
    Put<double>(head, -dt * points / 2);
    Put<std::int32_t>(head, 2);  // seconds
    Put<std::int32_t>(head, 1);  // volts
    char text[72] = {};
    std::strcpy(text + 32, "DSO-X 3034T:MY00000000");
    std::strcpy(text + 56, "1");
    head.append(text, sizeof text);
    Put<double>(head, 0.0);
    Put<std::uint32_t>(head, 0);
    Put<std::int32_t>(head, 12);
    Put<std::int16_t>(head, 1);
    Put<std::int16_t>(head, 4);
    Put<std::int32_t>(head, bytes);
    const std::string temp = path + ".part";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) std::exit(1);
    std::fwrite(head.data(), 1, head.size(), f);
    std::vector<float> chunk;
    const long long rows = 1 << 16;
    for (long long r0 = 0; r0 < points; r0 += rows) {
        chunk.clear();
        for (long long r = r0; r < std::min(points, r0 + rows); ++r) {
            const double t = r * dt;
            const double edge = std::fmod(t, 5e-4);
            chunk.push_back(static_cast<float>((std::fmod(t, 1e-3) < 5e-4 ? 3.3 : 0.0) +
                                               0.2 * std::exp(-edge * 2e5) * std::sin(edge * 1e7)));
        }
        std::fwrite(chunk.data(), sizeof(float), chunk.size(), f);
    }
    if (std::fclose(f) != 0) std::exit(1);
    std::filesystem::rename(temp, path);
}

void BM_KeysightBinRead(benchmark::State& state) {
    const long long points = Points();
    WriteSource(points);
    const std::string path = PathFor(points, ".bin");
    Loud messages;
    for (auto _ : state) {
        kurvex::CResultDataRef d;
        if (!kurvex::ReadKeysightBinFile(path, d, messages)) state.SkipWithError("not read");
        benchmark::DoNotOptimize(d->Variable(1)->Values());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

// The yardstick: cp of the same file in the same run.
void BM_KeysightBinCopyWithCp(benchmark::State& state) {
    const long long points = Points();
    WriteSource(points);
    benchsupport::CopyWithCp(state, PathFor(points, ".bin"), PathFor(points, ".copied"));
}

BENCHMARK(BM_KeysightBinCopyWithCp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KeysightBinRead)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
