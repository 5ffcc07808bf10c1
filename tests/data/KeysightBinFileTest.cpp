#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
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

// The fields of the data rows of a scope's CSV export: the lines after the one
// that begins with `heading`, blank ones left out.
std::vector<std::vector<std::string>> CsvRows(const std::string& csv, const std::string& heading) {
    std::istringstream in(csv);
    std::vector<std::vector<std::string>> rows;
    bool data = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!data || line.empty()) {
            data = data || line.rfind(heading, 0) == 0;
            continue;
        }
        rows.emplace_back();
        for (size_t at = 0;; at = line.find(',', at) + 1) {
            rows.back().push_back(line.substr(at, line.find(',', at) - at));
            if (line.find(',', at) == std::string::npos) break;
        }
    }
    return rows;
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
        const char* csv;         // the scope's CSV export of the same record
        std::int64_t cutTo = 0;  // the file cut down to this many bytes
    };
    const Case cases[] = {
        {"keysight-bin/dsox1102g_data.bin", "instrument: DSO-X 1102G", 2000, 10 * 100e-6, NAN, "1",
         NAN, NAN, NAN, nullptr},
        {"keysight-bin/dsox1102g_digital.bin", "record length: 20000", 20000, 10 * 2e-6, NAN, "EXT",
         NAN, NAN, 249.69e3, nullptr},
        {"keysight-bin/dsox1102g_dual.bin", "serial number: CN00000000", 4000, 10 * 200e-9, NAN,
         "1", 5.6, NAN, NAN, nullptr},
        {"keysight-bin/dsox1102g_single.bin", "sample interval: 1.02", 1953, 10 * 200e-6, NAN, "1",
         1.00, NAN, NAN, nullptr},
        {"keysight-bin/dsox1102g_uart.bin", "", 999999, NAN, NAN, "1", NAN, NAN, NAN, nullptr},
        {"keysight-bin/mso7034a_scope_30.bin", "instrument: MSO7034A", 1000, NAN, NAN, "2", NAN,
         NAN, NAN, "scope-csv/keysight_mso7034a_scope_3.csv"},
        {"rigol/Rigol_MSO5000_4CH_200KSPS_1Kpts.bin", "acquisition time: 2020-11-22 19:02:34", 1000,
         1000 * 5.000e-6, -2.500e-3, "CH4", NAN, 0.78904, NAN, nullptr},
        {"rigol/MSO5074-B.bin", "4 blocks", 100000, NAN, NAN, "CH4", NAN, NAN, NAN, nullptr},
        {"rigol/DHO824-ch12.bin", "RG03 .bin files are not read yet", 0, NAN, NAN, "", NAN, NAN,
         NAN, nullptr},
        {"keysight-bin/dsox1102g_dual.bin", "shorter than its header says", 0, NAN, NAN, "", NAN,
         NAN, NAN, nullptr, 20000},
        // Rigol's file-size field is not trusted: the buffer headers find the cut.
        {"rigol/Rigol_MSO5000_4CH_200KSPS_1Kpts.bin", "shorter than its headers say", 0, NAN, NAN,
         "", NAN, NAN, NAN, nullptr, 16620 - 4000 - 152 - 100},
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
        if (!c.csv) continue;
        const auto rows = CsvRows(test::Slurp(peer / c.csv), "second,");
        ASSERT_EQ(rows.size(), static_cast<size_t>(c.rows));
        for (std::int32_t r = 0; r < c.rows; ++r) {
            const std::vector<std::string>& f = rows[static_cast<size_t>(r)];
            ASSERT_EQ(f.size(), 3u) << r;
            EXPECT_NEAR(t[r], std::atof(f[0].c_str()), PrintedHalfUnit(f[0])) << r;
            for (std::int32_t k = 1; k <= 2; ++k) {
                if (f[static_cast<size_t>(k)].empty()) continue;  // its last row is blank
                const double want = std::atof(f[static_cast<size_t>(k)].c_str());
                // The file's float holds the value to half its last bit.
                const double within =
                    PrintedHalfUnit(f[static_cast<size_t>(k)]) + std::fabs(want) * 0x1p-24;
                EXPECT_NEAR(d->Variable(k)->Values()[r], want, within) << r;
            }
        }
    }
}

}  // namespace
}  // namespace kurvex
