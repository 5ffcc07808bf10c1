#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "formula/FormulaTestSupport.h"
#include "formula/FormulaVariable.h"

namespace kurvex {
namespace {

using test::MakeData;
using test::Ramp;

TEST(FormulaVariable, BuildMakesOwningDerivedVariable) {
    // Source flags are not consulted: the missing sample's value is read.
    CResultDataRef data = MakeData({"Time", "V"}, {{0, 0.5, 1, 1.5}, {4, -1, 0, 9}});
    data->Variable(1)->Flags()[3] = kPointMissing;
    const FormulaBuild build = BuildFormulaVariable(data, " sqrt(V)+INT(1)");
    ASSERT_TRUE(build.variable);
    const CResultVariable* v = build.variable.get();
    EXPECT_EQ(v->RefCount(), 1);
    EXPECT_EQ(v->Kind(), kVariableFormula);
    ASSERT_EQ(v->Capacity(), 4);
    EXPECT_EQ(std::vector<std::uint8_t>(v->Flags(), v->Flags() + 4),
              (std::vector<std::uint8_t>{1, 2, 1, 1}));
    EXPECT_EQ(v->Values()[0], 2.5);
    EXPECT_EQ(v->Values()[3], 3 + 2.0);
    EXPECT_TRUE(build.anyInvalid);
    // Extents over the valid samples only.
    EXPECT_EQ(v->Min(), 1.5);
    EXPECT_EQ(v->Max(), 5.0);

    // With no valid sample the extents stay 0 and 0.
    const FormulaBuild bad = BuildFormulaVariable(data, "LOG(-1)");
    EXPECT_EQ(bad.variable->Min(), 0);
    EXPECT_EQ(bad.variable->Max(), 0);
}

// The RLC high-pass as a biquad from the bilinear transform of its transfer
// function IC/X = LC s^2 / (LC s^2 + gL s + 1): the trapezoidal rule, reached
// another way.
std::vector<double> Biquad(const std::vector<double>& x, double dt) {
    const double L = 0.01, C = 0.20264 / 2, g = 4.4563;
    const double k = 2 / dt;
    const double lc = L * C * k * k, lg = L * g * k;
    const double a0 = lc + lg + 1, a1 = 2 - 2 * lc, a2 = lc - lg + 1;
    const double b0 = lc, b1 = -2 * lc, b2 = lc;
    std::vector<double> y(x.size());
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        y[i] = (b0 * x[i] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2) / a0;
        x2 = x1;
        x1 = x[i];
        y2 = y1;
        y1 = y[i];
    }
    return y;
}

TEST(FormulaVariable, HighPassIsTheTrapezoidalRlcFilter) {
    const size_t n = 20000;
    const double dt = 1e-4;
    std::mt19937_64 random(5);
    std::normal_distribution<double> noise(0, 1);
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) {
        x[i] = (i > 100 ? 3.0 : 0.0) + std::sin(2 * M_PI * 50 * i * dt) + 0.2 * noise(random);
    }
    const CResultDataRef data = MakeData({"Time", "X"}, {Ramp(n, dt), x});
    const FormulaBuild build = BuildFormulaVariable(data, "HIPASS(X)");
    ASSERT_TRUE(build.variable);
    const std::vector<double> want = Biquad(x, dt);
    for (size_t i = 0; i < n; ++i) {
        ASSERT_NEAR(build.variable->Values()[i], want[i], 1e-9) << i;
    }
}

