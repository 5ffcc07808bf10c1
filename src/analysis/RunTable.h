#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/MeasureCatalogue.h"
#include "analysis/ScriptTable.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// What a column of the run table measures on one curve: an entry of the
// measurement catalogue.
using RunMeasure = MeasureId;

// The measurement's name as the table and its dialog show it ("Avg").
const char* RunMeasureName(RunMeasure kind);

// A column: a measurement of curve `curve` of screen `screen`.
struct RunTableColumn {
    std::int32_t screen = 0;
    std::int32_t curve = 0;
    RunMeasure kind = RunMeasure::Avg;
    double x = 0.0;  // ValueAtX and SlopeAtX, in X's own units
    // The second curve of an entry that takes one: the dead times' partner,
    // or the cycles' reference (none: the curve is its own).
    std::int32_t otherScreen = -1;
    std::int32_t otherCurve = -1;
    // A measurement of the view's script, by name, in place of the above.
    std::string script = {};

    bool operator==(const RunTableColumn&) const = default;
};

// What the Add Column dialog was given: the curve, the measurement, the
// second curve (none: the curve itself) and the text typed as X.
struct RunColumnChoice {
    std::int32_t screen = 0;
    std::int32_t curve = 0;
    RunMeasure kind = RunMeasure::Avg;
    std::optional<std::pair<std::int32_t, std::int32_t>> other;  // screen, curve
    std::string xText;
};

// Whether the dialog asks for an X, or for a second curve, for `kind`.
bool RunColumnTakesX(RunMeasure kind);
bool RunColumnTakesOther(RunMeasure kind);

// The column the dialog's choice makes, or in plain words why it makes none.
struct RunColumnResult {
    RunTableColumn column;
    std::string problem;
};
RunColumnResult RunColumnFrom(const RunColumnChoice& choice);

// One shown run: its index (0 = the screens' own data), its name and a value
// per column, none where the run cannot give one.
struct RunTableRow {
    std::int32_t run = 0;
    std::string name;
    std::vector<std::optional<double>> values;
    Rgb colour = kRgbBlack;  // how the first column's curve draws this run
};

// What the table is measured over, in X's own units (log axes undone).
struct RunTableRange {
    double from = 0.0;
    double to = 0.0;
    std::optional<double> cursor1;  // none while the cursor is hidden
    std::optional<double> cursor2;
};

// The runs some screen shows, in order (0 the first).
std::vector<std::int32_t> ShownRuns(const std::vector<CGraphCurve*>& screens);

// The visible X range and shown cursors of `screen`; a spectrum's frequencies
// are no time range, so there the whole runs are measured and no cursor.
RunTableRange RunTableRangeOf(const CGraphCurve& screen);

// "V(out): Avg", "V(out): at 0.001", "V(a): Dead Time to V(b)"; curves as
// their source text.
std::string RunTableHeader(const std::vector<CGraphCurve*>& screens, const RunTableColumn& column);

// One row per run that some screen shows, in run order, each measured on
// that run's own samples of the column's curve in the variables' own units
// (a log axis does not change a figure). A run lacking a variable, a formula
// curve beyond run 0, a column naming no curve or a measurement that cannot
// be made in the run gives no value. A script column takes its values from
// `script`, the view's script measured over the same runs.
std::vector<RunTableRow> RunTableRows(const std::vector<CGraphCurve*>& screens,
                                      const std::vector<RunTableColumn>& columns, double from,
                                      double to, std::optional<double> cursor1X,
                                      std::optional<double> cursor2X,
                                      const ScriptTable* script = nullptr);

// With two runs shown, the row of their difference ("capture − sim": the
// second's value less the first's, none where either has none); else none.
// Its run is -1.
std::optional<RunTableRow> RunTableDifference(const std::vector<RunTableRow>& rows);

// The table as text with a header line, fields split by `separator` and lines
// by "\n"; a field holding the separator, a quote or a line break is quoted.
std::string RunTableText(const std::vector<RunTableRow>& rows,
                         const std::vector<std::string>& headers, char separator);

// A script's table as text in the same form: a failed cell is empty.
std::string ScriptTableText(const ScriptTable& table, char separator);

}  // namespace kurvex
