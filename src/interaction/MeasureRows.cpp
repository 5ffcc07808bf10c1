#include "interaction/MeasureRows.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>

#include "analysis/Measure.h"
#include "data/model/Runs.h"
#include "graph/PreviousRun.h"
#include "graph/RunColours.h"

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

// Where the cursors meet one run's X samples. An X-Y curve may pass cursor 1
// several times; a difference is taken at the first place only.
struct Places {
    std::vector<XLocation> at1;
    std::vector<XLocation> at2;

    bool Found(bool second) const { return !at1.empty() && (!second || !at2.empty()); }
};

// Locates the cursors once per X column: curves of one run share their X.
class PlaceFinder {
public:
    // Cursors at x1 and x2 of the samples' X.
    PlaceFinder(const MeasureWindowState& state, double x1, double x2)
        : state_(state), x1_(x1), x2_(x2) {}

    const Places& Of(const CurveSamples& s) {
        for (const auto& [column, places] : found_) {
            if (column.get() == s.xColumn.get()) return places;
        }
        const bool second = state_.movedCursor == 1;
        Places p{XPlaces(s, x1_, !second),
                 second ? XPlaces(s, x2_, false) : std::vector<XLocation>{}};
        found_.emplace_back(s.xColumn, std::move(p));
        return found_.back().second;
    }

private:
    const MeasureWindowState& state_;
    double x1_;
    double x2_;
    // A deque: the places handed out stay where they are as more are found.
    std::deque<std::pair<RefPtr<CResultVariable>, Places>> found_;
};

// The value at cursor 1 at each place where X passes it, or the change
// between the cursors; empty where the samples give none.
std::string ValueText(const CurveSamples& s, const Places& p, bool second, bool yLog) {
    std::string text;
    if (!p.Found(second)) return text;
    const auto y1 = YAt(s, p.at1[0]);
    if (second) {
        const auto y2 = YAt(s, p.at2[0]);
        if (y1 && y2) text = Format(Shown(*y2, yLog) - Shown(*y1, yLog));
        return text;
    }
    if (y1) text = Format(Shown(*y1, yLog));
    for (std::size_t i = 1; i < p.at1.size(); ++i) {
        text += ", ";
        if (const auto y = YAt(s, p.at1[i])) text += Format(Shown(*y, yLog));
    }
    return text;
}

// The row of the previous run of curve `c` of `screen`: its value at cursor
// 1 (or its change between the cursors) and, in brackets, how much the
// current run differs from it. Nothing when the previous run lacks the curve.
void AddPreviousRow(std::vector<MeasureRow>& rows, PreviousRun& run, std::int32_t c,
                    CGraphCurve& screen, const MeasureWindowState& state, const CurveSamples& now,
                    const Places& nowAt) {
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
    const auto first = [](const std::vector<XLocation>& at) {
        return at.empty() ? nullptr : &at[0];
    };
    const auto before = value(s, first(at1), first(at2));
    const auto current = value(now, first(nowAt.at1), first(nowAt.at2));
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

// The runs that get rows of their own: every shown run, when more than one is.
std::vector<std::int32_t> RowRuns(const CGraphCurve& screen) {
    std::vector<std::int32_t> runs;
    for (std::int32_t k = 0; k < screen.DrawnRunCount(); ++k) {
        if (screen.RunShown(k)) runs.push_back(k);
    }
    if (runs.size() < 2) runs.clear();
    return runs;
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
        // Cursors that move along another variable than X are located on it.
        const bool along = !screen->CursorAlong().empty();
        PlaceFinder finder(state, along ? CursorPlace(*screen, 0) : state.cursor1X,
                           along ? CursorPlace(*screen, 1) : state.cursor2X);
        const auto samples = [&](std::int32_t c, std::int32_t run) {
            return CursorSamples(*screen, SamplesOf(*screen, c, run), run);
        };
        const std::vector<std::int32_t> runs = RowRuns(*screen);
        // A screen is listed while the cursors stand on the X of the run it
        // measures, or of any run that has rows of its own.
        bool found = finder.Of(CursorSamples(*screen, -1)).Found(second);
        for (std::size_t r = 0; r < runs.size() && !found; ++r)
            found = finder.Of(samples(-1, runs[r])).Found(second);
        if (!found) return rows;
        if (i > 0) rows.push_back({kMeasureGap, "", kMeasureRuleColour});
        const bool yLog = screen->YLog() != 0;
        PreviousRun* previous = screen->PreviousRunShown();
        for (std::int32_t c = 0; c < screen->CurveCount(); ++c) {
            const CCurveEntry& curve = screen->Curve(c);
            const CurveSamples s = CursorSamples(*screen, c);
            const Places& at = finder.Of(s);
            rows.push_back({RowLabel(curve), ValueText(s, at, second, yLog), curve.colour});
            for (const std::int32_t k : runs) {
                const CurveSamples rs = samples(c, k);
                const RunLook look = RunAppearance(curve.colour, k, screen->DrawnRunCount(),
                                                   screen->CurveCount(), screen->BlackWhite());
                rows.push_back({RowLabel(curve) + " [" + RunNameOf(*screen, k) + "]",
                                ValueText(rs, finder.Of(rs), second, yLog), look.colour});
            }
            if (previous) AddPreviousRow(rows, *previous, c, *screen, state, s, at);
        }
        // Values along the curve that are no curve of their own, at the same places.
        for (const std::string& name : screen->CursorCompanions()) {
            CResultData& data = *screen->Data().Get();
            const std::int32_t v = RunVariable(data, name);
            if (v < 0) continue;
            CurveSamples cs = samples(-1, 0);
            cs.yColumn = RefPtr<CResultVariable>(data.Variable(v));
            cs.y = cs.yColumn->Values();
            cs.yFlags = cs.yColumn->Flags();
            cs.yCount = std::min({cs.count, data.RowCount(), cs.yColumn->Capacity()});
            rows.push_back({name, ValueText(cs, finder.Of(cs), second, false), kRgbBlack});
        }
    }
    return rows;
}

MeasureColumns MeasureColumnsFor(int visibleWidth, int widestValue) {
    // Texts wider than this are cut: a wider strip helps nobody read them.
    constexpr std::int64_t kMost = 1 << 20;
    MeasureColumns c;
    c.mid = std::max(visibleWidth, 0) / 2;
    c.labelWidth = std::max(0, c.mid - 2 * kMeasureInset);
    c.valueLeft = c.mid + kMeasureInset;
    const std::int64_t widest =
        static_cast<std::int64_t>(c.valueLeft) + std::max(widestValue, 0) + kMeasureInset;
    c.scrollWidth = static_cast<int>(std::min<std::int64_t>(
        std::max<std::int64_t>({kMeasureScrollWidth, widest, visibleWidth}), kMost));
    c.right = std::max(c.valueLeft, c.scrollWidth - kMeasureInset);
    return c;
}

}  // namespace kurvex
