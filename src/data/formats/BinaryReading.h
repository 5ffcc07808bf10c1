#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "data/model/ResultData.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

static_assert(std::endian::native == std::endian::little,
              "binary samples are copied from the file as little-endian bytes");

// The value of type T stored at `p`, however `p` is aligned.
template <class T>
T Load(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The amplitude in dB and the phase in degrees of re + j im.
void ToPolar(double re, double im, double& amp, double& phase);

// The bytes a read may take for its samples: `limit`, or all the system has
// available when it is 0.
std::uint64_t MemoryLimit(std::uint64_t limit);

// Backs the first `rows` rows of every column of `set` now, on `workers`
// threads: values coming fast would otherwise meet a page fault every 4 KB.
void BackColumns(CResultData& set, std::int64_t rows, int workers);

// Ends the filling of `set`'s first `rows` rows: sets their count, makes the
// phase columns `phases` continuous along X when `unwrap`, and keeps what the
// data set knows of its columns (bad points, extents, even spacing of X).
void FinishColumns(CResultData& set, std::int64_t rows, const std::vector<std::int32_t>& phases,
                   bool unwrap, bool bad, int workers = 1);

// What the binary readers do around their parsing: refusing with the file's
// name, status lines, and progress the caller may cancel.
class BinaryReading {
public:
    using Progress = std::function<bool(std::int64_t done, std::int64_t total)>;

    BinaryReading(const std::string& name, UserMessages& messages, const Progress& progress,
                  std::vector<std::string>* notes);

    // Says why the file is not read, only the first time and not while quiet;
    // false, to be returned.
    bool Refuse(const std::string& cause);
    // Keeps a status line for the caller, when it asked for them.
    void Note(const std::string& line);
    // Tells the caller how far the read is; false once it cancels, which
    // fails the read without a word.
    bool Tell(std::int64_t done, std::int64_t total);
    // Tell, at most once every 8 MB.
    bool KeepGoing(std::int64_t done, std::int64_t total);
    // `fresh` made to hold `columns` variables of `rows` rows, else refused.
    bool Allocate(CResultDataRef& fresh, std::int64_t columns, std::int64_t rows);

    bool Failed() const { return failed_; }
    bool Cancelled() const { return cancelled_; }
    // Faults of what is read while quiet end the read without a word.
    void SetQuiet() { quiet_ = true; }
    const std::string& Name() const { return name_; }

private:
    std::string name_;
    UserMessages& messages_;
    const Progress& progress_;
    std::vector<std::string>* notes_;
    std::int64_t nextProgress_;
    bool failed_ = false;
    bool quiet_ = false;
    bool cancelled_ = false;
};

}  // namespace kurvex
