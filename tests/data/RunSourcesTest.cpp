#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "LtspiceRawWriter.h"
#include "TestSupport.h"
#include "data/document/ResultFile.h"
#include "data/formats/RawFile.h"
#include "data/model/Runs.h"

namespace kurvex {
namespace {

using test::LtspiceLayout;
using test::LtspiceRaw;
using test::RecordingMessages;
using test::Utf16LE;

// Three steps of 4, 1 and 3 points; LTspice marks the second time negative.
constexpr std::int64_t kStepRows[] = {4, 1, 3};

double StepTime(std::int64_t p, std::int64_t& step) {
    step = 0;
    while (p >= kStepRows[step]) p -= kStepRows[step++];
    return p * 1e-6;
}

TEST(RunSources, SteppedLtspiceSplitsAtRestartsNamedByItsLog) {
    const std::string steps =
        "Circuit: * C:\\sim\\buck.asc\r\n.step vin=1 r1=1000\r\n"
        ".step vin=2 r1=1000\r\n  .STEP\tvin=3 r1=2k\r\n"
        "Date: Mon Jan  6 10:00:00 2025\r\n.stepping is done\r\n";
    const std::vector<std::string> named = {"vin=1 r1=1000", "vin=2 r1=1000", "vin=3 r1=2k"};
    const std::vector<std::string> numbered = {"Run 1", "Run 2", "Run 3"};
    struct Case {
        const char* what;
        bool fastAccess;
        const char* logName;  // none when null
        std::string log;
        std::vector<std::string> names;
        bool noted;
    };
    const Case cases[] = {
        {"no log", false, nullptr, "", numbered, false},
        {"8-bit log", false, "sim.log", steps, named, false},
        {"fastaccess, UTF-16 log without a mark", true, "sim.log", Utf16LE(steps), named, false},
        {"UTF-16 log with a mark, upper-case extension", false, "sim.LOG",
         "\xFF\xFE" + Utf16LE(steps), named, false},
        {"too few steps", true, "sim.log", ".step a=1\n.step a=2\n", numbered, true},
        {"too many steps", false, "sim.Log", steps + ".step vin=4 r1=2k\n", numbered, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::filesystem::path dir = test::FreshDir("runsources");
        const LtspiceLayout layout{{"time", "V(out)"}, 8, c.fastAccess, true};
        auto value = [](std::int64_t v, std::int64_t p) -> std::complex<double> {
            std::int64_t step;
            const double t = StepTime(p, step);
            if (v == 0) return p == 1 ? -t : t;
            return 10.0 * (step + 1) + p;
        };
        test::Spit(dir / "sim.raw", LtspiceRaw(layout, value));
        if (c.logName) test::Spit(dir / c.logName, c.log);
        CResultDataRef data;
        RecordingMessages messages;
        std::vector<std::string> notes;
        LoadOptions options;
        options.notes = &notes;
        ASSERT_TRUE(LoadResultFile((dir / "sim.raw").string(), data, nullptr, messages, options));
        EXPECT_TRUE(messages.shown.empty());
        ASSERT_EQ(data->RunCount(), 3);
        std::int64_t p = 0;
        for (std::int32_t k = 0; k < 3; ++k) {
            const CResultData& run = *data->Run(k);
            EXPECT_EQ(data->RunName(k), c.names[static_cast<size_t>(k)]);
            ASSERT_EQ(run.RowCount(), kStepRows[k]) << k;
            for (std::int32_t r = 0; r < run.RowCount(); ++r, ++p) {
                EXPECT_EQ(run.Variable(0)->Values()[r], r * 1e-6) << k;
                EXPECT_EQ(run.Variable(1)->Values()[r], static_cast<float>(10.0 * (k + 1) + p));
            }
        }
        ASSERT_EQ(notes.size(), c.noted ? 1u : 0u);
        if (c.noted) {
            EXPECT_NE(notes[0].find("but the file holds 3 runs"), std::string::npos) << notes[0];
        }
    }
}

TEST(RunSources, LikePlotsOfAnNgspiceLoopBecomeRuns) {
    const std::string path = std::string(KURVEX_SPICE_DIR) + "/rc_loop.raw";
    struct Case {
        std::int32_t plot;
        bool chosen;
        std::int32_t runs;
        const char* note;  // what OtherPlotsNote says
    };
    for (const Case& c : {Case{0, false, 3,
                               "Plot 1 of 4: Transient Analysis. Also in this file: "
                               "2 AC Analysis."},
                          Case{0, true, 1,
                               "Plot 1 of 4: Transient Analysis. Also in this file: 2 AC "
                               "Analysis; 3 Transient Analysis; 4 Transient Analysis."},
                          Case{2, true, 1,
                               "Plot 3 of 4: Transient Analysis. Also in this file: 1 "
                               "Transient Analysis; 2 AC Analysis; 4 Transient Analysis."}}) {
        SCOPED_TRACE(c.plot * 2 + c.chosen);
        CResultDataRef data;
        RecordingMessages messages;
        std::vector<RawPlot> plots;
        LoadOptions options;
        options.plot = c.plot;
        options.plotChosen = c.chosen;
        options.plots = &plots;
        ASSERT_TRUE(LoadResultFile(path, data, nullptr, messages, options));
        ASSERT_EQ(data->RunCount(), c.runs);
        EXPECT_EQ(OtherPlotsNote(plots, c.plot), c.note);
        // Run k charges C = 100n through R = 1k * 2^k from a 1 V step rising over 1 us
        // (at its midpoint, to ngspice's accuracy); the plot asked for alone is run 1.
        for (std::int32_t k = 0; k < c.runs; ++k) {
            const CResultData& run = *data->Run(k);
            const double tau = 1e3 * std::pow(2.0, c.plot == 2 ? 1 : k) * 100e-9;
            EXPECT_EQ(data->RunName(k),
                      c.runs > 1 ? "Transient Analysis " + std::to_string(k + 1) : std::string());
            ASSERT_EQ(run.RowCount(), 69);
            ASSERT_EQ(run.VariableCount(), 3);
            EXPECT_EQ(run.Variable(0)->Values()[68], 400e-6);
            EXPECT_NEAR(run.Variable(2)->Values()[68], 1 - std::exp(-399.5e-6 / tau), 1e-3) << k;
        }
    }
}

}  // namespace
}  // namespace kurvex
