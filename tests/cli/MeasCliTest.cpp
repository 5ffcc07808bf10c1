#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "cli/CliTestSupport.h"
#include "cli/ExitStatus.h"

namespace kurvex::cli {
namespace {

using clitest::Cli;
using clitest::CliRun;
using clitest::Expect;
using clitest::Scratch;

TEST(MeasCli, RefusesBadCallsAndScriptsBeforeMeasuring) {
    const std::string data = Scratch("meas-line.txt", "Time V\n0 1\n1 4\n2 7\n").string();
    const std::string script = Scratch("ok.meas", ".meas tran lin AVG V\n").string();
    const std::string nul = Scratch("nul.meas", std::string(".meas tran a AVG V\n\0", 20)).string();
    const std::string missing = (test::ProcessDir() / "cli" / "missing.meas").string();
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {{"meas", data, missing}, kExitUsage, "no such file: " + missing},
        {{"meas", data}, kExitUsage, "meas needs a FILE and a SCRIPT"},
        {{"meas", data, script, "--json", "--csv"}, kExitUsage, "one at a time"},
        {{"meas", data, script, "--run", "2"}, kExitUsage, "there is no run 2"},
        {{"meas", data, nul}, kExitFailed, "NUL"},
    };
    for (const auto& c : cases) clitest::ExpectRefused(c.args, c.status, c.says);
    // A statement without a name is a syntax error at its line.
    const std::string bad = Scratch("bad.meas", "* the name is missing\n.meas tran\n").string();
    const CliRun r = Expect({"meas", data, bad}, kExitFailed);
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(r.err.rfind(bad + ":2:", 0), 0u) << r.err;
    char* end = nullptr;
    EXPECT_GE(std::strtol(r.err.c_str() + bad.size() + 3, &end, 10), 1) << r.err;
    EXPECT_EQ(std::string(end).substr(0, 2), ": ") << r.err;
}

TEST(MeasCli, MeasuresARunAndNamesWhatItLeavesOut) {
    const std::string data = Scratch("meas-line.txt", "Time V\n0 1\n1 4\n2 7\n").string();
    // V = 1 + 3 t over [0, 2]: its average is 4; it passes 2.5 at 0.5 and 5.5 at 1.5.
    const std::string script =
        Scratch("one.meas",
                ".meas tran lin AVG V\n.meas noise nz INTEG onoise_spectrum\n"
                ".meas tran tt TRIG V VAL=2.5 RISE=1 TARG V VAL=5.5 RISE=1\n")
            .string();
    const CliRun r = Expect({"meas", data, script});
    EXPECT_EQ(r.out,
              "lin = 4.000000e+00\ntt = 1.000000e+00 targ= 1.500000e+00 trig= 5.000000e-01\n");
    EXPECT_EQ(r.err.rfind(script + ":2: nz: not supported: ", 0), 0u) << r.err;
}

TEST(MeasCli, PrintsEveryRunInEachFormat) {
    const std::string data = clitest::TwoRuns();
    const std::string script =
        Scratch("runs.meas",
                ".meas tran vavg AVG V\n.meas tran vmax MAX V\n.meas tran late AVG V FROM=5 TO=6\n")
            .string();
    const struct {
        std::vector<std::string> options;
        std::string out;
    } cases[] = {
        {{}, "vavg = 1.050000e+01\nvmax = 1.100000e+01 at= 1.000000e+00\nlate: failed: "},
        {{"--runs", "--csv"},
         "run,name,vavg,vmax,late\r\n1,Run 1,10.5,11,\r\n2,Run 2,20.5,21,\r\n"},
        {{"--run", "2", "--json"},
         "{\"runs\": [{\"run\": 2, \"name\": \"Run 2\", \"measures\": {\"vavg\": {\"value\": "
         "20.5}, "
         "\"vmax\": {\"value\": 21, \"at\": 1}, \"late\": {\"error\": \""},
        {{"--runs"},
         "Measurement: vavg\nrun\tname\tvalue\n1\tRun 1\t1.050000e+01\n2\tRun 2\t2.050000e+01\n\n"
         "Measurement: vmax\nrun\tname\tvalue\tat\n1\tRun 1\t1.100000e+01\t1.000000e+00\n"
         "2\tRun 2\t2.100000e+01\t1.000000e+00\n\nMeasurement: late\nrun\tname\tvalue\n1\tRun "
         "1\tfailed: "},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"meas", data, script};
        args.insert(args.end(), c.options.begin(), c.options.end());
        // A failure's reason is the engine's: the output is compared up to it.
        EXPECT_EQ(Expect(args).out.substr(0, c.out.size()), c.out);
    }
    // -o writes the same as standard output.
    const std::string out = (test::ProcessDir() / "cli" / "meas.csv").string();
    Expect({"meas", data, script, "--runs", "--csv", "-o", out});
    EXPECT_EQ(test::Slurp(out), Cli({"meas", data, script, "--runs", "--csv"}).out);
}

}  // namespace
}  // namespace kurvex::cli
