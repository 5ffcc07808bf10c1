#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/LtspiceRawWriter.h"
#include "data/document/ResultFile.h"
#include "data/formats/RawFile.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

using test::LtspiceLayout;
using test::LtspiceRaw;
using test::RecordingMessages;

struct Read {
    RawReadResult result;
    CResultDataRef data;
    std::vector<RawPlot> plots;
    RecordingMessages messages;
};

Read ReadInto(const std::string& bytes, std::int32_t plot = 0) {
    Read r;
    RawReadOptions options;
    options.plot = plot;
    r.data.Initialise(kDataSetPlain, 1, 3, 100);
    r.result = ReadRawBytes(bytes, "sim.raw", r.data, r.plots, r.messages, options);
    return r;
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
        const Read pointwise = ReadInto(LtspiceRaw(layout, value));
        layout.fastAccess = true;
        const Read fast = ReadInto(LtspiceRaw(layout, value));
        ASSERT_EQ(pointwise.result, RawReadResult::Read);
        ASSERT_EQ(fast.result, RawReadResult::Read)
            << (fast.messages.shown.empty() ? "" : fast.messages.shown[0].first);
        ASSERT_EQ(fast.plots.size(), 1u);
        EXPECT_EQ(fast.plots[0].points, kPoints);
        EXPECT_EQ(fast.plots[0].complex, complex);
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
        const Read r = ReadInto(file, plot);
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
        const Read r = ReadInto(file);
        EXPECT_EQ(r.result, RawReadResult::Failed);
        ASSERT_EQ(r.messages.shown.size(), 1u);
        EXPECT_NE(r.messages.shown[0].first.find(says), std::string::npos)
            << r.messages.shown[0].first;
        EXPECT_EQ(r.data->RowCapacity(), 3);
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
        const Read r = ReadInto(bytes);
        ASSERT_EQ(r.result, RawReadResult::Read);
        EXPECT_EQ(r.data->Variable(0)->Values()[0], x0);
        EXPECT_EQ(r.data->Variable(0)->Values()[1], 3.0 * x0);
        EXPECT_EQ(r.data->Variable(1)->Values()[0], 2.0);
    }
}

}  // namespace
}  // namespace kurvex
