#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/model/SummaryPyramid.h"

namespace kurvex {

class CacheEntry;

// A column worked out from a cached result and kept in files of its own in
// the entry's folder: the samples as doubles, the point flags as bytes (a
// derived column has missing as well as invalid samples), its summary pyramid
// and a small record of its extents. The entry's own files are never touched,
// and the files go with the entry when it is evicted or cleared.
struct DerivedColumn {
    double* values = nullptr;  // mapped copy-on-write, as the entry's samples are
    std::uint8_t* flags = nullptr;
    std::int64_t rows = 0;
    bool found = false;  // some sample is valid: min and max hold
    double min = 0.0, max = 0.0;
    bool anyInvalid = false;                    // some flag is kPointInvalid
    bool reused = false;                        // the files were there, complete, already
    std::optional<SummaryPyramidView> pyramid;  // over its mapped pyramid file
    std::shared_ptr<const void> keep;           // holds the mappings
};

// Computes rows [first, end) into `values` and `flags` (end - first of each)
// on worker `worker`; false stops the build. Workers call it at once, each
// with a block of its own; a single worker calls it block after block in order.
using DerivedFill = std::function<bool(int worker, std::int64_t first, std::int64_t end,
                                       double* values, std::uint8_t* flags)>;

// A name for a derived column from the texts that decide its samples.
std::string DerivedColumnName(const std::vector<std::string_view>& parts);

// The derived column `name` of `rows` rows beside `entry`, mapped: the
// complete files when they are there, else filled by `fill` in blocks of
// `block` rows on `workers` workers into temporary files renamed into place
// when whole, so that memory stays a block per worker whatever the length. `progress` (may be
// empty) hears the share done; `cancelled` (may be empty) is asked on the calling thread
// before each wave of blocks. None with `error` set when the cache folder is refused, `fill`
// stops, a write fails (a full disk) or the files cannot be mapped; none with `error` empty when
// `cancelled` said so. Either way nothing half-written is left, under a final name or another.
std::optional<DerivedColumn> MakeDerivedColumn(const CacheEntry& entry, const std::string& name,
                                               std::int64_t rows, std::int64_t block, int workers,
                                               const DerivedFill& fill, std::string& error,
                                               const std::function<void(double)>& progress = {},
                                               const std::function<bool()>& cancelled = {});

}  // namespace kurvex
