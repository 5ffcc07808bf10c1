#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "analysis/MeasScript.h"
#include "data/document/ResultFile.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

std::vector<MeasSourceLine> Lines(const std::vector<std::string>& texts) {
    std::vector<MeasSourceLine> out;
    for (size_t i = 0; i < texts.size(); ++i) out.push_back({static_cast<int>(i) + 1, texts[i]});
    return out;
}

// Every statement of `lines` over run 0 of `data`; the script must parse.
std::vector<MeasValue> Measure(const CResultDataRef& data, const std::vector<std::string>& lines,
                               MeasScript* parsed = nullptr) {
    MeasScript script;
    MeasSyntaxError error;
    EXPECT_TRUE(ParseMeasScript(Lines(lines), script, error))
        << error.line << ":" << error.column << " " << error.message;
    if (parsed) *parsed = script;
    return EvaluateMeasScript(script, data, 0);
}

struct Expected {
    std::string statement;
    double value;
    double tolerance;
    double at = NAN;  // x where found, when the statement reports one
};

void ExpectAll(const CResultDataRef& data, const std::vector<Expected>& cases) {
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.statement);
        const auto v = Measure(data, {c.statement});
        ASSERT_EQ(v.size(), 1u);
        ASSERT_TRUE(v[0].Ok()) << v[0].error;
        EXPECT_NEAR(*v[0].value, c.value, c.tolerance);
        if (!std::isnan(c.at)) {
            EXPECT_NEAR(v[0].at.value_or(NAN), c.at, c.tolerance);
        }
    }
}

// 2 sin(2 pi 5 t) over 0 .. 1 s in 1 ms steps, and a constant 1.
CResultDataRef Sine() {
    return test::MakeData(
        {"time", "V(out)", "ref"},
        {test::Ramp(1001, 0.001), test::SineWave(2, 5, 1001), std::vector<double>(1001, 1.0)});
}

TEST(MeasScriptTest, StatementsOverClosedFormSignals) {
    const double a = 2.0, pi = std::numbers::pi;
    // The sine passes 1 rising at t = 1/60 + k/5 and falling at 5/60 + k/5.
    const double rise = 1.0 / 60, fall = 5.0 / 60;
    const auto sine = Sine();
    // t^2 on uneven steps: the three-point slope is exact at a sample, and so is
    // the line between two samples' slopes.
    const std::vector<double> t{0, 0.1, 0.3, 0.4, 0.7, 1.0};
    std::vector<double> t2;
    for (double x : t) t2.push_back(x * x);
    const auto square = test::MakeData({"time", "y"}, {t, t2});
    // ngspice names a source's current VIN#branch, Xyce names nodes bare.
    const auto names = test::MakeData({"time", "V(a)", "B", "vin#branch"},
                                      {{0, 1, 2}, {3, 3, 5}, {1, 1, 2}, {-1, -2, -4}});
    // As a reader names an AC raw file's columns: amplitude in dB and phase in degrees.
    const auto ac = test::MakeData({"frequency", "amp(v(out))", "phase(v(out))"},
                                   {{1, 10, 100}, {0, -20, -40}, {0, -90, -180}});
    const std::pair<CResultDataRef, std::vector<Expected>> cases[] = {
        // Two whole periods with both ends between samples; the window figures' own
        // closed forms are the measure catalogue's, whose code they share.
        {sine,
         {{".meas tran r RMS v(out) FROM=50.5m TO=450.5m", a / std::sqrt(2.0), 1e-4},
          {".measure hi MAX v(out)", a, 1e-9, 0.05},
          {"meas lo min V(OUT) from=0.1 to=0.3", -a, 1e-9, 0.15},
          {".meas tran f FIND v(out) AT=25m", a * std::sin(pi / 4), 1e-4},
          {".meas tran w WHEN v(out)=1 RISE=2", rise + 0.2, 1e-4},
          {".meas tran w WHEN v(out)=1 CROSS=3 TD=50m", fall + 0.2, 1e-4},
          {".meas tran w WHEN v(out)=ref FALL=2", fall + 0.2, 1e-4},
          {".meas tran f FIND ref WHEN v(out)=1", 1.0, 1e-4, rise}}},
        {square,
         {{".meas d DERIV y AT=0.3", 0.6, 1e-12},
          {".meas d DERIV y AT=0.35", 0.7, 1e-12},
          {".meas d DERIV y WHEN y=0.16", 0.8, 1e-12},
          {".meas d DERIV y AT=1", 1.7, 1e-12}}},
        {names,
         {{".meas tran d MAX v(a,b)", 3.0, 1e-12, 2},
          {".meas tran d MAX v(A, B)", 3.0, 1e-12, 2},
          {".meas tran i MIN i(VIN)", -4, 1e-12, 2},
          {".meas tran i FIND 'v(a)*2m' AT=1", 6e-3, 1e-12}}},
        {ac,
         {{".meas ac g FIND vdb(out) AT=10", -20, 1e-12},
          {".meas ac g FIND vm(out) AT=10", 0.1, 1e-12},
          {".meas ac g FIND vp(out) AT=100", -180, 1e-12},
          {".meas ac g FIND vr(out) AT=100", -0.01, 1e-12},
          {".meas ac g FIND vi(out) AT=10", -0.1, 1e-12},
          {".meas ac f WHEN vdb(out)=-30", 55, 1e-12}}},
    };
    for (const auto& [data, expected] : cases) ExpectAll(data, expected);
    EXPECT_FALSE(Measure(sine, {".meas tran w WHEN v(out)=1 RISE=6"})[0].Ok());
    const auto v = Measure(names, {".meas tran x MAX v(nope)", ".meas ac y MAX v(a)"});
    ASSERT_EQ(v.size(), 2u);
    EXPECT_NE(v[0].error.find("character 1"), std::string::npos) << v[0].error;
    EXPECT_FALSE(v[1].Ok());
}

