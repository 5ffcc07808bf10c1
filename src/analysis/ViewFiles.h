#pragma once

#include <string>
#include <vector>

#include "analysis/FftWindow.h"
#include "data/platform/UserMessages.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// "Save As..." for what the view shows: `entry` counts from 1 in the list of
// SaveAsFilter for its last screen, the time display's data formats or the
// frequency display's spectrum files, named with the `window` they were
// computed with; the time display writes run `run` (from 0). Failures are
// shown; false then, and an older file at `path` stays whole.
bool SaveViewAs(const std::vector<const CGraphCurve*>& screens, int entry, const std::string& path,
                UserMessages& messages, FftWindow window = FftWindow::kRectangular,
                std::int32_t run = 0);

}  // namespace kurvex
