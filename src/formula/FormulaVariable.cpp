#include "formula/FormulaVariable.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace kurvex {

namespace {

bool HasSamples(const CResultData* d) {
    return d && d->VariableCount() > 0 && d->RowCount() >= 2;
}

// A formula compiled over the data set's names with its X step, or null with
// `error` set.
std::unique_ptr<CFormula> CompileOver(const CResultData* d, const std::string& text,
                                      FormulaError& error) {
    error = FormulaError{};
    if (!HasSamples(d)) return nullptr;
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(d->VariableCount()));
    for (std::int32_t i = 0; i < d->VariableCount(); ++i) names.push_back(d->Variable(i)->Name());
    const double* x = d->Variable(0)->Values();
    auto formula = std::make_unique<CFormula>(x[1] - x[0]);
    if (!formula->Compile(text, names)) {
        error = formula->Error();
        return nullptr;
    }
    return formula;
}

}  // namespace

bool CheckFormula(const CResultDataRef& data, const std::string& text, FormulaError& error) {
    return CompileOver(data.Get(), text, error) != nullptr;
}

FormulaBuild BuildFormulaVariable(const CResultDataRef& data, const std::string& text) {
    FormulaBuild build;
    const CResultData* d = data.Get();
    std::unique_ptr<CFormula> formula = CompileOver(d, text, build.error);
    if (!formula) return build;
    const std::int32_t rows = d->RowCount();
    CResultVariable* created = CResultVariable::Create(rows);
    if (!created) return build;  // out of memory: rejected without a message
    RefPtr<CResultVariable> variable(created);
    variable->SetName(text);
    formula->SetValueSource(DataSetValue, DataSetColumn);
    formula->SetSampleCount(rows);
    formula->EvaluateRange(const_cast<CResultDataRef*>(&data), variable->Values(),
                           variable->Flags(), 0, rows);

    bool found = false;
    double mn = 0.0;
    double mx = 0.0;
    const double* v = variable->Values();
    const std::uint8_t* f = variable->Flags();
    for (std::int32_t i = 0; i < rows; ++i) {
        if (f[i] != kPointValid) {
            // A sample without a value (CYCAVG outside whole cycles) is no fault.
            if (f[i] == kPointInvalid) build.anyInvalid = true;
        } else if (!found) {
            mn = mx = v[i];
            found = true;
        } else {
            mn = std::min(mn, v[i]);
            mx = std::max(mx, v[i]);
        }
    }
    if (found) variable->SetExtents(mn, mx);
    variable->SetKind(kVariableFormula);
    variable->SetFormula(std::move(formula));
    build.variable = std::move(variable);
    return build;
}

double DataSetValue(std::int32_t column, std::int32_t sample, void* context) {
    const CResultData* d = static_cast<const CResultDataRef*>(context)->Get();
    if (column < 0 || column >= d->VariableCount() || sample < 0 || sample >= d->RowCount())
        return std::numeric_limits<double>::quiet_NaN();
    return d->Variable(column)->Values()[sample];
}

const double* DataSetColumn(std::int32_t column, std::int32_t first, std::int32_t count,
                            void* context) {
    const CResultData* d = static_cast<const CResultDataRef*>(context)->Get();
    if (column < 0 || column >= d->VariableCount() || first < 0 || count < 0 ||
        count > d->RowCount() - first)
        return nullptr;
    return d->Variable(column)->Values() + first;
}

void AttachHighPassFormulas(HighPassResultData& data) {
    auto& formulas = data.Formulas();
    const auto wanted = static_cast<size_t>(std::max(data.VariableCount() - 1, 0));
    if (formulas.size() > wanted) formulas.resize(wanted);
    // Columns only ever come at the end: the filters there keep their state.
    for (size_t i = formulas.size(); i < wanted; ++i) {
        const auto column = static_cast<std::int32_t>(i + 1);
        formulas.push_back(BuildHighPassFormula(column, data.Variable(column)->Name()));
    }
}

}  // namespace kurvex