TEST(MeasScriptTest, TrigTargOfFirstOrderStep) {
    const double rc = 1e-3;
    std::vector<double> t = test::Ramp(5001, rc / 1000), y(t.size());
    for (size_t i = 0; i < t.size(); ++i) y[i] = 1 - std::exp(-t[i] / rc);
    const auto data = test::MakeData({"time", "V(out)"}, {t, y});
    const auto v =
        Measure(data, {".meas tran rise TRIG v(out) VAL=0.1 RISE=1", "+ TARG v(out) VAL=0.9 RISE=1",
                       ".meas tran half TRIG AT=0 TARG v(out) VAL=0.5",
                       ".meas tran a AVG v(out) TRIG AT=1m TARG AT=2m"});
    ASSERT_EQ(v.size(), 3u);
    ASSERT_TRUE(v[0].Ok()) << v[0].error;
    EXPECT_NEAR(*v[0].value, std::log(9.0) * rc, 1e-9);
    EXPECT_NEAR(*v[0].trig, -std::log(0.9) * rc, 1e-9);
    EXPECT_NEAR(*v[1].value, std::log(2.0) * rc, 1e-9);
    // The mean of 1 - exp(-t/RC) over RC .. 2 RC.
    EXPECT_NEAR(*v[2].value, 1 - (std::exp(-1.0) - std::exp(-2.0)), 1e-6);
}

TEST(MeasScriptTest, ParamsUseEarlierResultsAndFailWithThem) {
    const auto v = Measure(Sine(), {".meas tran hi MAX v(out)", ".meas tran lo MIN v(out)",
                                    ".meas tran bad WHEN v(out)=5", ".meas tran span PARAM='HI-lo'",
                                    ".meas tran mix param={ sqrt(span*2) + max(1, 2m)*1k }",
                                    ".meas tran worse PARAM=span+bad"});
    ASSERT_EQ(v.size(), 6u);
    EXPECT_FALSE(v[2].Ok());
    EXPECT_DOUBLE_EQ(*v[3].value, 4.0);
    EXPECT_NEAR(*v[4].value, std::sqrt(8.0) + 1000, 1e-9);
    EXPECT_FALSE(v[5].Ok());
    EXPECT_NE(v[5].error.find("bad"), std::string::npos) << v[5].error;
}

