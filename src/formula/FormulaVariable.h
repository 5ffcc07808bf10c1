#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "formula/Formula.h"
#include "data/RefPtr.h"
#include "data/ResultData.h"

namespace kurvex {

// A formula variable and what building it found.
struct FormulaBuild {
    RefPtr<CResultVariable> variable;  // null when the formula was rejected
    FormulaError error;                // why, when it was
    bool anyInvalid = false;           // some sample is not a finite normal number
};

// True when `text` compiles against the data set's variable names; else `error`
// tells where and why (position 0 and no message when the data set has no
// variables or fewer than 2 samples).
bool CheckFormula(const CResultDataRef& data, const std::string& text, FormulaError& error);

// A new kind-2 variable named `text` holding the formula over every sample of
// the data set, with its extents; it owns its compiled formula.
FormulaBuild BuildFormulaVariable(const CResultDataRef& data, const std::string& text);

// Gives a high-pass data set its filters: one HIPASS formula for every
// column after X, on that column, as the band screens read them. Filters
// already there are kept; new columns get theirs.
void AttachHighPassFormulas(HighPassResultData& data);

// Value source over a data set; the context is a CResultDataRef*. Out of
// range columns or samples read as NaN.
double DataSetValue(std::int32_t column, std::int32_t sample, void* context);
// The matching column source: a pointer into the variable's samples, or null
// when the range is not within the row count.
const double* DataSetColumn(std::int32_t column, std::int32_t first, std::int32_t count,
                            void* context);

}  // namespace kurvex
