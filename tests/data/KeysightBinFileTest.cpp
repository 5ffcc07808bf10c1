#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/ReaderTestSupport.h"
#include "data/formats/KeysightBinFile.h"
#include "data/formats/LoadOptions.h"
#include "data/model/ResultData.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;

// Half a unit of the last digit "-249.982E-06" prints.
double PrintedHalfUnit(const std::string& text) {
    const size_t dot = text.find('.'), e = text.find_first_of("Ee");
    const int digits = static_cast<int>(e - dot - 1);
    return 0.5 * std::pow(10.0, std::atoi(text.c_str() + e + 1) - digits);
}

// Values come from what the files' own sources state: the scopes' setup and
// measurement .txt files (10 divisions of the time scale; peak-to-peak and
// frequency to the scope's own measuring), the points PROVENANCE.md and
// RigolWFM's tests give, RigolWFM's parse of the MSO5000 file, and the
// MSO7034A's CSV export of the same acquisition.
TEST(KeysightBinFile, SampleFilesAgreeWithWhatTheirSourcesState) {
    struct Case {
        const char* file;
        const char* says;        // in the notes, or the refusal
        std::int32_t rows;       // 0: refused
        double span;             // points x interval, NAN: not stated
        double first;            // time of sample 0, NAN: not stated
        const char* channel;     // the variable checked
        double peakToPeak;       // NAN: not stated
        double firstValue;       // NAN: not stated
        double edgeFrequency;    // of a 0/1 channel, NAN: not stated
        std::int64_t cutTo = 0;  // the file cut down to this many bytes
    };
    const Case cases[] = {
        {"keysight-bin/dsox1102g_digital.bin", "record length: 20000", 20000, 10 * 2e-6, NAN, "EXT",
         NAN, NAN, 249.69e3},
        {"keysight-bin/dsox1102g_dual.bin", "serial number: CN00000000", 4000, 10 * 200e-9, NAN,
         "1", 5.6, NAN, NAN},
        {"keysight-bin/dsox1102g_single.bin", "sample interval: 1.02", 1953, 10 * 200e-6, NAN, "1",
         1.00, NAN, NAN},
        {"keysight-bin/dsox1102g_uart.bin", "", 999999, NAN, NAN, "1", NAN, NAN, NAN},
        {"keysight-bin/mso7034a_scope_30.bin", "instrument: MSO7034A", 1000, NAN, NAN, "2", NAN,
         NAN, NAN},
        {"rigol/Rigol_MSO5000_4CH_200KSPS_1Kpts.bin", "acquisition time: 2020-11-22 19:02:34", 1000,
         1000 * 5.000e-6, -2.500e-3, "CH4", NAN, 0.78904, NAN},
        {"rigol/MSO5074-B.bin", "4 blocks", 100000, NAN, NAN, "CH4", NAN, NAN, NAN},
        {"rigol/DHO824-ch12.bin", "RG03 .bin files are not read yet", 0, NAN, NAN, "", NAN, NAN,
         NAN},
        {"keysight-bin/dsox1102g_dual.bin", "shorter than its header says", 0, NAN, NAN, "", NAN,
         NAN, NAN, 20000},
        // Rigol's file-size field is not trusted: the buffer headers find the cut.
        {"rigol/Rigol_MSO5000_4CH_200KSPS_1Kpts.bin", "shorter than its headers say", 0, NAN, NAN,
         "", NAN, NAN, NAN, 16620 - 4000 - 152 - 100},
    };
    std::string why;
    const fs::path peer = test::PeerData("bench", why);
    if (peer.empty()) GTEST_SKIP() << why;
    const fs::path dir = test::FreshDir("keysight_bin");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        fs::path path = peer / c.file;
        if (!fs::exists(path)) GTEST_SKIP() << "no " << path;
        if (c.cutTo) {
            path = dir / path.filename();
            test::Spit(path, test::Slurp(peer / c.file).substr(0, static_cast<size_t>(c.cutTo)));
        }
        test::ReadOutcome o;
        test::ReadInto(ReadKeysightBinFile, path.string(), o);
        EXPECT_NE(o.Said().find(c.says), std::string::npos) << o.Said();
        ASSERT_EQ(o.read, c.rows != 0) << o.Said();
        if (!o.read) continue;
        const CResultDataRef& d = o.data;
        ASSERT_EQ(d->RowCount(), c.rows);
        const double* t = d->Variable(0)->Values();
        EXPECT_EQ(d->Variable(0)->Name(), "Time");
        EXPECT_EQ(d->Variable(0)->Unit(), "s");
        const double step = (t[c.rows - 1] - t[0]) / (c.rows - 1);
        if (!std::isnan(c.span)) {
            EXPECT_NEAR(step * c.rows, c.span, 1e-3 * c.span);
        }
        if (!std::isnan(c.first)) {
            EXPECT_NEAR(t[0], c.first, 0.0005e-3);
        }
        const std::int32_t v = d.FindVariable(c.channel);
        ASSERT_GE(v, 0) << c.channel;
        const double* y = d->Variable(v)->Values();
        if (!std::isnan(c.peakToPeak)) {
            double lo = y[0], hi = y[0];
            for (std::int32_t r = 0; r < c.rows; ++r)
                lo = std::min(lo, y[r]), hi = std::max(hi, y[r]);
            EXPECT_NEAR(hi - lo, c.peakToPeak, 0.03 * c.peakToPeak);
            EXPECT_EQ(d->Variable(v)->Unit(), "V");
        }
        if (!std::isnan(c.firstValue)) {
            EXPECT_NEAR(y[0], c.firstValue, 0.005e-3);
        }
        if (!std::isnan(c.edgeFrequency)) {
            std::vector<std::int32_t> rising;
            for (std::int32_t r = 1; r < c.rows; ++r) {
                EXPECT_TRUE(y[r] == 0.0 || y[r] == 1.0) << r;
                if (y[r] > y[r - 1]) rising.push_back(r);
            }
            ASSERT_GE(rising.size(), 2u);
            const double period = step * (rising.back() - rising.front()) / (rising.size() - 1);
            EXPECT_NEAR(1.0 / period, c.edgeFrequency, 0.01 * c.edgeFrequency);
        }
        if (std::string(c.file).find("mso7034a") == std::string::npos) continue;
        // The MSO7034A's CSV export of the same record, as printed: rows 0 and 1
        // of channel 1, the first and the last of channel 2, and the last X.
        const struct {
            std::int32_t v, row;
            const char* printed;
        } csv[] = {{1, 0, "-249.982E-06"},
                   {1, 1, "+31.000018E-03"},
                   {2, 0, "+31.500101E-03"},
                   {2, 998, "+2.531500101E+00"},
                   {0, 998, "+996.000E-06"}};
        for (const auto& [v, row, printed] : csv) {
            const double want = std::atof(printed);
            // The file's float holds the value to half its last bit.
            EXPECT_NEAR(d->Variable(v)->Values()[row], want,
                        PrintedHalfUnit(printed) + std::fabs(want) * 0x1p-24)
                << v << " row " << row;
        }
    }
}

}  // namespace
}  // namespace kurvex
