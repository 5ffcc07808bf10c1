#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/formats/IniFile.h"
#include "data/model/ResultData.h"
#include "data/model/RunAdjust.h"

namespace kurvex {

// Which runs of a view are drawn and which one is measured, kept by run name
// so that a reload with more or fewer runs keeps what the user chose.
struct RunChoice {
    std::vector<std::string> hidden;  // runs the user unchecked; other names are shown
    std::string measured;             // the measured run; empty: the first shown run
    std::string filter;               // "key=value": only runs with that step; empty: all
    // How runs are lined up (shift, scales, mappings), by run name; only set ones.
    std::vector<std::pair<std::string, RunAdjust>> adjusted = {};

    bool IsDefault() const {
        return hidden.empty() && measured.empty() && filter.empty() && adjusted.empty();
    }
    bool operator==(const RunChoice&) const = default;
};

// The names a choice knows the runs of `data` by: their names, "Run k+1" for
// an unnamed one.
std::vector<std::string> RunChoiceNames(const CResultData& data);

// The step parameters of an LTspice run name ("vin=1 r1=1000"): its
// blank-separated words of the form key=value, in order; others are skipped.
std::vector<std::pair<std::string, std::string>> StepParameters(std::string_view name);

// The distinct "key=value" filters over `names`: keys in alphabetical order
// (ignoring case), the values of a key in the order the runs bring them.
// Empty when no name has parameters.
std::vector<std::string> StepFilters(const std::vector<std::string>& names);

// True when run `name` has the step `filter` names (key ignoring case); an
// empty filter matches every run.
bool MatchesStepFilter(std::string_view name, std::string_view filter);

// True when the user did not uncheck `name`.
bool RunChecked(const RunChoice& choice, const std::string& name);
// Checks or unchecks run `name`.
void SetRunChecked(RunChoice& choice, const std::string& name, bool checked);

// Checks or unchecks every run of `names` at once.
void SetAllRunsChecked(RunChoice& choice, const std::vector<std::string>& names, bool checked);

// Whether each of `names` is hidden: unchecked, or not matching the filter.
// A filter that matches none of `names` (a step gone after a reload) hides
// nothing, so that a stale filter cannot blank the view.
std::vector<bool> HiddenRunFlags(const RunChoice& choice, const std::vector<std::string>& names);

// The index of the measured run among `names`: the chosen one while it exists
// and is shown, else the first shown run, else 0.
std::int32_t MeasuredRunIndex(const RunChoice& choice, const std::vector<std::string>& names);

// One file that Save As writes: run `run` (from 0) into `path`.
struct RunSave {
    std::int32_t run = 0;
    std::string path;
    bool operator==(const RunSave&) const = default;
};

// True when Save As has to ask which runs to write: more than one is shown
// (`hidden` per run of `runCount`, as HiddenRuns gives it).
bool SaveAsAsksForRuns(const std::vector<bool>& hidden, std::int32_t runCount);

// What Save As writes: with `every`, each shown run into a file of its own
// named by RunFilePath after its number; else the `measured` run alone into
// `path`.
std::vector<RunSave> RunsToSave(const std::vector<bool>& hidden, std::int32_t runCount,
                                std::int32_t measured, bool every, const std::string& path);

// What a save of several runs tells the user it wrote, `names` as
// RunChoiceNames gives them.
std::string RunsSavedText(const std::vector<RunSave>& saved, const std::vector<std::string>& names);

// The adjustment of run `name`; the default when none is set.
RunAdjust AdjustmentOf(const RunChoice& choice, const std::string& name);
// Sets the adjustment of run `name`; a default one is forgotten.
void SetAdjustment(RunChoice& choice, const std::string& name, const RunAdjust& adjust);
// The adjustment of each of `names`, as AdjustRuns takes them.
std::vector<RunAdjust> AdjustmentsByRun(const RunChoice& choice,
                                        const std::vector<std::string>& names);

// What the legend says of run `name` with `adjust`, for a screen whose one
// curve is `curve` (empty for several): "CH1 [capture, +12.3 µs]" for a
// mapped curve, "capture [+12.3 µs]" else; `xName` gives the shift's unit.
std::string RunLegendText(const std::string& name, const RunAdjust& adjust,
                          const std::string& curve, const std::string& xName);

// A shift as the legend gives it: "+12.3 µs" (with an SI prefix when there is a unit).
std::string ShiftText(double shift, const std::string& unit);

// The formula of Compare Runs: curve `name` of run `k` less the same curve of
// run `reference` (both from 0), on the reference run's X.
std::string CompareRunsFormula(const std::string& name, std::int32_t k, std::int32_t reference);

// The choice as the [Runs] keys of a settings file. A default choice adds no
// keys to a file without them, so that files of one run stay as they were.
void WriteRunChoice(const RunChoice& choice, IniFile& ini);
// The choice the [Runs] keys hold; the default when there are none.
RunChoice ReadRunChoice(const IniFile& ini);

}  // namespace kurvex
