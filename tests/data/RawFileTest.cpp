#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/BinaryTestSupport.h"
#include "data/LtspiceRawWriter.h"
#include "data/document/ResultFile.h"
#include "data/formats/RawFile.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;
using test::LtspiceLayout;
using test::LtspiceRaw;
using test::RecordingMessages;

const fs::path kSpice = KURVEX_SPICE_DIR;

using test::Names;
// The rows of numbers of a table ngspice's wrdata wrote, after its line of names.
std::vector<std::vector<double>> ReadTable(const fs::path& path) {
    std::vector<std::vector<double>> rows;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream row(line);
        std::vector<double> values;
        for (double v; row >> v;) values.push_back(v);
        if (!values.empty()) rows.push_back(values);
    }
    return rows;
}

TEST(RawFile, NgspiceResultsMatchNgspiceOwnTables) {
    const std::vector<std::string> tran = {"time", "v(in)", "v(out)", "i(v1)"};
    const std::vector<std::string> ac = {"Frequency",   "amp(v(in))",    "phase(v(in))",
                                         "amp(v(out))", "phase(v(out))", "amp(i(v1))",
                                         "phase(i(v1))"};
    // The reference tables hold the amplitudes (dB) and phases (degrees) of
    // v(out) and i(v1) as ngspice itself computes them.
    const std::vector<std::string> acTable = {"Frequency", "amp(v(out))", "phase(v(out))",
                                              "amp(i(v1))", "phase(i(v1))"};
    struct Case {
        const char* file;
        std::int32_t plot;
        const char* table;
    };
    for (const Case& c :
         {Case{"rc_tran.raw", 0, "rc_tran_ref.txt"},
          Case{"rc_tran_ascii.raw", 0, "rc_tran_ref.txt"},
          Case{"rc_batch.raw", 1, "rc_tran_ref.txt"}, Case{"rc_ac.raw", 0, "rc_ac_ref.txt"},
          Case{"rc_ac_ascii.raw", 0, "rc_ac_ref.txt"}, Case{"rc_batch.raw", 0, "rc_ac_ref.txt"}}) {
        SCOPED_TRACE(std::string(c.file) + " plot " + std::to_string(c.plot + 1));
        const bool complex = std::string(c.table) == "rc_ac_ref.txt";
        const auto want = ReadTable(kSpice / c.table);
        ASSERT_FALSE(want.empty());
        CResultDataRef data;
        std::vector<RawPlot> plots;
        RecordingMessages messages;
        RawReadOptions options;
        options.plot = c.plot;
        ASSERT_EQ(ReadRawFile((kSpice / c.file).string(), data, plots, messages, options),
                  RawReadResult::Read);
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_EQ(Names(data), complex ? ac : tran);
        ASSERT_EQ(data->RowCount(), static_cast<std::int32_t>(want.size()));
        EXPECT_EQ(data->BadPoints(), 0);
        const std::vector<std::string>& columns = complex ? acTable : tran;
        for (size_t k = 0; k < columns.size(); ++k) {
            const std::int32_t v = data.FindVariable(columns[k].c_str());
            ASSERT_GE(v, 0) << columns[k];
            for (size_t r = 0; r < want.size(); ++r) {
                const double expected = want[r][k];
                ASSERT_NEAR(data->Variable(v)->Values()[r], expected, 1e-12 * std::fabs(expected))
                    << columns[k] << " row " << r;
                ASSERT_EQ(data->Variable(v)->Flags()[r], kPointValid);
            }
        }
        // A source of amplitude 1 and phase 0 is 0 dB at 0 degrees.
        if (complex) {
            EXPECT_EQ(data->Variable(1)->Max(), 0.0);
        }
        if (std::string(c.file) == "rc_batch.raw") {
            // Their names are in RunSources.LikePlotsOfAnNgspiceLoopBecomeRuns.
            ASSERT_EQ(plots.size(), 2u);
            EXPECT_TRUE(plots[0].complex);
            EXPECT_EQ(plots[0].points, 21);
            EXPECT_EQ(plots[1].variables, 4);
        } else {
            EXPECT_EQ(plots.size(), 1u);
        }
    }
}

