#include "interaction/MeasureRows.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/Measure.h"
#include "graph/PreviousRun.h"

namespace kurvex {

namespace {

std::string Format(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

bool IsTime(const std::string& title) {
    static const std::string kTime = "time";
    return std::equal(title.begin(), title.end(), kTime.begin(), kTime.end(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

// A curve's row label: an empty one would read as a gap row and lose the row.
std::string RowLabel(const CCurveEntry& curve) {
    return curve.label.empty() ? curve.formula : curve.label;
}

double Shown(double v, bool log) {
    return log ? std::pow(10.0, v) : v;
}

// The row of the previous run of curve `c` of `screen`: its value at cursor
// 1 (or its change between the cursors) and, in brackets, how much the
// current run differs from it. Nothing when the previous run lacks the curve.
void AddPreviousRow(std::vector<MeasureRow>& rows, PreviousRun& run, std::int32_t c,
                    CGraphCurve& screen, const MeasureWindowState& state, const CurveSamples& now,
                    const XLocation& now1, const std::vector<XLocation>& now2) {
    CGraphCurve* shadow = run.Follow(screen);
    const std::int32_t k = shadow ? run.CurveOf(c) : -1;
    if (k < 0) return;
    const CCurveEntry& curve = shadow->Curve(k);
    MeasureRow row{RowLabel(screen.Curve(c)) + " (previous)", "", curve.colour};
    const bool second = state.movedCursor == 1;
    const bool yLog = screen.YLog() != 0;
    const CurveSamples xs = SamplesOf(*shadow, -1);
    const CurveSamples s = SamplesOf(*shadow, k);
    const std::vector<XLocation> at1 = XPlaces(xs, state.cursor1X, false);
    const std::vector<XLocation> at2 =
        second ? XPlaces(xs, state.cursor2X, false) : std::vector<XLocation>{};
    // A value, or the change between the cursors, of one run.
    const auto value = [&](const CurveSamples& samples, const XLocation* a,
                           const XLocation* b) -> std::optional<double> {
        const auto y1 = a ? YAt(samples, *a) : std::nullopt;
        if (!y1) return std::nullopt;
        if (!second) return Shown(*y1, yLog);
        const auto y2 = b ? YAt(samples, *b) : std::nullopt;
        if (!y2) return std::nullopt;
        return Shown(*y2, yLog) - Shown(*y1, yLog);
    };
    const auto before = value(s, at1.empty() ? nullptr : &at1[0], at2.empty() ? nullptr : &at2[0]);
    const auto current = value(now, &now1, now2.empty() ? nullptr : &now2[0]);
    if (before) {
        row.value = Format(*before);
        if (current) {
            char change[64];
            // Three digits tell how much it changed, and fit the narrow window.
            std::snprintf(change, sizeof change, " (%+.3g)", *current - *before);
            row.value += change;
        }
    }
    rows.push_back(std::move(row));
}

}  // namespace

std::vector<MeasureRow> MeasureRows(const MeasureWindowState& state) {
    std::vector<MeasureRow> rows;
    if (state.resultMode) {
        rows.push_back({state.resultLabel,
                        state.resultValue ? Format(*state.resultValue) : kMeasureNoValue,
                        state.resultColour});
        return rows;
    }
    if (state.screens.empty() || !state.screens.back()) return rows;
    const bool second = state.movedCursor == 1;
    const CGraphCurve& last = *state.screens.back();
    const bool xLog = last.XLog() != 0;
    const double x1 = Shown(state.cursor1X, xLog);
    const double x2 = Shown(state.cursor2X, xLog);
    // An axis without a title of its own is labelled with its variable's name,
    // as the screen draws it; an empty label would read as a gap row.
    const std::string xLabel = last.XTitle().empty() ? last.XVariableName() : last.XTitle();
    rows.push_back({xLabel, Format(second ? x2 - x1 : x1), kRgbBlack});
    if (second && IsTime(xLabel)) {
        const double dx = x2 - x1;
        rows.push_back({"Frequency", Format(dx == 0.0 ? 0.0 : 1.0 / dx), kRgbBlack});
    }
    rows.push_back({kMeasureSeparator, "", kMeasureRuleColour});

    for (std::size_t i = 0; i < state.screens.size(); ++i) {
        CGraphCurve* screen = state.screens[i];
        if (!screen) continue;
        const CurveSamples xs = SamplesOf(*screen, -1);
        // An X-Y curve may pass cursor 1 several times; a difference is taken
        // at the first place only.
        const std::vector<XLocation> at1 = XPlaces(xs, state.cursor1X, !second);
        const std::vector<XLocation> at2 =
            second ? XPlaces(xs, state.cursor2X, false) : std::vector<XLocation>{};
        if (at1.empty() || (second && at2.empty())) return rows;
        if (i > 0) rows.push_back({kMeasureGap, "", kMeasureRuleColour});
        const bool yLog = screen->YLog() != 0;
        PreviousRun* previous = screen->PreviousRunShown();
        for (std::int32_t c = 0; c < screen->CurveCount(); ++c) {
            const CCurveEntry& curve = screen->Curve(c);
            const CurveSamples s = SamplesOf(*screen, c);
            MeasureRow row{RowLabel(curve), "", curve.colour};
            const auto y1 = YAt(s, at1[0]);
            if (second) {
                const auto y2 = YAt(s, at2[0]);
                if (y1 && y2) row.value = Format(Shown(*y2, yLog) - Shown(*y1, yLog));
            } else {
                if (y1) row.value = Format(Shown(*y1, yLog));
                for (std::size_t p = 1; p < at1.size(); ++p) {
                    row.value += ", ";
                    if (const auto y = YAt(s, at1[p])) row.value += Format(Shown(*y, yLog));
                }
            }
            rows.push_back(std::move(row));
            if (previous) AddPreviousRow(rows, *previous, c, *screen, state, s, at1[0], at2);
        }
    }
    return rows;
}

}  // namespace kurvex
