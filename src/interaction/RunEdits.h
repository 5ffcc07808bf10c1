#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/model/ResultData.h"
#include "graph/RunChoice.h"

// What the Runs window's Map, Shift, Scale and Align on Edge make of what the
// user typed: a new run choice, or in plain words why there is none.
namespace kurvex {

struct RunEdit {
    RunChoice choice;
    std::string problem;  // empty when the edit applies
};

// Run `run` shifted by the X typed ("12.3u"; 0 clears the shift).
RunEdit ShiftRun(const RunChoice& choice, const std::string& run, std::string_view text);
// Variable `name` of run `run` (as the run shows it) scaled by the factor typed (1 clears it).
RunEdit ScaleRun(const RunChoice& choice, const std::string& run, const std::string& name,
                 std::string_view text);
// The file's variable `from` of run `run` shown as `to` (empty or `from`: as the file names it).
RunEdit MapRun(const RunChoice& choice, const std::string& run, const std::string& from,
               const std::string& to);
// Run k of `shown` (the view's data as drawn) shifted so that its first crossing of the level
// typed, in that direction, at or after the X typed (empty: from the start), falls on the
// same crossing of run `reference`; `names` name the runs as the choice does.
RunEdit AlignRun(const RunChoice& choice, const CResultData& shown,
                 const std::vector<std::string>& names, std::int32_t k, std::int32_t reference,
                 const std::string& variable, std::string_view level, bool rising,
                 std::string_view after);

// A run's row in the Runs window: its name, then how it is lined up
// ("capture  [+12.3 µs; CH1 shows as V(out); V(out) ×0.1]").
std::string RunRowText(const std::string& name, const RunAdjust& adjust, const std::string& xName);

}  // namespace kurvex
