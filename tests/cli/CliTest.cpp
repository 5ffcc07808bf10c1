#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "cli/CliCommands.h"
#include "cli/CliTestSupport.h"
#include "data/formats/BlockContainerFile.h"
#include "data/formats/SettingsDataFile.h"

namespace kurvex::cli {
namespace {

namespace fs = std::filesystem;

using clitest::Cli;
using clitest::CliRun;
using clitest::Expect;
using clitest::ExpectRefused;
using clitest::Has;
using clitest::Scratch;
using test::Slurp;

const std::string kExamples = KURVEX_EXAMPLES_DIR;

TEST(Cli, InfoJsonReadsBackExactly) {
    const fs::path p = Scratch("info.txt", "Time V\n0 0.1\n1 0.30000000000000004\n2 -1e-300\n");
    const CliRun r = Expect({"info", p.string(), "--json"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "{\"file\": \"" + p.string() +
                  "\", \"rows\": 3, \"uniform_x\": true, \"bad_points\": false, \"variables\": "
                  "[{\"name\": \"Time\", \"min\": 0, \"max\": 2}, {\"name\": \"V\", \"min\": "
                  "-1e-300, \"max\": 0.30000000000000004}], \"runs\": [{\"name\": \"\", \"rows\": "
                  "3}]}\n");
}

TEST(Cli, ReaderFailuresGoToStderrWithStatusOne) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"info", Scratch("bad.txt", "T V\n0 x\n").string(), "--json"}, "Invalid file\n"},
        {{"info", Scratch("empty.txt", "Time V\n").string()}, "no data line"},
        // A pipe or a device gives its first bytes once: they would be missing
        // from the read that follows the format's test.
        {{"info", "/dev/null"}, "it is not a regular file"},
    };
    for (const auto& [args, says] : cases) ExpectRefused(args, 1, says);
}

