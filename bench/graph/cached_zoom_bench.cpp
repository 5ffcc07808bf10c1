// One screen showing one curve of a cached result of N points of time and
// one voltage ($KURVEX_BENCH_POINTS, default 10,000,000), as a large file is
// opened: converted once into a column cache under $KURVEX_BENCH_DIR (default
// /tmp/kurvex-bench), then opened from the cache and drawn. Times the re-open
// (from the cache entry to the first full-view picture) and the repaints of a
// wheel zoom about the plot's centre from the full view down to 1,000
// samples, with the resident memory after the first picture and at its peak
// (which counts the conversion). $KURVEX_BENCH_STEPS prints each step's time
// and page faults. The floor beside it: the first read of a page of memory
// that is already mapped (first_touch_us); a repaint of a wide view reads a
// few pages per pixel column that no repaint before it has read.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../BenchQtMain.h"
#include "../BenchSupport.h"
#include "app/GraphWnd.h"
#include "data/cache/CacheConvert.h"
#include "data/cache/CachedResult.h"
#include "data/cache/ColumnCache.h"
#include "graph/ViewLayout.h"

namespace {

using namespace kurvex;
using Clock = std::chrono::steady_clock;

// The source, written once and kept for later runs.
std::string Source() {
    // A source given from outside (bench/compare_billion.py) is used as it is.
    if (const char* given = std::getenv("KURVEX_BENCH_SOURCE"); given && *given) return given;
    const long long points = BenchPoints(10000000LL);
    // Noise on a slow sine: every pixel column of the full view is tall.
    return BenchRawFile(
        BenchDir() + "/zoom_" + std::to_string(points) + "x2.raw", points, [](long long r) {
            const double noise = static_cast<double>((r * 2654435761LL) % 1000) * 1e-3 - 0.5;
            return 100.0 * std::sin(static_cast<double>(r) * 1e-6) + noise;
        });
}

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// The process's resident memory now.
double ResidentMB() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0.0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1048576.0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// The mean time of the first read of each of 4,096 pages spread over 1 GiB of
// memory mapped and filled beforehand.
double FirstTouchMicroseconds() {
    constexpr std::size_t kBytes = std::size_t(1) << 30, kPages = 4096;
    void* p = ::mmap(nullptr, kBytes, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (p == MAP_FAILED) return 0.0;
    const auto* bytes = static_cast<const volatile std::uint8_t*>(p);
    unsigned sum = 0;
    const auto t = Clock::now();
    for (std::size_t k = 0; k < kPages; ++k) sum += bytes[k * (kBytes / kPages) + 64];
    const double us = Ms(t, Clock::now()) * 1000.0 / double(kPages);
    ::munmap(p, kBytes);
    benchmark::DoNotOptimize(sum);
    return us;
}

void BM_CachedWheelZoom(benchmark::State& state) {
    const std::string path = Source();
    ::setenv("XDG_CACHE_HOME", (BenchDir() + "/cache").c_str(),
             !std::getenv("KURVEX_BENCH_SOURCE"));
    CacheConvertOptions options;
    options.limit = UINT64_MAX;
    if (ConvertToCache(path, options).status == CacheConversion::Status::Failed)
        return state.SkipWithError("cannot convert the source");
    std::vector<double> steps, opens;
    double last = 0.0;
    for (auto _ : state) {
        steps.clear();
        const auto t0 = Clock::now();
        const CacheConversion c = ConvertToCache(path, options);
        CResultDataRef data;
        std::string error;
        if (!c.entry || !OpenCachedResult(c.entry, data, error))
            return state.SkipWithError(error.c_str());
        QWidget frame;
        frame.resize(1600, 600);
        auto record = std::make_unique<CGraphCurve>(0);
        record->SetData(data);
        record->AddCurve(CCurveEntry::ForColumn(data, 1));
        ScaleToData(*record);
        auto* screen = new CGraphWnd(&frame);
        screen->SetRecord(std::move(record));
        screen->SetBottom(true);
        screen->setGeometry(0, 0, 1600, 600);
        frame.show();
        QApplication::processEvents();
        screen->repaint();
        opens.push_back(Ms(t0, Clock::now()));
        state.counters["open_rss_MB"] = ResidentMB();

        const PlotRect& p = screen->Record().Plot();
        const QPointF centre((p.left + p.right) / 2.0, (p.top + p.bottom) / 2.0);
        const double step = 1e-7;
        double span = 0.0;
        // Down to 1,000 samples, or to the narrowest window the zoom limit allows.
        while (screen->Record().XRange().to - screen->Record().XRange().from > 1000 * step) {
            const double before = screen->Record().XRange().to - screen->Record().XRange().from;
            if (before == span) break;
            span = before;
            rusage u0{};
            ::getrusage(RUSAGE_SELF, &u0);
            const auto t1 = Clock::now();
            QWheelEvent e(centre, screen->mapToGlobal(centre), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(screen, &e);
            screen->repaint();
            steps.push_back(Ms(t1, Clock::now()));
            rusage u1{};
            ::getrusage(RUSAGE_SELF, &u1);
            if (std::getenv("KURVEX_BENCH_STEPS"))
                std::fprintf(stderr, "step %zu: %.4g samples, %.2f ms, %ld faults\n", steps.size(),
                             before / step, steps.back(), u1.ru_minflt - u0.ru_minflt);
            if (steps.size() > 1000) return state.SkipWithError("the wheel does not zoom");
        }
        last = (screen->Record().XRange().to - screen->Record().XRange().from) / step;
    }
    state.counters["open_ms"] = Median(opens);
    state.counters["first_touch_us"] = FirstTouchMicroseconds();
    state.counters["last_window_samples"] = last;
    state.counters["steps"] = static_cast<double>(steps.size());
    state.counters["median_ms"] = Median(steps);
    state.counters["max_ms"] = steps.empty() ? 0.0 : *std::max_element(steps.begin(), steps.end());
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

BENCHMARK(BM_CachedWheelZoom)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    return RunQtBenchmarks(argc, argv);
}
