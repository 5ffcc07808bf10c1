#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "CacheHome.h"
#include "TestSupport.h"
#include "app/FormulaBuildRun.h"

namespace kurvex {
namespace {

constexpr std::int64_t kRows = 20000;

// An ngspice binary plot of TIME and VOUT.
std::string Plot() {
    std::string out =
        "Title: deck\nDate: today\nPlotname: tran\nFlags: real\nNo. Variables: 2\nNo. Points: " +
        std::to_string(kRows) + "\nVariables:\n\t0\tTIME\ttime\n\t1\tVOUT\tvoltage\nBinary:\n";
    for (std::int64_t p = 0; p < kRows; ++p) {
        const double v[2] = {p * 1e-6, std::sin(p * 0.003)};
        out.append(reinterpret_cast<const char*>(v), sizeof v);
    }
    return out;
}

TEST(FormulaBuildRun, CachedFormulaIsBuiltOnAWorkerAndCancelLeavesItOut) {
    const test::CacheHome home("FormulaBuildRun");
    test::CachedAndPlain made;
    ASSERT_NO_FATAL_FAILURE(test::ConvertAndRead(home, Plot(), made));
    const CResultDataRef &cached = made.cached, &plain = made.plain;
    ASSERT_EQ(plain->RowCount(), kRows);

    QWidget owner;
    FormulaBuildOptions options;
    options.cachedRows = 1000;
    options.blockRows = 4099;
    const std::thread::id ui = std::this_thread::get_id();
    int heardHere = 0, heardElsewhere = 0;
    options.progress = [&](double) {
        ++(std::this_thread::get_id() == ui ? heardHere : heardElsewhere);
    };
    bool cancel = false;
    options.cancelled = [&] { return cancel; };

    struct Case {
        const char* text;
        bool cached;  // over the cached result, else over the one in memory
        bool cancel;
        bool worker;  // built on a worker first
        bool leaveOut = false;
    };
    const Case cases[] = {
        {"VOUT*2+1", true, false, true},
        {"VOUT*2+1", false, false, false},  // a result in memory builds as ever
        {"VOUT*3", true, true, true},
        {"VOUT*4", false, false, false, true},  // a preview's scope builds none
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        heardHere = heardElsewhere = 0;
        cancel = c.cancel;
        CCurveEntry curve = CCurveEntry::ForFormula(c.text);
        CurveBindResult bound;
        {
            FormulaBuildScope building(&owner, options, c.leaveOut);
            bound = curve.Bind(c.cached ? cached : plain);
        }
        EXPECT_EQ(heardHere, 0);
        EXPECT_EQ(heardElsewhere > 0, c.worker && !c.cancel);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);  // no message box
        EXPECT_EQ(FormulaGoesToCache(c.cached ? cached : plain, c.text, options), c.worker);
        if (c.cancel || c.leaveOut) {
            EXPECT_FALSE(bound.ok);
            EXPECT_TRUE(bound.cancelled);
            EXPECT_FALSE(curve.formulaResult);
            // Bind built nothing in memory either: the cancel came before any block.
            continue;
        }
        ASSERT_TRUE(bound.ok);
        const FormulaBuild direct = BuildFormulaVariable(plain, c.text);
        ASSERT_TRUE(curve.formulaResult && direct.variable);
        EXPECT_EQ(curve.formulaResult->Borrowed(), c.cached);
        EXPECT_EQ(std::memcmp(curve.formulaResult->Values(), direct.variable->Values(),
                              kRows * sizeof(double)),
                  0);
        EXPECT_EQ(curve.formulaResult->Max(), direct.variable->Max());
    }
}

}  // namespace
}  // namespace kurvex
