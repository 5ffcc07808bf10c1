#pragma once

#include <string>
#include <vector>

#include "data/model/ResultData.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// What re-binding a view to data read again found.
struct RebindResult {
    bool closeView = false;      // its X variable is gone: the view must close
    bool invalidPoints = false;  // a log axis or a formula met points it cannot show
};

// Points the screens of one view at `fresh`, the data read again: curves find
// their variables again by name (or rebuild their formulas) and are dropped
// when they cannot; the X variable is looked up by name too. On a missing X
// variable nothing is changed and the view is to be closed. Otherwise the
// screens' data extents are recomputed; rescaling is the caller's.
RebindResult RebindView(const std::vector<CGraphCurve*>& screens, const CResultDataRef& fresh);

// Adds a reload or open request for `name` to those waiting (for a dialog to close): a file
// already waiting moves to the end instead of being read twice, so that each file is read once
// and the last window asked for comes to the front last.
void QueueRequest(std::vector<std::string>& waiting, const std::string& name);

}  // namespace kurvex
