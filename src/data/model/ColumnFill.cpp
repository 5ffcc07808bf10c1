#include "data/model/ColumnFill.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "data/model/ResultVariable.h"
#include "data/platform/SampleMemory.h"
#include "data/platform/Workers.h"

namespace kurvex {

namespace {

// Bytes (or rows) per piece that a worker takes at a time.
constexpr std::int64_t kPieceBytes = 4 << 20;
// Rows per generated piece: a multiple of kExactEvery, so that every piece
// starts on an exact product.
constexpr std::int64_t kPieceRows = 5000 * kExactEvery;

// True when every byte is kPointValid, eight at a time.
bool AllValid(const std::uint8_t* f, std::int64_t n) {
    constexpr std::uint64_t kEight = 0x0101010101010101ull;
    std::uint64_t differs = 0;
    std::int64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, f + i, 8);
        differs |= eight ^ kEight;
    }
    for (; i < n; ++i) differs |= f[i] ^ kPointValid;
    return differs == 0;
}

// Reads [from, to) of a Read job through the stream; 0, errno, or -1 at the end.
int ReadThroughStream(std::FILE* file, const ColumnJob& job, std::int64_t from, std::int64_t to) {
    if (::fseeko(file, static_cast<off_t>(job.offset + from), SEEK_SET) != 0) return errno;
    const auto n = static_cast<size_t>(to - from);
    if (std::fread(static_cast<char*>(job.into) + from, 1, n, file) == n) return 0;
    return std::ferror(file) ? errno : -1;
}

// Runs one job over its part [from, to) (bytes for Read and MarkValid, rows
// for Generate); the error of a failed read, -1 when the file ended first.
// Reads by position on `fd`, or through `file` when fd is -1.
int RunPart(std::FILE* file, int fd, const ColumnJob& job, std::int64_t from, std::int64_t to,
            bool& notValid) {
    switch (job.kind) {
        case ColumnJob::Kind::Read: {
            char* into = static_cast<char*>(job.into);
            if (fd < 0) {
                if (const int status = ReadThroughStream(file, job, from, to)) return status;
            }
            for (std::int64_t at = fd < 0 ? to : from; at < to;) {
                const ssize_t got = ::pread(fd, into + at, static_cast<size_t>(to - at),
                                            static_cast<off_t>(job.offset + at));
                if (got < 0 && errno == EINTR) continue;
                if (got < 0) return errno;
                if (got == 0) return -1;
                at += got;
            }
            if (job.flags && !AllValid(reinterpret_cast<std::uint8_t*>(into) + from, to - from))
                notValid = true;
            return 0;
        }
        case ColumnJob::Kind::Generate: {
            double* x = static_cast<double*>(job.into);
            for (std::int64_t k = from; k < to; ++k)
                x[k] = k % kExactEvery == 0 ? static_cast<double>(k) * job.step + job.first
                                            : x[k - 1] + job.step;
            return 0;
        }
        case ColumnJob::Kind::MarkValid:
            std::memset(static_cast<char*>(job.into) + from, kPointValid,
                        static_cast<size_t>(to - from));
            return 0;
    }
    return 0;
}

FillResult Result(int status, bool notValid) {
    FillResult r;
    r.notValid = notValid;
    if (status == 0) return r;
    r.ok = false;
    r.error = status > 0 ? status : 0;
    return r;
}

}  // namespace

FillResult FillColumns(std::FILE* file, const std::vector<ColumnJob>& jobs, bool inOrder,
                       int workers) {
    const int fd = ::fileno(file);
    if (inOrder || fd < 0) {
        bool notValid = false;
        for (const ColumnJob& job : jobs) {
            if (const int status = RunPart(file, fd, job, 0, job.count, notValid))
                return Result(status, notValid);
        }
        return Result(0, notValid);
    }
    struct Piece {
        size_t job;
        std::int64_t from, to;
    };
    std::vector<Piece> pieces;
    std::vector<MemoryRange> memory;
    for (size_t j = 0; j < jobs.size(); ++j) {
        const ColumnJob& job = jobs[j];
        const bool rows = job.kind == ColumnJob::Kind::Generate;
        const std::int64_t step = rows ? kPieceRows : kPieceBytes;
        for (std::int64_t from = 0; from < job.count; from += step)
            pieces.push_back({j, from, std::min(job.count, from + step)});
        memory.push_back({job.into, static_cast<size_t>(job.count) * (rows ? sizeof(double) : 1)});
    }
    PrepareForWriting(memory, workers);
    std::atomic<int> status{0};
    std::atomic<bool> notValid{false};
    ItemCounter counter(static_cast<std::int64_t>(pieces.size()));
    RunWorkers(std::min<int>(workers, static_cast<int>(pieces.size())), [&](int) {
        bool seen = false;
        for (std::int64_t i = counter.Next(); i >= 0; i = counter.Next()) {
            const Piece& p = pieces[static_cast<size_t>(i)];
            if (const int s = RunPart(file, fd, jobs[p.job], p.from, p.to, seen)) {
                int none = 0;
                status.compare_exchange_strong(none, s);
                counter.Stop();
            }
        }
        if (seen) notValid = true;
    });
    return Result(status.load(), notValid.load());
}

}  // namespace kurvex
