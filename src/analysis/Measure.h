#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/model/RefPtr.h"
#include "data/model/ResultVariable.h"
#include "graph/GraphCurve.h"
#include "graph/GraphText.h"

namespace kurvex {

// The program-wide look of the measure cursors.
enum MeasureLineStyle : std::int32_t {
    kMeasureVerticalBar = 0,
    kMeasureCross = 1,
};

// The measurement commands of the graph view.
enum MeasureCommand : int {
    kCommandMeasure = 32781,
    kCommandMax = 32816,
    kCommandMin = 32817,
    kCommandNextMax = 32818,
    kCommandNextMin = 32819,
    kCommandNextPoint = 32799,
    kCommandPreviousPoint = 32800,
    kCommandPlaceCursorText = 32792,
    kCommandVerticalBar = 32828,
    kCommandCross = 32829,
};

// The searches that move cursor 1 onto a sample.
enum class MeasureSearch { Max, Min, NextMax, NextMin, NextPoint, PreviousPoint };

// Where a sought X lies among the X samples: between lower and upper at
// fraction t (lower == upper when a sample holds it exactly).
struct XLocation {
    std::int32_t lower = 0;
    std::int32_t upper = 0;
    double t = 0.0;
    bool exact = false;  // X[upper] equals the sought X

    // The start index from which the next place where X passes is searched.
    std::int32_t Next() const { return exact ? upper : upper - 1; }
};

// The samples of one curve as its screen shows them (log columns on log
// axes, the spectrum in the frequency display), held while in use.
struct CurveSamples {
    RefPtr<CResultVariable> xColumn;
    RefPtr<CResultVariable> yColumn;
    const double* x = nullptr;
    const std::uint8_t* xFlags = nullptr;
    const double* y = nullptr;
    const std::uint8_t* yFlags = nullptr;
    std::int32_t count = 0;   // X samples
    std::int32_t yCount = 0;  // Y samples, at most count
    bool sortedX = false;     // every X valid and none below the one before

    // True when sample i of Y exists and is flagged valid.
    bool YValid(std::int32_t i) const { return i >= 0 && i < yCount && yFlags[i] == kPointValid; }
};

// Indices first .. last of a curve's samples; empty when first > last.
struct SampleRange {
    std::int32_t first = 0;
    std::int32_t last = -1;

    bool Empty() const { return first > last; }
    bool operator==(const SampleRange&) const = default;
};

// The samples of curve `curve` of `screen` (X only when it names no curve)
// in the run the screen measures.
CurveSamples SamplesOf(CGraphCurve& screen, std::int32_t curve);

// The samples of curve `curve` in run `run` (0 the first); no Y where the run
// lacks the curve's variable or the curve is a formula beyond run 0, nothing
// for a run the screen does not draw.
CurveSamples SamplesOf(CGraphCurve& screen, std::int32_t curve, std::int32_t run);

// The samples cursors are located among: the curve's own, or on a screen
// whose cursors move along another variable (CursorAlong), that variable in
// place of X. Empty X when the variable is missing.
CurveSamples CursorSamples(CGraphCurve& screen, std::int32_t curve);

// The same for samples `s` of run `run` of `screen`.
CurveSamples CursorSamples(CGraphCurve& screen, CurveSamples s, std::int32_t run);

// Where cursor `which` of `screen` stands: its X, or its place on the
// variable the cursors move along.
double CursorPlace(const CGraphCurve& screen, int which);

// The place on the variable the cursors of `screen` move along of the point
// of curve `curve` nearest to (x, y), measured in pixels of the screen's
// plot; none when the screen has no such variable or no valid segment.
std::optional<double> NearestAlong(CGraphCurve& screen, std::int32_t curve, double x, double y);

// The name run `run` of `screen` goes by: its own, or "run N" counting from 1.
std::string RunNameOf(const CGraphCurve& screen, std::int32_t run);

// The run SamplesOf(screen, curve) measures: the screen's measured run, or 0
// when that is out of range or the curve is a formula.
std::int32_t MeasuredRunOf(const CGraphCurve& screen, std::int32_t curve);

// Where the X samples pass x, searching the samples after `start`; samples
// flagged invalid are skipped and break a pair, missing ones count. None
// when the search runs off the end.
std::optional<XLocation> LocateX(const CurveSamples& s, double x, std::int32_t start);

// Every place where the X samples pass x, in order (only the first unless
// `all`): an X variable that runs back and forth passes a cursor more than once.
std::vector<XLocation> XPlaces(const CurveSamples& s, double x, bool all);

// The curve's Y at a located place, interpolated; none when a bracketing
// sample is flagged invalid or lies beyond the Y data.
std::optional<double> YAt(const CurveSamples& s, const XLocation& at);

// The samples from the one at or before `from` to the one at or after `to`;
// an end that cannot be located stays at the first or last sample.
SampleRange VisibleRange(const CurveSamples& s, double from, double to);

// The first largest (or smallest) valid Y of y[first..last], or none.
std::optional<std::int32_t> FindExtremum(const double* y, const std::uint8_t* flags,
                                         std::int32_t first, std::int32_t last, bool largest);

// The sample a search moves cursor 1 to from `cursor1` within `visible`, or
// none when the search finds nothing.
std::optional<std::int32_t> SearchSample(const CurveSamples& s, const SampleRange& visible,
                                         const MeasureCursor& cursor1, MeasureSearch search);

// The screen and curve the measurement works on.
struct MeasureTarget {
    std::int32_t screen = -1;
    std::int32_t curve = -1;
    bool newlySelected = false;  // the fallback chose it: tell the main frame

