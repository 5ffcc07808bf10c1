#include "graph/render/CurveDrawing.h"

namespace kurvex {

void DrawMarker(Canvas& canvas, int symbol, int px, int py, int scale) {
    const int s = scale;
    switch (symbol) {
        case kMarkerCircle:
            canvas.Ellipse({px - 3 * s, py - 3 * s, px + 3 * s, py + 3 * s});
            break;
        case kMarkerRectangle:
            canvas.Polygon({{px - 2 * s, py - 2 * s},
                            {px - 2 * s, py + 2 * s},
                            {px + 2 * s, py + 2 * s},
                            {px + 2 * s, py - 2 * s}});
            break;
        case kMarkerTriangle:
            canvas.Polygon({{px, py - 3 * s}, {px - 3 * s, py + 3 * s}, {px + 3 * s, py + 3 * s}});
            break;
        case kMarkerStar:
            canvas.Polygon({{px, py - 4 * s},
                            {px + 2 * s, py + 3 * s},
                            {px - 4 * s, py - s},
                            {px + 4 * s, py - s},
                            {px - 2 * s, py + 3 * s}});
            break;
        default:
            break;
    }
}

void WalkSamples(CurveStroke& s) {
    for (std::int32_t i = s.first; i <= s.last; ++i) s.Step(i);
    s.FlushRun();
    s.path.Flush();
}

}  // namespace kurvex
