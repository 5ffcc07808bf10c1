#include "analysis/RunTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>

#include "analysis/Averages.h"
#include "analysis/Cycles.h"
#include "analysis/Measure.h"
#include "data/cache/CachedResult.h"
#include "data/model/Runs.h"
#include "graph/RunColours.h"

namespace kurvex {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

std::string NumberText(const char* format, double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, v);
    return buffer;
}

// Curve `curve` of `screen` in run k, as raw samples in the variables' own
// units; no Y where the run lacks the variable or the curve is a formula's
// result beyond run 0.
CurveSamples RunSamples(CGraphCurve& screen, std::int32_t k, std::int32_t curve) {
    CurveSamples s;
    if (curve < 0 || curve >= screen.CurveCount()) return s;
    CResultData* data = screen.Data().Get();
    if (!data) return s;
    std::int32_t rows = 0;
    if (k == 0) {
        const RawCurve raw = RawCurveOf(screen, curve);
        s.xColumn = raw.xColumn;
        s.yColumn = raw.yColumn;
        s.sortedX = raw.sortedX;
        rows = raw.trace.last + 1;
    } else {
        CResultData* run = data->Run(k);
        const CCurveEntry& c = screen.Curve(curve);
        if (!run || c.sourceKind != kCurveColumn || c.columnIndex < 0 ||
            c.columnIndex >= data->VariableCount())
            return s;
        const std::int32_t xi = RunVariable(*run, screen.XVariableName());
        const std::int32_t yi = RunVariable(*run, data->Variable(c.columnIndex)->Name());
        if (xi < 0 || yi < 0) return s;
        s.xColumn = RefPtr<CResultVariable>(run->Variable(xi));
        s.yColumn = RefPtr<CResultVariable>(run->Variable(yi));
        s.sortedX = !screen.XLog() && screen.RunXIsSorted(k);
        rows = std::min({run->RowCount(), s.xColumn->Capacity(), s.yColumn->Capacity()});
    }
    if (!s.xColumn || !s.yColumn || rows < 1) return CurveSamples{};
    s.count = s.yCount = rows;
    s.x = s.xColumn->Values();
    s.xFlags = s.xColumn->Flags();
    s.y = s.yColumn->Values();
    s.yFlags = s.yColumn->Flags();
    return s;
}

std::optional<double> ValueAt(const CurveSamples& s, std::optional<double> x) {
    if (!x) return std::nullopt;
    const std::vector<XLocation> places = XPlaces(s, *x, false);
    if (places.empty()) return std::nullopt;
    return YAt(s, places.front());
}

std::optional<double> CycleFigure(const CurveSamples& s, RunMeasure kind, const std::string& name,
                                  const SampleRange& r, double from, double to) {
    CycleTrace trace;
    trace.x = s.x;
    trace.xFlags = s.xFlags;
    trace.y = s.y;
    trace.yFlags = s.yFlags;
    trace.first = r.first;
    trace.last = r.last;
    trace.xTrusted = s.sortedX;
    const Cycles cycles = FindCycles(trace, name, CycleRequest{}, from, to);
    if (!cycles.Ok()) return std::nullopt;
    const CycleSummary sum =
        SummariseCycles(FiguresPerCycle(trace, cycles.bounds, cycles.level.level));
    switch (kind) {
        case RunMeasure::Period:
            return Finite(sum.period);
        case RunMeasure::Frequency:
            return Finite(sum.frequency);
        case RunMeasure::Duty:
            return Finite(sum.duty);
        default:
            return Finite(sum.ripple);
    }
}

std::optional<double> Measure(CGraphCurve& screen, std::int32_t k, const RunTableColumn& column,
                              double from, double to, std::optional<double> cursor1X,
                              std::optional<double> cursor2X) {
    const CurveSamples s = RunSamples(screen, k, column.curve);
    if (!s.y) return std::nullopt;
    switch (column.kind) {
        case RunMeasure::ValueAtX:
            return ValueAt(s, column.x);
        case RunMeasure::Cursor1:
            return ValueAt(s, cursor1X);
        case RunMeasure::Cursor2:
            return ValueAt(s, cursor2X);
        default:
            break;
    }
    const SampleRange r = VisibleRange(s, from, to);
    if (r.Empty()) return std::nullopt;
    switch (column.kind) {
        case RunMeasure::Avg:
        case RunMeasure::Rms: {
            // The measure window's figures: every sample counts once. A cached
            // column's pyramid gives them without |x|, which would cost reads.
            if (const auto c = CachedSums(s.y, r.first, std::int64_t(r.last) + 1, false)) {
                const double n = static_cast<double>(c->count);
                return column.kind == RunMeasure::Avg ? c->sum / n : std::sqrt(c->sumSquares / n);
            }
            const auto f = AveragesOver(s.y, r.first, r.last);
            if (!f) return std::nullopt;
            return column.kind == RunMeasure::Avg ? f->mean : f->rms;
        }
        case RunMeasure::Min:
        case RunMeasure::Max: {
            const auto i =
                FindExtremum(s.y, s.yFlags, r.first, r.last, column.kind == RunMeasure::Max);
            if (!i) return std::nullopt;
            return s.y[*i];
        }
        default:
            return CycleFigure(s, column.kind, screen.Curve(column.curve).formula, r, from, to);
    }
}

