#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "data/model/RefPtr.h"
#include "data/model/ResultData.h"
#include "formula/Formula.h"

namespace kurvex {

// A formula variable and what building it found.
struct FormulaBuild {
    RefPtr<CResultVariable> variable;  // null when the formula was rejected
    FormulaError error;                // why, when it was
    bool anyInvalid = false;           // some sample is not a finite normal number
    bool cancelled = false;            // stopped through the options: no variable, no files
};

// True when the formula `text` over `data` names a run with every variable
// (NAME@K) and so gives the same samples whichever run it is evaluated over.
bool FormulaSameForEveryRun(const CResultDataRef& data, const std::string& text);

// True when `text` compiles against the data set's variable names (and the
// constants of a result of one run); else `error`
// tells where and why (position 0 and no message when the data set has no
// variables or fewer than 2 samples).
bool CheckFormula(const CResultDataRef& data, const std::string& text, FormulaError& error);

// Why a formula naming another run (NAME@K) is refused over a cached result:
// printf format of the result's rows and the limit.
inline constexpr const char* kFormulaRunTooLarge =
    "A formula naming another run (NAME@K) resamples that run's columns in memory. This "
    "result of %lld rows was read through the column cache, and from %lld rows on such a "
    "formula is refused rather than exhaust the memory.";

// How a formula over a cached result is built.
struct FormulaBuildOptions {
    // The run the formula is evaluated over, from 0: its names are that run's
    // variables, and NAME@K still reads run K, resampled onto its X.
    std::int32_t run = 0;
    // Rows from which a formula over a data set of cached columns goes into a
    // file beside the cache entry rather than into memory.
    std::int64_t cachedRows = std::int64_t(1) << 22;
    // Rows evaluated at a time into that file.
    std::int32_t blockRows = 1 << 20;
    // Workers for a formula whose samples do not depend on each other; 0: the
    // machine's cores (WorkerCount).
    int workers = 0;
    // Hears the share done while the file is written; may be empty.
    std::function<void(double)> progress;
    // Asked between blocks of the file; true stops the build, which then makes
    // no variable at all rather than one in memory. May be empty.
    std::function<bool()> cancelled;
};

// True when the formula `text` over `data` would go into files beside the
// cache entry (the build that may take long): it compiles, names no other run,
// and the data set has at least options.cachedRows rows, all its columns
// mapped from one cache entry.
bool FormulaGoesToCache(const CResultDataRef& data, const std::string& text,
                        const FormulaBuildOptions& options = {});

// A new kind-2 variable named `text` holding the formula over every sample of
// the data set (of run options.run), with its extents; it owns its compiled formula. Over a data
// set of cached columns with at least options.cachedRows rows, the samples go in blocks into files
// beside the cache entry (reused by a later build of the same formula) and the variable maps them;
// when that fails they go into memory, but not when options.cancelled stopped them. A formula
// naming another run over such a data set is refused (kFormulaRunTooLarge).
FormulaBuild BuildFormulaVariable(const CResultDataRef& data, const std::string& text,
                                  const FormulaBuildOptions& options = {});

// Gives a high-pass data set its filters: one HIPASS formula for every
// column after X, on that column, as the band screens read them. Filters
// already there are kept; new columns get theirs.
void AttachHighPassFormulas(HighPassResultData& data);

// Value source over a data set; the context is a CResultDataRef*. Out of
// range columns or samples read as NaN.
double DataSetValue(std::int32_t column, std::int32_t sample, void* context);
// The matching column source: a pointer into the variable's samples, or null
// when the range is not within the row count.
const double* DataSetColumn(std::int32_t column, std::int32_t first, std::int32_t count,
                            void* context);

}  // namespace kurvex
