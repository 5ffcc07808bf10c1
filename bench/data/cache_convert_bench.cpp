// Converting a binary SPICE raw file of N points of time and one voltage
// (doubles, 16 bytes a point) into a cache entry, beside the floor of
// reading the file once from start to end as cat does. Both report the
// source's bytes per second and the process's peak resident memory.
// The file goes to $KURVEX_BENCH_DIR (default /tmp/kurvex-bench), the cache
// beside it; $KURVEX_BENCH_POINTS sets N (default 500,000,000: 8 GB).
// The text cases do the same for a text result of the same N points
// ("%.9E %.9E" lines, 32 bytes a point), converted and read into memory.
// Peak memory is the process's: run each case on its own
// (--benchmark_filter) for figures that are that case's alone.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../BenchSupport.h"
#include "data/cache/CacheConvert.h"
#include "data/cache/CacheConvertText.h"
#include "data/cache/ColumnCache.h"
#include "data/formats/TextReader.h"
#include "data/model/ResultData.h"

namespace {

// Exits before writing a source of `bytes` (and the cache entry of up to 1.1x
// its 16 bytes a point) when the disk lacks them and a margin of 1 GB: at the
// default size these are the largest files of all the benchmarks.
void NeedSpace(const std::string& path, double bytes, long long points) {
    if (std::filesystem::exists(path)) return;
    std::filesystem::create_directories(BenchDir());
    const double need = bytes + 17.6 * static_cast<double>(points);
    const double free = static_cast<double>(std::filesystem::space(BenchDir()).available);
    std::fprintf(stderr, "%s and its cache entry: needs %.1f GB in %s (%.1f GB free)\n",
                 path.c_str(), need / 1e9, BenchDir().c_str(), free / 1e9);
    if (free < need + 1e9) {
        std::fprintf(stderr, "not enough free space; set KURVEX_BENCH_DIR to a larger disk\n");
        std::exit(1);
    }
}

// The source, written once and kept for later runs.
const std::string& Source() {
    static const std::string path = [] {
        const long long points = BenchPoints(500000000LL);
        const std::string path = BenchDir() + "/convert_" + std::to_string(points) + "x2.raw";
        NeedSpace(path, 16.0 * static_cast<double>(points), points);
        return BenchRawFile(path, points, [](long long r) {
            return 100.0 * std::sin(static_cast<double>(r) * 1e-3);
        });
    }();
    return path;
}

class Quiet : public kurvex::UserMessages {
public:
    void Show(const std::string&, kurvex::MessageIcon) override {}
};

const std::string& TextSource() {
    static const std::string path = [] {
        const long long points = BenchPoints(500000000LL);
        std::filesystem::create_directories(BenchDir());
        const std::string path = BenchDir() + "/convert_" + std::to_string(points) + "x2.txt";
        if (std::filesystem::exists(path)) return path;
        NeedSpace(path, 33.0 * static_cast<double>(points), points);
        const std::string temp = path + ".part";
        std::FILE* f = std::fopen(temp.c_str(), "wb");
        if (!f) std::exit(1);
        std::fprintf(f, "time v(out)\n");
        for (long long r = 0; r < points; ++r)
            std::fprintf(f, "%.9E %.9E\n", static_cast<double>(r) * 1e-7,
                         100.0 * std::sin(static_cast<double>(r) * 1e-3));
        if (std::fclose(f) != 0) std::exit(1);
        std::filesystem::rename(temp, path);
        return path;
    }();
    return path;
}

void PeakMemory(benchmark::State& state) {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_ReadFloor(benchmark::State& state) {
    const std::string& path = Source();
    std::vector<char> buffer(4 << 20);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return state.SkipWithError("cannot open the source");
        ssize_t got;
        while ((got = ::read(fd, buffer.data(), buffer.size())) > 0) bytes += got;
        ::close(fd);
    }
    state.SetBytesProcessed(bytes);
    PeakMemory(state);
}
BENCHMARK(BM_ReadFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

// Converts `path` into an emptied cache on every iteration with `convert`.
template <class Convert>
void ConvertEachTime(benchmark::State& state, const std::string& path, Convert convert) {
    ::setenv("XDG_CACHE_HOME", (BenchDir() + "/cache").c_str(), 1);
    kurvex::CacheConvertOptions options;
    options.limit = UINT64_MAX;
    std::int64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::size_t removed = 0;
        std::uint64_t freed = 0;
        std::string error;
        kurvex::ClearCache(removed, freed, error);
        state.ResumeTiming();
        const kurvex::CacheConversion made = convert(path, options);
        if (made.status != kurvex::CacheConversion::Status::Converted)
            return state.SkipWithError(made.error.c_str());
        bytes += static_cast<std::int64_t>(std::filesystem::file_size(path));
    }
    state.SetBytesProcessed(bytes);
    PeakMemory(state);
}

void BM_ConvertToCache(benchmark::State& state) {
    ConvertEachTime(state, Source(), kurvex::ConvertToCache);
}
BENCHMARK(BM_ConvertToCache)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ConvertTextToCache(benchmark::State& state) {
    ConvertEachTime(state, TextSource(),
                    [](const std::string& path, const kurvex::CacheConvertOptions& options) {
                        return kurvex::ConvertTextToCache(path, options);
                    });
}
BENCHMARK(BM_ConvertTextToCache)->Unit(benchmark::kMillisecond)->UseRealTime();

// The in-memory reading the conversion stands in for; last, as it holds the file.
void BM_ReadTextIntoMemory(benchmark::State& state) {
    const std::string& path = TextSource();
    std::int64_t bytes = 0;
    for (auto _ : state) {
        kurvex::CResultDataRef data;
        std::vector<std::string> names;
        Quiet quiet;
        if (!kurvex::ReadTextResult(path, data, names, quiet))
            return state.SkipWithError("the text result cannot be read");
        bytes += static_cast<std::int64_t>(std::filesystem::file_size(path));
    }
    state.SetBytesProcessed(bytes);
    PeakMemory(state);
}
BENCHMARK(BM_ReadTextIntoMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
