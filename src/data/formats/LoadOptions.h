#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "data/formats/RawFile.h"
#include "data/formats/TextReader.h"
#include "data/model/ResultData.h"

namespace kurvex {

// How a result file is loaded.
struct LoadOptions {
    bool reportErrors = true;  // say so when the file cannot be opened
    bool showWarnings = true;  // warn when points were missing or invalid
    TextReadOptions text;      // progress and limits of the text reader (progress: raw files too)
    std::int32_t plot = 0;     // the plot of a SPICE raw file to read, from 0
    // Whether `plot` was asked for: when not, later plots like the first
    // (same name, complexness and variables) are read as its runs.
    bool plotChosen = false;
    // When given, receives the plots of a SPICE raw file (empty for other formats).
    std::vector<RawPlot>* plots = nullptr;
    // When given, receives the status lines a reader leaves: what it skipped
    // or could not decode in a file it read all the same.
    std::vector<std::string>* notes = nullptr;
    // The phase of complex data made continuous along frequency; when false,
    // each sample keeps its principal value in (-180, 180].
    bool unwrapPhase = true;
    // A file larger than this many bytes is read through the column cache
    // where its format allows: converted once, then mapped. 0 never.
    std::uint64_t cacheAboveBytes = 0;
    // The cache's size limit in bytes; 0 a fifth of the free disk space.
    std::uint64_t cacheLimitBytes = 0;
    // While a file is converted into the cache, now and then given the part
    // converted so far, on the reading thread.
    std::function<void(const CResultDataRef& partial)> preview;
    // When given, hears on the reading thread a status line the user should see while
    // the read goes on (a wait it cannot end by itself).
    std::function<void(const std::string& line)> status;
};

}  // namespace kurvex
