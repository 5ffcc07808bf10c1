#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/ReaderTestSupport.h"
#include "data/formats/LecroyTrcFile.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;

class LecroyTrcFile : public test::TempDirTest {};

// The captures lecroy-scope tests with, read as its tests state; cut-short
// captures refused before their declared sizes are believed.
TEST_F(LecroyTrcFile, CapturesReadAsLecroyScopeReadsThem) {
    std::string why;
    const fs::path peer = test::PeerData("bench/lecroy-trc", why);
    if (peer.empty()) GTEST_SKIP() << why;
    const std::string issue = test::Slurp(peer / "issue_1.trc");
    ASSERT_EQ(issue.size(), 200361u);
    // Inside the samples, and inside the descriptor.
    test::Spit(Path("cut_samples.trc"), issue.substr(0, 150000));
    test::Spit(Path("cut_descriptor.trc"), issue.substr(0, 200));
    // The descriptor lecroy-scope states field by field, given the trigger
    // times and samples it declares (zeros).
    const std::string header = test::Slurp(peer / "header.trc");
    ASSERT_EQ(header.size(), 357u);
    test::Spit(Path("header_filled.trc"), header + std::string(3200 + 800800, '\0'));

    struct Case {
        std::string file;
        std::int32_t runs, rows;  // 0 runs: refused
        const char* said;         // a note, or in the refusal
    };
    const Case cases[] = {
        {"pulse.trc", 1, 502, "instrument: LECROYWR64Xi-A"},
        {"pulse_sequence.trc", 20, 502, "segments: 20"},
        {"header_filled.trc", 200, 2002, "trigger time: 2022-10-13 16:29:38"},
        {"header.trc", 0, 0, "declares 800800 bytes of samples"},
        {"cut_samples.trc", 0, 0, "cut short"},
        {"cut_descriptor.trc", 0, 0, "ends inside its waveform descriptor"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = test::PeerOrOwn(peer, c.file, Path(c.file));
        ASSERT_TRUE(LooksLikeLecroyTrc(test::Slurp(path).substr(0, 128), path));
        test::ReadOutcome o;
        test::ReadInto(ReadLecroyTrcFile, path, o);
        const CResultDataRef& d = o.data;
        if (c.runs == 0) {
            test::ExpectRefused(o, c.said);
            EXPECT_EQ(d->VariableCount(), 0);
            continue;
        }
        ASSERT_TRUE(o.read) << o.First();
        EXPECT_TRUE(o.messages.shown.empty());
        EXPECT_NE(o.Said().find(c.said), std::string::npos) << o.Said();
        EXPECT_TRUE(o.Noted("record length: " + std::to_string(c.rows)));
        ASSERT_EQ(d->RunCount(), c.runs);
        for (std::int32_t k = 0; k < c.runs; ++k) {
            const CResultData& run = *d->Run(k);
            ASSERT_EQ(run.RowCount(), c.rows);
            ASSERT_EQ(run.VariableCount(), 2);
            EXPECT_EQ(run.Variable(0)->Name() + " " + run.Variable(0)->Unit(), "Time s");
            EXPECT_EQ(run.Variable(1)->Name() + " " + run.Variable(1)->Unit(), "C2 V");
            // The pulse sits at its segment's own trigger.
            const double* y = run.Variable(1)->Values();
            const double tMax = run.Variable(0)->Values()[std::max_element(y, y + c.rows) - y];
            if (c.file.rfind("pulse", 0) == 0) {
                EXPECT_LT(std::fabs(tMax), 1e-8) << "run " << k;
            }
        }
        if (c.file == "pulse.trc") {
            const double* y = d->Variable(1)->Values();
            EXPECT_NEAR(std::accumulate(y, y + 100, 0.0) / 100, 0.0057997689768671985, 1e-8);
            const double tMax = d->Variable(0)->Values()[std::max_element(y, y + 502) - y];
            EXPECT_NEAR(tMax, 4.254989846811945e-09, 1e-15);
            EXPECT_TRUE(o.Noted("sample interval: 1e-09 s"));
        }
        if (c.file == "pulse_sequence.trc") {
            EXPECT_EQ(d->RunName(0), "segment 1 at 0 s");
            EXPECT_EQ(d->RunName(1).rfind("segment 2 at 0.00745", 0), 0u) << d->RunName(1);
            // Each segment starts where its own trigger puts it.
            EXPECT_NE(d->Run(0)->Variable(0)->Values()[0], d->Run(1)->Variable(0)->Values()[0]);
        }
    }
}

}  // namespace
}  // namespace kurvex