enum class Text { Bytes, Utf16LE, Utf16LEMark, Utf16BEMark };

std::string Encode(const std::string& text, Text how) {
    if (how == Text::Bytes) return text;
    std::string out;
    if (how == Text::Utf16LEMark) out = "\xFF\xFE";
    if (how == Text::Utf16BEMark) out = "\xFE\xFF";
    for (char c : text) {
        if (how == Text::Utf16BEMark) out += '\0';
        out += c;
        if (how != Text::Utf16BEMark) out += '\0';
    }
    return out;
}

std::string Header(const char* flags, int variables, long long points, const char* names,
                   const char* start = "Binary:\n") {
    return "Title: test deck\nDate: today\nPlotname: Transient Analysis\nFlags: " +
           std::string(flags) + "\nNo. Variables: " + std::to_string(variables) +
           "\nNo. Points: " + std::to_string(points) + "\nVariables:\n" + names + start;
}

constexpr const char* kThree =
    "\t0\ttime\ttime\n\t1\tV(out)\tvoltage\n\t2\tI(L1)\tdevice_current\n";

struct Outcome {
    RawReadResult result;
    CResultDataRef data;
    std::vector<RawPlot> plots;
    RecordingMessages messages;
};

Outcome ReadBytes(const std::string& bytes, std::int32_t plot = 0) {
    Outcome o;
    RawReadOptions options;
    options.plot = plot;
    o.data.Initialise(kDataSetPlain, 1, 3, 100);  // must stay as it is on failure
    o.result = ReadRawBytes(bytes, "deck.raw", o.data, o.plots, o.messages, options);
    return o;
}

// Refused in one message that holds `says`, the data set left as it was.
void ExpectFailed(const Outcome& o, const std::string& says) {
    EXPECT_EQ(o.result, RawReadResult::Failed);
    ASSERT_EQ(o.messages.shown.size(), 1u);
    EXPECT_NE(o.messages.shown[0].first.find(says), std::string::npos) << o.messages.shown[0].first;
    EXPECT_EQ(o.messages.shown[0].second, MessageIcon::Stop);
    EXPECT_EQ(o.data->VariableCount(), 1);
    EXPECT_EQ(o.data->RowCapacity(), 3);
}

TEST(RawFile, ReadsUtf16HeadersAndSinglePrecisionValues) {
    // time, V(out), I(L1) at 3 points; the second time is marked negative as
    // LTspice does, whatever the width of its values.
    const double time[3] = {0.0, 0.5, 1.25};
    const double vout[3] = {1.0, -2.5, 3.0};
    const double il[3] = {0.125, 0.0, -4.0};
    struct Case {
        const char* what;
        Text text;
        int xBytes, valueBytes;
        const char* flags;
    };
    for (const Case& c :
         {Case{"doubles, 8-bit", Text::Bytes, 8, 8, "real"},
          Case{"double X and floats, UTF-16 with mark", Text::Utf16LEMark, 8, 4, "real forward"},
          Case{"floats, UTF-16 without mark", Text::Utf16LE, 4, 4, "real"},
          Case{"doubles, big-endian UTF-16 header", Text::Utf16BEMark, 8, 8, "real"}}) {
        SCOPED_TRACE(c.what);
        std::string bytes = Encode(Header(c.flags, 3, 3, kThree), c.text);
        auto put = [&](double v, int width) {
            width == 8 ? test::Append(bytes, v) : test::Append(bytes, static_cast<float>(v));
        };
        for (int r = 0; r < 3; ++r) {
            put(r == 1 ? -time[r] : time[r], c.xBytes);
            for (double v : {vout[r], il[r]}) put(v, c.valueBytes);
        }
        const Outcome o = ReadBytes(bytes);
        ASSERT_EQ(o.result, RawReadResult::Read)
            << (o.messages.shown.empty() ? std::string() : o.messages.shown[0].first);
        EXPECT_EQ(Names(o.data), (std::vector<std::string>{"time", "V(out)", "I(L1)"}));
        EXPECT_EQ(test::Samples(o.data, 0), std::vector<double>(time, time + 3));
        EXPECT_EQ(test::Samples(o.data, 1), std::vector<double>(vout, vout + 3));
        EXPECT_EQ(test::Samples(o.data, 2), std::vector<double>(il, il + 3));
        EXPECT_EQ(o.data->Variable(1)->Min(), -2.5);
        EXPECT_EQ(o.data->UniformX(), 0);
    }
}

