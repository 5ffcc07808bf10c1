#include "analysis/RunTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>

#include "analysis/Cycles.h"
#include "analysis/FigureRequest.h"
#include "analysis/Measure.h"
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

CGraphCurve* ScreenOf(const std::vector<CGraphCurve*>& screens, std::int32_t i) {
    if (i < 0 || i >= static_cast<std::int32_t>(screens.size())) return nullptr;
    return screens[static_cast<std::size_t>(i)];
}

std::optional<double> Measure(const std::vector<CGraphCurve*>& screens, std::int32_t k,
                              std::int32_t reference, const RunTableColumn& column, double from,
                              double to, std::optional<double> cursor1X,
                              std::optional<double> cursor2X) {
    CGraphCurve* screen = ScreenOf(screens, column.screen);
    if (!screen) return std::nullopt;
    const CurveSamples s = RunSamples(*screen, k, column.curve);
    if (!s.y) return std::nullopt;
    const MeasureEntry& entry = CatalogueEntry(column.kind);
    MeasureParams params;
    if (entry.takes & (kTakesX | kTakesCursor)) {
        // A value at an X is read wherever the run has it, not in view alone.
        params.x = column.kind == MeasureId::Cursor1   ? cursor1X
                   : column.kind == MeasureId::Cursor2 ? cursor2X
                                                       : std::optional(column.x);
        MeasureContext context(TraceOfSamples(s, 0, s.count - 1), "", params);
        return context.Measure(column.kind).value;
    }
    const SampleRange r = VisibleRange(s, from, to);
    if (r.Empty()) return std::nullopt;
    params.from = from;
    params.to = to;
    const std::string& name = screen->Curve(column.curve).formula;
    MeasureContext context(TraceOfSamples(s, r.first, r.last), name, params);
    if (entry.takes & kTakesOther) {
        CGraphCurve* otherScreen = ScreenOf(screens, column.otherScreen);
        // Without a second curve such an entry compares the run with the reference run.
        const bool againstReference = !otherScreen && (entry.takes & kTakesReferenceRun);
        if (againstReference) otherScreen = screen;
        if (otherScreen) {
            const CurveSamples o = againstReference
                                       ? RunSamples(*screen, reference, column.curve)
                                       : RunSamples(*otherScreen, k, column.otherCurve);
            const SampleRange ro = o.y ? VisibleRange(o, from, to) : SampleRange{};
            if (ro.Empty()) return std::nullopt;
            context.SetOther(
                TraceOfSamples(o, ro.first, ro.last),
                againstReference ? name : otherScreen->Curve(column.otherCurve).formula);
        }
    }
    return context.Measure(column.kind).value;
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
    return CatalogueEntry(kind).caption;
}

bool RunColumnTakesX(RunMeasure kind) {
    return (CatalogueEntry(kind).takes & kTakesX) != 0;
}

bool RunColumnTakesOther(RunMeasure kind) {
    return (CatalogueEntry(kind).takes & kTakesOther) != 0;
}

