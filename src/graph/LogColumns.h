#pragma once

#include <cstdint>
#include <memory>

#include "data/model/ColumnSummary.h"
#include "data/model/RefPtr.h"
#include "data/model/ResultData.h"
#include "data/model/ResultVariable.h"
#include "graph/canvas/GraphTypes.h"

namespace kurvex {

// A log10 column of `source` over its first `rows` samples: samples that are
// not invalid and greater than 0 get their logarithm and keep their flag, all
// others become invalid; extents over the valid samples. `invalidFound` is set
// when some sample became or was invalid. Null when out of memory.
RefPtr<CResultVariable> BuildLogColumn(const CResultVariable& source, std::int32_t rows,
                                       bool& invalidFound);

// The log columns of a data set's columns. Each is built once per state of the
// data set's rows and kept with the data set, shared by every screen showing it.
class LogColumns {
public:
    explicit LogColumns(std::int32_t graphKind = kScreenOfView) : graphKind_(graphKind) {}

    // The graph kind of the screen this accessor serves.
    std::int32_t GraphKind() const { return graphKind_; }

    // The log column of column `column` of `data`; `invalidFound` is set when it
    // has invalid samples. Null when there is no such column or no memory.
    RefPtr<CResultVariable> Column(const CResultDataRef& data, std::int32_t column,
                                   bool& invalidFound) const;
    // The min/max summary of that log column, built on first use; null when
    // there is no log column or it is too short to need one.
    std::shared_ptr<const ColumnSummary> Summary(const CResultDataRef& data,
                                                 std::int32_t column) const;

private:
    std::int32_t graphKind_;
};

}  // namespace kurvex
