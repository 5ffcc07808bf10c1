#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/ReaderTestSupport.h"
#include "data/document/ResultFile.h"
#include "data/formats/ModelicaResultFile.h"
#include "data/formats/ReaderTable.h"
#include "formula/FormulaVariable.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;

using Loaded = test::ReadOutcome;

Loaded Load(const fs::path& path) {
    Loaded out;
    test::LoadInto(path.string(), out);
    return out;
}

const CResultVariable* Var(const Loaded& l, const char* name) {
    const std::int32_t v = l.data.FindVariable(name);
    EXPECT_GE(v, 0) << name;
    return v < 0 ? nullptr : l.data->Variable(v);
}

// Sample `row` of `name`, the last for -1.
double At(const Loaded& l, const char* name, std::int32_t row) {
    const CResultVariable* v = Var(l, name);
    if (!v) return NAN;
    return v->Values()[row < 0 ? l.data->RowCount() + row : row];
}

// The first row whose time repeats the one before: an event.
std::int32_t FirstEvent(const Loaded& l) {
    const double* x = l.data->Variable(0)->Values();
    for (std::int32_t r = 1; r < l.data->RowCount(); ++r) {
        EXPECT_LE(x[r - 1], x[r]) << "row " << r;
        if (x[r - 1] == x[r]) return r;
    }
    ADD_FAILURE() << "no repeated time";
    return 1;
}

// Every variable of `a` is in `b` under its name with its samples (and its
// unit when `a` gives units). Two Dymola versions' float32 results differ in
// the last bits of a few samples.
void ExpectSameVariables(const Loaded& a, const Loaded& b, bool units,
                         const std::string& except = {}) {
    ASSERT_EQ(a.data->RowCount(), b.data->RowCount());
    for (std::int32_t i = 0; i < a.data->VariableCount(); ++i) {
        const CResultVariable* va = a.data->Variable(i);
        if (va->Name() == except) continue;
        SCOPED_TRACE(va->Name());
        const CResultVariable* vb = Var(b, va->Name().c_str());
        if (!vb) continue;
        if (units) {
            EXPECT_EQ(va->Unit(), vb->Unit());
        }
        for (std::int32_t r = 0; r < a.data->RowCount(); ++r)
            ASSERT_NEAR(va->Values()[r], vb->Values()[r], 2e-6 * std::fabs(va->Values()[r]))
                << "row " << r;
    }
}

