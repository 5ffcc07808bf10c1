#include "graph/CurveEntry.h"

#include <utility>

#include "formula/FormulaVariable.h"

namespace kurvex {

CCurveEntry CCurveEntry::ForColumn(const CResultDataRef& data, std::int32_t column) {
    CCurveEntry c;
    c.sourceKind = kCurveColumn;
    c.columnIndex = column;
    if (column >= 0 && column < data->VariableCount()) c.formula = data->Variable(column)->Name();
    c.label = c.formula;
    return c;
}

CCurveEntry CCurveEntry::ForFormula(const std::string& text) {
    CCurveEntry c;
    c.sourceKind = kCurveFormula;
    c.columnIndex = -1;
    c.formula = text;
    c.label = text;
    return c;
}

CurveBindResult CCurveEntry::Bind(const CResultDataRef& data) {
    CurveBindResult r;
    if (sourceKind == kCurveColumn) {
        const std::int32_t found = data.FindVariable(formula.c_str());
        if (found < 0) return r;
        columnIndex = found;
        r.ok = true;
        return r;
    }
    if (sourceKind != kCurveFormula) return r;
    FormulaBuild build = BuildFormulaVariable(data, formula);
    r.error = build.error;
    if (!build.variable) return r;
    formulaResult = std::move(build.variable);
    // The old log column belongs to the old result.
    formulaLog = RefPtr<CResultVariable>();
    r.ok = true;
    r.invalidPoints = build.anyInvalid;
    return r;
}

}  // namespace kurvex
