#pragma once

#include <cstdint>
#include <memory>

#include "data/model/ColumnSummary.h"
#include "data/model/RefPtr.h"
#include "data/model/ResultData.h"
#include "data/model/ResultVariable.h"

// What drawing derives from the columns of a run that no handle holds: the
// same entries of the run's derived-column store that CResultDataRef and
// LogColumns fill for the data set a screen holds, so both ways share them.
namespace kurvex {

// Whether variable `var` of `run` is valid, free of NaN and non-decreasing.
bool RunColumnSorted(CResultData& run, std::int32_t var);
// The min/max summary of variable `var` of `run`; null when it has too few rows.
std::shared_ptr<const ColumnSummary> RunColumnSummary(CResultData& run, std::int32_t var);
// The log10 column of variable `var` of `run`; `invalidFound` as LogColumns sets it.
RefPtr<CResultVariable> RunLogColumn(CResultData& run, std::int32_t var, bool& invalidFound);
// The min/max summary of that log column; null when it has too few rows.
std::shared_ptr<const ColumnSummary> RunLogSummary(CResultData& run, std::int32_t var);

}  // namespace kurvex