TEST(FormulaVariable, HighPassFormulaIsBuiltWithoutParsing) {
    // It computes what the parsed HIPASS computes over a step of 10 us.
    std::unique_ptr<CFormula> f = BuildHighPassFormula(2, "V(out)");
    ASSERT_NE(f->Root(), nullptr);
    EXPECT_EQ(f->VariableNodes()[0]->Name(), "V(out)");
    const size_t n = 50;
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = std::cos(0.3 * static_cast<double>(i));
    CResultDataRef data = MakeData({"Time", "A", "V(out)"}, {Ramp(n, 1e-5), Ramp(n, 1), v});
    const FormulaBuild parsed = BuildFormulaVariable(data, "HIPASS(V(OUT))");
    std::vector<double> values(n);
    std::vector<std::uint8_t> flags(n);
    f->SetValueSource(DataSetValue, DataSetColumn);
    // Whole, then in pieces: each pass from row 0 starts the filter afresh.
    for (const std::int32_t piece : {50, 7}) {
        for (std::int32_t at = 0; at < 50; at += piece)
            f->EvaluateRange(&data, values.data(), flags.data(), at, std::min(at + piece, 50));
        for (size_t i = 0; i < n; ++i) ASSERT_EQ(values[i], parsed.variable->Values()[i]) << i;
    }
}

TEST(FormulaVariable, HighPassDataSetGetsOneFilterPerColumnAfterX) {
    CResultDataRef d(kDataSetHighPass);
    ASSERT_TRUE(d.Initialise(kDataSetHighPass, 3, 4, 100));
    d.SetName(1, "Va");
    d.SetName(2, "Vb");
    auto* hp = static_cast<HighPassResultData*>(d->Extension());
    AttachHighPassFormulas(*hp);
    ASSERT_EQ(hp->Formulas().size(), 2u);
    const auto column = [&](int k) {
        return dynamic_cast<const CFormula*>(hp->Formulas()[k].get())->VariableNodes()[0]->Column();
    };
    EXPECT_EQ(column(0), 1);
    EXPECT_EQ(column(1), 2);
    // Attaching again keeps the filters, and their running state, as they are.
    const VariableFormula* first = hp->Formulas()[0].get();
    AttachHighPassFormulas(*hp);
    EXPECT_EQ(hp->Formulas()[0].get(), first);
    // A grown data set gets filters for its new columns.
    ASSERT_TRUE(d->ResizeVariables(4));
    AttachHighPassFormulas(*hp);
    ASSERT_EQ(hp->Formulas().size(), 3u);
    EXPECT_EQ(hp->Formulas()[0].get(), first);
    EXPECT_EQ(column(2), 3);
}

// Run 1 at X 0..4; run 2 at uneven steps over 0.5..4; run 3 over 0..4 with
// invalid samples at 1.5 and 2.5 and without "V (A)"; only run 2 has I(L1).
CResultDataRef ThreeRuns() {
    CResultDataRef data =
        MakeData({"Time", "V(out)", "V (A)"}, {{0, 1, 2, 3, 4}, {1, 2, 3, 4, 5}, {0, 0, 0, 0, 0}});
    const CResultDataRef two =
        MakeData({"time", "I(L1)", "V (A)", "V(OUT)"},
                 {{0.5, 1.5, 2, 4}, {1, 1, 1, 1}, {6, 6, 6, 6}, {10, 20, 40, 100}});
    const CResultDataRef three =
        MakeData({"Time", "V(out)"}, {{0, 0.5, 1.5, 2, 2.5, 4}, {0, 1, 99, 4, 99, 8}});
    three->Variable(1)->Flags()[2] = kPointInvalid;
    three->Variable(1)->Flags()[4] = kPointInvalid;
    data->AddRun(two.Get(), "vin=1 r1=1000");
    data->AddRun(three.Get(), "Vin=2 R1=1000");
    return data;
}

