#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Cycles.h"
#include "analysis/Edges.h"
#include "analysis/FigureTable.h"
#include "graph/CurveEntry.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// The tables of the measuring tool windows.
enum class FigureKind : std::int32_t { kCycles = 0, kEdges = 1, kHarmonics = 2 };

// What a tool window asks of the screens of the view it follows.
struct FigureRequest {
    FigureKind kind = FigureKind::kCycles;
    std::optional<CurvePlace> reference;  // Cycles: none for the selected curve
    CycleRequest cycles;                  // Cycles: level and hysteresis, default when none
    std::optional<CurvePlace> deadFrom;   // Edges: the pair whose dead times are shown
    std::optional<CurvePlace> deadTo;
    std::optional<double> fundamental;  // Harmonics: none for the strongest bin

    bool operator==(const FigureRequest& o) const;
};

// What a tool window shows: its table and, for Edges with a pair chosen, the
// dead times between the pair.
struct FigureResult {
    FigureTable table;
    std::optional<FigureTable> dead;
};

// The tables of `request` over `screens` (top first), each curve over the
// visible X range of its screen.
FigureResult ComputeFigures(const std::vector<CGraphCurve*>& screens, const FigureRequest& request);

// The text copied from a tool window: the table and, after an empty line,
// the dead times.
std::string FigureResultText(const FigureResult& result);

// A cell as the window shows it: "%g", empty without a value (the copied
// text keeps every digit).
std::string ShownFigureText(const std::optional<double>& value);

// The rows of a table as a screen reader reads them: one line per row, the
// label and the shown cells separated by tabs.
std::string FigureRowsText(const FigureTable& table);

// Copies of `screens` that share their samples, for computing away from the
// interface thread. With `xRange` (as a drag shows it, in the X axis's own
// scale) every copy shows that X range instead of its own.
std::vector<CGraphCurve> SnapshotScreens(const std::vector<const CGraphCurve*>& screens,
                                         const std::optional<AxisRange>& xRange = std::nullopt);

// A summary of what the tables of a view depend on: data, X variable and
// range, domain, curves and selection. Equal keys give equal tables, so a
// window recomputes only when its key changes.
std::string FigureInputKey(const std::vector<const CGraphCurve*>& screens);

// The cycle average of `curve` over the cycles of `reference`:
// "CYCAVG(curve,reference)", a formula operand in parentheses.
std::string CycleAverageFormula(const CCurveEntry& curve, const CCurveEntry& reference);

// A number typed into a tool window: no value for a blank entry (the default
// applies); `ok` false for text that is not one finite number.
struct NumberEntry {
    std::optional<double> value;
    bool ok = true;
};
NumberEntry ParseNumberEntry(const std::string& text);

}  // namespace kurvex
