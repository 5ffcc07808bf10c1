#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <future>
#include <string>
#include <vector>

#include "analysis/FftWorker.h"
#include "formula/FormulaTestSupport.h"
#include "graph/GraphCurve.h"

namespace kurvex::test {

// A variable with the given samples and flags (all valid when none are given).
inline RefPtr<CResultVariable> MakeVar(const std::vector<double>& values,
                                       std::vector<std::uint8_t> flags = {},
                                       const std::string& name = "Time") {
    if (flags.empty()) flags.assign(values.size(), kPointValid);
    RefPtr<CResultVariable> v(CResultVariable::Create(static_cast<std::int32_t>(values.size())));
    std::copy(values.begin(), values.end(), v->Values());
    std::copy(flags.begin(), flags.end(), v->Flags());
    v->SetName(name);
    return v;
}

inline constexpr std::int32_t kRows = 1001;  // 0 .. 1 s: N = 1002, bins of 1 Hz

// Time over `seconds` at 1 ms and a sine "a" of `amplitude` at `hz`.
inline CResultDataRef OneSine(double amplitude, double seconds = 1.0, double hz = 10.0) {
    const auto rows = static_cast<std::size_t>(std::lround(seconds * 1000)) + 1;
    return MakeData({"Time", "a"}, {Ramp(rows, 0.001), SineWave(amplitude, hz, rows)});
}

inline CGraphCurve Screen(const CResultDataRef& data, std::vector<std::int32_t> columns,
                          double from = 0.0, double to = 1.0) {
    CGraphCurve g;
    g.SetData(data);
    for (std::int32_t c : columns) g.AddCurve(CCurveEntry::ForColumn(data, c));
    g.UpdateExtents();
    g.SetXTitle("Time");
    RangeFlags exact;  // a stored step keeps the ends where they are put
    exact.setIncrement = true;
    g.SetXYRange(from, to, 0.2, -6.0, 6.0, 2.0, exact);
    return g;
}

// Time, a 5-amplitude 10 Hz sine, a constant 3, a 2-amplitude 20 Hz sine.
struct Fixture {
    CResultDataRef data = MakeData({"Time", "a", "c", "b"},
                                   {Ramp(kRows, 0.001), SineWave(5.0, 10.0, kRows),
                                    std::vector<double>(kRows, 3.0), SineWave(2.0, 20.0, kRows)});

    FftTask Task(std::vector<std::int32_t> columns) const {
        FftTask t;
        t.x = RefPtr<CResultVariable>(data->Variable(0));
        t.rows = data->RowCount();
        EXPECT_TRUE(MakeFftPlan(*t.x, t.rows, 0.0, 1.0, t.plan));
        for (std::int32_t c : columns)
            t.curves.push_back(
                {RefPtr<CResultVariable>(data->Variable(c)), data->Variable(c)->Name()});
        return t;
    }
};

// Holds the worker at the start of curve 0 until Open().
struct Gate {
    std::promise<void> reached, release;
    std::shared_future<void> go = release.get_future().share();

    FftProgressFn Hook() {
        return [this](const FftProgress& p) {
            if (p.curve != 0 || p.stage != FftStage::kCurveStarted) return;
            reached.set_value();
            go.wait();
        };
    }
    void WaitReached() { reached.get_future().wait(); }
    void Open() { release.set_value(); }
};

}  // namespace kurvex::test