TEST(ModelicaResultFile, ReadsDymolaAndOpenModelicaResults) {
    std::string why;
    const fs::path peer = test::PeerData("bench/modelica-mat", why);
    if (peer.empty()) GTEST_SKIP() << why;
    const fs::path dir = test::FreshDir("modelica");
    const std::string chua = test::Slurp(peer / "ChuaCircuit_Dymola.mat");
    ASSERT_GT(chua.size(), 1000u);
    test::Spit(dir / "cut-data.mat", chua.substr(0, chua.size() - 100));
    test::Spit(dir / "cut-name.mat", chua.substr(0, 100));

    struct Case {
        fs::path path;
        const char* reader;
        const char* says;  // in the messages or notes; a refusal when the check is empty
        std::function<void(const Loaded&)> check;
    };
    const std::vector<Case> cases = {
        // ModelicaRes's documentation: IV 4.0, FV 2.4209836; Ro.R 0.0125. The Modelica Standard
        // Library: ChuaCircuit's L(L=18); OnePort's v "Voltage drop between
        // the two pins (= p.v - n.v)".
        {peer / "ChuaCircuit_Dymola.mat", "Modelica result", "parameter Ro.R = 0.0125 Ohm",
         [](const Loaded& l) {
             EXPECT_EQ(l.data->Variable(0)->Name(), "Time");
             EXPECT_EQ(l.data->Variable(0)->Unit(), "s");
             EXPECT_DOUBLE_EQ(At(l, "Time", 1), 5.0);
             EXPECT_DOUBLE_EQ(At(l, "C1.v", 0), 4.0);
             EXPECT_NEAR(At(l, "C1.v", -1), 2.4209836, 1e-6);
             const CResultVariable* v = Var(l, "C1.v");
             ASSERT_NE(v, nullptr);
             EXPECT_EQ(v->Unit(), "V");
             EXPECT_EQ(v->Description(), "Voltage drop between the two pins (= p.v - n.v)");
             // Parameters read as numbers in formulas.
             const FormulaBuild b = BuildFormulaVariable(l.data, "L.i*L.L");
             ASSERT_TRUE(b.variable) << b.error.message;
             for (std::int32_t r = 0; r < l.data->RowCount(); ++r)
                 ASSERT_EQ(b.variable->Values()[r], 18 * At(l, "L.i", r)) << r;
             // dataInfo: C1.p.v is C1.v's column, L.n.i the negated L.i.
             EXPECT_EQ(Var(l, "C1.p.v")->Values(), v->Values());
             for (std::int32_t r = 0; r < l.data->RowCount(); ++r)
                 ASSERT_EQ(At(l, "L.n.i", r), -At(l, "L.i", r)) << r;
         }},
        // The step of height 1 at startTime 0.003 s, NUL-padded names.
        {peer / "RL_OM.mat", "Modelica result", "parameter step.startTime = 0.003 s",
         [](const Loaded& l) {
             EXPECT_EQ(l.data->Variable(0)->Name(), "time");
             EXPECT_EQ(Var(l, "der(inductor.i)")->Unit(), "s-1.A");
             const std::int32_t r = FirstEvent(l);
             EXPECT_NEAR(At(l, "time", r), 0.003, 1e-9);
             EXPECT_EQ(At(l, "step.y", r - 1), 0.0);
             EXPECT_EQ(At(l, "step.y", r), 1.0);
         }},
        // binNormal twin of the binTrans file: the same simulation.
        {peer / "DoublePendulum_Dymola-2012-SaveAs.mat", "Modelica result",
         "format: Modelica result 1.1 (binNormal)",
         [&](const Loaded& l) {
             const Loaded twin = Load(peer / "DoublePendulum_Dymola-2014FD01.mat");
             ASSERT_TRUE(twin.read) << twin.Said();
             EXPECT_EQ(l.data->VariableCount(), twin.data->VariableCount());
             EXPECT_GT(l.data->VariableCount(), 100);
             ExpectSameVariables(l, twin, true);
         }},
        // Exported as plotted: world.g, a constant of the full result, is a column here.
        {peer / "DoublePendulum_Dymola-2014FD01-ExportAsPlotted.mat", "Modelica result",
         "format: Modelica result 1.0 (binNormal)",
         [&](const Loaded& l) {
             const Loaded full = Load(peer / "DoublePendulum_Dymola-2014FD01.mat");
             ASSERT_TRUE(full.read) << full.Said();
             EXPECT_NE(full.Said().find("parameter world.g = 9.81 m/s2"), std::string::npos);
             EXPECT_EQ(l.data->VariableCount(), 6);
             EXPECT_FLOAT_EQ(static_cast<float>(At(l, "world.g", 0)), 9.81f);
             ExpectSameVariables(l, full, false, "world.g");
         }},
        // Texts stored as doubles; data_1 is 0 x 0. ModelicaRes's unicode.mo:
        // DeltaTheta "ΔΘ".
        {peer / "unicode_Dymola.mat", "Modelica result", "0 constants",
         [](const Loaded& l) {
             std::vector<std::string> names;
             for (std::int32_t i = 0; i < l.data->VariableCount(); ++i)
                 names.push_back(l.data->Variable(i)->Name());
             EXPECT_EQ(names, (std::vector<std::string>{"Time", "_dummy", "_derdummy", "DeltaTheta",
                                                        "CPUtime", "EventCounter"}));
             EXPECT_EQ(Var(l, "DeltaTheta")->Description(), "\xCE\x94\xCE\x98");
         }},
        // A MAT 5 file of matrices is the MATLAB reader's.
        {peer / "missing-Aclass.mat", "MATLAB", "",
         [](const Loaded& l) { EXPECT_GT(l.data->VariableCount(), 0); }},
        {dir / "cut-data.mat", "Modelica result", "cut short", {}},
        {dir / "cut-name.mat", "Modelica result", "cut short", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.filename().string());
        EXPECT_EQ(test::ReaderName(c.path.string()), c.reader);
        const Loaded l = Load(c.path);
        EXPECT_EQ(l.read, bool(c.check)) << l.Said();
        EXPECT_NE(l.Said().find(c.says), std::string::npos) << l.Said();
        if (l.read && c.check) c.check(l);
    }
    // Asked to all the same, the Modelica reader refuses a file that is none.
    test::ReadOutcome o;
    test::ReadInto(ReadModelicaResult, (peer / "missing-Aclass.mat").string(), o);
    test::ExpectRefused(o, "not a Modelica result");
}

}  // namespace
}  // namespace kurvex
