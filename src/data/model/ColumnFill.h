#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace kurvex {

// One piece of filling the columns of a binary result file.
struct ColumnJob {
    enum class Kind {
        Read,       // `count` bytes from `offset` of the file into `into`
        Generate,   // `count` equally spaced samples first + k * step into `into`
        MarkValid,  // `count` point flags at `into` set valid
    };
    Kind kind = Kind::Read;
    std::uint64_t offset = 0;
    void* into = nullptr;
    std::int64_t count = 0;
    double first = 0.0;
    double step = 0.0;
    // Read: the bytes are point flags; FillResult says whether any was not valid.
    bool flags = false;
};

// How the filling went.
struct FillResult {
    bool ok = true;
    int error = 0;          // errno of the read that failed; 0 when the file ended first
    bool notValid = false;  // some point flag read was not valid (as it was read)
};

// Every hundredth generated sample is the exact product k * step + first and
// the ones between add the step, so that rounding does not pile up.
constexpr std::int64_t kExactEvery = 100;

// Runs the jobs on `file`. With `inOrder` one after the other as listed, so
// that a later job may overwrite an earlier one's rows; otherwise the
// destinations are backed with memory in one go and the jobs are cut into
// pieces of a few megabytes that up to `workers` threads share, the bytes
// going straight from the page cache into the columns (by position: the
// file's own position is left alone). A stream without a file descriptor
// (fmemopen) is read in order through the stream.
FillResult FillColumns(std::FILE* file, const std::vector<ColumnJob>& jobs, bool inOrder,
                       int workers);

}  // namespace kurvex
