#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "data/model/ResultData.h"
#include "data/model/RunAdjust.h"

namespace kurvex::cli {

// Runs of other files joined to a result (--add-run) and how its runs are
// lined up (--map, --shift, --scale, --align); runs counted from 0.
struct RunOptions {
    struct Map {
        std::int32_t run;
        std::string from, to;
    };
    struct Shift {
        std::int32_t run;
        double dx;
    };
    struct Scale {
        std::int32_t run;
        std::string name;
        double factor;
    };
    std::vector<std::string> added;
    std::vector<Map> maps;
    std::vector<Shift> shifts;
    std::vector<Scale> scales;
    std::vector<std::int32_t> aligned;
    AlignRequest align;

    bool Empty() const {
        return added.empty() && maps.empty() && shifts.empty() && scales.empty() && aligned.empty();
    }
};

// Reads the run options of `args`: 0 or the usage status. `levelShared`:
// --level is also the command's own, so it may come without --align.
int ParseRunOptions(Args& args, std::FILE* err, RunOptions& options, bool levelShared = false);

// Joins the files `options` adds to `data` and lines its runs up, as every
// command taking --runs does right after reading its file: 0, the usage
// status for a run or a variable that does not exist, else what reading
// the added files or aligning ended with. `applied` (when given) gets how
// each run was lined up, for a legend to say.
int ApplyRunOptions(const RunOptions& options, CResultDataRef& data, std::FILE* err,
                    std::vector<RunAdjust>* applied = nullptr);

}  // namespace kurvex::cli
