#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "graph/GraphCurve.h"
#include "graph/PlotGeometry.h"
#include "graph/canvas/Canvas.h"
#include "graph/render/SegmentPath.h"

// The ways one curve is drawn: every strategy produces the pixels of the
// plain sample walk, the faster ones by skipping what cannot change them.
namespace kurvex {

class ColumnSummary;

// Draws a marker of `symbol` (kMarker...) centred on a pixel.
void DrawMarker(Canvas& canvas, int symbol, int px, int py, int scale);

// Where the pixel columns of the plot begin in a sorted X column: column
// left + k holds samples starts[k] .. starts[k + 1] - 1. Worked out once per
// draw for all curves.
struct PixelColumns {
    std::int32_t left = 0;
    std::vector<std::int32_t> starts;
};

// The pixel columns of `plot` over the sorted samples xv[first..end).
PixelColumns FindPixelColumns(const PixelMap& map, const PlotRect& plot, const double* xv,
                              std::int32_t first, std::int32_t end);

// One curve's walk over its samples: pixel conversion, gaps, clipping,
// markers, and the open vertical run in which a dense curve's samples of one
// pixel column are gathered. The strategies below drive it.
struct CurveStroke {
    CurveStroke(Canvas& canvas, const PlotRect& plot, const PixelMap& map)
        : plot(plot), map(map), path(canvas), canvas(canvas) {}

    const PlotRect& plot;
    const PixelMap& map;
    const double* xValues = nullptr;
    const std::uint8_t* xFlags = nullptr;
    const double* yValues = nullptr;
    const std::uint8_t* yFlags = nullptr;
    std::int32_t first = 0, last = -1;  // the samples to draw
    bool dense = false;                 // many samples per pixel column: gather runs
    bool connect = true;                // lines between samples
    int symbol = kMarkerNone;
    int scale = 1;      // marker size in device pixels per screen pixel
    bool band = false;  // a strip of its own for the curve (banded screens)
    double bandOffset = 0.0, bandK = 0.0, yFrom = 0.0;

    bool havePrev = false;  // a valid point precedes without a gap
    Point prev{};
    bool prevIn = false;
    bool inRun = false;  // a dense-mode vertical run is being collected
    int runX = 0, runMin = 0, runMax = 0;
    SegmentPath path;
    Canvas& canvas;

    // Ends the open run with one vertical line for its column, clipped to the plot.
    void FlushRun() {
        if (!inRun) return;
        inRun = false;
        const int y0 = std::max(runMin, plot.top + 1);
        const int y1 = std::min(runMax + 1, plot.bottom - 1);
        if (y0 < y1) {
            path.Move({runX, y0});
            path.Line({runX, y1});
        }
        path.Move(prev);
    }

    // Takes sample i.
    void Step(std::int32_t i) {
        if (Gap(i)) return;
        Take(i, map.PixelX(xValues[i]));
    }
    // Takes sample i, known to lie in pixel column `px`: its X is not read.
    void StepIn(std::int32_t i, int px) {
        if (Gap(i)) return;
        Take(i, px);
    }

private:
    // Ends the line at an invalid sample i; false for a valid one.
    bool Gap(std::int32_t i) {
        if (xFlags[i] == kPointValid && yFlags[i] == kPointValid) return false;
        FlushRun();
        havePrev = false;
        return true;
    }
    void Take(std::int32_t i, int px) {
        Point pt;
        pt.x = px;
        pt.y = band ? plot.bottom - ToPixelInt((yValues[i] + bandOffset - yFrom) * bandK)
                    : map.PixelY(yValues[i]);
        const bool in = plot.Contains(pt.x, pt.y);
        if (dense && connect) {
            if (inRun) {
                if (in && pt.x == runX) {
                    runMin = std::min(runMin, pt.y);
                    runMax = std::max(runMax, pt.y);
                    prev = pt;
                    return;
                }
                FlushRun();
            } else if (havePrev && prevIn && in && pt.x == prev.x) {
                inRun = true;
                runX = pt.x;
                runMin = std::min(prev.y, pt.y);
                runMax = std::max(prev.y, pt.y);
                prev = pt;
                return;
            }
        }
        if (in && symbol != kMarkerNone) {
            path.Flush();  // markers go over the line that leads to them
            DrawMarker(canvas, symbol, pt.x, pt.y, scale);
        }
        if (connect) {
            if (!havePrev) {
                if (in) path.Move(pt);
            } else if (prevIn && in) {
                path.Line(pt);
            } else {
                Point a = prev, b = pt;
                if (ClipSegment(plot, a, b)) {
                    path.Move(a);
                    path.Line(b);
                }
                if (in) path.Move(pt);
            }
        }
        prev = pt;
        prevIn = in;
        havePrev = true;
    }
};

// The columns of FindPixelColumns over an X that steps evenly from x0 by
// `step`, within the equal-spacing test's bounds (every step equal to `step`
// in its upper 48 bits): each start is worked out from the steps, and X read
// only at an end that may lie too near a column's edge to tell.
PixelColumns FindEvenPixelColumns(const PixelMap& map, const PlotRect& plot, const double* xv,
                                  std::int32_t first, std::int32_t end, double x0, double step);

// Every sample in turn: the reference the other strategies must match.
void WalkSamples(CurveStroke& s);

// The walk with an open run swallowing the samples that stay in its column a
// block at a time, for dense connected curves over any X. `sortedX`: X is
// known not to decrease.
void DrawAbsorbingRuns(CurveStroke& s, bool sortedX);

// Pixel column by pixel column over a sorted X, each column's extremes taken
// at once (from `summary` where given); `mergeColumns` lets a clean column
// that leaves the plot become the one line its pixels come to.
void DrawByColumns(CurveStroke& s, const PixelColumns& columns, const ColumnSummary* summary,
                   bool mergeColumns);

}  // namespace kurvex
