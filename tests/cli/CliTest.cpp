#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "analysis/FftPlan.h"
#include "cli/CliCommands.h"
#include "cli/CliTestSupport.h"
#include "data/LtspiceRawWriter.h"
#include "data/document/ResultFile.h"
#include "data/formats/BlockContainerFile.h"
#include "data/platform/NameText.h"
#include "formula/FormulaVariable.h"

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
    const CliRun text = Expect({"info", p.string()});
    EXPECT_TRUE(Has(text.out, "rows: 3"));
    EXPECT_TRUE(Has(text.out, "uniform_x: yes"));
}

TEST(Cli, ReaderFailuresGoToStderrWithStatusOne) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"info", Scratch("bad.txt", "T V\n0 x\n").string(), "--json"}, "Invalid file\n"},
        {{"info", Scratch("empty.txt", "Time V\n").string()}, "no data line"},
        {{"info", test::ProcessDir().string()}, "Is a directory"},
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
             {"fft", f, "--thd", "--var", "G", "--var", "G"},
             {"fft", f, "--var", "G", "--window", "kaiser", "-o", "x.fft"},
             {"fft", f, "--var", "G", "--json", "-o", "x.fft"},
             {"fft", f, "--var", "G", "--thd", "-o", "-"},
             {"info"},
             {"info", "/no/such/file.txt"},
             {"info", kExamples + "/buck.txt", "--bogus"},
             {"convert", kExamples + "/buck.txt"},
             {"convert", kExamples + "/buck.txt", "-o"},
             {"convert", kExamples + "/buck.txt", "-o", "x.dat"},
             {"convert", kExamples + "/buck.txt", "-o", "-", "--format", "xls"},
             {"eval", kExamples + "/buck.txt"},
             {"eval", "/no/such.txt", "V"},
             {"frobnicate"}}) {
        const CliRun r = Expect(args, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    for (const auto& [args, usage] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--help"}, "Usage: kurvex-cli"},
             {{"info", "--help"}, "Usage: kurvex-cli"},
             {{"convert", "-h"}, "Usage: kurvex-cli"},
             {{"eval", "--help"}, "Usage: kurvex-cli eval FILE FORMULA"}}) {
        EXPECT_TRUE(Has(Expect(args).out, usage));
    }
}

TEST(Cli, ConvertPicksFormatFromExtensionOrOption) {
    const fs::path in = Scratch("conv.txt", "Time V\n0 1.5\n0.5 MISSING\n");
    const CliRun csv = Expect({"convert", in.string(), "-o", "-", "--format=csv"});
    EXPECT_EQ(csv.out, "Time,V\r\n0,1.5\r\n0.5,MISSING\r\n");
    EXPECT_EQ(Expect({"convert", in.string(), "--format", "tsv", "-o", "-"}).out,
              "Time\tV\r\n0\t1.5\r\n0.5\tMISSING\r\n");

    const fs::path outCsv = in.parent_path() / "out.csv";
    fs::remove(outCsv);
    Expect({"convert", in.string(), "-o", outCsv.string()});
    EXPECT_EQ(Slurp(outCsv), csv.out);

    // A fixed-width file converts back to the same values.
    const std::string buck = kExamples + "/buck.txt";
    const fs::path outTxt = in.parent_path() / "round.txt";
    Expect({"convert", buck, "-o", outTxt.string()});
    const CliRun a = Expect({"info", buck, "--json"});
    const CliRun b = Expect({"info", outTxt.string(), "--json"});
    EXPECT_EQ(a.out.substr(a.out.find("\"rows\"")), b.out.substr(b.out.find("\"rows\"")));

    // A failed conversion leaves an existing output alone.
    const fs::path keep = Scratch("keep.csv", "precious");
    Expect({"convert", Scratch("broken.txt", "T V\n0 x\n").string(), "-o", keep.string()}, 1);
    EXPECT_EQ(Slurp(keep), "precious");
}

TEST(Cli, ConvertOfSeveralRunsWritesRunOneAndSaysTheOthersWereNot) {
    // A stepped file of two runs of two rows: v = 10 K + row. Two is the least
    // that loses a run.
    const test::LtspiceLayout layout{{"time", "v"}, 4, false, true, false, true};
    const std::string in =
        Scratch("sweep.raw",
                test::LtspiceRaw(layout,
                                 [](auto v, auto p) {
                                     return std::complex<double>(v ? 10.0 * (p / 2 + 1) + p % 2
                                                                   : double(p % 2));
                                 }))
            .string();
    const CliRun r = Expect({"convert", in, "-o", "-", "--format", "csv"});
    EXPECT_EQ(r.out, "time,v\r\n0,10\r\n1,11\r\n");
    EXPECT_EQ(r.err, "kurvex-cli: " + in +
                         " holds 2 runs: only run 1 was written (--run K writes another, --runs "
                         "every one)\n");
}