TEST(FormulaVariable, OtherRunsAreInterpolatedOntoTheXOfTheRunEvaluated) {
    const CResultDataRef data = ThreeRuns();
    const double no = std::nan("");  // an invalid sample
    const double gap = -1e300;       // outside the run's X: no value, and no fault
    struct Case {
        const char* text;
        std::int32_t run;  // evaluated over, from 0
        std::vector<double> want;
    };
    const Case cases[] = {
        {"V(out)@2-V(out)@1", 0, {gap, 13, 37, 66, 95}},
        {"v(OUT)@\"VIN=1 R1=1000\"", 0, {gap, 15, 40, 70, 100}},
        // Exact X needs only its own sample; between needs both neighbours
        // valid: at 1 the right one (1.5) is not, at 3 the left one (2.5).
        {"(V(out)@\"vin=2 r1=1000\")*2", 0, {0, no, 8, no, 16}},
        {"V (A)@2+I(L1)@2", 0, {gap, 7, 7, 7, 7}},
        // Over another run, plain names are its own and NAME@K still run K.
        {"V(out)*2", 1, {20, 40, 80, 200}},
        {"V(out)-V(out)@1", 1, {8.5, 17.5, 37, 95}},
        {"V(out)@3-V(out)", 2, {0, 0, 0, 0, 0, 0}},
    };
    for (const auto& [text, run, want] : cases) {
        FormulaBuildOptions options;
        options.run = run;
        const FormulaBuild build = BuildFormulaVariable(data, text, options);
        ASSERT_TRUE(build.variable) << text << ": " << build.error.message;
        for (size_t i = 0; i < want.size(); ++i) {
            const bool valid = !std::isnan(want[i]) && want[i] != gap;
            EXPECT_EQ(build.variable->Flags()[i], valid            ? kPointValid
                                                  : want[i] == gap ? kPointMissing
                                                                   : kPointInvalid)
                << text << " " << i;
            if (valid) {
                EXPECT_EQ(build.variable->Values()[i], want[i]) << text << " " << i;
            }
        }
    }
}

TEST(FormulaVariable, CheckAndBuildReportPositionAndMessage) {
    const CResultDataRef data = MakeData({"Time", "V(out)"}, {{0, 1, 2}, {5, 6, 7}});
    const CResultDataRef one = MakeData({"Time", "V"}, {{0}, {5}}), none;
    const CResultDataRef runs = ThreeRuns(), back = ThreeRuns();
    back->AddRun(MakeData({"Time", "V"}, {{0, 2, 1}, {0, 0, 0}}).Get(), "");  // X goes back
    struct Case {
        const CResultDataRef* data;
        const char* text;
        std::int32_t position;  // -1: accepted
        const char* message;
    };
    const char* const bad = kFormulaInvalidEntry;
    const Case cases[] = {
        {&data, "2*v(OUT)", -1, ""},
        {&data, " V(OUT))", 6, "Unmatched closing parenthesis."},
        // Too few samples fail without a message.
        {&one, "1", 0, ""},
        {&none, "1", 0, ""},
        // Unknown runs, and variables a run lacks, are refused where named.
        {&runs, "V(out)@4", 6, bad},
        {&runs, "V(out)@0", 6, bad},
        {&runs, "V(out)@99999999999", 6, bad},
        {&runs, "V(out)@\"nope\"", 6, bad},
        {&runs, "V(out)@\"vin=1", 6, bad},
        {&runs, "V(out)@", 6, bad},
        {&runs, "V(out)@2X", 6, bad},
        {&runs, "1+V (A)@3", 2, bad},
        {&runs, "I(L1)", 0, bad},
        // A run whose X goes back cannot be interpolated.
        {&back, "V(out)@3", -1, ""},
        {&back, "V(out)@3+V@4", 10, kFormulaRunUnsorted},
    };
    for (const Case& c : cases) {
        FormulaError error{9, "stale"};
        EXPECT_EQ(CheckFormula(*c.data, c.text, error), c.position < 0) << c.text;
        EXPECT_EQ(error.position, std::max(c.position, 0)) << c.text;
        EXPECT_EQ(error.message, c.message) << c.text;
        const FormulaBuild build = BuildFormulaVariable(*c.data, c.text);
        EXPECT_EQ(bool(build.variable), c.position < 0) << c.text;
        EXPECT_EQ(build.error.position, std::max(c.position, 0)) << c.text;
        EXPECT_EQ(build.error.message, c.message) << c.text;
    }
}

}  // namespace
}  // namespace kurvex
