#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "data/cache/CacheConversion.h"
#include "data/cache/CacheMeta.h"
#include "data/cache/CachePreview.h"
#include "data/model/SummaryPyramid.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

class CacheWriter;

// What a reader says while a converter reads, kept as one line for the
// conversion's error.
class CollectedMessages : public UserMessages {
public:
    void Show(const std::string& text, MessageIcon) override {
        if (!text.empty()) said += (said.empty() ? "" : " ") + text;
    }
    std::string said;
};

// How one try at converting a source into the cache ended.
enum class ConvertAttempt { Done, Changed, Cancelled, Failed, Refused, Unsupported };

// Says in `out` how a try ended (`error` for a failure); false when the source
// changed under it and another try is due.
bool EndOfAttempt(ConvertAttempt why, const std::string& error, CacheConversion& out);

// CResultDataRef::UniformTest over X as it streams past: every step must match
// the mean step (last - first) / (n - 1) in its upper 48 bits, which holds
// exactly when all steps match the first one and the first matches the mean.
class EqualSpacing {
public:
    void Take(const double* x, std::int64_t n);
    // True, with the mean step, when the samples so far step evenly.
    bool Equal(double& mean) const;

private:
    std::int64_t count_ = 0;
    double first_ = 0.0, last_ = 0.0;
    std::uint64_t firstStep_ = 0;
    bool same_ = true;
};

// What a converter gathers of one column of a cache entry as its samples
// stream past: the extremes, whether any sample was not valid, whether they
// are sorted, and the pyramid, which goes to the entry's file as it is built.
class ConvertedColumn {
public:
    // Begins the pyramid of variable `v` in run `r`, of `rows` samples, in
    // `writer`, whose every call `writing` guards; false with the writer's
    // error.
    bool Begin(CacheWriter& writer, std::mutex& writing, std::int32_t v, std::int32_t r,
               std::int64_t rows);
    // The next `n` samples (`valid`: their flags as the writer takes them); false
    // when the pyramid cannot take them.
    bool Take(const double* values, const std::uint8_t* flags, const bool* valid, std::int64_t n);
    // Puts down the rest of the pyramid; false when the rows were not those
    // begun or a write failed.
    bool Finish() { return pyramid_.FinishIntoSink(); }

    const PartialColumn& Seen() const { return seen_; }
    CachedColumnMeta Meta() const;

private:
    SummaryPyramidAppender pyramid_;
    PartialColumn seen_;
    SortedTracker sorted_;
};

}  // namespace kurvex