TEST(RawFile, ComplexValuesBecomeAmplitudeAndPhase) {
    // Frequency, v(a) at two points, written as text in UTF-16 and as
    // single-precision binary in 8-bit text; v(a) = 0 has no amplitude in dB.
    const std::string names = "Variables: 0 frequency frequency grid=3\r\n 1 v(a) voltage\r\n";
    const std::string head =
        "Title: ac\r\nPlotname: AC Analysis\r\nFlags: complex\r\nNo. Variables: 2\r\n"
        "No. Points: 2\r\n" +
        names;
    std::string binary = head + "Binary:\r\n";
    for (float f : {10.0f, 0.0f, 0.0f, 1.0f, 100.0f, 0.0f, 0.0f, 0.0f}) test::Append(binary, f);
    const std::string text = Encode(head +
                                        "Values:\r\n 0\t1.0e+01,0.0e+00\r\n\t0.0,1.0\r\n\r\n"
                                        " 1\t1.0e+02,0.0\r\n\t0.0,0.0\r\n",
                                    Text::Utf16LE);
    for (const std::string& bytes : {binary, text}) {
        const Outcome o = ReadBytes(bytes);
        ASSERT_EQ(o.result, RawReadResult::Read);
        EXPECT_EQ(Names(o.data),
                  (std::vector<std::string>{"Frequency", "amp(v(a))", "phase(v(a))"}));
        const CResultVariable* amp = o.data->Variable(1);
        const CResultVariable* phase = o.data->Variable(2);
        EXPECT_EQ(o.data->Variable(0)->Values()[1], 100.0);
        EXPECT_EQ(amp->Values()[0], 0.0);  // |j| = 1
        EXPECT_EQ(amp->Flags()[0], kPointValid);
        EXPECT_DOUBLE_EQ(phase->Values()[0], 90.0);
        EXPECT_EQ(amp->Flags()[1], kPointInvalid);
        EXPECT_EQ(o.data->BadPoints(), 1);
    }
}

TEST(RawFile, ComplexPhaseIsUnwrappedAlongEachSweep) {
    // The frequency falls back at the fourth point, as in a stepped file:
    // there the phase starts again from its principal value.
    const std::vector<double> f = {1, 2, 3, 1, 2}, deg = {170, -170, -150, -170, 170},
                              unwrapped = {170, 190, 210, -170, -190};
    std::string bytes = Header("complex", 2, 5, "\t0\tfrequency\tfrequency\n\t1\tv(a)\tvoltage\n");
    for (std::size_t i = 0; i < f.size(); ++i) {
        for (double v : {f[i], 0.0, std::cos(deg[i] * std::numbers::pi / 180),
                         std::sin(deg[i] * std::numbers::pi / 180)})
            test::Append(bytes, v);
    }
    const Outcome o = ReadBytes(bytes);
    ASSERT_EQ(o.result, RawReadResult::Read);
    for (std::size_t i = 0; i < f.size(); ++i)
        EXPECT_NEAR(o.data->Variable(2)->Values()[i], unwrapped[i], 1e-9) << i;

    // ngspice's two-pole loop passes -180 degrees and ends near -269.
    CResultDataRef loop;
    RecordingMessages messages;
    ASSERT_TRUE(LoadResultFile((kSpice / "loop_two_poles.raw").string(), loop, nullptr, messages));
    const double* phase = loop->Variable(2)->Values();
    for (std::int32_t i = 1; i < loop->RowCount(); ++i)
        ASSERT_LT(std::abs(phase[i] - phase[i - 1]), 10.0) << i;
    EXPECT_NEAR(phase[loop->RowCount() - 1], -269.0, 0.5);

    // The setting off: the principal values, wrapped once past -180 degrees.
    LoadOptions wrapped;
    wrapped.unwrapPhase = false;
    CResultDataRef raw;
    ASSERT_TRUE(
        LoadResultFile((kSpice / "loop_two_poles.raw").string(), raw, nullptr, messages, wrapped));
    int wraps = 0;
    for (std::int32_t i = 0; i < raw->RowCount(); ++i) {
        const double p = raw->Variable(2)->Values()[i];
        EXPECT_TRUE(p > -180.0 && p <= 180.0) << i;
        if (i > 0 && std::abs(p - raw->Variable(2)->Values()[i - 1]) > 180.0) ++wraps;
    }
    EXPECT_EQ(wraps, 1);
}

