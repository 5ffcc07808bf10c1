#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/ReaderTestSupport.h"
#include "data/formats/ScopeCsvFile.h"
#include "data/formats/TektronixIsfFile.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;

class TektronixIsfFile : public test::TempDirTest {};

// Each capture read as the scope's own CSV export of it prints it (which also
// checks every sample the CSV reader reads); the RF
// traces span what their WFID states; cut captures refused.
TEST_F(TektronixIsfFile, CapturesReadAsTheScopeExportsThem) {
    std::string why;
    const fs::path bench = test::PeerData("bench", why);
    if (bench.empty()) GTEST_SKIP() << why;
    const fs::path isf = bench / "tek-isf";
    const std::string ch1 = test::Slurp(isf / "tek0000CH1.isf");
    ASSERT_EQ(ch1.size(), 200467u);
    test::Spit(Path("cut_curve.isf"), ch1.substr(0, 100000));
    test::Spit(Path("cut_preamble.isf"), ch1.substr(0, 300));
    // The scope's own CSV export of the same acquisition, read by its reader.
    test::ReadOutcome csv;
    test::ReadInto(ReadScopeCsvFile, (bench / "scope-csv/tek_mdo4104c_RTC.csv").string(), csv);
    ASSERT_TRUE(csv.read) << csv.First();
    EXPECT_TRUE(csv.Noted("CH1 probe attenuation: 10"));

    struct Case {
        std::string file;
        std::string name, x, xUnit, yUnit;  // empty name: refused
        int csvColumn;                      // 0: no CSV twin
        double first, last;                 // X; the RF span is centre -+ span / 2
        const char* interval;
        const char* said;  // a note, or in the refusal
    };
    const Case cases[] = {
        {"tek0000CH1.isf", "CH1", "Time", "s", "V", 1, -403e-6, 0, "2e-08 s",
         "record length: 100000"},
        {"tek0002NRM.isf", "RF_NORMAL", "Frequency (Hz)", "Hz", "W", 0, 0.0, 3.0e9, "3000000 Hz",
         "record length: 1001"},
        {"cut_curve.isf", "", "", "", "", 0, 0, 0, "", "cut short"},
        {"cut_preamble.isf", "", "", "", "", 0, 0, 0, "", "no CURVE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = test::PeerOrOwn(isf, c.file, Path(c.file));
        ASSERT_TRUE(LooksLikeTektronixIsf(test::Slurp(path).substr(0, 128), path));
        test::ReadOutcome o;
        test::ReadInto(ReadTektronixIsfFile, path, o);
        if (c.name.empty()) {
            test::ExpectRefused(o, c.said);
            continue;
        }
        const CResultDataRef& d = o.data;
        ASSERT_TRUE(o.read) << o.First();
        EXPECT_TRUE(o.Noted(c.said));
        EXPECT_TRUE(o.Noted(std::string("sample interval: ") + c.interval));
        ASSERT_EQ(d->VariableCount(), 2);
        EXPECT_EQ(d->Variable(0)->Name(), c.x);
        EXPECT_EQ(d->Variable(0)->Unit(), c.xUnit);
        EXPECT_EQ(d->Variable(1)->Name(), c.name);
        EXPECT_EQ(d->Variable(1)->Unit(), c.yUnit);
        const std::int32_t rows = d->RowCount();
        const double* x = d->Variable(0)->Values();
        const double* y = d->Variable(1)->Values();
        EXPECT_NEAR(x[0], c.first, 1e-12);
        if (c.csvColumn == 0) {
            EXPECT_NEAR(x[rows - 1], c.last, 1e-9 * c.last);
            // Power: a byte-order or format slip would give negative or huge values.
            for (std::int32_t i = 0; i < rows; ++i) ASSERT_TRUE(y[i] >= 0 && y[i] < 1) << i;
            continue;
        }
        ASSERT_EQ(rows, csv.data->RowCount());
        // The export prints times "%.5e" and values to hundredths.
        const double* t = csv.data->Variable(0)->Values();
        const double* v = csv.data->Variable(c.csvColumn)->Values();
        int off = 0;
        for (std::int32_t i = 0; i < rows; ++i) {
            const double half = 0.5e-5 * std::pow(10.0, std::floor(std::log10(std::fabs(t[i]))));
            off += std::fabs(x[i] - t[i]) > half * 1.001;
            off += std::fabs(y[i] - v[i]) > 0.005 * 1.001;
        }
        EXPECT_EQ(off, 0);
    }
}

}  // namespace
}  // namespace kurvex
