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

namespace {

thread_local const ScopedFormulaPrebuild* t_prebuild = nullptr;

}  // namespace

ScopedFormulaPrebuild::ScopedFormulaPrebuild(FormulaPrebuild prebuild, FormulaBuildOptions options,
                                             bool leaveOut)
    : prebuild(std::move(prebuild)),
      options(std::move(options)),
      leaveOut(leaveOut),
      outer_(t_prebuild) {
    t_prebuild = this;
}

ScopedFormulaPrebuild::~ScopedFormulaPrebuild() {
    t_prebuild = outer_;
}

const ScopedFormulaPrebuild* ScopedFormulaPrebuild::Current() {
    return t_prebuild;
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
    const ScopedFormulaPrebuild* scope = ScopedFormulaPrebuild::Current();
    FormulaBuildOptions options = scope ? scope->options : FormulaBuildOptions{};
    if (scope && scope->leaveOut) {
        r.cancelled = true;
        return r;
    }
    if (scope && scope->prebuild && FormulaGoesToCache(data, formula, options) &&
        !scope->prebuild(data, formula, options)) {
        r.cancelled = true;
        return r;
    }
    // The files are whole by now (or the prebuild failed and this build says why).
    options.progress = nullptr;
    options.cancelled = nullptr;
    FormulaBuild build = BuildFormulaVariable(data, formula, options);
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
