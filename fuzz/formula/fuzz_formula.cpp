// Compiles arbitrary text as a formula over a small data set and evaluates it
// twice, in one piece and one sample at a time, checking that both agree and
// that every flag matches its value.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "formula/FormulaVariable.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

kurvex::CResultDataRef MakeData() {
    const std::vector<std::string> names = {"Time", "VA", "vb", "V1", "V10", "I(L1)", "I"};
    const std::vector<std::vector<double>> columns = {
        {0, 1e-5, 2e-5, 3e-5, 4e-5, 5e-5}, {1.5, -2, 0, 4, 1e300, -0.0},
        {0, 0, 1e-310, NAN, INFINITY, 3},  {1, -1, 2, -2, 0.5, 7},
        {10, 20, 30, 40, 50, 60},          {-1e-3, 2e3, 0, 1, 1, 1},
        {1e308, -1e308, 2, 3, 4, 5},
    };
    kurvex::CResultDataRef d;
    d.Initialise(kurvex::kDataSetPlain, static_cast<std::int32_t>(names.size()), 6, 100);
    std::vector<double> row(names.size());
    const std::vector<std::uint8_t> flags(names.size(), kurvex::kPointValid);
    for (size_t c = 0; c < names.size(); ++c)
        d.SetName(static_cast<std::int32_t>(c), names[c].c_str());
    for (std::int32_t r = 0; r < 6; ++r) {
        for (size_t c = 0; c < names.size(); ++c) row[c] = columns[c][static_cast<size_t>(r)];
        d.SetRow(r, row.data(), flags.data(), 0, -1);
    }
    return d;
}

bool Same(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

bool IsMessage(const std::string& m) {
    return m == kurvex::kFormulaInvalidEntry || m == kurvex::kFormulaUnmatchedClosing ||
           m == kurvex::kFormulaUnmatchedOpen || m == kurvex::kFormulaInvalid;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static kurvex::CResultDataRef data = MakeData();
    const std::string text(reinterpret_cast<const char*>(bytes), size);

    kurvex::FormulaError checked;
    const bool accepted = kurvex::CheckFormula(data, text, checked);
    const kurvex::FormulaBuild build = kurvex::BuildFormulaVariable(data, text);
    Check(accepted == static_cast<bool>(build.variable));
    Check(checked.position == build.error.position && checked.message == build.error.message);
    if (!accepted) {
        Check(IsMessage(build.error.message));
        Check(build.error.position >= 0 &&
              (build.error.position == 0 || static_cast<size_t>(build.error.position) < size));
        return 0;
    }

    const kurvex::CResultVariable* v = build.variable.get();
    const std::int32_t rows = data->RowCount();
    Check(v->Capacity() == rows);
    bool anyInvalid = false;
    for (std::int32_t i = 0; i < rows; ++i) {
        const double x = v->Values()[i];
        const bool valid = x == 0 || std::isnormal(x);
        Check(v->Flags()[i] == (valid ? kurvex::kPointValid : kurvex::kPointInvalid));
        anyInvalid |= !valid;
    }
    Check(anyInvalid == build.anyInvalid);

    std::vector<std::string> names;
    for (std::int32_t c = 0; c < data->VariableCount(); ++c)
        names.push_back(data->Variable(c)->Name());
    kurvex::CFormula single(data->Variable(0)->Values()[1] - data->Variable(0)->Values()[0]);
    Check(single.Compile(text, names));
    single.SetValueSource(kurvex::DataSetValue);
    single.SetSampleCount(rows);  // CYCAVG looks ahead over all samples
    std::vector<double> values(static_cast<size_t>(rows));
    std::vector<std::uint8_t> flags(static_cast<size_t>(rows));
    for (std::int32_t i = 0; i < rows; ++i) {
        single.EvaluateRange(&data, values.data(), flags.data(), i, i + 1);
    }
    for (std::int32_t i = 0; i < rows; ++i) {
        Check(Same(values[static_cast<size_t>(i)], v->Values()[i]));
        Check(flags[static_cast<size_t>(i)] == v->Flags()[i]);
    }
    return 0;
}
