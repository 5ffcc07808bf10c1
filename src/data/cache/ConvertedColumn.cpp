#include "data/cache/ConvertedColumn.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "data/cache/ColumnCache.h"

namespace kurvex {

namespace {

// The sign, exponent and top fraction bits ResultData's equal-spacing test compares.
std::uint64_t Upper48(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits >> 16;
}

}  // namespace

bool EndOfAttempt(ConvertAttempt why, const std::string& error, CacheConversion& out) {
    switch (why) {
        case ConvertAttempt::Changed:
            return false;
        case ConvertAttempt::Cancelled:
            out.status = CacheConversion::Status::Cancelled;
            break;
        case ConvertAttempt::Unsupported:
            out.status = CacheConversion::Status::Unsupported;
            break;
        case ConvertAttempt::Refused:
        case ConvertAttempt::Failed:
            out.error = error;
            break;
        case ConvertAttempt::Done:
            break;
    }
    return true;
}

void EqualSpacing::Take(const double* x, std::int64_t n) {
    for (std::int64_t i = 0; i < n; ++i) {
        if (count_ == 0) {
            first_ = x[i];
        } else {
            const std::uint64_t step = Upper48(x[i] - last_);
            if (count_ == 1) firstStep_ = step;
            same_ &= step == firstStep_;
        }
        last_ = x[i];
        ++count_;
    }
}

bool EqualSpacing::Equal(double& mean) const {
    mean = 0.0;
    if (count_ < 2) return false;
    const double m = (last_ - first_) / static_cast<double>(count_ - 1);
    if (m == 0.0 || std::isnan(m) || !same_ || firstStep_ != Upper48(m)) return false;
    mean = m;
    return true;
}

bool ConvertedColumn::Begin(CacheWriter& writer, std::mutex& writing, std::int32_t v,
                            std::int32_t r, std::int64_t rows) {
    const std::string name = PyramidFileName(v, r);
    {
        std::lock_guard<std::mutex> hold(writing);
        if (!writer.WriteExtra(name, nullptr, 0)) return false;
    }
    pyramid_ = SummaryPyramidAppender(
        rows, [&writer, &writing, name](std::int64_t at, const void* bytes, std::size_t count) {
            std::lock_guard<std::mutex> hold(writing);
            return writer.WriteExtraAt(name, at, bytes, count);
        });
    seen_ = {};
    sorted_ = {};
    return true;
}

bool ConvertedColumn::Take(const double* values, const std::uint8_t* flags, const bool* valid,
                           std::int64_t n) {
    const Extents e = ValidExtents(values, flags, n);
    Extents& seen = seen_.extents;
    if (e.found && !seen.found) {
        seen = e;
    } else if (e.found) {
        if (e.min < seen.min) seen.min = e.min;
        if (e.max > seen.max) seen.max = e.max;
    }
    seen_.invalid = seen_.invalid || std::find(valid, valid + n, false) != valid + n;
    const auto count = static_cast<std::size_t>(n);
    sorted_.Append(values, valid, count);
    return pyramid_.Append({values, count}, {flags, count});
}

CachedColumnMeta ConvertedColumn::Meta() const {
    const double none = std::numeric_limits<double>::quiet_NaN();
    const Extents& e = seen_.extents;
    return {e.found ? e.min : none, e.found ? e.max : none, sorted_.Sorted()};
}

}  // namespace kurvex
