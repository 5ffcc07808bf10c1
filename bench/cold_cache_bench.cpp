// A large result re-opened from the column cache with nothing of it in
// memory: `kurvex-cli render` of the full view and `kurvex-cli measure` of
// the whole range, each timed cold (the page cache dropped before every run)
// and warm (straight after), with what each cold run read of the cache entry:
// the entry's pages in memory afterwards (mincore) and the bytes the program
// read from the disk. The floors: 1.0 s for the cold picture and 0.5 s for
// the cold measurement.
//
// The source, N rows of time and one voltage (noise on a slow sine, X in
// even steps), is written into a fresh folder under $KURVEX_BENCH_DIR
// (default /tmp/kurvex-bench), converted once by `kurvex-cli info`, and the
// folder removed at the end. N is --rows N, else $KURVEX_BENCH_POINTS, else
// 500,000,000: 8 GB of source and about 8.6 GB of entry. It skips, saying
// so, when the disk lacks the room. Dropping the page cache takes root
// (/proc/sys/vm/drop_caches); without it each file's pages are dropped
// alone (posix_fadvise), which it says.
//
// $KURVEX_BENCH_CLI runs another kurvex-cli (an older build) in its place.
//
// Usage: kurvex_bench_cold_cache [--rows N] [--runs R]
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kRenderFloor = 1.0, kMeasureFloor = 0.5;  // seconds, cold

// The folder of the run, removed however main returns.
struct TempFolder {
    fs::path path;
    ~TempFolder() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
};

// Time in steps of 2^-23 s, exact in a double: the meta finds X evenly spaced.
bool WriteSource(const std::string& path, long long rows) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f,
                 "Title: bench\nDate: today\nPlotname: Transient Analysis\nFlags: real\n"
                 "No. Variables: 2\nNo. Points: %lld\nVariables:\n\t0\ttime\ttime\n"
                 "\t1\tv(out)\tvoltage\nBinary:\n",
                 rows);
    std::vector<double> chunk;
    constexpr long long kChunk = 1 << 16;
    bool ok = true;
    for (long long r0 = 0; ok && r0 < rows; r0 += kChunk) {
        chunk.clear();
        for (long long r = r0; r < std::min(rows, r0 + kChunk); ++r) {
            const double noise = static_cast<double>((r * 2654435761LL) % 1000) * 1e-3 - 0.5;
            chunk.push_back(static_cast<double>(r) * 0x1p-23);
            chunk.push_back(100.0 * std::sin(static_cast<double>(r) * 1e-6) + noise);
        }
        ok = std::fwrite(chunk.data(), sizeof(double), chunk.size(), f) == chunk.size();
    }
    return std::fclose(f) == 0 && ok;
}

// The files of the one cache entry under `cache`.
std::vector<fs::path> EntryFiles(const fs::path& cache) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(cache / "kurvex", ec))
        if (e.is_regular_file()) files.push_back(e.path());
    return files;
}

// Pages of `files` in memory now.
long long ResidentPages(const std::vector<fs::path>& files) {
    const long page = ::sysconf(_SC_PAGESIZE);
    long long resident = 0;
    for (const fs::path& file : files) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size == 0) {
            if (fd >= 0) ::close(fd);
            continue;
        }
        void* p = ::mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
        ::close(fd);
        if (p == MAP_FAILED) continue;
        std::vector<unsigned char> in((std::size_t(st.st_size) + page - 1) / page);
        if (::mincore(p, std::size_t(st.st_size), in.data()) == 0)
            for (unsigned char c : in) resident += c & 1;
        ::munmap(p, std::size_t(st.st_size));
    }
    return resident;
}

// Drops the page cache; false when it may not (not root), after dropping the
// pages of `files` one file at a time.
bool DropCaches(const std::vector<fs::path>& files) {
    ::sync();
    if (std::FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w")) {
        const bool ok = std::fputs("3\n", f) >= 0;
        if (std::fclose(f) == 0 && ok) return true;
    }
    for (const fs::path& file : files) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
    return false;
}

struct RunResult {
    double seconds = 0.0;
    long long readBytes = 0;  // from the disk, by the program
    bool ok = false;
};

