#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/cache/CacheConversion.h"
#include "data/cache/ColumnCache.h"
#include "data/formats/RawFile.h"
#include "data/model/ResultData.h"

namespace kurvex {

struct CacheConvertOptions {
    std::uint64_t limit = 0;  // the cache's size limit in bytes; 0: DefaultCacheLimit
    // Called now and then with the source bytes done and the total; false cancels.
    std::function<bool(std::int64_t done, std::int64_t total)> progress;
    // When given, called now and then on the converting thread with a data set
    // over the rows of the first run converted so far (see PartialResult), so
    // that they can be shown while the rest is converted.
    std::function<void(const CResultDataRef& partial)> preview;
    std::int32_t plot = 0;  // as RawReadOptions takes them
    bool plotsAsRuns = false;
    // The bytes of a raw file read at a time; 0 for the default. Small ones
    // let a test span many blocks with a small file.
    std::int64_t blockBytes = 0;
    // Another process converting the same file is waited for in steps (each
    // asking `progress`, so that Cancel is heard); once its work has not grown
    // for `waitStall`, the file is left to be read the ordinary way when memory
    // allows, and waited for still when it does not.
    std::chrono::milliseconds waitStep{100}, waitStall{10000};
    // When given, hears at once a status line for a wait that cannot end by itself, so
    // that the user sees why the work does not move while it goes on.
    std::function<void(const std::string& line)> status;
};

// Fills the cache entry of the result file at `path`, streaming through it in
// blocks with the samples transposed and summarised on all cores, so that
// memory stays a few blocks (and the columns' summaries) whatever the file's
// size. Takes binary SPICE raw files of real values: the entry holds the
// variables and runs ReadRawFile reads, with the meta and each column's
// pyramid as its extras. A sweep stored as one stepped plot is cut into a run
// per step where X starts again, as the reader's caller cuts it, the runs
// named by the step log beside it (see StepRunNames, and runNames); finding the steps costs
// one more pass over X. Stepped complex plots and stepped plots read as
// several runs are left to the reader. A source that changes meanwhile is
// converted once more; nothing is left behind by a failure or a cancel.
CacheConversion ConvertToCache(const std::string& path, const CacheConvertOptions& options);

// How a converter of `path` waits for another writer of its entry, as `options` say:
// `need` is what reading the file the ordinary way takes. When that is given up on a
// stopped writer, `stalled` is set (and Begin fails, GaveUp() true); a wait with too
// little memory to read otherwise puts a note in `notes`.
CacheWait ConvertWait(const std::string& path, const CacheConvertOptions& options,
                      std::uint64_t need, bool& stalled, std::vector<std::string>& notes);

// What a converter says when it gives up waiting for a stopped writer.
std::string StalledWriterError(const std::string& path, const CacheConvertOptions& options);

}  // namespace kurvex
