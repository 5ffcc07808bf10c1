#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliTestSupport.h"

namespace kurvex::cli {
namespace {

namespace fs = std::filesystem;

using clitest::Cli;
using clitest::CliRun;

const std::string kSpice = KURVEX_SPICE_DIR;

TEST(RawCli, PlotOptionReachesEveryPlotOfARawFile) {
    const std::string batch = kSpice + "/rc_batch.raw";
    CliRun second = Cli({"info", batch, "--plot", "2", "--json"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_NE(second.out.find("\"rows\": 69"), std::string::npos) << second.out;
    EXPECT_NE(
        second.out.find("\"plot\": 2, \"plots\": [{\"name\": \"AC Analysis\", \"complex\": "
                        "true, \"variables\": 4, \"points\": 21}, {\"name\": \"Transient "
                        "Analysis\", \"complex\": false, \"variables\": 4, \"points\": 69}]}"),
        std::string::npos)
        << second.out;
    CliRun first = Cli({"info", batch});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("rows: 21\n"), std::string::npos);
    EXPECT_NE(first.out.find("plot: 1 of 2\n  1 AC Analysis: complex, 4 variables, 21 points\n"),
              std::string::npos)
        << first.out;

    // The converted plot reads back with the same names and extents.
    const fs::path csv = test::ProcessDir() / "rawcli-ac.csv";
    ASSERT_EQ(Cli({"convert", batch, "--plot", "1", "-o", csv.string()}).status, 0);
    CliRun back = Cli({"info", csv.string()});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_NE(back.out.find("rows: 21\nuniform_x: no\nbad_points: no\nvariables: 7\n"),
              std::string::npos)
        << back.out;
    EXPECT_NE(back.out.find("  amp(v(out))          min -35.96"), std::string::npos) << back.out;

    struct Refusal {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const std::string text = kSpice + "/rc_tran_ref.txt";
    for (const Refusal& r :
         {Refusal{{"info", batch, "--plot", "3"}, 1, "The file holds 2 plots: there is no plot 3."},
          Refusal{{"convert", batch, "--plot", "3", "-o", "-"}, 1, "there is no plot 3"},
          Refusal{{"info", text, "--plot", "2"}, 1, "The file holds 1 plot: there is no plot 2."},
          Refusal{{"info", batch, "--plot", "0"}, 2, "--plot wants a plot number from 1"},
          Refusal{{"convert", batch, "--plot", "1x", "-o", "-"}, 2, "--plot wants"}}) {
        CliRun run = Cli(r.args);
        EXPECT_EQ(run.status, r.status) << r.args[3];
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(r.says), std::string::npos) << run.err;
    }
}

TEST(RawCli, EveryCommandReadsRawFiles) {
    const std::string tran = kSpice + "/rc_tran.raw";
    const std::string out = (test::ProcessDir() / "rawcli-out.csv").string();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"measure", tran, "v(out)", "--at", "1e-4"},
             {"fft", tran, "--var", "v(out)", "-o", out},
             {"merge", tran, kSpice + "/rc_tran_ascii.raw", "-o", out},
             {"eval", tran, "v(out)-v(in)"}}) {
        CliRun r = Cli(args);
        EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
        EXPECT_EQ(r.err, "") << args[0];
        // v(out) = 1 - exp(-t / RC) nearly, with RC = 100 us.
        if (args[0] == "measure") {
            EXPECT_NE(r.out.find("at 0.0001: 0.630"), std::string::npos) << r.out;
        }
    }
}

// Other programs' formats: units and what the reader noted come out in both
// forms of info, and convert carries a record over into a MATLAB file.
TEST(RawCli, InfoShowsUnitsAndNotesOfOtherProgramsFiles) {
    const std::string record = std::string(KURVEX_COMTRADE_DIR) + "/hand.cfg";
    const std::string mat = std::string(KURVEX_MAT_DIR) + "/mixed5.mat";
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
             Case{{"info", mat}, {"note: Not read: cell arrays c; strings s; structures st.\n"}},
             Case{{"info", kSpice + "/rc_tran.raw", "--json"}, {"}]}\n"}},  // none: no key
         }) {
        CliRun r = Cli(c.args);
        ASSERT_EQ(r.status, 0) << c.args[1] << ": " << r.err;
        EXPECT_EQ(r.err, "");
        for (const std::string& s : c.says) EXPECT_NE(r.out.find(s), std::string::npos) << r.out;
    }
    const std::string out = (test::ProcessDir() / "rawcli-record.mat").string();
    ASSERT_EQ(Cli({"convert", record, "-o", out}).status, 0);
    CliRun back = Cli({"info", out});
    EXPECT_NE(back.out.find("  IA (A)               min 0                  max 27\n"),
              std::string::npos)
        << back.out;
}

}  // namespace
}  // namespace kurvex::cli
