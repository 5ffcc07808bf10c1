#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/ReaderTestSupport.h"
#include "data/formats/KeysightBinFile.h"
#include "data/formats/LecroyTrcFile.h"
#include "data/formats/LoadOptions.h"
#include "data/formats/ReaderTable.h"
#include "data/formats/ScopeCsvFile.h"
#include "data/formats/TektronixIsfFile.h"
#include "data/formats/TektronixWfmFile.h"
#include "data/formats/TextReader.h"
#include "data/formats/TextWriter.h"
#include "data/model/ResultData.h"

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
        {"tek0000CH2.isf", "CH2", "Time", "s", "V", 2, -403e-6, 0, "2e-08 s",
         "record length: 100000"},
        {"tek0002NRM.isf", "RF_NORMAL", "Frequency (Hz)", "Hz", "W", 0, 0.0, 3.0e9, "3000000 Hz",
         "record length: 1001"},
        {"tek0006NRM.isf", "RF_NORMAL", "Frequency (Hz)", "Hz", "W", 0, 96.1e6, 97.1e6, "1000 Hz",
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

class TektronixWfmFile : public test::TempDirTest {};

// The int16 samples of a NumPy ".npy" file of one little-endian int16 vector;
// empty when it is anything else.
std::vector<std::int16_t> NpyInt16(const std::string& bytes) {
    if (bytes.size() < 10 || bytes.compare(0, 6, "\x93NUMPY") != 0 || bytes[6] != 1) return {};
    const std::size_t length =
        static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
    const std::string header = bytes.substr(10, length);
    if (header.find("'descr': '<i2'") == std::string::npos ||
        header.find("'fortran_order': False") == std::string::npos)
        return {};
    const std::size_t shape = header.find("'shape': (");
    if (shape == std::string::npos) return {};
    const std::size_t count = std::strtoul(header.c_str() + shape + 10, nullptr, 10);
    if (bytes.size() != 10 + length + 2 * count) return {};
    std::vector<std::int16_t> values(count);
    std::memcpy(values.data(), bytes.data() + 10 + length, 2 * count);
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
            // 2564 bytes after the 6184 bytes of headers, from its byte 32; the
            // frames differ; each frame's trigger comes after the one before.
            const CResultData& run = *d->Run(49);
            ASSERT_EQ(run.RowCount(), 2500);
            const double* y = run.Variable(1)->Values();
            const char* raw = fastFrame.data() + 6184 + 49 * 2564 + 32;
            const double k = y[1] / static_cast<std::int8_t>(raw[1]);
            for (std::int32_t i = 0; i < 2500; ++i)
                ASSERT_EQ(y[i], static_cast<std::int8_t>(raw[i]) * k) << i;
            EXPECT_NE(d->Run(0)->Variable(1)->Values()[0] - d->Run(1)->Variable(1)->Values()[0] +
                          d->Run(0)->Variable(1)->Values()[100] -
                          d->Run(1)->Variable(1)->Values()[100],
                      0.0);
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

using test::RecordingMessages;

class ScopeCsvFile : public test::TempDirTest {};

// The file with line `number` (from 1) replaced by `by`, or dropped when empty.
std::string WithLine(const std::string& bytes, int number, const std::string& by) {
    size_t at = 0;
    for (int i = 1; i < number; ++i) at = bytes.find('\n', at) + 1;
    const size_t end = bytes.find('\n', at) + 1;
    return bytes.substr(0, at) + (by.empty() ? "" : by + "\n") + bytes.substr(end);
}

// Every export read as its heading rows and its first and last rows state it
// (the counts are the files' data rows; TektronixIsfFile compares the MDO4104C's
// every sample with its ISF files); cut and malformed exports refused where they fail.
TEST_F(ScopeCsvFile, ExportsReadAsTheirRowsStateThem) {
    std::string why;
    const fs::path bench = test::PeerData("bench", why);
    if (bench.empty()) GTEST_SKIP() << why;
    const std::string rtc = test::Slurp(bench / "scope-csv/tek_mdo4104c_RTC.csv");
    ASSERT_EQ(rtc.size(), 2124294u);
    test::Spit(Path("cut.csv"), rtc.substr(0, 1000000));
    test::Spit(Path("bad_value.csv"),
               WithLine(test::Slurp(bench / "scope-csv/keysight_mso7034a_scope_6.csv"), 50,
                        "-60.00E-06,2.5V,+2.53150010E+00"));
    // Sample 7 of the Rigol rows (on line 10) left out.
    test::Spit(Path("gap.csv"), WithLine(test::Slurp(bench / "rigol/DS2072A-5.csv"), 10, ""));

    struct Case {
        std::string file;
        std::string names;  // of the channels, in volts, one a space
        long long rows;
        std::string interval;
        double x0, y0, x1, y1;  // X and the first channel in the first and last rows
        std::string said;       // a further note
    };
    const double gone = NAN;  // a sample left empty
    const Case cases[] = {
        {"scope-csv/tek_mdo4104c_RTC.csv", "CH1 CH2", 100000, "2e-08 s", -4.03e-4, 4.96, 1.59698e-3,
         4.96, "instrument: MDO4104C"},
        {"scope-csv/tek_mso64_analog_waveform.csv", "REF7", 50000, "4e-11 s", -9.99966406e-07,
         -0.148, 9.99993594e-07, 0.144, "instrument: MSO64"},
        {"scope-csv/keysight_mso7034a_scope_3.csv", "1 2", 1000, "2e-06 s", -1e-3, -249.982e-6,
         998e-6, gone, "2 empty samples marked missing (the first on line 1002)."},
        {"scope-csv/keysight_mso7034a_scope_6.csv", "1 2", 100, "2e-05 s", -1e-3, -249.98e-6,
         980e-6, 2.49975002, "record length: 100"},
        // Its last row has no line end.
        {"scope-csv/keysight_mso7034a_scope_7_1.csv", "1", 100, "2e-05 s", -1e-3, -0.000249982,
         0.00098, 2.49975, "record length: 100"},
        {"rigol/DS1054Z-A.csv", "CH1 CH2 CH3 CH4", 1200, "5e-10 s", -3e-7, 3.28,
         -3e-7 + 1199 * 5e-10, 4.08, "start: -3e-07 s"},
        {"rigol/DS1102E-B.csv", "CH1", 600, "2e-08 s", -5.9999998e-06, 4.4, 5.98e-06, -1.36,
         "record length: 600"},
        {"rigol/DS2072A-5.csv", "CH1 CH2", 1400, "1e-08 s", -2.52e-6, 0.0, -2.52e-6 + 1399 * 1e-8,
         0.302, "start: -2.52e-06 s"},
    };
    const std::pair<std::string, std::string> refused[] = {
        {"cut.csv", "record length is 100000, but it holds 46455 rows: it is cut short"},
        {"bad_value.csv", "Line 50: \"2.5V\" is no number."},
        {"gap.csv", "Line 10 numbers its sample \"8\" where 7 comes next"},
    };
    for (const auto& [file, said] : refused) {
        SCOPED_TRACE(file);
        EXPECT_EQ(test::ReaderName(Path(file)), "oscilloscope CSV");
        test::ReadOutcome o;
        test::ReadInto(ReadScopeCsvFile, Path(file), o);
        test::ExpectRefused(o, said);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = (bench / c.file).string();
        EXPECT_EQ(test::ReaderName(path), "oscilloscope CSV");
        test::ReadOutcome o;
        test::ReadInto(ReadScopeCsvFile, path, o);
        const CResultDataRef& d = o.data;
        ASSERT_TRUE(o.read) << o.First();
        EXPECT_TRUE(o.messages.shown.empty());
        EXPECT_TRUE(o.Noted("record length: " + std::to_string(c.rows)));
        EXPECT_TRUE(o.Noted("sample interval: " + c.interval));
        EXPECT_TRUE(o.Noted(c.said));
        EXPECT_EQ(d->Variable(0)->Name(), "Time");
        std::string names;
        for (std::int32_t i = 1; i < d->VariableCount(); ++i)
            names += (i > 1 ? " " : "") + d->Variable(i)->Name();
        EXPECT_EQ(names, c.names);
        for (std::int32_t i = 0; i < d->VariableCount(); ++i)
            EXPECT_EQ(d->Variable(i)->Unit(), i == 0 ? "s" : "V");
        ASSERT_EQ(d->RowCount(), c.rows);
        const std::int32_t last = d->RowCount() - 1;
        const double* x = d->Variable(0)->Values();
        const double* y = d->Variable(1)->Values();
        EXPECT_NEAR(x[0], c.x0, 1e-9 * std::fabs(c.x0));
        EXPECT_NEAR(x[last], c.x1, 1e-9 * std::fabs(c.x1));
        EXPECT_NEAR(y[0], c.y0, 1e-12);
        if (std::isnan(c.y1)) {
            EXPECT_EQ(d->Variable(1)->Flags()[last], kPointMissing);
            EXPECT_TRUE(d->BadPoints());
        } else {
            EXPECT_NEAR(y[last], c.y1, 1e-12);
            EXPECT_FALSE(d->BadPoints());
        }
    }
}

// A CSV Kurvex writes, even of a capture, and text that merely begins like an
// export stay the text reader's.
TEST_F(ScopeCsvFile, OtherCsvFilesStayTheTextReaders) {
    std::string why;
    const fs::path bench = test::PeerData("bench", why);
    if (bench.empty()) GTEST_SKIP() << why;
    CResultDataRef capture;
    RecordingMessages messages;
    ASSERT_TRUE(ReadScopeCsvFile((bench / "rigol/DS1102E-B.csv").string(), capture, messages));
    const std::string ours = Path("ours.csv");
    std::FILE* f = std::fopen(ours.c_str(), "wb");
    ASSERT_TRUE(f);
    ASSERT_TRUE(ExportDataSet(capture, f, "", kExportComma));
    std::fclose(f);
    test::Spit(Path("x.csv"), "X,CH1\r\n0,1\r\n1,2\r\n");
    test::Spit(Path("model.csv"), "Model,gain\n0,1\n1,2\n");
    test::Spit(Path("axis.csv"), "x-axis,1\n0,1\n1,2\n");
    for (const std::string& file : {ours, Path("x.csv"), Path("model.csv"), Path("axis.csv")}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(test::ReaderName(file), "text");
        CResultDataRef d;
        std::vector<std::string> names;
        ASSERT_TRUE(ReadTextResult(file, d, names, messages));
        if (file != ours) continue;
        ASSERT_EQ(d->RowCount(), capture->RowCount());
        for (std::int32_t i = 0; i < d->RowCount(); ++i)
            ASSERT_EQ(d->Variable(1)->Values()[i], capture->Variable(1)->Values()[i]) << i;
    }
}

class LecroyTrcFile : public test::TempDirTest {};

// Whether a note begins with `line`.
bool Noted(const std::vector<std::string>& notes, const std::string& line) {
    return std::any_of(notes.begin(), notes.end(),
                       [&](const std::string& n) { return n.rfind(line, 0) == 0; });
}

// The captures lecroy-scope tests with, read as its tests state; cut-short
// captures refused before their declared sizes are believed.
TEST_F(LecroyTrcFile, CapturesReadAsLecroyScopeReadsThem) {
    std::string why;
    const fs::path peer = test::PeerData("bench/lecroy-trc", why);
    if (peer.empty()) GTEST_SKIP() << why;
    const std::string issue = test::Slurp(peer / "issue_1.trc");
    ASSERT_EQ(issue.size(), 200361u);
    // Inside the samples, and inside the descriptor.
    test::Spit(Path("cut_samples.trc"), issue.substr(0, 150000));
    test::Spit(Path("cut_descriptor.trc"), issue.substr(0, 200));
    // The descriptor lecroy-scope states field by field, given the trigger
    // times and samples it declares (zeros).
    const std::string header = test::Slurp(peer / "header.trc");
    ASSERT_EQ(header.size(), 357u);
    test::Spit(Path("header_filled.trc"), header + std::string(3200 + 800800, '\0'));

    struct Case {
        std::string file;
        std::int32_t runs, rows;  // 0 runs: refused
        const char* said;         // a note, or in the refusal
    };
    const Case cases[] = {
        {"pulse.trc", 1, 502, "instrument: LECROYWR64Xi-A"},
        {"issue_1.trc", 1, 100002, "instrument: LECROYWP254HD-MS"},
        {"pulse_sequence.trc", 20, 502, "segments: 20"},
        {"header_filled.trc", 200, 2002, "trigger time: 2022-10-13 16:29:38"},
        {"header.trc", 0, 0, "declares 800800 bytes of samples"},
        {"cut_samples.trc", 0, 0, "cut short"},
        {"cut_descriptor.trc", 0, 0, "ends inside its waveform descriptor"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = test::PeerOrOwn(peer, c.file, Path(c.file));
        ASSERT_TRUE(LooksLikeLecroyTrc(test::Slurp(path).substr(0, 128), path));
        test::ReadOutcome o;
        test::ReadInto(ReadLecroyTrcFile, path, o);
        const CResultDataRef& d = o.data;
        const std::vector<std::string>& notes = o.notes;
        if (c.runs == 0) {
            test::ExpectRefused(o, c.said);
            EXPECT_EQ(d->VariableCount(), 0);
            continue;
        }
        ASSERT_TRUE(o.read) << o.First();
        EXPECT_TRUE(o.messages.shown.empty());
        EXPECT_TRUE(Noted(notes, c.said));
        EXPECT_TRUE(Noted(notes, "record length: " + std::to_string(c.rows)));
        ASSERT_EQ(d->RunCount(), c.runs);
        for (std::int32_t k = 0; k < c.runs; ++k) {
            const CResultData& run = *d->Run(k);
            ASSERT_EQ(run.RowCount(), c.rows);
            ASSERT_EQ(run.VariableCount(), 2);
            EXPECT_EQ(run.Variable(0)->Name(), "Time");
            EXPECT_EQ(run.Variable(0)->Unit(), "s");
            EXPECT_EQ(run.Variable(1)->Name(), "C2");
            EXPECT_EQ(run.Variable(1)->Unit(), "V");
            // The pulse sits at its segment's own trigger.
            const double* y = run.Variable(1)->Values();
            const double tMax = run.Variable(0)->Values()[std::max_element(y, y + c.rows) - y];
            if (c.file.rfind("pulse", 0) == 0) {
                EXPECT_LT(std::fabs(tMax), 1e-8) << "run " << k;
            }
        }
        if (c.file == "pulse.trc") {
            const double* y = d->Variable(1)->Values();
            EXPECT_NEAR(std::accumulate(y, y + 100, 0.0) / 100, 0.0057997689768671985, 1e-8);
            const double tMax = d->Variable(0)->Values()[std::max_element(y, y + 502) - y];
            EXPECT_NEAR(tMax, 4.254989846811945e-09, 1e-15);
            EXPECT_TRUE(Noted(notes, "sample interval: 1e-09 s"));
        }
        if (c.file == "pulse_sequence.trc") {
            EXPECT_EQ(d->RunName(0), "segment 1 at 0 s");
            EXPECT_EQ(d->RunName(1).rfind("segment 2 at 0.00745", 0), 0u) << d->RunName(1);
            // Each segment starts where its own trigger puts it.
            EXPECT_NE(d->Run(0)->Variable(0)->Values()[0], d->Run(1)->Variable(0)->Values()[0]);
        }
    }
}

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
            EXPECT_EQ(d->Variable(v)->Min(), lo);
            EXPECT_EQ(d->Variable(v)->Max(), hi);
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
