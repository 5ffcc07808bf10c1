#pragma once

#include <cstdint>
#include <string>

#include "data/cache/CacheConvert.h"

namespace kurvex {

// How the text converter cuts its source; the defaults suit real files.
struct TextConvertTuning {
    std::int64_t blockBytes = 4 << 20;  // read at a time, cut back to the last line end
    // A line longer than a block grows the block up to this (give or take a
    // block); a longer line leaves the file to the text reader.
    std::int64_t maxLineBytes = 64 << 20;
    // When set, receives the most bytes of the source held at once.
    std::int64_t* peakBuffered = nullptr;
    // When set, says whether a failure was the file's own (the error is then
    // the text reader's message) rather than the cache's.
    bool* refused = nullptr;
};

// Fills the cache entry of the text result at `path` as ConvertToCache does
// for raw files: the file is read twice in blocks of whole lines, once to
// count its rows and once to parse them on all cores, so that memory stays a
// few blocks whatever its size. The entry holds what ReadTextResult reads,
// as one run, with the meta and each column's pyramid. Files the cache
// cannot hold as that reader reads them (several blocks, MISSING points, a
// line longer than the tuning allows) are Unsupported; a file the reader
// refuses fails with the reader's own message.
CacheConversion ConvertTextToCache(const std::string& path, const CacheConvertOptions& options,
                                   const TextConvertTuning& tuning = {});

}  // namespace kurvex