TEST(RawFile, RefusesHeadersThatDoNotFitTheFile) {
    auto doubles = [](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) test::Append(s, static_cast<double>(i));
        return s;
    };
    const std::string two = "\t0\ttime\ttime\n\t1\tv(x)\tvoltage\n";
    struct Case {
        std::string what;
        std::string bytes;
        const char* says;
        std::int32_t plot = 0;
    };
    std::vector<Case> cases = {
        {"more points claimed than stored", Header("real", 2, 5, two.c_str()) + doubles(6),
         "take 80 bytes as doubles, 60 as a double X and floats or 40 as floats, but 48"},
        {"zeros after every layout", Header("real", 2, 1, two.c_str()) + std::string(24, '\0'),
         "take 16 bytes as doubles, 12 as a double X and floats or 8 as floats, but 24 bytes"},
        {"cut in the middle of a point", Header("real", 2, 3, two.c_str()) + doubles(5),
         "but 40 bytes follow"},
        {"fewer points claimed than stored", Header("real", 2, 2, two.c_str()) + doubles(6),
         "and no other plot begins where they end"},
        {"no points", Header("real", 2, 0, two.c_str()), "Plot 1 holds no points."},
        {"2^40 binary points", Header("real", 2, 1LL << 40, two.c_str()) + doubles(4),
         "1099511627776 points of 2 real variables take 17592186044416 bytes"},
        {"2^40 text points", Header("real", 2, 1LL << 40, two.c_str(), "Values:\n") + " 0 1 2\n",
         "cannot fit in the"},
        {"text cut short",
         Header("real", 2, 3, two.c_str(), "Values:\n") + " 0 0.0 1.0\n 1 1.0 2.0\n",
         "the file ends after 2 of its 3 points"},
        {"text point cut short", Header("real", 2, 2, two.c_str(), "Values:\n") + " 0 0 1\n 1 1\n",
         "point 1: the file ends inside the point"},
        {"text with points beyond the count",
         Header("real", 2, 1, two.c_str(), "Values:\n") + " 0 0 1\n 1 1 2\n",
         "holds more values than its 1 points"},
        {"text with a word for a number",
         Header("real", 2, 1, two.c_str(), "Values:\n") + " 0 0 high\n",
         "the value \"high\" of \"v(x)\" is no number"},
        {"a variable without a name", Header("real", 2, 1, "\t0\ttime\ttime\n\t1\n") + doubles(2),
         "variable 1 has no name"},
        {"fewer variables listed than counted", Header("real", 3, 1, two.c_str()) + doubles(3),
         "lists 2 variables where"},
        {"a count of variables past the file",
         Header("real", 1000000000, 1, two.c_str()) + doubles(2), "cannot be true"},
        {"flags neither real nor complex", Header("analog", 2, 1, two.c_str()) + doubles(2),
         "\"Flags: analog\" names neither real nor complex"},
        {"no point count",
         "Title: t\nPlotname: p\nFlags: real\nNo. Variables: 2\nVariables:\n" + two + "Binary:\n" +
             doubles(2),
         "no \"No. Points:\" line"},
        {"a plot the file does not hold", Header("real", 2, 1, two.c_str()) + doubles(2),
         "The file holds 1 plot: there is no plot 2.", 1},
    };
    // Value tokens that are no whole numbers, on line 12 after ten header lines and one point.
    for (const std::string& token : std::vector<std::string>{"e", "-", "1-2", std::string("7\0", 2),
                                                             "1e", ".", "+.e1", "2d+", "0x1"}) {
        cases.push_back(
            {"the value token " + token,
             Header("real", 2, 2, two.c_str(), "Values:\n") + " 0 0 1\n 1 1 " + token + "\n",
             "point 1, line 12: the value"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectFailed(ReadBytes(c.bytes, c.plot), c.says);
    }
}

TEST(RawFile, ReadsValueTokensThatAreWholeNumbers) {
    const std::string two = "\t0\ttime\ttime\n\t1\tv(x)\tvoltage\n";
    // Whole numbers; the last value of a file needs nothing after it, even
    // where the points take the fewest bytes they can.
    for (auto [values, x1] : {std::pair{" 0 -.5 1.\n 1 +2D-1 3e+0", 0.2}, {"0 5 1\n1 6 3", 6.0}}) {
        const Outcome o = ReadBytes(Header("real", 2, 2, two.c_str(), "Values:\n") + values);
        ASSERT_EQ(o.result, RawReadResult::Read) << values;
        EXPECT_EQ(o.data->Variable(0)->Values()[1], x1);
        EXPECT_EQ(o.data->Variable(1)->Values()[1], 3.0);
    }
}

TEST(RawFile, LoneUtf16SurrogatesBecomeReplacementCharacters) {
    // '#' and '$' stand for a high and a low surrogate that are not neighbours.
    std::string bytes =
        Encode(Header("real", 2, 1, "\t0\ttime\ttime\n\t1\ta#b$\tvoltage\n"), Text::Utf16LE);
    for (auto [mark, unit] : {std::pair{"#", "\xD8"}, std::pair{"$", "\xDC"}})
        bytes.replace(bytes.find(std::string(mark) + '\0'), 2, std::string("\0", 1) + unit);
    test::Append(bytes, 0.0);
    test::Append(bytes, 1.0);
    const Outcome o = ReadBytes(bytes);
    ASSERT_EQ(o.result, RawReadResult::Read);
    EXPECT_EQ(Names(o.data)[1],
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
}

TEST(RawFile, OnlyATitleLineMakesNoRawFile) {
    EXPECT_TRUE(LooksLikeRawFile("Title: x\n"));
    EXPECT_TRUE(LooksLikeRawFile("\r\n  plotname: AC"));
    EXPECT_TRUE(LooksLikeRawFile(Encode("Title: x", Text::Utf16LE)));
    EXPECT_TRUE(LooksLikeRawFile(Encode("Plotname", Text::Utf16BEMark) + std::string("\0:", 2)));
    EXPECT_FALSE(LooksLikeRawFile("Time V\n0 1\n"));
    EXPECT_FALSE(LooksLikeRawFile("Titles: x\n"));

    const fs::path dir = test::FreshDir("rawfile-test");
    // Readable as text: its first line names the variables "Title:" and "run".
    const fs::path text = dir / "title.txt";
    test::Spit(text, "Title: run\n0 1\n2 3\n");
    CResultDataRef data;
    RecordingMessages messages;
    ASSERT_TRUE(LoadResultFile(text.string(), data, nullptr, messages));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Names(data), (std::vector<std::string>{"Title:", "run"}));

    const fs::path neither = dir / "neither.txt";
    test::Spit(neither, "Title: run\nTime V\n0 1\n");
    RecordingMessages refused;
    EXPECT_FALSE(LoadResultFile(neither.string(), data, nullptr, refused));
    ASSERT_EQ(refused.shown.size(), 1u);
    EXPECT_EQ(refused.shown[0].first,
              "The file begins like a SPICE raw file, but its line 2 (\"Time V\") is no \"Key: "
              "value\" header line; read as a text result file it fails too (Invalid file).\r\n\r\n"
              "Can not read file " +
                  neither.string());
}

// A raw file's plots are reached in RunSources.LikePlotsOfAnNgspiceLoopBecomeRuns.
TEST(RawFile, OtherFormatsHoldOnePlot) {
    const std::string text = (test::ProcessDir() / "rawfile-one.txt").string();
    test::Spit(text, "Time V\n0 1\n");
    std::vector<RawPlot> plots(2);
    LoadOptions options;
    options.plots = &plots;
    options.plot = 1;
    CResultDataRef data;
    RecordingMessages refused;
    EXPECT_FALSE(LoadResultFile(text, data, nullptr, refused, options));
    ASSERT_EQ(refused.shown.size(), 1u);
    EXPECT_EQ(refused.shown[0].first.rfind("The file holds 1 plot: there is no plot 2.", 0), 0u);
    options.plot = 0;
    EXPECT_TRUE(LoadResultFile(text, data, nullptr, refused, options));
    EXPECT_TRUE(plots.empty());
}

TEST(LtspiceRaw, FastAccessReadsValueForValueAsPointByPoint) {
    // Enough points that every column spans several chunks of the reader.
    constexpr std::int64_t kPoints = 300001;
    const std::vector<std::string> names = {"time", "V(out)", "I(L1)", "V(sw)"};
    struct Case {
        const char* what;
        bool doubles, stepped, complex;
    };
    for (const Case& c :
         {Case{"floats", false, false, false}, Case{"doubles", true, false, false},
          Case{"stepped", false, true, false}, Case{"complex", false, false, true}}) {
        SCOPED_TRACE(c.what);
        const bool doubles = c.doubles, stepped = c.stepped, complex = c.complex;
        // Three runs when stepped, each starting again at time 0; some times
        // are marked negative; one value overflows a float.
        auto value = [&](std::int64_t v, std::int64_t p) -> std::complex<double> {
            const double t = (stepped ? p % 100000 : p) * 1e-7;
            if (complex) return {v + 10.0 * p, v == 1 ? 0.0 : std::sin(p * 1e-3 * v)};
            if (v == 0) return p % 7 == 3 ? -t : t;
            if (v == 3 && p == 12345) return 1e300;
            return std::sin(t * 1e5 * v) * std::pow(10.0, v);
        };
        LtspiceLayout layout{names, kPoints, false, stepped, complex, doubles};
        const Outcome pointwise = ReadBytes(LtspiceRaw(layout, value));
        layout.fastAccess = true;
        const Outcome fast = ReadBytes(LtspiceRaw(layout, value));
        ASSERT_EQ(pointwise.result, RawReadResult::Read);
        ASSERT_EQ(fast.result, RawReadResult::Read)
            << (fast.messages.shown.empty() ? "" : fast.messages.shown[0].first);
        EXPECT_EQ(test::Names(fast.data), test::Names(pointwise.data));
        ASSERT_EQ(fast.data->VariableCount(), complex ? 7 : 4);
        ASSERT_EQ(fast.data->RowCount(), kPoints);
        EXPECT_EQ(fast.data->BadPoints(), pointwise.data->BadPoints());
        EXPECT_EQ(fast.data->BadPoints(), !complex && !doubles ? 1 : 0);
        for (std::int32_t v = 0; v < fast.data->VariableCount(); ++v) {
            const CResultVariable* a = fast.data->Variable(v);
            const CResultVariable* b = pointwise.data->Variable(v);
            EXPECT_EQ(std::memcmp(a->Values(), b->Values(), kPoints * sizeof(double)), 0) << v;
            EXPECT_EQ(std::memcmp(a->Flags(), b->Flags(), kPoints), 0) << v;
        }
        // And both read what was written.
        const std::int64_t samples[] = {0, 3, 99999, 100003, 262145, kPoints - 1};
        for (std::int64_t p : samples) {
            const auto r = static_cast<std::int32_t>(p);
            const std::complex<double> x = value(0, p), y = value(2, p);
            EXPECT_EQ(fast.data->Variable(0)->Values()[r], std::fabs(x.real())) << p;
            if (complex) {
                EXPECT_NEAR(fast.data->Variable(3)->Values()[r], 20 * std::log10(std::abs(y)),
                            1e-9);
                EXPECT_NEAR(fast.data->Variable(4)->Values()[r],
                            std::arg(y) * 180 / std::numbers::pi, 1e-9);
            } else {
                EXPECT_EQ(fast.data->Variable(2)->Values()[r],
                          doubles ? y.real() : static_cast<float>(y.real()));
            }
        }
    }
}

TEST(LtspiceRaw, HandWorkedFileReadsAsWorkedOut) {
    // Fastaccess: 3 times as doubles, then V(out) and I(L1) as 3 floats each;
    // the second time is stored as -2e-6.
    const std::string path = std::string(KURVEX_SPICE_DIR) + "/ltspice_fast.raw";
    CResultDataRef data;
    RecordingMessages messages;
    ASSERT_TRUE(LoadResultFile(path, data, nullptr, messages));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(test::Names(data), (std::vector<std::string>{"time", "V(out)", "I(L1)"}));
    ASSERT_EQ(data->RowCount(), 3);
    const double want[3][3] = {{0.0, 0.100000001490116119384765625, 0.25},
                               {2e-6, -1.5, 3.2999999523162841796875},
                               {3e-6, 1000.0, -7.0}};
    for (int p = 0; p < 3; ++p) {
        for (int v = 0; v < 3; ++v) EXPECT_EQ(data->Variable(v)->Values()[p], want[p][v]);
    }
}

TEST(LtspiceRaw, FastAccessPlotsAmongOthersAndCutShort) {
    const LtspiceLayout layout{{"time", "V(a)", "V(b)"}, 5, true};
    const std::string fast = LtspiceRaw(
        layout, [](std::int64_t v, std::int64_t p) { return std::complex<double>(v * 10.0 + p); });
    const std::string other = test::Utf16LE(
        "Title: t\nPlotname: Operating Point\nFlags: real\nNo. Variables: 2\nNo. Points: 1\n"
        "Variables:\n\t0\tV(a)\tvoltage\n\t1\tV(b)\tvoltage\nValues:\n0\t4.5\t6\n");
    for (const auto& [file, plot, x4] :
         {std::tuple{fast + other, 0, 4.0}, std::tuple{other + fast + fast, 2, 4.0},
          std::tuple{fast + other, 1, 4.5}}) {
        const Outcome r = ReadBytes(file, plot);
        ASSERT_EQ(r.result, RawReadResult::Read) << plot;
        EXPECT_EQ(r.plots.size(), file.size() > 2 * fast.size() ? 3u : 2u);
        EXPECT_EQ(r.data->Variable(0)->Values()[r.data->RowCount() - 1], x4);
        EXPECT_EQ(r.data->Variable(1)->Values()[r.data->RowCount() - 1], plot == 1 ? 6 : 14);
    }
    std::string text = fast.substr(0, fast.rfind(test::Utf16LE("Binary:")));
    text += test::Utf16LE("Values:\n0\t0\t1\t2\n");
    for (const auto& [file, says] :
         {std::pair{fast.substr(0, fast.size() - 1), "its values do not fit its header"},
          std::pair{text, "stores text values variable by variable"}}) {
        ExpectFailed(ReadBytes(file), says);
    }
}

// Binary doubles under "time" are in RawFile.ReadsUtf16HeadersAndSinglePrecisionValues.
TEST(LtspiceRaw, OnlyARealPlotsTimeReadsUnsigned) {
    auto file = [](const char* x, const char* start, const std::string& values) {
        return "Title: t\nPlotname: p\nFlags: real\nNo. Variables: 2\nNo. Points: 2\n"
               "Variables:\n\t0\t" +
               std::string(x) + "\tv\n\t1\tv(a)\tvoltage\n" + start + values;
    };
    std::string doubles;
    for (double d : {-1.0, 2.0, -3.0, 4.0}) doubles.append(reinterpret_cast<char*>(&d), 8);
    for (const auto& [bytes, x0] :
         {std::pair{file("TIME", "Values:\n", "0 -1 2\n1 -3 4\n"), 1.0},
          std::pair{file("v-sweep", "Values:\n", "0 -1 2\n1 -3 4\n"), -1.0},
          std::pair{file("v1", "Binary:\n", doubles), -1.0}}) {
        const Outcome r = ReadBytes(bytes);
        ASSERT_EQ(r.result, RawReadResult::Read);
        EXPECT_EQ(r.data->Variable(0)->Values()[0], x0);
        EXPECT_EQ(r.data->Variable(0)->Values()[1], 3.0 * x0);
        EXPECT_EQ(r.data->Variable(1)->Values()[0], 2.0);
    }
}

}  // namespace
}  // namespace kurvex
