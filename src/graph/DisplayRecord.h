#pragma once

#include <vector>

#include "data/model/ResultData.h"
#include "data/platform/IOBuffer.h"
#include "graph/DisplaySettingsFile.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// What loading a display record found.
struct RecordLoad {
    bool xFound = true;          // false: the X variable was missing and reset to the first column
    bool invalidPoints = false;  // a kept formula curve has invalid samples
};

// Appends the display record of `screen` to `out`: colours, font, axes and
// ranges, the X variable, the curves and the annotations.
void WriteDisplayRecord(const CGraphCurve& screen, CIOBuffer& out);

// Reads a display record into `screen`, whose data set must be set: names
// are looked up in it, curves whose variable is gone or whose formula does
// not build are dropped, as are annotations whose record cannot be read.
RecordLoad ReadDisplayRecord(CIOBuffer& in, CGraphCurve& screen);

// The display-settings stream of a view: version 7.1, the screen count, a
// reserved block and one display record per screen, top first.
void WriteDisplayStream(const std::vector<const CGraphCurve*>& screens, CIOBuffer& stream);

// The screens a display-settings stream describes, built on `basis`; reads
// versions 7.0 and 7.1.
LoadedScreens ReadDisplayStream(CIOBuffer& stream, const ScreenBasis& basis);

}  // namespace kurvex
