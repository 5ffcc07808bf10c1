#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data/model/ResultData.h"

namespace kurvex {

// One measurement of a script in one run: its value, or why it failed there.
struct ScriptCell {
    std::optional<double> value;
    std::string error;
};

// A run's row: its index (0 the first), its name and a cell per measurement.
struct ScriptRow {
    std::int32_t run = 0;
    std::string name;
    std::vector<ScriptCell> cells;
};

// A script measured over the shown runs of a result.
struct ScriptTable {
    std::string error;                 // "line L, column C: ..." when the script does not parse
    std::vector<std::string> notes;    // statements left out, one line each
    std::vector<std::string> columns;  // the measurements' names
    std::vector<ScriptRow> rows;
    bool cancelled = false;  // stopped before every run was measured

    // The cell of measurement `name` (any letter case) in run `run`, or null.
    const ScriptCell* Find(const std::string& name, std::int32_t run) const;
};

// Parses `text` (statements as a script file holds them) and measures each of
// `runs` of `data` in turn. `progress(done, total)` is told after each run and
// stops the work by returning false; the rows measured so far stay.
ScriptTable MeasureScriptRuns(const std::string& text, const CResultDataRef& data,
                              const std::vector<std::int32_t>& runs,
                              const std::function<bool(int, int)>& progress = {});

}  // namespace kurvex
