#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/ReaderTestSupport.h"
#include "data/formats/ReaderTable.h"
#include "data/formats/TektronixWfmFile.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;

class TektronixWfmFile : public test::TempDirTest {};

// The samples of a NumPy ".npy" file of one little-endian int16 vector (version 1:
// magic, version, a two-byte header length, the header, then the samples).
std::vector<std::int16_t> NpyInt16(const std::string& bytes) {
    if (bytes.compare(0, 7, "\x93NUMPY\x01") != 0) return {};
    const std::size_t start =
        10 + (static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8);
    if (bytes.find("'descr': '<i2'") > start) return {};
    std::vector<std::int16_t> values((bytes.size() - start) / 2);
    std::memcpy(values.data(), bytes.data() + start, 2 * values.size());
    return values;
}

// Each capture gives the record length, sample interval, time of its first
// sample and samples its upstream repository, CSV twin or own header state;
// cut files are refused.
TEST_F(TektronixWfmFile, CapturesReadAsTheirSourcesState) {
    std::string why;
    const fs::path bench = test::PeerData("bench", why);
    if (bench.empty()) GTEST_SKIP() << why;
    const fs::path dir = bench / "tek-wfm";
    const std::string analog = test::Slurp(dir / "analog_waveform.wfm");
    ASSERT_EQ(analog.size(), 101081u);
    test::Spit(Path("cut_curve.wfm"), analog.substr(0, 50000));
    test::Spit(Path("cut_header.wfm"), analog.substr(0, 500));
    const std::vector<std::int16_t> npy = NpyInt16(test::Slurp(dir / "analog_data.npy"));
    ASSERT_EQ(npy.size(), 50000u);
    const std::string digital = test::Slurp(dir / "digital_waveform.wfm");
    const std::string fastFrame = test::Slurp(dir / "FF5MhzX100From5Series.wfm");

    struct Case {
        std::string file;
        int runs;  // 0: refused
        std::int32_t rows;
        const char* interval;
        double first;  // time of sample 0, NaN when no source states it
        const char* said;
    };
    const double none = std::nan("");
    const Case cases[] = {
        // The MSO64 CSV twin: first row -9.99966406e-07, Zero Index 24999.16015625.
        {"analog_waveform.wfm", 1, 50000, "4e-11 s", -9.99966406e-07, ""},
        // Its implicit dimension's trigger delay field.
        {"data_test_waveform.wfm", 1, 1000, "4e-11 s", -1.998265625e-08, ""},
        // Its implicit dimension's extent minimum.
        {"digital_waveform.wfm", 1, 2500, "4e-11 s", -4.996203125e-08, ""},
        {"FF5MhzX100From5Series.wfm", 100, 2500, "1.6e-10 s", none, "frames: 100"},
        {"cut_curve.wfm", 0, 0, "", none, "cut short"},
        {"cut_header.wfm", 0, 0, "", none, "ends inside its waveform header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = test::PeerOrOwn(dir, c.file, Path(c.file));
        EXPECT_EQ(test::ReaderName(path), "Tektronix WFM");
        test::ReadOutcome o;
        test::ReadInto(ReadTektronixWfmFile, path, o);
        if (c.runs == 0) {
            test::ExpectRefused(o, c.said);
            continue;
        }
        const CResultDataRef& d = o.data;
        ASSERT_TRUE(o.read) << o.First();
        EXPECT_TRUE(o.Noted("record length: " + std::to_string(c.rows)));
        EXPECT_TRUE(o.Noted(std::string("sample interval: ") + c.interval));
        if (*c.said) {
            EXPECT_TRUE(o.Noted(c.said));
        }
        ASSERT_EQ(d->RunCount(), c.runs);
        ASSERT_EQ(d->RowCount(), c.rows);
        EXPECT_EQ(d->Variable(0)->Name(), "Time");
        EXPECT_EQ(d->Variable(0)->Unit(), "s");
        const double* x = d->Variable(0)->Values();
        if (!std::isnan(c.first)) {
            EXPECT_NEAR(x[0], c.first, 5e-16);
        }
        EXPECT_NEAR(x[1] - x[0], std::strtod(c.interval, nullptr), 1e-20);

        if (c.file == "analog_waveform.wfm") {
            // Its samples are the upstream raw values scaled, and the CSV's
            // first values: -0.148, -0.148, -0.152 V.
            const double* y = d->Variable(1)->Values();
            EXPECT_EQ(d->Variable(1)->Unit(), "V");
            EXPECT_NEAR(y[0], -0.148, 5e-7);
            EXPECT_NEAR(y[2], -0.152, 5e-7);
            const double k = y[0] / npy[0];
            for (std::int32_t i = 0; i < c.rows; ++i) ASSERT_EQ(y[i], npy[i] * k) << i;
        }
        if (c.file == "data_test_waveform.wfm") {
            // Upstream: a sine of amplitude 0.25 over the record, within 11 mV.
            const double* y = d->Variable(1)->Values();
            for (std::int32_t i = 0; i < c.rows; ++i)
                ASSERT_NEAR(y[i], 0.25 * std::sin(2 * M_PI * i / (c.rows - 1)), 0.011) << i;
        }
        if (c.file == "digital_waveform.wfm") {
            // Bit b of each byte of the curve (32 pre-charge bytes after the
            // 838-byte WFM#003 header) is variable D<b>.
            ASSERT_EQ(d->VariableCount(), 9);
            bool varies = false;
            for (std::int32_t i = 0; i < c.rows; ++i) {
                const unsigned byte = static_cast<unsigned char>(digital[838 + 32 + i]);
                for (int b = 0; b < 8; ++b) {
                    ASSERT_EQ(d->Variable(1 + b)->Name(), "D" + std::to_string(b));
                    ASSERT_EQ(d->Variable(1 + b)->Values()[i], (byte >> b) & 1u) << i;
                }
                varies |= byte != static_cast<unsigned char>(digital[838 + 32]);
            }
            EXPECT_TRUE(varies);
        }
        if (c.file == "FF5MhzX100From5Series.wfm") {
            // Upstream: frame 49 (from 0) is the int8 bytes of the 49th block of
            // 2564 bytes after the 6184 bytes of headers, from its byte 32; each
            // frame's trigger comes after the one before.
            const CResultData& run = *d->Run(49);
            ASSERT_EQ(run.RowCount(), 2500);
            const double* y = run.Variable(1)->Values();
            const char* raw = fastFrame.data() + 6184 + 49 * 2564 + 32;
            const double k = y[1] / static_cast<std::int8_t>(raw[1]);
            for (std::int32_t i = 0; i < 2500; ++i)
                ASSERT_EQ(y[i], static_cast<std::int8_t>(raw[i]) * k) << i;
            double before = -1.0;
            for (std::int32_t r = 0; r < c.runs; ++r) {
                const std::string name = d->RunName(r);
                ASSERT_EQ(name.rfind("frame " + std::to_string(r + 1) + " at ", 0), 0u) << name;
                const double at = std::strtod(name.c_str() + name.find(" at ") + 4, nullptr);
                EXPECT_GT(at, before) << name;
                before = at;
            }
        }
    }
}

// Rigol waveforms, ATP results and value change dumps are refused by the name
// of their format, not as text that fails.
TEST_F(TektronixWfmFile, UnreadFormatsAreRefusedByName) {
    std::string why;
    const fs::path bench = test::PeerData("bench", why);
    if (bench.empty()) GTEST_SKIP() << why;
    struct Folder {
        const char* name;
        const char* said;
    };
    int seen = 0;
    for (const Folder& f : {Folder{"rigol", "is a Rigol oscilloscope .wfm file"},
                            Folder{"atp-pl4", "is an ATP .pl4 output file"},
                            Folder{"vcd", "is a VCD (value change dump) file"}}) {
        for (const fs::directory_entry& e : fs::directory_iterator(bench / f.name)) {
            std::string ext = e.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
            if (ext != ".wfm" && ext != ".pl4" && ext != ".vcd") continue;
            SCOPED_TRACE(e.path().string());
            ++seen;
            const std::string path = e.path().string();
            std::string head, error;
            ASSERT_TRUE(ReadHead(path, head, error)) << error;
            test::ReadOutcome o;
            o.read = ReaderFor(head, path).read(path, o.data, nullptr, o.messages, {});
            test::ExpectRefused(o, "");
            EXPECT_EQ(o.First().rfind(e.path().filename().string() + " " + f.said, 0), 0u);
        }
    }
    EXPECT_EQ(seen, 7 + 4 + 3);
}

}  // namespace
}  // namespace kurvex
