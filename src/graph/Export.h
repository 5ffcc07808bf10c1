#pragma once

#include <string>
#include <vector>

#include "data/platform/UserMessages.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// The format list of "Save As...": decided by the last screen (the one with
// the X axis); the frequency display offers spectrum files instead.
std::string SaveAsFilter(const CGraphCurve& lastScreen);

// Writes what the view shows in the time display as the format chosen from
// SaveAsFilter (1 Kurvex file with the view's layout, 2 fixed-width text,
// 3 tab-separated, 4 comma-separated, 5 MATLAB), of run `run` (from 0): the
// formats hold one run. Failures are shown; false then, and an older file at
// `path` stays whole. Nothing happens for a view without screens.
bool SaveTimeDisplay(const std::vector<const CGraphCurve*>& screens, int entry,
                     const std::string& path, UserMessages& messages, std::int32_t run = 0);

// Writes run `run` of the data set and the view's layout as a data-and-settings file.
bool SaveDataAndSettings(const std::vector<const CGraphCurve*>& screens, const std::string& path,
                         UserMessages& messages, std::int32_t run = 0);

}  // namespace kurvex
