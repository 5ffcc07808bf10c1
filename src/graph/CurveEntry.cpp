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
    const auto build = [&](std::int32_t run, FormulaBuild& out) {
        FormulaBuildOptions o = options;
        o.run = run;
        if (scope && scope->prebuild && run > 0 && FormulaGoesToCache(data, formula, o) &&
            !scope->prebuild(data, formula, o))
            return false;
        o.progress = nullptr;
        o.cancelled = nullptr;
        out = BuildFormulaVariable(data, formula, o);
        return true;
    };
    FormulaBuild first;
    build(0, first);
    r.error = first.error;
    if (!first.variable) return r;
    // Every further run draws the formula over its own columns, unless each
    // name says its run: then the curve is the same in all and drawn once.
    std::vector<RefPtr<CResultVariable>> more;
    bool invalid = first.anyInvalid;
    if (data->RunCount() > 1 && !FormulaSameForEveryRun(data, formula)) {
        for (std::int32_t k = 1; k < data->RunCount(); ++k) {
            FormulaBuild next;
            if (!build(k, next) || next.cancelled) {
                r.cancelled = true;
                return r;
            }
            // A run without a variable the formula reads draws nothing of it.
            invalid = invalid || next.anyInvalid;
            more.push_back(std::move(next.variable));
        }
    }
    formulaResult = std::move(first.variable);
    runResults = std::move(more);
    // The old log columns belong to the old results.
    formulaLog = RefPtr<CResultVariable>();
    runLogs.assign(runResults.size(), RefPtr<CResultVariable>());
    r.ok = true;
    r.invalidPoints = invalid;
    return r;
}

}  // namespace kurvex
