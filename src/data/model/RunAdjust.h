#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "data/model/ResultData.h"

// How a run from another source (a scope capture beside a simulation) is
// lined up with the others: its variables shown under other names, its X
// shifted, its variables scaled. The file itself never changes.
namespace kurvex {

// The kind an X variable's name says: "time", "t", "Time (s)" are time,
// "frequency", "freq", "f" frequency; anything else unknown.
XKind XKindByName(const std::string& name);
// The kind of the X of `data`: its reader's word, else its name's.
XKind XKindOf(const CResultData& data);
// Whether `added` may join `shown` as runs: the X are named alike, or are of
// one known kind.
bool XJoins(const CResultData& shown, const CResultData& added);

struct RunAdjust {
    double shift = 0.0;                                     // added to every X
    std::vector<std::pair<std::string, std::string>> maps;  // the file's name, the shown name
    std::vector<std::pair<std::string, double>> scales;     // a shown name, its factor

    bool IsDefault() const { return shift == 0.0 && maps.empty() && scales.empty(); }
    bool operator==(const RunAdjust&) const = default;
    // The factor of shown variable `name`; 1 when none is set.
    double ScaleOf(const std::string& name) const;
    // The file's name of shown variable `name`; null when it is not mapped.
    const std::string* SourceOf(const std::string& name) const;
    // Sets or replaces the mapping of the file's variable `from` (to itself: none).
    void SetMap(const std::string& from, const std::string& to);
    // Sets or replaces the factor of `name` (1: none).
    void SetScale(const std::string& name, double factor);
};

// `v` under another name, over the same samples (which it keeps alive); held
// by nobody yet.
CResultVariable* RenamedVariable(CResultVariable& v, const std::string& name);

// Why `adjust` cannot apply to `run` (shown to the user as run `number`): a
// mapped or scaled variable it lacks; empty when it applies.
std::string RunAdjustError(const CResultData& run, const RunAdjust& adjust, std::int32_t number);

// `data` with run k adjusted by perRun[k] (runs past its end, and variables
// a run lacks, as they are). Unchanged columns are shared; a shifted X and
// scaled variables are copies. `data` itself when nothing is to change, or
// when the memory for the copies cannot be had (`failed` then set).
CResultDataRef AdjustRuns(const CResultDataRef& data, const std::vector<RunAdjust>& perRun,
                          bool* failed = nullptr);

// The X at which variable `var` of `run` first crosses `level` (rising or
// falling), between valid samples, at or after `after`; linear between samples.
std::optional<double> FirstCrossing(const CResultData& run, std::int32_t var, double level,
                                    bool rising, double after);

// Where Align on Edge puts a run.
struct AlignRequest {
    std::string name;  // the variable, as the runs show it
    double level = 0.0;
    bool rising = true;
    double after = 0.0;  // -infinity: from the start
};

struct AlignResult {
    bool ok = false;
    double delta = 0.0;  // to add to run k's shift
    std::string error;
};

// The shift that puts the crossing `request` names of run k of `shown` (as it
// is drawn now) on the same crossing of run `reference`.
AlignResult AlignOnEdge(const CResultData& shown, std::int32_t k, std::int32_t reference,
                        const AlignRequest& request);

}  // namespace kurvex
