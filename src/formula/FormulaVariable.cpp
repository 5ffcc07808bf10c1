#include "formula/FormulaVariable.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "data/cache/CachedFormula.h"
#include "data/cache/CachedResult.h"
#include "data/cache/ColumnCache.h"
#include "data/platform/NumberText.h"
#include "data/platform/Workers.h"
#include "formula/FormulaNode.h"

namespace kurvex {

namespace {

bool HasSamples(const CResultData* d) {
    return d && d->VariableCount() > 0 && d->RowCount() >= 2;
}

std::vector<std::string> VariableNames(const CResultData& d) {
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(d.VariableCount()));
    for (std::int32_t i = 0; i < d.VariableCount(); ++i) names.push_back(d.Variable(i)->Name());
    return names;
}

// True when X of `run` may be searched by bisection: every sample valid, none
// NaN, none below the one before.
bool XAscends(const CResultData& run) {
    if (run.VariableCount() == 0) return true;
    const double* x = run.Variable(0)->Values();
    const std::uint8_t* f = run.Variable(0)->Flags();
    for (std::int32_t i = 0; i < run.RowCount(); ++i) {
        if (f[i] != kPointValid || std::isnan(x[i]) || (i > 0 && x[i] < x[i - 1])) return false;
    }
    return true;
}

// A formula compiled over the names of run `own` of `whole` with that run's X
// step, or null with `error` set.
std::unique_ptr<CFormula> CompileOver(const CResultData* whole, const std::string& text,
                                      FormulaError& error, std::int32_t own = 0) {
    error = FormulaError{};
    const CResultData* d = whole ? whole->Run(own) : nullptr;
    if (!HasSamples(d)) return nullptr;
    const double* x = d->Variable(0)->Values();
    auto formula = std::make_unique<CFormula>(x[1] - x[0]);
    bool compiled = false;
    // Other runs' names are gathered only for a text that may name a run.
    if (whole->RunCount() > 1 && text.find('@') != std::string::npos) {
        std::vector<FormulaRun> runs;
        runs.reserve(static_cast<size_t>(whole->RunCount()));
        for (std::int32_t k = 0; k < whole->RunCount(); ++k)
            runs.push_back(FormulaRun{whole->RunName(k), VariableNames(*whole->Run(k))});
        compiled = formula->CompileOverRuns(text, runs, own);
    } else if (whole->RunCount() == 1) {
        compiled = formula->Compile(text, VariableNames(*d), d->Constants());
    } else {
        // Runs may differ in their constants: only a lone run offers them.
        compiled = formula->Compile(text, VariableNames(*d));
    }
    if (!compiled) {
        error = formula->Error();
        return nullptr;
    }
    for (const FormulaRunReference& r : formula->RunReferences()) {
        if (!XAscends(*whole->Run(r.run))) {
            error = FormulaError{r.position, kFormulaRunUnsorted};
            return nullptr;
        }
    }
    return formula;
}

// Variable `column` of `run` at each of the `rows` X values `x`, linearly
// between the run's samples on either side: NaN where a sample it needs is
// not valid, and no value outside the run's X range, where a difference of
// two runs has none by its nature. The run's X ascends.
std::vector<double> Resample(const double* x, std::int32_t rows, const CResultData& run,
                             std::int32_t column) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> out(static_cast<size_t>(rows), NoValue());
    const std::int32_t n = run.RowCount();
    if (n == 0) return out;
    const double* rx = run.Variable(0)->Values();
    const double* rv = run.Variable(column)->Values();
    const std::uint8_t* rf = run.Variable(column)->Flags();
    for (std::int32_t i = 0; i < rows; ++i) {
        const double at = x[i];
        if (!(at >= rx[0] && at <= rx[n - 1])) continue;
        // The last sample at or before `at`: of samples at the same X, the later.
        const auto k = static_cast<std::int32_t>(std::upper_bound(rx, rx + n, at) - rx) - 1;
        double& o = out[static_cast<size_t>(i)];
        if (rx[k] == at) {
            o = rf[k] == kPointValid ? rv[k] : nan;
        } else if (rf[k] == kPointValid && rf[k + 1] == kPointValid) {
            o = rv[k] + (rv[k + 1] - rv[k]) * ((at - rx[k]) / (rx[k + 1] - rx[k]));
        } else {
            o = nan;
        }
    }
    return out;
}

// What a formula naming other runs reads: the data set's own columns, then
// each referenced variable resampled onto its X.
struct RunsContext {
    const CResultDataRef* data;
    std::int32_t columns;
    std::vector<std::vector<double>> resampled;
};

