#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "TestSupport.h"
#include "data/BinaryTestSupport.h"
#include "data/formats/TextReader.h"
#include "data/formats/TextWriter.h"
#include "data/platform/ByteSource.h"

namespace kurvex {
namespace {

using test::Written;

// Time, V with rows (0, 1.5) and (0.5, missing).
CResultDataRef SmallSet(const char* second = "V") {
    return test::MakeColumns({{"Time", {0, 0.5}, {}}, {second, {1.5, 0}, {1, 0}}}, false, false);
}

// What exporting `d` in `format` writes.
std::string Exported(const CResultDataRef& d, int format, const char* prefix = nullptr) {
    return Written([&](std::FILE* f) { return ExportDataSet(d, f, prefix, format); });
}

TEST(TextWriter, EachFormatWritesItsColumnsAndMarkers) {
    const std::pair<int, const char*> cases[] = {
        {kExportFixedWidth,
         "  Time              V               \r\n"
         "  0.000000000E+00   1.500000000E+00 \r\n"
         "  5.000000000E-01           MISSING \r\n"},  // eighteen characters a column
        {kExportComma, "Time,V\r\n0,1.5\r\n0.5,MISSING\r\n"},
        {kExportTab, "Time\tV\r\n0\t1.5\r\n0.5\tMISSING\r\n"},
    };
    for (const auto& [format, text] : cases) EXPECT_EQ(Exported(SmallSet(), format), text);
}

TEST(TextWriter, SamplesAreExactAndNonFiniteOnesWrittenAsTheReadersMarkers) {
    CResultDataRef d;
    d.Initialise(kDataSetPlain, 1, 5, 100);
    d.SetName(0, "V");
    const double values[] = {0.02 - 1e-9, std::nan(""), INFINITY, -INFINITY, 1e5};
    const std::uint8_t valid = kPointValid;
    for (int r = 0; r < 5; ++r) d.SetRow(r, &values[r], &valid, 0, 1);
    EXPECT_EQ(Exported(d, kExportComma), "V\r\n0.019999999\r\nNAN\r\n#INF\r\n-#INF\r\n100000\r\n");
    EXPECT_EQ(Exported(d, kExportFixedWidth),
              "  V               \r\n"
              "  1.999999900E-02 \r\n"
              "              NAN \r\n"
              "             #INF \r\n"
              "            -#INF \r\n"
              "  1.000000000E+05 \r\n");
}

TEST(TextWriter, OrderColumnAndNameRules) {
    CResultDataRef d = SmallSet("I out");
    d->Variable(1)->Flags()[0] = kPointInvalid;
    std::vector<const CResultVariable*> vars = {d->Variable(0), d->Variable(1)};
    EXPECT_EQ(
        Written([&](std::FILE* f) { return WriteDelimited(f, vars, 2, ",", "\r\n", true, 1); }),
        "Order,Time,I_out\r\n        1,0,NAN\r\n        2,0.5,MISSING\r\n");
    const std::string fixed =
        Written([&](std::FILE* f) { return WriteFixedWidth(f, vars, 1, true, 1); });
    EXPECT_EQ(fixed,
              "  Order   "
              "  Time            "
              "  I_out           \r\n"
              "        1 "
              "  0.000000000E+00 "
              "              NAN \r\n");

    // Unnamed variables are named by position; long names take their column and more.
    d.SetName(0, nullptr);
    d.SetName(1, "A_name_of_exactly_20");
    const std::string header =
        Written([&](std::FILE* f) { return WriteFixedWidth(f, vars, 1, false, 0); });
    EXPECT_EQ(header.substr(0, header.find("\r\n")), "  Graph(0)        A_name_of_exactly_20 ");
    // Fifteen characters still fit behind two blanks; sixteen take the column's start.
    for (const char* name : {"Fifteen_chars_x", "Sixteen_chars_xx"}) {
        d.SetName(0, name);
        const std::string line =
            Written([&](std::FILE* f) { return WriteFixedWidth(f, vars, 1, false, 0); });
        const std::string want =
            std::strlen(name) == 15 ? "  Fifteen_chars_x " : "Sixteen_chars_xx  ";
        EXPECT_EQ(line.substr(0, 18), want);
    }
    // Nothing to write: nothing written.
    EXPECT_EQ(Written([&](std::FILE* f) { return WriteFixedWidth(f, vars, 0, false, 0); }), "");
    EXPECT_EQ(
        Written([&](std::FILE* f) { return WriteDelimited(f, {}, 3, ",", "\r\n", false, 0); }), "");
}

TEST(TextWriter, FixedWidthReadsBackToTenDigits) {
    CResultDataRef d;
    const int rows = 500, vars = 4;
    d.Initialise(kDataSetPlain, vars, rows, 100);
    const char* names[vars] = {"Time", "V out", "I(L1)", "P"};
    for (int i = 0; i < vars; ++i) d.SetName(i, names[i]);
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> mant(-1, 1);
    std::uniform_int_distribution<int> expo(-300, 300), flag(0, 20);
    for (int r = 0; r < rows; ++r) {
        double v[vars];
        std::uint8_t f[vars];
        v[0] = r * 1e-6;
        f[0] = 1;
        for (int i = 1; i < vars; ++i) {
            v[i] = mant(rng) * std::pow(10.0, expo(rng));
            const int k = flag(rng);
            f[i] = k == 0 ? kPointMissing : k == 1 ? kPointInvalid : kPointValid;
        }
        d.SetRow(r, v, f, 0, vars);
    }
    const std::string text = Exported(d, kExportFixedWidth);

    MemoryByteSource source(text);
    CResultDataRef back;
    std::vector<std::string> backNames;
    test::RecordingMessages messages;
    ASSERT_TRUE(ReadTextResult(source, back, backNames, messages));
    EXPECT_EQ(backNames, (std::vector<std::string>{"Time", "V_out", "I(L1)", "P"}));
    ASSERT_EQ(back->RowCount(), rows);
    for (int i = 0; i < vars; ++i) {
        for (int r = 0; r < rows; ++r) {
            const std::uint8_t f = d->Variable(i)->Flags()[r];
            ASSERT_EQ(back->Variable(i)->Flags()[r], f) << i << "," << r;
            if (f != kPointValid) continue;
            const double a = d->Variable(i)->Values()[r], b = back->Variable(i)->Values()[r];
            EXPECT_LE(std::fabs(a - b), std::fabs(a) * 5e-10) << i << "," << r;
        }
    }
    EXPECT_EQ(back->BadPoints(), 1);
}

// Names that hold separators or quotes, or read as numbers, are quoted and
// read back; blanks become underscores.
// Names that hold separators or quotes, or read as numbers, read back; blanks
// become underscores.
TEST(TextWriter, NamesReadBackFromEveryFormat) {
    for (int mode : {kExportFixedWidth, kExportTab, kExportComma}) {
        SCOPED_TRACE(mode);
        // Separators and quotes in names are for the delimited formats.
        std::vector<std::string> names = {"1", "V(out)", "I out", "-3e+1"};
        if (mode != kExportFixedWidth) names.insert(names.begin() + 2, {"a,b", "say\"hi\""});
        std::vector<test::Column> columns;
        for (const std::string& name : names) columns.push_back({name.c_str(), {0, 1}, {}});
        const std::string text = Exported(test::MakeColumns(columns, false, false), mode);
        if (mode == kExportComma) {
            EXPECT_EQ(text.substr(0, text.find("\r\n")),
                      "1,V(out),\"a,b\",\"say\"\"hi\"\"\",I_out,-3e+1");
        }
        MemoryByteSource source(text);
        CResultDataRef back;
        std::vector<std::string> read;
        test::RecordingMessages messages;
        ASSERT_TRUE(ReadTextResult(source, back, read, messages));
        std::replace(names.begin(), names.end(), std::string("I out"), std::string("I_out"));
        EXPECT_EQ(read, names);
        EXPECT_EQ(back->RowCount(), 2);
    }
}

TEST(TextWriter, HighPassDataSetIsWrittenFromAShiftedRenamedCopy) {
    const CResultDataRef d = test::MakeColumns({{"Time", {2, 3}, {}}, {"V", {1, 4}, {}}}, false,
                                               false, kDataSetHighPass);
    EXPECT_EQ(Exported(d, kExportComma, "hp"), "Time,hp_V\r\n0,1\r\n1,4\r\n");
    // The data set itself is untouched.
    EXPECT_EQ(d->Variable(0)->Values()[0], 2.0);
    EXPECT_EQ(d->Variable(1)->Name(), "V");
}

}  // namespace
}  // namespace kurvex