RunColumnResult RunColumnFrom(const RunColumnChoice& choice) {
    RunColumnResult r;
    r.column.screen = choice.screen;
    r.column.curve = choice.curve;
    r.column.kind = choice.kind;
    if (RunColumnTakesX(choice.kind)) {
        const NumberEntry n = ParseNumberEntry(choice.xText);
        if (!n.ok || !n.value) {
            r.problem = "X must be a number.";
            return r;
        }
        r.column.x = *n.value;
    }
    if (RunColumnTakesOther(choice.kind) && choice.other) {
        r.column.otherScreen = choice.other->first;
        r.column.otherCurve = choice.other->second;
    }
    // Cycles may be their curve's own; dead times and loop margins are
    // between two curves.
    const unsigned takes = CatalogueEntry(choice.kind).takes;
    const bool needsOther =
        (takes & kTakesOther) && !(takes & (kTakesCycleLevel | kTakesReferenceRun));
    if (needsOther && (r.column.otherCurve < 0 || (r.column.otherScreen == choice.screen &&
                                                   r.column.otherCurve == choice.curve)))
        r.problem = "Choose a second curve.";
    return r;
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

std::vector<std::int32_t> ShownRuns(const std::vector<CGraphCurve*>& screens) {
    std::int32_t runs = 0;
    for (const CGraphCurve* s : screens)
        if (s && s->Data().Get()) runs = std::max(runs, s->Data()->RunCount());
    std::vector<std::int32_t> shown;
    for (std::int32_t k = 0; k < runs; ++k) {
        for (const CGraphCurve* s : screens) {
            if (s && s->Data().Get() && k < s->Data()->RunCount() && s->RunShown(k)) {
                shown.push_back(k);
                break;
            }
        }
    }
    return shown;
}

std::string RunTableHeader(const std::vector<CGraphCurve*>& screens, const RunTableColumn& column) {
    if (!column.script.empty()) return column.script + " (script)";
    const CGraphCurve* screen = ScreenOf(screens, column.screen);
    const std::string curve = screen && column.curve >= 0 && column.curve < screen->CurveCount()
                                  ? screen->Curve(column.curve).formula
                                  : std::string("(no curve)");
    switch (column.kind) {
        case RunMeasure::ValueAtX:
            return curve + ": at " + NumberText("%g", column.x);
        case RunMeasure::SlopeAtX:
            return curve + ": slope at " + NumberText("%g", column.x);
        case RunMeasure::Cursor1:
            return curve + ": at cursor 1";
        case RunMeasure::Cursor2:
            return curve + ": at cursor 2";
        default:
            break;
    }
    std::string header = curve + ": " + RunMeasureName(column.kind);
    const CGraphCurve* other = ScreenOf(screens, column.otherScreen);
    if (!(CatalogueEntry(column.kind).takes & kTakesOther) || !other || column.otherCurve < 0 ||
        column.otherCurve >= other->CurveCount())
        return header;
    const std::string& name = other->Curve(column.otherCurve).formula;
    const bool dead =
        column.kind == MeasureId::DeadTimeTo || column.kind == MeasureId::DeadTimeFrom;
    return header + (dead ? " " + name : " (reference " + name + ")");
}

std::vector<RunTableRow> RunTableRows(const std::vector<CGraphCurve*>& screens,
                                      const std::vector<RunTableColumn>& columns, double from,
                                      double to, std::optional<double> cursor1X,
                                      std::optional<double> cursor2X, const ScriptTable* script) {
    std::vector<RunTableRow> rows;
    const std::vector<std::int32_t> shown = ShownRuns(screens);
    const std::int32_t reference = shown.empty() ? 0 : shown.front();
    for (const std::int32_t k : shown) {
        const CGraphCurve* named = nullptr;
        for (const CGraphCurve* s : screens)
            if (!named && s && s->Data().Get() && k < s->Data()->RunCount()) named = s;
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
            if (c.script.empty()) {
                row.values.push_back(
                    Measure(screens, k, reference, c, from, to, cursor1X, cursor2X));
                continue;
            }
            const ScriptCell* cell = script ? script->Find(c.script, k) : nullptr;
            row.values.push_back(cell ? cell->value : std::nullopt);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<RunTableRow> RunTableDifference(const std::vector<RunTableRow>& rows) {
    if (rows.size() != 2) return std::nullopt;
    RunTableRow d;
    d.run = -1;
    d.name = rows[1].name + " \u2212 " + rows[0].name;
    for (size_t i = 0; i < rows[1].values.size() && i < rows[0].values.size(); ++i) {
        const auto& a = rows[1].values[i];
        const auto& b = rows[0].values[i];
        d.values.push_back(a && b ? std::optional(*a - *b) : std::nullopt);
    }
    return d;
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

std::string ScriptTableText(const ScriptTable& table, char separator) {
    std::vector<RunTableRow> rows;
    for (const ScriptRow& r : table.rows) {
        RunTableRow row{r.run, r.name, {}};
        for (const ScriptCell& c : r.cells) row.values.push_back(c.value);
        rows.push_back(std::move(row));
    }
    return RunTableText(rows, table.columns, separator);
}

}  // namespace kurvex