CGraphCurve* ScreenOf(const std::vector<CGraphCurve*>& screens, std::int32_t i) {
    if (i < 0 || i >= static_cast<std::int32_t>(screens.size())) return nullptr;
    return screens[static_cast<std::size_t>(i)];
}

void AppendField(std::string& out, const std::string& field, char separator) {
    if (field.find_first_of(std::string{separator, '"', '\n', '\r'}) == std::string::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace

const char* RunMeasureName(RunMeasure kind) {
    switch (kind) {
        case RunMeasure::ValueAtX:
            return "Value at X";
        case RunMeasure::Cursor1:
            return "At Cursor 1";
        case RunMeasure::Cursor2:
            return "At Cursor 2";
        case RunMeasure::Avg:
            return "Avg";
        case RunMeasure::Rms:
            return "RMS";
        case RunMeasure::Min:
            return "Min";
        case RunMeasure::Max:
            return "Max";
        case RunMeasure::Period:
            return "Period";
        case RunMeasure::Frequency:
            return "Frequency";
        case RunMeasure::Duty:
            return "Duty";
        case RunMeasure::Ripple:
            return "Ripple";
    }
    return "";
}

RunTableRange RunTableRangeOf(const CGraphCurve& screen) {
    RunTableRange r;
    if (screen.FreqDisplay()) {
        r.from = -kInfinity;
        r.to = kInfinity;
        return r;
    }
    std::tie(r.from, r.to) = VisibleXRange(screen);
    const auto cursor = [&](int which) -> std::optional<double> {
        const MeasureCursor& c = screen.Cursor(which);
        if (!c.shown) return std::nullopt;
        return screen.XLog() ? std::pow(10.0, c.x) : c.x;
    };
    r.cursor1 = cursor(0);
    r.cursor2 = cursor(1);
    return r;
}

std::string RunTableHeader(const std::vector<CGraphCurve*>& screens, const RunTableColumn& column) {
    const CGraphCurve* screen = ScreenOf(screens, column.screen);
    const std::string curve = screen && column.curve >= 0 && column.curve < screen->CurveCount()
                                  ? screen->Curve(column.curve).formula
                                  : std::string("(no curve)");
    switch (column.kind) {
        case RunMeasure::ValueAtX:
            return curve + ": at " + NumberText("%g", column.x);
        case RunMeasure::Cursor1:
            return curve + ": at cursor 1";
        case RunMeasure::Cursor2:
            return curve + ": at cursor 2";
        default:
            return curve + ": " + RunMeasureName(column.kind);
    }
}

std::vector<RunTableRow> RunTableRows(const std::vector<CGraphCurve*>& screens,
                                      const std::vector<RunTableColumn>& columns, double from,
                                      double to, std::optional<double> cursor1X,
                                      std::optional<double> cursor2X) {
    std::vector<RunTableRow> rows;
    std::int32_t runs = 0;
    for (const CGraphCurve* s : screens)
        if (s && s->Data().Get()) runs = std::max(runs, s->Data()->RunCount());
    for (std::int32_t k = 0; k < runs; ++k) {
        const CGraphCurve* named = nullptr;
        bool shown = false;
        for (const CGraphCurve* s : screens) {
            if (!s || !s->Data().Get() || k >= s->Data()->RunCount()) continue;
            if (!named) named = s;
            shown = shown || s->RunShown(k);
        }
        if (!shown) continue;
        RunTableRow row;
        row.run = k;
        row.name = named->Data()->RunName(k);
        if (row.name.empty()) row.name = "Run " + std::to_string(k + 1);
        if (!columns.empty()) {
            const RunTableColumn& first = columns.front();
            const CGraphCurve* s = ScreenOf(screens, first.screen);
            if (s && first.curve >= 0 && first.curve < s->CurveCount())
                row.colour = RunAppearance(s->Curve(first.curve).colour, k, s->DrawnRunCount(),
                                           s->CurveCount(), s->BlackWhite())
                                 .colour;
        }
        for (const RunTableColumn& c : columns) {
            CGraphCurve* screen = ScreenOf(screens, c.screen);
            row.values.push_back(screen ? Measure(*screen, k, c, from, to, cursor1X, cursor2X)
                                        : std::nullopt);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string RunTableText(const std::vector<RunTableRow>& rows,
                         const std::vector<std::string>& headers, char separator) {
    std::string out = "Run";
    for (const std::string& h : headers) {
        out += separator;
        AppendField(out, h, separator);
    }
    out += '\n';
    for (const RunTableRow& r : rows) {
        AppendField(out, r.name, separator);
        for (const std::optional<double>& v : r.values) {
            out += separator;
            if (v) out += NumberText("%.10g", *v);
        }
        out += '\n';
    }
    return out;
}

}  // namespace kurvex
