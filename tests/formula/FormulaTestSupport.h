#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "data/model/ResultData.h"
#include "graph/GraphCurve.h"

namespace kurvex::test {

// A data set of named columns, every sample valid.
inline CResultDataRef MakeData(const std::vector<std::string>& names,
                               const std::vector<std::vector<double>>& columns) {
    CResultDataRef d;
    const auto rows = static_cast<std::int32_t>(columns.empty() ? 0 : columns[0].size());
    d.Initialise(kDataSetPlain, static_cast<std::int32_t>(names.size()), rows, 100);
    for (size_t c = 0; c < names.size(); ++c)
        d.SetName(static_cast<std::int32_t>(c), names[c].c_str());
    std::vector<double> row(names.size());
    const std::vector<std::uint8_t> flags(names.size(), kPointValid);
    for (std::int32_t r = 0; r < rows; ++r) {
        for (size_t c = 0; c < names.size(); ++c) row[c] = columns[c][static_cast<size_t>(r)];
        d.SetRow(r, row.data(), flags.data(), 0, -1);
    }
    d.UpdateExtents();
    return d;
}

// The names of the variables, in order.
inline std::vector<std::string> Names(const CResultDataRef& d) {
    std::vector<std::string> out;
    for (std::int32_t i = 0; i < d->VariableCount(); ++i) out.push_back(d->Variable(i)->Name());
    return out;
}

// 0, dt, 2 dt, ...
inline std::vector<double> Ramp(size_t n, double dt) {
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = static_cast<double>(i) * dt;
    return x;
}

// offset + amplitude sin(2 pi hz t) over the samples of Ramp(rows, dt).
inline std::vector<double> SineWave(double amplitude, double hz, size_t rows, double dt = 0.001,
                                    double offset = 0.0) {
    std::vector<double> y = Ramp(rows, dt);
    for (double& v : y) v = offset + amplitude * std::sin(2.0 * std::numbers::pi * hz * v);
    return y;
}

// Time over 0 .. 10 s in steps of 10 ms, a switch a on over [1, 3) and [5, 7), and a switch b
// on over [3.2, 4.8) and [7.2, 8.8): b comes on 0.2 s after a goes off, and a 0.2 s after b.
inline std::vector<std::vector<double>> Switches() {
    std::vector<std::vector<double>> c(3);
    for (int i = 0; i <= 1000; ++i) {
        const double s = i * 0.01 + 1e-9;
        c[0].push_back(i * 0.01);
        c[1].push_back((s >= 1 && s < 3) || (s >= 5 && s < 7) ? 1 : 0);
        c[2].push_back((s >= 3.2 && s < 4.8) || (s >= 7.2 && s < 8.8) ? 1 : 0);
    }
    return c;
}

// Time 0, 1, ... s over `rows` samples and the columns of a converter, named by `names`
// after Time: a gate of period 10 s, 10 on samples 0..2 of each period and 0 else (it
// rises through 5 at 9.5 s, 19.5 s, ...), a current 1 + gate, and a constant 2.
inline CResultDataRef GateData(int rows, const std::vector<std::string>& names) {
    std::vector<std::vector<double>> columns(names.size());
    for (int k = 0; k < rows; ++k) {
        const double gate = k % 10 < 3 ? 10.0 : 0.0;
        const double all[] = {static_cast<double>(k), gate, 1.0 + gate, 2.0};
        for (size_t c = 0; c < names.size(); ++c) columns[c].push_back(all[c]);
    }
    return MakeData(names, columns);
}

// A screen showing every column of `d` but X, with X stored as from .. to by `step`.
inline CGraphCurve ScreenOver(const CResultDataRef& d, double from, double to, double step = 1.0) {
    CGraphCurve g;
    g.SetData(d);
    for (std::int32_t c = 1; c < d->VariableCount(); ++c) g.AddCurve(CCurveEntry::ForColumn(d, c));
    g.StoreX(DataExtent{from, to}, AxisRange{from, to, step});
    return g;
}

}  // namespace kurvex::test
