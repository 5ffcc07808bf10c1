#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/CliCommands.h"

namespace kurvex::cli {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Drain(std::FILE* f) {
    std::rewind(f);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
}

CliRun Cli(const std::vector<std::string>& args) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    CliRun r;
    r.status = RunCli(args, out, err);
    r.out = Drain(out);
    r.err = Drain(err);
    return r;
}

fs::path Scratch(const char* name, const std::string& text) {
    const fs::path dir = fs::temp_directory_path() / "kurvex-cli-test";
    fs::create_directories(dir);
    const fs::path p = dir / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
}

const std::string kExamples = KURVEX_EXAMPLES_DIR;

TEST(Cli, InfoJsonReadsBackExactly) {
    const fs::path p = Scratch("info.txt", "Time V\n0 0.1\n1 0.30000000000000004\n2 -1e-300\n");
    CliRun r = Cli({"info", p.string(), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "{\"file\": \"" + p.string() +
                  "\", \"rows\": 3, \"uniform_x\": true, \"bad_points\": false, \"variables\": "
                  "[{\"name\": \"Time\", \"min\": 0, \"max\": 2}, {\"name\": \"V\", \"min\": "
                  "-1e-300, \"max\": 0.30000000000000004}]}\n");
    CliRun text = Cli({"info", p.string()});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("rows: 3"), std::string::npos);
    EXPECT_NE(text.out.find("uniform_x: yes"), std::string::npos);
}

TEST(Cli, ReaderFailuresGoToStderrWithStatusOne) {
    CliRun bad = Cli({"info", Scratch("bad.txt", "T V\n0 x\n").string(), "--json"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "Invalid file\n");

    CliRun empty = Cli({"info", Scratch("empty.txt", "Time V\n").string()});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.out, "");
    EXPECT_NE(empty.err.find("no data line"), std::string::npos);

    CliRun dir = Cli({"info", fs::temp_directory_path().string()});
    EXPECT_EQ(dir.status, 1);
    EXPECT_NE(dir.err.find("Is a directory"), std::string::npos);
}

TEST(Cli, UsageErrorsAreOneLineWithStatusTwo) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"info"},
             {"info", "/no/such/file.txt"},
             {"info", kExamples + "/buck.txt", "--bogus"},
             {"convert", kExamples + "/buck.txt"},
             {"convert", kExamples + "/buck.txt", "-o"},
             {"convert", kExamples + "/buck.txt", "-o", "x.dat"},
             {"convert", kExamples + "/buck.txt", "-o", "-", "--format", "xls"},
             {"frobnicate"}}) {
        CliRun r = Cli(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--help"}, {"info", "--help"}, {"convert", "-h"}}) {
        CliRun r = Cli(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("Usage: kurvex-cli"), std::string::npos);
    }
}

TEST(Cli, ConvertPicksFormatFromExtensionOrOption) {
    const fs::path in = Scratch("conv.txt", "Time V\n0 1.5\n0.5 MISSING\n");
    CliRun csv = Cli({"convert", in.string(), "-o", "-", "--format=csv"});
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out, "Time,V\r\n0,1.5\r\n0.5,MISSING\r\n");
    CliRun tsv = Cli({"convert", in.string(), "--format", "tsv", "-o", "-"});
    EXPECT_EQ(tsv.out, "Time\tV\r\n0\t1.5\r\n0.5\tMISSING\r\n");

    const fs::path outCsv = in.parent_path() / "out.csv";
    fs::remove(outCsv);
    ASSERT_EQ(Cli({"convert", in.string(), "-o", outCsv.string()}).status, 0);
    std::stringstream s;
    s << std::ifstream(outCsv, std::ios::binary).rdbuf();
    EXPECT_EQ(s.str(), csv.out);

    // A fixed-width file converts back to the same values.
    const fs::path outTxt = in.parent_path() / "round.txt";
    ASSERT_EQ(
        Cli({"convert", (fs::path(kExamples) / "buck.txt").string(), "-o", outTxt.string()}).status,
        0);
    CliRun a = Cli({"info", (fs::path(kExamples) / "buck.txt").string(), "--json"});
    CliRun b = Cli({"info", outTxt.string(), "--json"});
    EXPECT_EQ(a.out.substr(a.out.find("\"rows\"")), b.out.substr(b.out.find("\"rows\"")));

    // A failed conversion leaves an existing output alone.
    const fs::path keep = Scratch("keep.csv", "precious");
    EXPECT_EQ(
        Cli({"convert", Scratch("broken.txt", "T V\n0 x\n").string(), "-o", keep.string()}).status,
        1);
    std::stringstream k;
    k << std::ifstream(keep, std::ios::binary).rdbuf();
    EXPECT_EQ(k.str(), "precious");
}

