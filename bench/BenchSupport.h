#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// Where benchmarks keep their sources: $KURVEX_BENCH_DIR, else /tmp/kurvex-bench.
inline std::string BenchDir() {
    const char* dir = std::getenv("KURVEX_BENCH_DIR");
    return dir && *dir ? dir : "/tmp/kurvex-bench";
}

// The points a benchmark's source holds: $KURVEX_BENCH_POINTS, else `otherwise`.
inline long long BenchPoints(long long otherwise) {
    const char* n = std::getenv("KURVEX_BENCH_POINTS");
    return n && *n ? std::atoll(n) : otherwise;
}

// A figure of /proc/self/status in kB ("VmRSS:", "VmHWM:"), 0 when missing.
inline long StatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0)
            return std::strtol(line.c_str() + std::strlen(key), nullptr, 10);
    }
    return 0;
}

// A binary SPICE raw file at `path` of `points` points of time (100 ns steps)
// and v(out) = value(row), written once (beside, then renamed) and kept for
// later runs; exits when it cannot be written.
template <class Value>
std::string BenchRawFile(const std::string& path, long long points, Value value) {
    if (std::filesystem::exists(path)) return path;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string temp = path + ".part";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) std::exit(1);
    std::fprintf(f,
                 "Title: bench\nDate: today\nPlotname: Transient Analysis\nFlags: real\n"
                 "No. Variables: 2\nNo. Points: %lld\nVariables:\n\t0\ttime\ttime\n"
                 "\t1\tv(out)\tvoltage\nBinary:\n",
                 points);
    std::vector<double> chunk;
    const long long rows = 1 << 16;
    for (long long r0 = 0; r0 < points; r0 += rows) {
        chunk.clear();
        for (long long r = r0; r < std::min(points, r0 + rows); ++r) {
            chunk.push_back(static_cast<double>(r) * 1e-7);
            chunk.push_back(value(r));
        }
        if (std::fwrite(chunk.data(), sizeof(double), chunk.size(), f) != chunk.size())
            std::exit(1);
    }
    if (std::fclose(f) != 0) std::exit(1);
    std::filesystem::rename(temp, path);
    return path;
}
