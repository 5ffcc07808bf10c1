#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/ResultData.h"

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

// 0, dt, 2 dt, ...
inline std::vector<double> Ramp(size_t n, double dt) {
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = static_cast<double>(i) * dt;
    return x;
}

}  // namespace kurvex::test
