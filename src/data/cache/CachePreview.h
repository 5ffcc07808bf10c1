#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/model/Extents.h"
#include "data/model/ResultData.h"

namespace kurvex {

class CacheWriter;

// What a converter knows of one column of the rows it has written so far.
struct PartialColumn {
    bool invalid = false;  // some sample was not valid
    Extents extents;
};

// Whether a converter that has written `done` of `total` rows, and last showed
// `shown` (0: none yet), shows them now: first after a sixty-fourth, then each
// time the rows have doubled, so that the passes the pictures cost stay about
// twice one pass over the whole.
bool PreviewDue(std::int64_t shown, std::int64_t done, std::int64_t total);

// A data set over the first `rows` samples of each variable of run 1 that
// `writer` has put down, read from its partial files while the rest is
// written. `rows` must be a multiple of 8 and written for every column. The
// per-pixel summaries and the order of X are worked out here, so that the
// thread that draws it makes no pass. False with `error` set (and `data`
// untouched) when a file cannot be mapped or memory runs out.
bool PartialResult(const CacheWriter& writer, const std::vector<std::string>& names,
                   const std::vector<PartialColumn>& columns, std::int32_t rows, bool equalSpacing,
                   CResultDataRef& data, std::string& error);

}  // namespace kurvex
