#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/cache/ColumnCache.h"
#include "data/formats/RawFile.h"

namespace kurvex {

// How a conversion into the cache ended: apart from the converters, so that
// the pieces they share can say it without including them.
struct CacheConversion {
    enum class Status {
        Converted,      // the entry was written
        AlreadyCached,  // the entry was there
        Unsupported,    // not a file this converter takes: read it the old way
        Cancelled,
        Failed,  // `error` says why
    };
    Status status = Status::Failed;
    std::string error;
    std::shared_ptr<const CacheEntry> entry;  // when converted or already cached
    std::vector<RawPlot> plots;               // of the file, as ReadRawFile lists them
    // Status lines on what was read all the same (a step log that disagrees).
    std::vector<std::string> notes;
    // The runs' names as the step log beside the file gives them now, for a stepped plot
    // (empty otherwise): they are read at each opening, never kept in the entry.
    std::vector<std::string> runNames;
};

}  // namespace kurvex