double RunsValue(std::int32_t column, std::int32_t sample, void* context) {
    const auto* c = static_cast<const RunsContext*>(context);
    const auto k = static_cast<size_t>(column - c->columns);
    if (column < c->columns || k >= c->resampled.size())
        return DataSetValue(column, sample, const_cast<CResultDataRef*>(c->data));
    if (sample < 0 || static_cast<size_t>(sample) >= c->resampled[k].size())
        return std::numeric_limits<double>::quiet_NaN();
    return c->resampled[k][static_cast<size_t>(sample)];
}

const double* RunsColumn(std::int32_t column, std::int32_t first, std::int32_t count,
                         void* context) {
    const auto* c = static_cast<const RunsContext*>(context);
    const auto k = static_cast<size_t>(column - c->columns);
    if (column < c->columns || k >= c->resampled.size())
        return DataSetColumn(column, first, count, const_cast<CResultDataRef*>(c->data));
    const auto size = static_cast<std::int32_t>(c->resampled[k].size());
    if (first < 0 || count < 0 || count > size - first) return nullptr;
    return c->resampled[k].data() + first;
}

// The entry every column of `d` is mapped from; null when any is not a live
// cached column of that one entry. A formula's file is named after the data
// set's names and rows, so it must not be shared with a mix of sources.
std::shared_ptr<const CacheEntry> CachedEntryOf(const CResultData& d) {
    std::shared_ptr<const void> entry;
    for (std::int32_t v = 0; v < d.VariableCount(); ++v) {
        const auto at = PyramidAt(d.Variable(v)->Values());
        if (!at || !at->entry || (entry && at->entry != entry)) return nullptr;
        entry = at->entry;
    }
    // PyramidAt's keep-alive is the entry itself.
    return std::static_pointer_cast<const CacheEntry>(entry);
}

// True when each sample of `formula` depends on that sample's inputs alone
// (no AVG, INT, HIPASS, CYCAVG or GD), so that blocks may be evaluated apart.
bool Stateless(const CFormula& formula) {
    return std::all_of(formula.Postfix().begin(), formula.Postfix().end(), [](const auto* node) {
        return dynamic_cast<const FormulaOperatorNode*>(node) ||
               dynamic_cast<const FormulaNumberNode*>(node);
    });
}

// The entry the formula's file goes beside, or null when it goes into memory.
std::shared_ptr<const CacheEntry> CacheEntryFor(const CResultData& d, const CFormula& formula,
                                                const FormulaBuildOptions& options) {
    // Another run's samples are resampled into memory, never cached.
    if (!formula.RunReferences().empty() || d.RowCount() < options.cachedRows ||
        options.blockRows <= 0)
        return nullptr;
    return CachedEntryOf(d);
}

// The formula over every row of `d` as a column in files beside the cache
// entry, evaluated block by block: on several workers, each with a formula of
// its own, when no sample depends on another, else in order (running
// functions carry their state from one block to the next). Null when the data
// set is no cached one, the files cannot be had, or the options cancelled
// the build (`cancelled` set).
RefPtr<CResultVariable> BuildIntoCache(const CResultData& whole, const CResultDataRef& data,
                                       CFormula& formula, const std::string& text,
                                       const FormulaBuildOptions& options, bool& anyInvalid,
                                       bool& cancelled) {
    const CResultData* d = data.Get();
    const std::int32_t rows = d->RowCount();
    const std::shared_ptr<const CacheEntry> entry = CacheEntryFor(*d, formula, options);
    if (!entry) return {};
    std::vector<std::string> parts{text, std::to_string(rows)};
    for (std::int32_t v = 0; v < d->VariableCount(); ++v) parts.push_back(d->Variable(v)->Name());
    // Runs of one length share the entry: each keeps files of its own.
    if (options.run > 0) parts.push_back("run " + std::to_string(options.run));
    const std::string name = DerivedColumnName({parts.begin(), parts.end()});
    void* context = const_cast<CResultDataRef*>(&data);
    std::vector<CFormula*> formulas{&formula};
    std::vector<std::unique_ptr<CFormula>> more;
    if (Stateless(formula)) {
        const auto blocks = (std::int64_t(rows) + options.blockRows - 1) / options.blockRows;
        const int workers = int(std::min<std::int64_t>(WorkerCount(options.workers), blocks));
        FormulaError ignored;
        for (int w = 1; w < workers; ++w) {
            more.push_back(CompileOver(&whole, text, ignored, options.run));
            if (!more.back()) return {};
            more.back()->SetSampleCount(rows);
            more.back()->SetValueSource(DataSetValue, DataSetColumn);
            formulas.push_back(more.back().get());
        }
    }
    const auto fill = [&](int worker, std::int64_t first, std::int64_t end, double* values,
                          std::uint8_t* flags) {
        const auto f = static_cast<std::int32_t>(first);
        formulas[std::size_t(worker)]->EvaluateBlockRange(context, values, flags, f,
                                                          static_cast<std::int32_t>(end));
        return true;
    };
    std::string error;
    std::optional<DerivedColumn> column =
        MakeDerivedColumn(*entry, name, rows, options.blockRows, int(formulas.size()), fill, error,
                          options.progress, options.cancelled);
    if (!column) {
        cancelled = error.empty();
        return {};
    }
    RefPtr<CResultVariable> variable(
        CResultVariable::Over(column->values, column->flags, rows, column->keep));
    if (column->found) variable->SetExtents(column->min, column->max);
    if (column->pyramid)
        PlaceDerivedColumn(entry, column->values, column->flags, *column->pyramid, column->keep);
    anyInvalid = column->anyInvalid;
    return variable;
}

}  // namespace

