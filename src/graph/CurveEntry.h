#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/model/RefPtr.h"
#include "data/model/ResultData.h"
#include "formula/Formula.h"
#include "formula/FormulaVariable.h"
#include "graph/canvas/GraphTypes.h"

namespace kurvex {

// Where a curve's samples come from.
enum CurveSource : std::int32_t {
    kCurveColumn = 0,   // a column of the data set
    kCurveFormula = 1,  // a formula over the columns
};

// Marker symbols drawn at the points of a curve.
enum MarkerSymbol : std::int32_t {
    kMarkerNone = 0,
    kMarkerCircle = 1,
    kMarkerRectangle = 2,
    kMarkerTriangle = 3,
    kMarkerStar = 4,
};

// What a curve's spectrum gives a logarithmic Y axis: its log10 column, and
// the spectrum it was made from, so a new spectrum is not shown through an old
// column.
struct SpectrumCache {
    RefPtr<CResultVariable> log;
    const CResultVariable* of = nullptr;
    bool invalid = false;  // some amplitude had no logarithm
};

// What binding a curve to a data set found.
struct CurveBindResult {
    bool ok = false;             // the curve has its data
    bool invalidPoints = false;  // a formula produced invalid samples
    FormulaError error;          // why a formula was refused
    bool cancelled = false;      // the user stopped the formula's build: nothing to report
};

// What Bind does first with a formula whose build goes to the cache: writes
// its files (on a worker, under a progress dialog) so that Bind only maps
// them. False when the user cancelled.
using FormulaPrebuild = std::function<bool(const CResultDataRef& data, const std::string& text,
                                           const FormulaBuildOptions& options)>;

// While one lives, Bind on this thread builds with `options` and hands each
// formula that goes to the cache to `prebuild` first; with `leaveOut` it
// leaves every formula curve out, as if cancelled (a preview over the part of
// a file read so far, which would build them in memory). Scopes nest; the
// inner wins.
class ScopedFormulaPrebuild {
public:
    ScopedFormulaPrebuild(FormulaPrebuild prebuild, FormulaBuildOptions options,
                          bool leaveOut = false);
    ~ScopedFormulaPrebuild();
    ScopedFormulaPrebuild(const ScopedFormulaPrebuild&) = delete;
    ScopedFormulaPrebuild& operator=(const ScopedFormulaPrebuild&) = delete;

    // The innermost scope of this thread, or null.
    static const ScopedFormulaPrebuild* Current();

    const FormulaPrebuild prebuild;
    const FormulaBuildOptions options;
    const bool leaveOut;

private:
    const ScopedFormulaPrebuild* outer_;
};

// One curve of a screen. A plain record that dialogs edit field by field;
// copies share the sample columns, never copy them.
class CCurveEntry {
public:
    std::int32_t sourceKind = kCurveColumn;
    std::int32_t columnIndex = 0;
    std::string formula;  // the column's name, or the formula text
    std::string label;
    Rgb colour = kRgbBlack;
    std::int32_t connect = 1;
    std::int32_t thickness = 1;
    std::int32_t markerSymbol = kMarkerNone;
    RefPtr<CResultVariable> formulaResult;
    RefPtr<CResultVariable> formulaLog;
    // A formula's result over each further run (run k at k - 1, null where the
    // run cannot give it) and their log columns; empty for a result of one run
    // and for a formula that names a run with every variable (drawn once).
    std::vector<RefPtr<CResultVariable>> runResults;
    std::vector<RefPtr<CResultVariable>> runLogs;
    RefPtr<CResultVariable> spectrum;
    std::shared_ptr<SpectrumCache> spectrumCache;
    double bandScale = 1.0;
    double bandOffset = 0.0;

    // A curve showing column `column` of `data`, named and labelled after it;
    // the name stays empty when the column does not exist.
    static CCurveEntry ForColumn(const CResultDataRef& data, std::int32_t column);
    // A formula curve labelled with its text; Bind builds its result.
    static CCurveEntry ForFormula(const std::string& text);

    // Finds the curve's data in `data` again: a column curve looks its column up
    // by name, a formula curve builds its result afresh over every run (see
    // ScopedFormulaPrebuild). On failure or cancel the curve is left as it was.
    CurveBindResult Bind(const CResultDataRef& data);
};

}  // namespace kurvex