// Runs `args` with `env`, its output to `out`: wall time and disk reads.
RunResult Run(const std::vector<std::string>& args, const std::vector<std::string>& env,
              const std::string& out) {
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    RunResult r;
    const auto t0 = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return r;
    }
    int status = 0;
    rusage usage{};
    const bool waited = ::wait4(pid, &status, 0, &usage) == pid;
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    posix_spawn_file_actions_destroy(&actions);
    r.readBytes = static_cast<long long>(usage.ru_inblock) * 512;
    r.ok = waited && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is known
    long long rows = BenchPoints(500000000LL);
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rows") == 0) rows = std::atoll(argv[i + 1]);
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    }
    if (rows < 100000 || rows > 0xffffffffLL) {
        std::fprintf(stderr, "cold_cache_bench: --rows wants 100000 to 4294967295\n");
        return 2;
    }
    const fs::path base = BenchDir();
    std::error_code ec;
    fs::create_directories(base, ec);
    // The source's samples, then the entry's: samples, bits and pyramids.
    const double bytes = double(rows) * 16.0, entry = bytes * 1.1, margin = 1e9;
    struct statvfs disk {};
    if (::statvfs(base.c_str(), &disk) != 0) {
        std::fprintf(stderr, "cold_cache_bench: cannot look at %s\n", base.c_str());
        return 1;
    }
    const double free = double(disk.f_bavail) * double(disk.f_frsize);
    std::printf("%lld rows x 2: needs %.1f GB in %s (%.1f GB free)\n", rows, (bytes + entry) / 1e9,
                base.c_str(), free / 1e9);
    if (free < bytes + entry + margin) {
        std::printf(
            "skipped: not enough free space (%.1f GB and a margin of 1 GB needed); free "
            "some, set KURVEX_BENCH_DIR to a larger disk or pass --rows\n",
            (bytes + entry) / 1e9);
        return 0;
    }
    TempFolder folder;
    std::string made = (base / "cold-XXXXXX").string();
    if (!::mkdtemp(made.data())) {
        std::fprintf(stderr, "cold_cache_bench: cannot make a folder in %s\n", base.c_str());
        return 1;
    }
    folder.path = made;
    const std::string source = (folder.path / "cold.raw").string();
    // Another kurvex-cli (an older build, to compare with) where one is named.
    const char* given = std::getenv("KURVEX_BENCH_CLI");
    const std::string cli = given && *given ? given : KURVEX_CLI_PATH;
    const std::vector<std::string> env = {"XDG_CACHE_HOME=" + (folder.path / "cache").string(),
                                          "KURVEX_CACHE_ABOVE_MB=1"};
    auto t = Clock::now();
    if (!WriteSource(source, rows)) {
        std::fprintf(stderr, "cold_cache_bench: cannot write %s\n", source.c_str());
        return 1;
    }
    std::printf("source written: %.1f s\n",
                std::chrono::duration<double>(Clock::now() - t).count());
    const std::string devnull = "/dev/null";
    const RunResult converted = Run({cli, "info", source}, env, devnull);
    const std::vector<fs::path> files = EntryFiles(folder.path / "cache");
    if (!converted.ok || files.empty()) {
        std::fprintf(stderr, "cold_cache_bench: kurvex-cli info made no cache entry\n");
        return 1;
    }
    std::printf("converted into the cache: %.1f s\n", converted.seconds);
    long long entryBytes = 0;
    for (const fs::path& f : files) entryBytes += static_cast<long long>(fs::file_size(f, ec));
    const long page = ::sysconf(_SC_PAGESIZE);
    std::printf("cache entry: %.2f GB, %lld pages\n", double(entryBytes) / 1e9, entryBytes / page);

    const std::string picture = (folder.path / "full.png").string();
    const std::string answer = (folder.path / "measure.txt").string();
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string out;
        double floor;
    };
    const Case cases[] = {
        {"render (full view)", {cli, "render", source, "-o", picture}, devnull, kRenderFloor},
        {"measure (whole range)", {cli, "measure", source, "v(out)"}, answer, kMeasureFloor},
    };
    std::vector<fs::path> dropped = files;
    dropped.push_back(source);
    bool dropWorked = true;
    for (const Case& c : cases) {
        std::vector<double> cold, warm, coldRead, warmRead, pages;
        for (int i = 0; i < runs; ++i) {
            dropWorked = DropCaches(dropped) && dropWorked;
            const long long before = ResidentPages(files);
            const RunResult a = Run(c.args, env, c.out);
            const long long after = ResidentPages(files);
            const RunResult b = Run(c.args, env, c.out);
            if (!a.ok || !b.ok) {
                std::fprintf(stderr, "cold_cache_bench: kurvex-cli %s failed\n", c.args[1].c_str());
                return 1;
            }
            cold.push_back(a.seconds);
            warm.push_back(b.seconds);
            coldRead.push_back(double(a.readBytes));
            warmRead.push_back(double(b.readBytes));
            pages.push_back(double(after - before));
        }
        const double coldMedian = Median(cold);
        std::printf(
            "%-22s cold %.3f s (floor %.1f s: %s)  warm %.3f s  entry pages read cold %.0f "
            "(%.1f MB)  disk read cold %.1f MB, warm %.1f MB  [median of %d]\n",
            c.name, coldMedian, c.floor, coldMedian <= c.floor ? "met" : "NOT met", Median(warm),
            Median(pages), Median(pages) * double(page) / 1e6, Median(coldRead) / 1e6,
            Median(warmRead) / 1e6, runs);
    }
    if (std::FILE* f = std::fopen(answer.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) std::printf("  %s", line);
        std::fclose(f);
    }
    if (!dropWorked)
        std::printf(
            "the page cache could not be dropped (not root): each entry file's pages were "
            "dropped alone with posix_fadvise, which leaves the program's own files and "
            "libraries in memory, so 'cold' is warmer than after a reboot\n");
    else
        std::printf("the page cache was dropped before every cold run\n");
    // A floor not met is a figure to read, not a failure: the other benchmarks run on.
    return 0;
}
