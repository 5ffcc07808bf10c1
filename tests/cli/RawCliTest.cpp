#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "analysis/LoopMargins.h"
#include "cli/CliCommands.h"
#include "cli/CliTestSupport.h"
#include "data/LtspiceRawWriter.h"
#include "data/platform/NumberText.h"

namespace kurvex::cli {
namespace {

namespace fs = std::filesystem;

using clitest::Cli;
using clitest::CliRun;
using clitest::Expect;
using clitest::ExpectRefused;
using clitest::Field;
using clitest::Has;

const std::string kSpice = KURVEX_SPICE_DIR;

TEST(RawCli, PlotOptionReachesEveryPlotOfARawFile) {
    const std::string batch = kSpice + "/rc_batch.raw";
    const CliRun second = Expect({"info", batch, "--plot", "2", "--json"});
    EXPECT_TRUE(Has(second.out, "\"rows\": 69"));
    EXPECT_TRUE(Has(second.out,
                    "\"plot\": 2, \"plots\": [{\"name\": \"AC Analysis\", \"complex\": "
                    "true, \"variables\": 4, \"points\": 21}, {\"name\": \"Transient "
                    "Analysis\", \"complex\": false, \"variables\": 4, \"points\": 69}]}"));
    EXPECT_TRUE(Has(Expect({"info", batch}).out,
                    "plot: 1 of 2\n  1 AC Analysis: complex, 4 variables, 21 points\n"));

    // The converted plot reads back with the same names and extents.
    const fs::path csv = test::ProcessDir() / "rawcli-ac.csv";
    Expect({"convert", batch, "--plot", "1", "-o", csv.string()});
    const CliRun back = Expect({"info", csv.string()});
    EXPECT_TRUE(Has(back.out, "rows: 21\nuniform_x: no\nbad_points: no\nvariables: 7\n"));

    ExpectRefused({"info", batch, "--plot", "3"}, 1, "The file holds 2 plots: there is no plot 3.");
    ExpectRefused({"info", batch, "--plot", "0"}, 2, "--plot wants a plot number from 1");
}

// Every command reads its files through one loader; here one reads a raw file.
TEST(RawCli, MeasureReadsARawFile) {
    const CliRun r = Expect({"measure", kSpice + "/rc_tran.raw", "v(out)", "--at", "1e-4"});
    EXPECT_EQ(r.err, "");
    // v(out) = 1 - exp(-t / RC) nearly, with RC = 100 us.
    EXPECT_TRUE(Has(r.out, "at 0.0001: 0.630"));
}

// Other programs' formats: units and what the reader noted come out in both forms of info.
TEST(RawCli, InfoShowsUnitsAndNotesOfOtherProgramsFiles) {
    const std::string record = std::string(KURVEX_COMTRADE_DIR) + "/hand.cfg";
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> says;
    };
    for (const Case& c : {
             Case{{"info", record},
                  {"  VA (A)               min -4                 max 4                  unit kV\n",
                   "note: Secondary values (primary:secondary): IA (1000:5).\n"}},
             Case{{"info", record, "--json"},
                  {"{\"name\": \"IA (A)\", \"min\": 0, \"max\": 27, \"unit\": \"A\"}",
                   "\"notes\": [\"COMTRADE 1999 record of Hand Station"}},
             Case{{"info", kSpice + "/rc_tran.raw", "--json"}, {"}]}\n"}},  // none: no key
         }) {
        const CliRun r = Expect(c.args);
        EXPECT_EQ(r.err, "");
        for (const std::string& s : c.says) EXPECT_TRUE(Has(r.out, s));
    }
    // A Modelica result's descriptions (the Modelica Standard Library's text of OnePort's v).
    std::string why;
    const fs::path modelica = test::PeerData("bench/modelica-mat", why);
    if (modelica.empty()) GTEST_SKIP() << why;
    const std::string chua = (modelica / "ChuaCircuit_Dymola.mat").string();
    const std::string text = Cli({"info", chua}).out;
    EXPECT_TRUE(Has(text, " unit V  desc Voltage drop between the two pins (= p.v - n.v)\n"));
    const std::string json = Cli({"info", chua, "--json"}).out;
    EXPECT_TRUE(Has(json,
                    "\"unit\": \"V\", \"description\": \"Voltage drop between the two pins "
                    "(= p.v - n.v)\"}"));
}

constexpr std::int32_t kRows[] = {4, 1, 3};

// A stepped LTspice file of three runs and its log: run K (from 1) holds
// Vout = 10 K + r at time r microseconds, r = 0 .. its rows - 1.
fs::path SteppedFile() {
    const fs::path dir = test::ProcessDir() / "runs-cli";
    fs::create_directories(dir);
    std::vector<std::pair<int, int>> points;  // run, row
    for (int k = 0; k < 3; ++k)
        for (int r = 0; r < kRows[k]; ++r) points.emplace_back(k + 1, r);
    const test::LtspiceLayout layout{
        {"time", "Vout"}, static_cast<std::int64_t>(points.size()), false, true, false, true};
    test::Spit(dir / "sweep.raw", test::LtspiceRaw(layout, [&](std::int64_t v, std::int64_t p) {
                   const auto [run, row] = points[static_cast<size_t>(p)];
                   return std::complex<double>(v == 0 ? row * 1e-6 : 10.0 * run + row);
               }));
    test::Spit(dir / "sweep.log", ".step vin=1\n.step vin=2\n.step vin=3\n");
    return dir / "sweep.raw";
}

// measure's plain answer for run K, worked out from the layout above.
std::string MeasureOf(int k) {
    const int last = kRows[k - 1] - 1;
    return Format(
        "\"max\": {\"index\": %d, \"x\": %.17g, \"y\": %.17g}, \"min\": {\"index\": 0, "
        "\"x\": 0, \"y\": %.17g}",
        last, last * 1e-6, 10.0 * k + last, 10.0 * k);
}

// The JSON with every number as "#".
std::string Skeleton(const std::string& json) {
    static const std::regex number(R"((: |\[|, )-?[0-9][0-9.]*(e[-+]?[0-9]+)?)");
    return std::regex_replace(json, number, "$1#");
}

// The margins against their closed forms are the library's tests; here their two forms.
TEST(RawCli, MarginsOfNgspicesLoops) {
    const std::string loop = kSpice + "/loop_two_poles.raw";
    const CliRun json = Expect({"measure", loop, "amp(v(out))", "--margins", "--json"});
    EXPECT_EQ(Skeleton(json.out),
              "{\"gain_crossover\": #, \"phase_margin\": #, \"phase_crossover\": #, "
              "\"gain_margin\": #, \"bandwidth_3db\": #, \"peak\": {\"frequency\": #, \"gain\": "
              "#}, \"crossings\": {\"gain\": [#], \"phase\": [#]}}\n");
    // The phase named outright, a range that leaves out the phase crossover, text.
    const CliRun r = Expect({"measure", loop, "amp(v(out))", "--margins", "--phase",
                             "phase(v(out))", "--from", "10", "--to", "3000"});
    ASSERT_EQ(r.out.rfind("gain crossover: ", 0), 0u) << r.out;
    char* unit = nullptr;
    EXPECT_NEAR(std::strtod(r.out.c_str() + 16, &unit) / Field(json.out, "gain_crossover"), 1.0,
                1e-5);
    EXPECT_EQ(std::string(unit, 4), " Hz\n");
    EXPECT_TRUE(Has(r.out, "\nphase crossover: none\ngain margin: none\n"));

    // A loop that never reaches 0 dB nor -180 degrees has none of those figures.
    const std::string flat = clitest::Scratch("flat.fra",
                                              "Frequency amp(V) phase(V)\n10 -10 -10\n100 -11 -20\n"
                                              "1000 -12 -30\n")
                                 .string();
    EXPECT_EQ(Skeleton(Expect({"measure", flat, "amp(V)", "--margins", "--json"}).out),
              "{\"gain_crossover\": null, \"phase_margin\": null, \"phase_crossover\": null, "
              "\"gain_margin\": null, \"bandwidth_3db\": null, \"peak\": {\"frequency\": #, "
              "\"gain\": #}, \"crossings\": {\"gain\": [], \"phase\": []}}\n");

    // Refused: a frequency that falls back, a gain without a phase.
    const std::string falling = clitest::Scratch("falling.fra",
                                                 "Frequency amp(V) phase(V)\n"
                                                 "10 1 -90\n5 -1 -90\n20 -2 -90\n")
                                    .string();
    ExpectRefused({"measure", falling, "amp(V)", "--margins"}, 1, kNotIncreasingFrequency);
    ExpectRefused({"measure", flat, "phase(V)", "--margins"}, 1, "--phase");
    Expect({"measure", flat, "amp(V)", "--phase", "phase(V)"}, 2);
}

TEST(RunsCli, InfoListsRunsAndMeasureTakesOneOrAll) {
    const std::string file = SteppedFile().string();
    const CliRun json = Expect({"info", file, "--json"});
    EXPECT_TRUE(Has(json.out, "\"rows\": 4,"));
    EXPECT_TRUE(Has(json.out,
                    "\"runs\": [{\"name\": \"vin=1\", \"rows\": 4}, {\"name\": "
                    "\"vin=2\", \"rows\": 1}, {\"name\": \"vin=3\", \"rows\": 3}]"));
    CliRun text = Cli({"info", file});
    EXPECT_TRUE(
        Has(text.out, "runs: 3\n  1 vin=1: 4 rows\n  2 vin=2: 1 rows\n  3 vin=3: 3 rows\n"));

    const CliRun one = Expect({"measure", file, "Vout", "--run", "3", "--json"});
    EXPECT_EQ(one.out.rfind("{" + MeasureOf(3) + ", \"avg\": ", 0), 0u) << one.out;
    const CliRun all = Expect({"measure", file, "Vout", "--runs", "--json"});
    for (int k = 1; k <= 3; ++k) {
        const std::string head =
            Format("{\"run\": %d, \"name\": \"vin=%d\", ", k, k) + MeasureOf(k) + ", \"avg\": ";
        EXPECT_TRUE(Has(all.out, head));
    }
    EXPECT_EQ(all.out.rfind("{\"runs\": [{\"run\": 1, ", 0), 0u);
    EXPECT_EQ(all.out.substr(all.out.size() - 4), "]}]}\n" + 1);
    CliRun plain = Cli({"measure", file, "Vout", "--runs"});
    EXPECT_TRUE(Has(plain.out, "run 2: vin=2\nmax: index 0  x 0  y 20\n"));
}

TEST(RunsCli, RunOptionsRefuseWhatTheFileDoesNotHold) {
    const std::string file = SteppedFile().string();
    ExpectRefused({"measure", file, "Vout", "--run", "4"}, 2, "there is no run 4: ");
    ExpectRefused({"eval", file, "Vout", "--run", "0"}, 2, "--run wants a run number from 1");
    ExpectRefused({"convert", file, "-o", "x.csv", "--run", "1", "--runs"}, 2, "go one at a time");
    ExpectRefused({"convert", file, "-o", "-", "--runs"}, 2, "--runs needs an output file");
}

TEST(RunsCli, ConvertAndEvalWriteEveryRun) {
    const fs::path file = SteppedFile();
    const fs::path dir = test::FreshDir("runs-convert");
    Expect({"convert", file.string(), "-o", (dir / "out.csv").string(), "--runs"});
    for (int k = 1; k <= 3; ++k) {
        const std::string text = test::Slurp(dir / Format("out-%d.csv", k));
        // A header line and one line per row.
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + kRows[k - 1]) << text;
        EXPECT_TRUE(Has(text, Format("\n0,%d", 10 * k)));
    }
    EXPECT_FALSE(fs::exists(dir / "out.csv"));
    Expect({"convert", file.string(), "-o", (dir / "two.txt").string(), "--run", "2"});
    EXPECT_EQ(test::Slurp(dir / "two.txt"),
              Cli({"convert", (dir / "out-2.csv").string(), "-o", "-"}).out);

    const CliRun eval = Expect({"eval", file.string(), "Vout*2", "--runs"});
    // Run 2 is a single point: no X step for a formula.
    EXPECT_EQ(eval.err, "kurvex-cli: run 2 holds fewer than two rows: no formula over it\n");
    EXPECT_EQ(eval.out,
              "run,time,Vout*2\r\n1,0,20\r\n1,1e-06,22\r\n1,2e-06,24\r\n1,3e-06,26\r\n"
              "3,0,60\r\n3,1e-06,62\r\n3,2e-06,64\r\n");
}

}  // namespace
}  // namespace kurvex::cli
