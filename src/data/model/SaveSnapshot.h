#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/model/RefPtr.h"
#include "data/model/ResultData.h"

namespace kurvex {

// The variables one save works from, taken under the data set's lock. A plain
// data set is saved as it is; the band screens' data set from a copy whose
// columns after X carry "prefix_" (when a prefix is given) and whose X starts
// at 0.
struct SaveSnapshot {
    std::vector<RefPtr<CResultVariable>> vars;
    std::int32_t rows = 0;
    bool uniformX = false;
    bool badPoints = false;

    bool Empty() const { return vars.empty() || rows < 1; }
};

// Takes the snapshot; false only when the copy cannot be had (no memory).
bool TakeSaveSnapshot(const CResultDataRef& data, const char* prefix, SaveSnapshot& out);

// The name the binary readers give a variable stored without one.
std::string DefaultVariableName(std::int32_t index);

}  // namespace kurvex
