#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "data/model/PhaseColumns.h"
#include "formula/CycleMath.h"
#include "formula/Formula.h"
#include "formula/FormulaTestSupport.h"
#include "formula/FormulaVariable.h"

namespace kurvex {
namespace {

TEST(CycleAverage, StepsOverEachCycleOfTheReference) {
    // A gate G of period 10 s over 0 .. 59 s: it stays at or above 5 for 3 s of each 10 from
    // its rise at 9.5 s, 19.5 s ...; I = 1 + G averages 4 over every cycle.
    const CResultDataRef data = test::GateData(60, {"Time", "G", "I"});
    struct Case {
        const char* text;
        double inside;  // every sample of a whole cycle
    };
    for (const Case& c : {Case{"CYCAVG(I,G)", 4.0}, Case{"CYCAVG(CYCAVG(I,G),G)", 4.0},
                          Case{"2*CYCAVG(I-1,G)+1", 7.0}, Case{"cycavg(i+1,(g))^2", 25.0}}) {
        const FormulaBuild build = BuildFormulaVariable(data, c.text);
        ASSERT_TRUE(build.variable) << c.text;
        const double* v = build.variable->Values();
        const std::uint8_t* f = build.variable->Flags();
        // Cycles run from 9.5 s to 49.5 s: the samples outside have no value, which is
        // no fault (no invalid-points warning, no refused spectrum), even after arithmetic.
        for (int k = 0; k < 60; ++k) {
            if (k >= 10 && k < 50) {
                EXPECT_NEAR(v[k], c.inside, 1e-12) << c.text << " at " << k;
                EXPECT_EQ(f[k], kPointValid);
            } else {
                EXPECT_EQ(f[k], kPointMissing) << c.text << " at " << k;
            }
        }
        EXPECT_FALSE(build.anyInvalid) << c.text;
    }
    // A reference without two rising crossings gives no value anywhere.
    const FormulaBuild flat = BuildFormulaVariable(data, "CYCAVG(I,TIME)");
    ASSERT_TRUE(flat.variable);
    for (int k = 0; k < 60; ++k) EXPECT_EQ(flat.variable->Flags()[k], kPointMissing);
    // A NaN that is not the function's own stays invalid.
    const FormulaBuild nan = BuildFormulaVariable(data, "CYCAVG(I,G)*SQRT(0-1)");
    ASSERT_TRUE(nan.variable);
    EXPECT_EQ(nan.variable->Flags()[20], kPointInvalid);
    EXPECT_TRUE(nan.anyInvalid);
}

// Evaluated in blocks of any size, CYCAVG and GD give bit for bit what the
// whole-column functions give over their operands' whole columns, and running
// functions inside and outside them each see every sample once.
TEST(CycleAverage, BlocksGiveTheWholeColumnFunctionsValues) {
    constexpr std::int32_t kRows = 3000;
    std::vector<std::vector<double>> c(4);
    for (std::int32_t i = 0; i < kRows; ++i) {
        // A repeated instant, an unknown one and gaps in the operands.
        const double t = i == 1500 ? NAN : (i % 500 == 7 ? i - 1 : i) * 1e-3;
        const double va = i % 731 == 5 ? NAN : std::sin(t * 45.0);
        c[0].push_back(t);
        c[1].push_back(va);
        c[2].push_back(1.0 + 0.5 * std::cos(t * 31.0) + va);
        c[3].push_back(i % 613 == 9 ? NAN : std::remainder(-1080.0 * t + 20 * std::sin(t), 360.0));
    }
    const CResultDataRef data = test::MakeData({"Time", "VA", "IB", "P"}, c);
    const auto column = [&](const char* text) {
        const FormulaBuild b = BuildFormulaVariable(data, text);
        EXPECT_TRUE(b.variable) << text;
        return std::vector<double>(b.variable->Values(), b.variable->Values() + kRows);
    };
    const double* x = c[0].data();
    const auto cycleAverage = [&](const char* curveText, const char* referenceText) {
        const std::vector<double> curve = column(curveText), ref = column(referenceText);
        std::vector<double> out(kRows, NoValue());
        const auto level = CycleLevelOf({x, nullptr, ref.data(), nullptr, 0, kRows - 1});
        const RisingCrossings r =
            FindRisingCrossings({x, nullptr, ref.data(), nullptr, 0, kRows - 1}, *level);
        const auto cycles =
            FiguresPerCycle({x, nullptr, curve.data(), nullptr, 0, kRows - 1}, r.times);
        for (std::int32_t i = 0, k = 0, last = std::int32_t(cycles.size()) - 1; i < kRows; ++i) {
            if (std::isnan(x[i])) continue;
            while (k <= last && (x[i] > cycles[k].end || (x[i] == cycles[k].end && k < last))) ++k;
            if (k <= last && x[i] >= cycles[k].start) out[i] = cycles[k].avg;
        }
        return out;
    };
    const auto groupDelay = [&](const char* phaseText) {
        const std::vector<double> phase = column(phaseText);
        std::vector<std::uint8_t> xf(kRows), pf(kRows), flags(kRows);
        for (std::int32_t i = 0; i < kRows; ++i) {
            xf[i] = std::isfinite(x[i]) ? kPointValid : kPointInvalid;
            pf[i] = std::isfinite(phase[i]) ? kPointValid : kPointInvalid;
        }
        std::vector<double> out(kRows);
        GroupDelayColumn(x, xf.data(), phase.data(), pf.data(), out.data(), flags.data(), kRows);
        for (std::int32_t i = 0; i < kRows; ++i)
            if (flags[i] != kPointValid) out[i] = NAN;
        return out;
    };
    struct Case {
        const char* text;
        std::vector<double> prepared;
        const char* plus;  // what the formula adds to the function, or null
    };
    const Case cases[] = {
        {"CYCAVG(VA*IB,VA)", cycleAverage("VA*IB", "VA"), nullptr},
        {"CYCAVG(AVG(IB),VA)+INT(IB)", cycleAverage("AVG(IB)", "VA"), "INT(IB)"},
        {"CYCAVG(IB,SIN(TIME*70))", cycleAverage("IB", "SIN(TIME*70)"), nullptr},
        {"GD(P*2)+1", groupDelay("P*2"), "1"},
        {"GD(INT(VA))", groupDelay("INT(VA)"), nullptr},
    };
    for (const Case& k : cases) {
        std::vector<double> want = k.prepared;
        if (k.plus) {
            const std::vector<double> plus = column(k.plus);
            for (std::size_t i = 0; i < want.size(); ++i) want[i] += plus[i];
        }
        const FormulaBuild whole = BuildFormulaVariable(data, k.text);
        ASSERT_TRUE(whole.variable);
        for (const std::int32_t block : {1, 7, 64, kRows}) {
            SCOPED_TRACE(std::string(k.text) + " in blocks of " + std::to_string(block));
            CFormula f(1e-3);
            ASSERT_TRUE(f.Compile(k.text, test::Names(data)));
            f.SetValueSource(DataSetValue, DataSetColumn);
            f.SetSampleCount(kRows);
            std::vector<double> got(kRows);
            std::vector<std::uint8_t> flags(kRows);
            for (std::int32_t at = 0; at < kRows; at += block) {
                f.EvaluateRange(const_cast<CResultDataRef*>(&data), got.data(), flags.data(), at,
                                std::min(at + block, kRows));
            }
            EXPECT_EQ(std::memcmp(got.data(), want.data(), sizeof(double) * kRows), 0);
            EXPECT_EQ(std::memcmp(flags.data(), whole.variable->Flags(), kRows), 0);
        }
    }
}

}  // namespace
}  // namespace kurvex