TEST(Cli, EvalWritesXAndTheFormulaAsCsv) {
    const fs::path in = Scratch("eval.txt", "Time V\n0 4\n0.5 -1\n1 MISSING\n");
    CliRun r = Cli({"eval", in.string(), "sqrt(v)+INT(1)"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Time,sqrt(v)+INT(1)\r\n0,2.5\r\n0.5,NAN\r\n1,1.5\r\n");

    // A formula that starts with "-" follows "--"; -o writes a file.
    const fs::path outCsv = in.parent_path() / "eval-out.csv";
    fs::remove(outCsv);
    ASSERT_EQ(Cli({"eval", in.string(), "-o", outCsv.string(), "--", "-V^2"}).status, 0);
    std::stringstream s;
    s << std::ifstream(outCsv, std::ios::binary).rdbuf();
    EXPECT_EQ(s.str(), "Time,-V^2\r\n0,16\r\n0.5,1\r\n1,0\r\n");
}

TEST(Cli, EvalRejectsAFormulaWithItsPosition) {
    const fs::path in = Scratch("eval2.txt", "Time V\n0 4\n0.5 -1\n");
    const fs::path keep = Scratch("eval-keep.csv", "precious");
    struct Case {
        std::vector<std::string> args;
        const char* err;
    };
    const Case cases[] = {
        {{"eval", in.string(), " v)"}, "error at 1: Unmatched closing parenthesis.\n"},
        {{"eval", in.string(), "V>0", "-o", keep.string()}, "error at 1: Invalid entry.\n"},
        {{"eval", in.string(), "--", "-SIN(V)"}, "error at 0: Invalid formula.\n"},
        {{"eval", in.string(), "(V"}, "error at 0: Unmatched parenthesis.\n"},
        {{"eval", Scratch("eval1.txt", "Time V\n0 4\n").string(), "V"}, "error at 0: \n"},
    };
    for (const Case& c : cases) {
        CliRun r = Cli(c.args);
        EXPECT_EQ(r.status, 1) << c.args[2];
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
    }
    std::stringstream k;
    k << std::ifstream(keep, std::ios::binary).rdbuf();
    EXPECT_EQ(k.str(), "precious");

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"eval", in.string()}, {"eval", in.string(), "-V"}, {"eval", "/no/such.txt", "V"}}) {
        CliRun r = Cli(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
    }
    CliRun help = Cli({"eval", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: kurvex-cli eval FILE FORMULA"), std::string::npos);
}

TEST(Cli, ConvertToBothBinaryFormatsReadsBackTheSame) {
    const std::string buck = (fs::path(kExamples) / "buck.txt").string();
    const CliRun want = Cli({"info", buck, "--json"});
    const fs::path dir = fs::temp_directory_path() / "kurvex-cli-test";
    for (const auto& [name, format] : std::vector<std::pair<std::string, std::string>>{
             {"buck.kfd", ""}, {"buck7.bin", "kfd7"}, {"box.bin", "kfd"}}) {
        const fs::path out = dir / name;
        fs::remove(out);
        std::vector<std::string> args = {"convert", buck, "-o", out.string()};
        if (!format.empty()) args.insert(args.end(), {"--format", format});
        ASSERT_EQ(Cli(args).status, 0) << name;
        const CliRun got = Cli({"info", out.string(), "--json"});
        ASSERT_EQ(got.status, 0) << got.err;
        EXPECT_EQ(got.out.substr(got.out.find("\"rows\"")),
                  want.out.substr(want.out.find("\"rows\"")))
            << name;
        // And back to text: the same columns as converting the text directly.
        EXPECT_EQ(Cli({"convert", out.string(), "-o", "-", "--format", "csv"}).out,
                  Cli({"convert", buck, "-o", "-", "--format", "csv"}).out);
    }
    EXPECT_EQ(Cli({"convert", buck, "-o", "-", "--format", "kfd"}).status, 2);
}

TEST(Cli, MergeWritesTheMergedDataSet) {
    const fs::path a = Scratch("a.txt", "Time V\n0 1\n1 2\n2 3\n");
    const fs::path b = Scratch("run2.txt", "time V W\n0.5 10 20\n1 30 40\n");
    CliRun r = Cli({"merge", a.string(), b.string(), "-o", "-", "--format", "csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Time,V,V_(run2),W\r\n0,1,MISSING,MISSING\r\n0.5,MISSING,10,20\r\n1,2,30,40\r\n"
              "2,3,MISSING,MISSING\r\n");
    r = Cli({"merge", a.string(), b.string(), "-o", "-", "--format", "csv", "--suffix", "x"});
    EXPECT_NE(r.out.find("V_(x)"), std::string::npos);
    const fs::path f = Scratch("f.txt", "Freq A\n1 2\n3 4\n");
    r = Cli({"merge", a.string(), f.string(), "-o", "-"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Error: When merging files, the name of the first column of both files must be the "
              "same.\n");
    EXPECT_EQ(Cli({"merge", a.string(), "-o", "-"}).status, 2);
}

TEST(Cli, MeasurePrintsExtremaAveragesAndEveryCrossing) {
    // X runs up, back and up again: X = 1.5 is passed three times.
    const fs::path f = Scratch("zigzag.txt", "X V\n0 0\n1 10\n2 20\n1 30\n0 40\n1 50\n2 60\n");
    CliRun r = Cli({"measure", f.string(), "v", "--at", "1.5", "--at", "9", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        r.out,
        "{\"max\": {\"index\": 6, \"x\": 2, \"y\": 60}, \"min\": {\"index\": 0, \"x\": 0, "
        "\"y\": 0}, \"avg\": 30, \"avg_abs\": 30, \"rms\": 36.055512754639892, \"samples\": 7, "
        "\"at\": [[15, 25, 55], []]}\n");
    // A formula works as a name; a range narrows the samples.
    r = Cli({"measure", f.string(), "0-V", "--from", "0", "--to", "2", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    // The range ends where X first reaches 2.
    EXPECT_NE(r.out.find("\"max\": {\"index\": 0, \"x\": 0, \"y\": 0}"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"samples\": 3"), std::string::npos) << r.out;
    EXPECT_EQ(Cli({"measure", f.string(), "Nope"}).status, 1);
    EXPECT_EQ(Cli({"measure", f.string(), "V", "--at", "x"}).status, 2);
    EXPECT_EQ(Cli({"measure", f.string()}).status, 2);
}

TEST(Cli, FftWritesSpectraThatReadBackAsResults) {
    const fs::path out = fs::temp_directory_path() / "kurvex-cli-test" / "three.fft";
    fs::remove(out);
    const std::string input = (fs::path(kExamples) / "headerless.txt").string();
    CliRun r = Cli({"fft", input, "--var", "t(1)", "-o", out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    // The header is a comment to the reader; the 50 Hz phase of amplitude 10
    // reads about 10 in its bin.
    CliRun info = Cli({"info", out.string(), "--json"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\"name\": \"T(1)\", \"min\""), std::string::npos) << info.out;
    const size_t max = info.out.find("\"max\": ", info.out.find("T(1)"));
    EXPECT_NEAR(std::atof(info.out.c_str() + max + 7), 10.0, 0.01);

    CliRun csv = Cli({"fft", input, "-o", "-"});
    EXPECT_EQ(csv.status, 2);  // the format comes from the file name
    const fs::path c = out.parent_path() / "three.csv";
    ASSERT_EQ(Cli({"fft", input, "-o", c.string()}).status, 0);
    std::stringstream s;
    s << std::ifstream(c, std::ios::binary).rdbuf();
    EXPECT_EQ(s.str().substr(0, 34), "Order,Frequency,T(1),T(2),T(3)\r\n  ");
    EXPECT_EQ(Cli({"fft", input, "--from", "0.001", "--to", "0.001", "-o", c.string()}).status, 1);
    EXPECT_EQ(Cli({"fft", input, "--var", "nope", "-o", c.string()}).status, 1);
}

}  // namespace
}  // namespace kurvex::cli