TEST(Cli, EvalWritesTheFormulaOrItsErrorAndDashDashEndsOptions) {
    const std::string in = Scratch("dash.txt", "Time V\n0 4\n0.5 -1\n").string();
    const std::string gap = Scratch("eval.txt", "Time V\n0 4\n0.5 -1\n1 MISSING\n").string();
    const std::string keep = Scratch("eval-keep.csv", "precious").string();
    // measure's curve -V: its maximum, 1, at the second row.
    const std::string measured =
        "{\"max\": {\"index\": 1, \"x\": 0.5, \"y\": 1}, \"min\": {\"index\": 0, \"x\": 0, "
        "\"y\": -4}, \"avg\": -1.5, \"avg_abs\": 2.5, \"rms\": 2.9154759474226504, \"samples\": 2, "
        "\"at\": []}\n";
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
        {{"eval", in, "-2^2"}, 0, "Time,-2^2\r\n0,4\r\n0.5,4\r\n", ""},
        {{"eval", in, "-h"}, 1, "", "error at 1: Invalid entry.\n"},  // the formula -H
        {{"eval", in, "--help"}, 1, "", "error at 2: Invalid entry.\n"},
        {{"eval", in, "-V", "-o", "-"}, 0, minusV, ""},
        {{"eval", in, "-o", "-", "V"}, 0, v, ""},  // an option, since V fills the place
        {{"eval", in, "-o", "-", "--", "-V"}, 0, minusV, ""},
        {{"eval", "--", in, "-V"}, 0, minusV, ""},
        {{"measure", in, "--json", "-V"}, 0, measured, ""},
        {{"measure", in, "-V", "--json"}, 0, measured, ""},
        {{"convert", "-o", "-", "--format", "csv", "--", in}, 0, v, ""},
        {{"info", "--", in, "--json"},
         2,
         "",
         "kurvex-cli: info needs exactly one FILE (see kurvex-cli --help)\n"},
        // A rejected formula: its error and where it lies in the formula.
        {{"eval", in, " v)"}, 1, "", "error at 1: Unmatched closing parenthesis.\n"},
        {{"eval", in, "V>0", "-o", keep}, 1, "", "error at 1: Invalid entry.\n"},
        {{"eval", in, "--", "-SIN(V)"}, 1, "", "error at 0: Invalid formula.\n"},
        {{"eval", in, "(V"}, 1, "", "error at 0: Unmatched parenthesis.\n"},
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

// A data set "%g" cannot hold: X in 1 ns steps near 20 ms (uneven, so the
// binary files keep every sample), full-precision values, a denormal, a valid
// NaN and infinities as a binary file may hold them, missing and invalid
// points, a Windows-1252 name and a UTF-8 one.
CResultDataRef Awkward() {
    CResultDataRef d;
    const int rows = 64;
    d.Initialise(kDataSetPlain, 3, rows, 100);
    d.SetName(0, "Time");
    d.SetName(1, "\xB5V");      // µV in Windows-1252
    d.SetName(2, "I\xC3\x9C");  // IÜ in UTF-8
    for (int r = 0; r < rows; ++r) {
        double v[3] = {0.02 + r * 1e-9 + (r % 3) * 1e-12, 325 * std::sin(r * 0.1),
                       std::cos(r * 0.37) / 3};
        std::uint8_t f[3] = {1, 1, 1};
        const double special[] = {std::nan(""), INFINITY, -INFINITY, 1e-310, -0.0, 1e308};
        if (r >= 3 && r < 9) v[1] = special[r - 3];
        if (r == 9) f[1] = kPointMissing;
        if (r == 10) f[1] = kPointInvalid;
        d.SetRow(r, v, f, 0, 3);
    }
    d->SetBadPoints(1);
    d.UpdateExtents();
    return d;
}

CResultDataRef LoadBack(const fs::path& path) {
    CResultDataRef back;
    test::RecordingMessages messages;
    LoadOptions options;
    options.showWarnings = false;
    EXPECT_TRUE(LoadResultFile(path.string(), back, nullptr, messages, options)) << path;
    return back;
}

// Expects column `got` to hold `want`'s samples: bit for bit, or to ten
// digits; in text a valid sample that is no finite number comes back invalid,
// and where NaN is the only mark (`nanOnly`) so does a missing one.
void ExpectColumn(const CResultVariable& got, const CResultVariable& want, std::int32_t rows,
                  bool text, bool tenDigits, const std::string& where, bool nanOnly = false) {
    for (std::int32_t r = 0; r < rows; ++r) {
        std::uint8_t flag = want.Flags()[r];
        const double w = want.Values()[r];
        if ((text || nanOnly) && flag == kPointValid && !std::isfinite(w)) flag = kPointInvalid;
        if (nanOnly && flag == kPointMissing) flag = kPointInvalid;
        ASSERT_EQ(got.Flags()[r], flag) << where << " row " << r;
        if (flag != kPointValid) continue;
        const double g = got.Values()[r];
        if (tenDigits) {
            ASSERT_LE(std::fabs(g - w), std::fabs(w) * 5e-10) << where << " row " << r;
        } else {
            ASSERT_EQ(std::memcmp(&g, &w, sizeof g), 0) << where << " row " << r << ": " << g;
        }
    }
}

TEST(Cli, EveryWriterReadsBackTheSameDoubles) {
    const CResultDataRef data = Awkward();
    const fs::path dir = test::ProcessDir() / "cli";
    fs::create_directories(dir);
    const fs::path in = dir / "awkward.kfd";
    test::RecordingMessages messages;
    ASSERT_TRUE(WriteBlockContainer(data, in.string(), nullptr, {}, messages));
    const std::int32_t rows = data->RowCount();

    struct Case {
        const char *format, *file;
        bool text, tenDigits;
    };
    // MATLAB files hold names as UTF-16 text and mark bad points only as NaN.
    const auto nanOnly = [](const Case& c) { return std::string(c.format) == "mat"; };
    for (const Case& c :
         {Case{"txt", "rt.txt", true, true}, Case{"tsv", "rt.tsv", true, false},
          Case{"csv", "rt.csv", true, false}, Case{"kfd", "rt.kfd", false, false},
          Case{"kfd7", "rt.bin", false, false}, Case{"mat", "rt.mat", false, false}}) {
        const fs::path out = dir / c.file;
        fs::remove(out);
        ASSERT_EQ(Expect({"convert", in.string(), "-o", out.string(), "--format", c.format}).status,
                  0);
        const CResultDataRef back = LoadBack(out);
        ASSERT_EQ(back->VariableCount(), 3) << c.format;
        ASSERT_EQ(back->RowCount(), rows) << c.format;
        for (int i = 0; i < 3; ++i) {
            // Name bytes come back as they were, whatever their encoding.
            EXPECT_EQ(back->Variable(i)->Name(), nanOnly(c) ? DisplayName(data->Variable(i)->Name())
                                                            : data->Variable(i)->Name())
                << c.format;
            ExpectColumn(*back->Variable(i), *data->Variable(i), rows, c.text, c.tenDigits,
                         std::string(c.format) + " column " + std::to_string(i), nanOnly(c));
        }
    }

    // eval: X and the formula's samples.
    const fs::path evalOut = dir / "rt-eval.csv";
    ASSERT_EQ(Expect({"eval", in.string(), "\xB5v*1", "-o", evalOut.string()}).status, 0);
    const FormulaBuild build = BuildFormulaVariable(data, "\xB5v*1");
    ASSERT_TRUE(build.variable);
    const CResultDataRef evalBack = LoadBack(evalOut);
    ExpectColumn(*evalBack->Variable(0), *data->Variable(0), rows, true, false, "eval X");
    ExpectColumn(*evalBack->Variable(1), *build.variable, rows, true, false, "eval");

    // fft: the spectra of the fixed-width file to ten digits, of the others exactly.
    FftPlan plan;
    const CResultVariable& x = *data->Variable(0);
    ASSERT_TRUE(MakeFftPlan(x, rows, x.Min(), x.Max(), plan));
    const SpectrumResult want = ComputeSpectrum(plan, x, *data->Variable(2), rows, "IU");
    ASSERT_TRUE(want.ok);
    const std::int32_t points = plan.FrequencyPoints();
    for (const char* file : {"rt.fft", "rt-fft.txt", "rt-fft.csv"}) {
        const fs::path out = dir / file;
        ASSERT_EQ(Expect({"fft", in.string(), "--var", "i\xDC", "-o", out.string()}).status, 0);
        const CResultDataRef back = LoadBack(out);
        ASSERT_EQ(back->RowCount(), points) << file;
        const bool fixed = std::string(file) == "rt.fft";
        ExpectColumn(*back->Variable(1), *plan.frequency, points, true, fixed, file);
        ExpectColumn(*back->Variable(2), *want.spectrum, points, true, fixed, file);
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
