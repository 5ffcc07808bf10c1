#pragma once

#include <vector>

#include "graph/GraphCurve.h"
#include "graph/canvas/Canvas.h"

namespace kurvex {

// How the screens of a view are drawn on a page or into a picture: each into
// its own rectangle, with everything drawn afresh, its own grid flag, no
// legend rectangles, cursors, selection marks or red square.
struct OutputDraw {
    int scale = 1;          // printer units per screen pixel; 1 for pictures
    bool printing = false;  // 1000 units to the inch
    // The text metrics the plot margins use; null: each screen's own.
    const CharMetrics* metrics = nullptr;
};

// Draws screen i into places[i]. The screens' plot rectangles (which the
// window's mouse relies on) and metrics are left as they were.
void DrawScreensAt(Canvas& canvas, const std::vector<CGraphCurve*>& screens,
                   const std::vector<Rect>& places, const OutputDraw& how);

}  // namespace kurvex