    // The first parameter of the message announcing the selection.
    std::int32_t SelectionParam() const { return (curve << 8) + screen; }
};

// The first screen with a selected curve; else curve 0 of the first screen,
// which then becomes selected; none when neither exists.
std::optional<MeasureTarget> FindMeasureTarget(const std::vector<CGraphCurve*>& screens);

// What setting a cursor found.
struct CursorPlacement {
    bool found = false;  // X was located among the samples
    bool valid = false;  // Y could be interpolated there
};

// Sets cursor `which` (0 or 1) of `screen` at x on curve `curve`: stores X
// and, where found, the interpolated Y; the horizontal line is drawn only in
// the cross style at a valid Y. On a screen whose cursors move along another
// variable, x is a place on it, and the cursor stands on the curve's point
// there, marked by both lines. The caller then notifies the view.
CursorPlacement SetCursorAt(CGraphCurve& screen, std::int32_t curve, int which, double x,
                            MeasureLineStyle style);

// Sets each shown cursor of `screen` again at its X on `curve`, cursor 1
// first, as a new curve or line style needs; returns how many were set.
int ResetShownCursors(CGraphCurve& screen, std::int32_t curve, MeasureLineStyle style);

// Makes `curve` the one measured on `screen`; a different curve takes over
// the shown cursors. Returns the cursors set again: with none the view hears
// of the selection alone.
int SelectMeasureCurve(CGraphCurve& screen, std::int32_t curve, MeasureLineStyle style);

// Runs a search command on the measured curve of `screens` and moves cursor 1
// to the sample found; returns that sample, or none when nothing moved.
std::optional<std::int32_t> RunMeasureSearch(const std::vector<CGraphCurve*>& screens,
                                             MeasureSearch search, MeasureLineStyle style,
                                             MeasureTarget* target = nullptr);

// "[%g , %g]" of a cursor position; log axes show 10 to the stored exponent.
std::string CursorText(double x, double y, bool xLog, bool yLog);

// True when a screen has a selected curve and its cursor 1 is shown.
bool PlaceCursorTextEnabled(const std::vector<CGraphCurve*>& screens);

// A copy of `defaults` (font, colour) with the cursor text, anchored at cursor
// 1 of the first screen with a selected curve and added to its annotations;
// null when the command is not enabled.
CGraphText* PlaceCursorText(const std::vector<CGraphCurve*>& screens, const CGraphText& defaults);

}  // namespace kurvex