TEST(MeasScriptTest, SpiceNumbers) {
    const std::pair<const char*, double> good[] = {
        {"10us", 1e-5}, {"1meg", 1e6},        {"1MEG", 1e6}, {"1m", 1e-3},  {"2.5k", 2500},
        {"3F", 3e-15},  {"-1.5e-3", -1.5e-3}, {"4n", 4e-9},  {"7p", 7e-12}, {"1g", 1e9},
        {"5v", 5}};
    for (const auto& [text, value] : good) {
        double v = 0;
        EXPECT_TRUE(ParseSpiceNumber(text, v)) << text;
        EXPECT_NEAR(v, value, std::abs(value) * 1e-12) << text;
    }
    for (const char* text : {"abc", "1.2.3", "", "1k2"}) {
        double v = 0;
        EXPECT_FALSE(ParseSpiceNumber(text, v)) << text;
    }
}

// An RC low-pass of 100 us as ngspice wrote it: the names the readers give
// its transient and AC columns must be found from SPICE's spellings.
TEST(MeasScriptTest, RcLowPassFilesAsTheReadersNameThem) {
    const double rc = 1e3 * 100e-9;
    const struct {
        const char* file;
        std::string statement;
        double value, tolerance;
    } cases[] = {
        // The charge: C times v(out) at the end.
        {"rc_tran.raw", ".meas tran q INTEG i(V1)", -100e-9 * 0.9816, 1e-10},
        {"rc_ac.raw", ".meas ac f3db WHEN vdb(out)=-3.0103 FALL=1", 1 / (2 * std::numbers::pi * rc),
         0.05 / (2 * std::numbers::pi * rc)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.statement);
        CResultDataRef data;
        test::RecordingMessages messages;
        ASSERT_TRUE(
            LoadResultFile(std::string(KURVEX_SPICE_DIR) + "/" + c.file, data, nullptr, messages));
        const auto v = Measure(data, {c.statement});
        ASSERT_TRUE(v[0].Ok()) << v[0].error;
        EXPECT_NEAR(*v[0].value, c.value, c.tolerance);
    }
}

TEST(MeasScriptTest, SyntaxErrorsPointAtLineAndColumn) {
    struct Case {
        std::vector<std::string> lines;
        int line, column;
    };
    const Case cases[] = {
        {{"* ok", ".meas tran a AVG v(out) FROM"}, 2, 29},
        {{".meas tran a AVG v(out)", "+ FROM=1.2.3"}, 2, 8},
        {{".meas tran a PARAM='a+b"}, 1, 20},
        {{".meas tran AVG v(out)"}, 1, 12},
        {{".meas tran a WHEN v(out)=1 RISE=0"}, 1, 33},
        {{".meas tran a TRIG v(out) VAL=1 ; TARG v(out) VAL=2"}, 1, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.back());
        MeasScript script;
        MeasSyntaxError error;
        EXPECT_FALSE(ParseMeasScript(Lines(c.lines), script, error));
        EXPECT_EQ(error.line, c.line) << error.message;
        EXPECT_EQ(error.column, c.column) << error.message;
        EXPECT_FALSE(error.message.empty());
    }
}

TEST(MeasScriptTest, UnsupportedKindsAreListedWhileTheRestRun) {
    MeasScript script;
    const auto v =
        Measure(Sine(),
                {".meas noise n1 INTEG onoise_spectrum", ".meas tran e ERR1 v(out) v(out)",
                 ".meas tran hi MAX v(out)", ".meas tran z SOMETHING v(out)"},
                &script);
    ASSERT_EQ(script.unsupported.size(), 3u);
    EXPECT_EQ(script.unsupported[0].name, "n1");
    EXPECT_EQ(script.unsupported[1].line, 2);
    EXPECT_EQ(script.unsupported[2].name, "z");
    ASSERT_EQ(v.size(), 1u);
    EXPECT_NEAR(*v[0].value, 2.0, 1e-12);
}

}  // namespace
}  // namespace kurvex