TEST(Cli, UsageErrorsAreOneLineWithStatusTwo) {
    const std::string f = Scratch("usage.txt", "Time G\n0 0\n1 1\n").string();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"measure", f, "G", "--cycles", "--edges"},
             {"measure", f, "G", "--cycles", "--at", "1"},
             {"measure", f, "G", "--ref", "G"},
             {"measure", f, "G", "--low", "1"},
             {"measure", f, "G", "--cycles", "--hysteresis", "-1"},
             {"measure", f, "G", "--cycles", "--level", "x"},
             {"measure", f, "G", "--figure", "nope"},
             {"measure", f, "G", "--figure", "cursor1"},
             {"measure", f, "G", "--figure", "value_at"},
             {"measure", f, "G", "--figure", "dead_time_to"},
             {"measure", f, "G", "--figure", "avg", "--cycles"},
             {"measure", f, "G", "--with", "G"},
             {"fft", f, "--thd"},
             {"fft", f, "--var", "G", "--window", "kaiser", "-o", "x.fft"},
             {"fft", f, "--var", "G", "--json", "-o", "x.fft"},
             {"fft", f, "--var", "G", "--thd", "-o", "-"},
             {"info", "/no/such/file.txt"},
             {"convert", kExamples + "/buck.txt"},
             {"convert", kExamples + "/buck.txt", "-o", "x.dat"},
             {"convert", kExamples + "/buck.txt", "-o", "-", "--format", "xls"},
             {"eval", kExamples + "/buck.txt"},
             {"frobnicate"}}) {
        const CliRun r = Expect(args, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    // Each command's own help is the command table's test.
    EXPECT_TRUE(Has(Expect({"--help"}).out, "Usage: kurvex-cli"));
}

TEST(Cli, ConvertPicksFormatFromExtensionOrOption) {
    const fs::path in = Scratch("conv.txt", "Time V\n0 1.5\n0.5 MISSING\n");
    const CliRun csv = Expect({"convert", in.string(), "-o", "-", "--format=csv"});
    EXPECT_EQ(csv.out, "Time,V\r\n0,1.5\r\n0.5,MISSING\r\n");

    const fs::path outCsv = in.parent_path() / "out.csv";
    fs::remove(outCsv);
    Expect({"convert", in.string(), "-o", outCsv.string()});
    EXPECT_EQ(Slurp(outCsv), csv.out);

    // A failed conversion leaves an existing output alone.
    const fs::path keep = Scratch("keep.csv", "precious");
    Expect({"convert", Scratch("broken.txt", "T V\n0 x\n").string(), "-o", keep.string()}, 1);
    EXPECT_EQ(Slurp(keep), "precious");
}

TEST(Cli, ConvertOfSeveralRunsWritesRunOneAndSaysTheOthersWereNot) {
    // Two runs: the least that loses one.
    const std::string in = clitest::TwoRuns();
    const CliRun r = Expect({"convert", in, "-o", "-", "--format", "csv"});
    EXPECT_EQ(r.out, "time,V\r\n0,10\r\n1,11\r\n");
    EXPECT_EQ(r.err, "kurvex-cli: " + in +
                         " holds 2 runs: only run 1 was written (--run K writes another, --runs "
                         "every one)\n");
}

TEST(Cli, EvalWritesTheFormulaOrItsErrorAndDashDashEndsOptions) {
    const std::string in = Scratch("dash.txt", "Time V\n0 4\n0.5 -1\n").string();
    const std::string gap = Scratch("eval.txt", "Time V\n0 4\n0.5 -1\n1 MISSING\n").string();
    const std::string keep = Scratch("eval-keep.csv", "precious").string();
    const std::string minusV = "Time,-V\r\n0,-4\r\n0.5,1\r\n", v = "Time,V\r\n0,4\r\n0.5,-1\r\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    };
    const Case cases[] = {
        {{"eval", gap, "sqrt(v)+INT(1)"},
         0,
         "Time,sqrt(v)+INT(1)\r\n0,2.5\r\n0.5,NAN\r\n1,1.5\r\n",
         ""},
        {{"eval", in, "-V"}, 0, minusV, ""},
        {{"eval", in, "-h"}, 1, "", "error at 1: Invalid entry.\n"},  // the formula -H
        {{"eval", in, "-o", "-", "V"}, 0, v, ""},  // an option, since V fills the place
        {{"eval", in, "-o", "-", "--", "-V"}, 0, minusV, ""},
        {{"info", "--", in, "--json"},
         2,
         "",
         "kurvex-cli: info needs exactly one FILE (see kurvex-cli --help)\n"},
        // A rejected formula: its error and where it lies in the formula.
        {{"eval", in, "V>0", "-o", keep}, 1, "", "error at 1: Invalid entry.\n"},
        {{"eval", Scratch("eval1.txt", "Time V\n0 4\n").string(), "V"}, 1, "", "error at 0: \n"},
    };
    for (const Case& c : cases) {
        const CliRun r = Expect(c.args, c.status);
        EXPECT_EQ(r.err, c.err) << c.args[2];
        EXPECT_EQ(r.out, c.out) << c.args[2];
    }
    EXPECT_EQ(Slurp(keep), "precious");
    // --help before FILE still asks for help.
    EXPECT_TRUE(Has(Cli({"eval", "--help", in}).out, "Usage: kurvex-cli eval"));
    // -o writes a file.
    const fs::path outCsv = test::ProcessDir() / "cli" / "eval-out.csv";
    fs::remove(outCsv);
    Expect({"eval", gap, "-o", outCsv.string(), "--", "-V^2"});
    EXPECT_EQ(Slurp(outCsv), "Time,-V^2\r\n0,16\r\n0.5,1\r\n1,0\r\n");
}

// Each --format reaches its own writer, told apart by the first bytes it writes; a name in
// Windows-1252 keeps its bytes.
TEST(Cli, EachFormatGoesToItsWriter) {
    const std::string in = Scratch("formats.txt", "Time \xB5V\n0 1.5\n1 -2\n").string();
    const auto magic = [](std::uint32_t m) { return std::string(reinterpret_cast<char*>(&m), 4); };
    const std::pair<const char*, std::string> cases[] = {
        {"txt", "  Time  "},
        {"tsv", "Time\t\xB5V\r\n"},
        {"csv", "Time,\xB5V\r\n"},
        {"kfd", magic(kBlockContainerMagic)},
        {"kfd7", magic(kSettingsDataMagic)},
        {"mat", "MATLAB 5.0 MAT-file"},
    };
    for (const auto& [format, head] : cases) {
        const fs::path out = test::ProcessDir() / "cli" / (std::string("written.") + format);
        Expect({"convert", in, "-o", out.string(), "--format", format});
        EXPECT_EQ(Slurp(out).substr(0, head.size()), head) << format;
    }
}

TEST(Cli, MergeWritesTheMergedDataSet) {
    const std::string a = Scratch("a.txt", "Time V\n0 1\n1 2\n2 3\n").string();
    const std::string b = Scratch("run2.txt", "time V W\n0.5 10 20\n1 30 40\n").string();
    EXPECT_EQ(Expect({"merge", a, b, "-o", "-", "--format", "csv"}).out,
              "Time,V,V_(run2),W\r\n0,1,MISSING,MISSING\r\n0.5,MISSING,10,20\r\n1,2,30,40\r\n"
              "2,3,MISSING,MISSING\r\n");
    EXPECT_TRUE(
        Has(Expect({"merge", a, b, "-o", "-", "--format", "csv", "--suffix", "x"}).out, "V_(x)"));
    ExpectRefused({"merge", a, Scratch("f.txt", "Freq A\n1 2\n3 4\n").string(), "-o", "-"}, 1,
                  "Error: When merging files, the name of the first column of both files must be "
                  "the same.\n");
    Expect({"merge", a, "-o", "-"}, 2);
}

TEST(Cli, MeasurePrintsExtremaAveragesAndEveryCrossing) {
    // X runs up, back and up again: X = 1.5 is passed three times.
    const std::string f =
        Scratch("zigzag.txt", "X V\n0 0\n1 10\n2 20\n1 30\n0 40\n1 50\n2 60\n").string();
    EXPECT_EQ(
        Expect({"measure", f, "v", "--at", "1.5", "--at", "9", "--json"}).out,
        "{\"max\": {\"index\": 6, \"x\": 2, \"y\": 60}, \"min\": {\"index\": 0, \"x\": 0, "
        "\"y\": 0}, \"avg\": 30, \"avg_abs\": 30, \"rms\": 36.055512754639892, \"samples\": 7, "
        "\"at\": [[15, 25, 55], []]}\n");
    // A formula works as a name; a range, which ends where X first reaches 2, narrows the samples.
    const CliRun r = Expect({"measure", f, "0-V", "--from", "0", "--to", "2", "--json"});
    EXPECT_TRUE(Has(r.out, "\"max\": {\"index\": 0, \"x\": 0, \"y\": 0}"));
    EXPECT_TRUE(Has(r.out, "\"samples\": 3"));
    Expect({"measure", f, "Nope"}, 1);
    Expect({"measure", f, "V", "--at", "x"}, 2);
    Expect({"measure", f}, 2);
}

TEST(Cli, FftWritesSpectraThatReadBackAsResults) {
    const fs::path out = test::FreshDir("cli-fft") / "three.fft";
    const std::string input = (fs::path(kExamples) / "headerless.txt").string();
    Expect({"fft", input, "--var", "t(1)", "-o", out.string()});
    // The header is a comment to the reader; the 50 Hz phase of amplitude 10
    // reads about 10 in its bin.
    const CliRun info = Expect({"info", out.string(), "--json"});
    EXPECT_TRUE(Has(info.out, "\"name\": \"T(1)\", \"min\""));
    const size_t max = info.out.find("\"max\": ", info.out.find("T(1)"));
    EXPECT_NEAR(std::atof(info.out.c_str() + max + 7), 10.0, 0.01);

    Expect({"fft", input, "-o", "-"}, 2);  // the format comes from the file name
    const std::string c = (out.parent_path() / "three.csv").string();
    Expect({"fft", input, "-o", c});
    EXPECT_EQ(Slurp(c).substr(0, 34), "Order,Frequency,T(1),T(2),T(3)\r\n  ");
    Expect({"fft", input, "--from", "0.001", "--to", "0.001", "-o", c}, 1);
    Expect({"fft", input, "--var", "nope", "-o", c}, 1);
}

}  // namespace
}  // namespace kurvex::cli
