#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "data/formats/LoadOptions.h"
#include "data/formats/RawFile.h"
#include "data/formats/TextReader.h"
#include "data/model/ResultData.h"
#include "data/platform/IOBuffer.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// Reads a result file of any format into `data` by the first reader of the
// reader table that claims it. Display settings a binary file carries go into
// `settings` when given (emptied first). False when the file is missing
// (silently), cannot be opened or is refused by its reader; `data` may then
// hold a partial load.
bool LoadResultFile(const std::string& path, CResultDataRef& data, CIOBuffer* settings,
                    UserMessages& messages, const LoadOptions& options = {});

// Merges `b` into `a` as `result`: one row per distinct X of the two
// (ascending) X columns, the other file's variables interpolated there and
// flagged missing, clashing names suffixed. False when either has fewer than
// 2 variables or 2 rows, or when their X variables are named differently.
bool MergeDataSets(const CResultDataRef& a, const CResultDataRef& b, CResultDataRef& result,
                   const std::string& suffix, UserMessages& messages);

// Merges `b` (read from `path`) by X into every run of `a` as MergeDataSets
// merges into one, the runs keeping their names. A `b` of several runs is
// refused with a message: which of its runs would go into which is no one's
// guess. A further run that cannot take it (fewer than 2 rows) stays as it
// was; false when run 1 cannot.
bool MergeIntoRuns(const CResultDataRef& a, const CResultDataRef& b, CResultDataRef& result,
                   const std::string& suffix, const std::string& path, UserMessages& messages);

}  // namespace kurvex
