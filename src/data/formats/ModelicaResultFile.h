#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/formats/ReadOptions.h"
#include "data/model/ResultData.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// The trajectory files Dymola and OpenModelica write: MAT level-4 matrices
// Aclass, name, description, dataInfo, data_1 (the values that stay constant)
// and data_2 (the trajectories), stored as they are ("binNormal") or
// transposed ("binTrans"); or, in Dymola's older form "1.0", only names and
// data.

// True when `head`, the first bytes of the file at `path`, opens with a
// level-4 matrix "Aclass" whose first text is "Atrajectory".
bool LooksLikeModelicaResult(std::string_view head, const std::string& path);

// Reads the trajectories into `data`: the abscissa (time) first, then every
// other trajectory in the file's order, each named as the model names it with
// the unit its description ends with. Aliases share their column's samples;
// negated aliases get their own. The constants are listed in `notes`, with
// what was skipped. Refusals are reported; false then.
bool ReadModelicaResult(const std::string& path, CResultDataRef& data, UserMessages& messages,
                        const BinaryReadOptions& options = {},
                        std::vector<std::string>* notes = nullptr);

}  // namespace kurvex