bool CheckFormula(const CResultDataRef& data, const std::string& text, FormulaError& error) {
    return CompileOver(data.Get(), text, error) != nullptr;
}

bool FormulaSameForEveryRun(const CResultDataRef& data, const std::string& text) {
    FormulaError error;
    const std::unique_ptr<CFormula> formula = CompileOver(data.Get(), text, error);
    return formula && formula->EveryNameNamesRun();
}

bool FormulaGoesToCache(const CResultDataRef& data, const std::string& text,
                        const FormulaBuildOptions& options) {
    FormulaError error;
    const std::unique_ptr<CFormula> formula = CompileOver(data.Get(), text, error, options.run);
    return formula && CacheEntryFor(*data->Run(options.run), *formula, options);
}

FormulaBuild BuildFormulaVariable(const CResultDataRef& data, const std::string& text,
                                  const FormulaBuildOptions& options) {
    FormulaBuild build;
    const CResultData* whole = data.Get();
    std::unique_ptr<CFormula> formula = CompileOver(whole, text, build.error, options.run);
    if (!formula) return build;
    // The run's own data set: run 1 is `data` itself, another one shares its columns.
    CResultDataRef own = data;
    if (options.run > 0) own.ShareColumnsOf(*whole->Run(options.run));
    const CResultData* d = own.Get();
    const std::int32_t rows = d->RowCount();
    formula->SetSampleCount(rows);
    if (formula->RunReferences().empty()) {
        formula->SetValueSource(DataSetValue, DataSetColumn);
        RefPtr<CResultVariable> cached =
            BuildIntoCache(*whole, own, *formula, text, options, build.anyInvalid, build.cancelled);
        if (build.cancelled) return build;
        if (cached) {
            cached->SetName(text);
            cached->SetKind(kVariableFormula);
            cached->SetFormula(std::move(formula));
            build.variable = std::move(cached);
            return build;
        }
    } else if (rows >= options.cachedRows && CachedEntryOf(*d)) {
        const std::int32_t at = formula->RunReferences().front().position;
        build.error = FormulaError{at, Format(kFormulaRunTooLarge, static_cast<long long>(rows),
                                              static_cast<long long>(options.cachedRows))};
        return build;
    }
    CResultVariable* created = CResultVariable::Create(rows);
    if (!created) return build;  // out of memory: rejected without a message
    RefPtr<CResultVariable> variable(created);
    variable->SetName(text);
    if (formula->RunReferences().empty()) {
        formula->SetValueSource(DataSetValue, DataSetColumn);
        formula->EvaluateRange(&own, variable->Values(), variable->Flags(), 0, rows);
    } else {
        RunsContext context{&own, d->VariableCount(), {}};
        try {
            for (const FormulaRunReference& r : formula->RunReferences()) {
                context.resampled.push_back(
                    Resample(d->Variable(0)->Values(), rows, *whole->Run(r.run), r.column));
            }
        } catch (const std::bad_alloc&) {
            return build;  // out of memory: rejected without a message
        }
        formula->SetValueSource(RunsValue, RunsColumn);
        formula->EvaluateRange(&context, variable->Values(), variable->Flags(), 0, rows);
    }

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
