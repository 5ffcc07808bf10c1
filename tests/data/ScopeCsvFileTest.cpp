#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/ReaderTestSupport.h"
#include "data/formats/ScopeCsvFile.h"
#include "data/formats/TextReader.h"
#include "data/formats/TextWriter.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;
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
        // Its last row has no line end.
        {"scope-csv/keysight_mso7034a_scope_7_1.csv", "1", 100, "2e-05 s", -1e-3, -0.000249982,
         0.00098, 2.49975, "record length: 100"},
        {"rigol/DS1054Z-A.csv", "CH1 CH2 CH3 CH4", 1200, "5e-10 s", -3e-7, 3.28,
         -3e-7 + 1199 * 5e-10, 4.08, "start: -3e-07 s"},
        {"rigol/DS1102E-B.csv", "CH1", 600, "2e-08 s", -5.9999998e-06, 4.4, 5.98e-06, -1.36,
         "record length: 600"},
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
    test::Spit(ours, test::Written([&](std::FILE* f) {
                   return ExportDataSet(capture, f, "", kExportComma);
               }));
    test::Spit(Path("x.csv"), "X,CH1\r\n0,1\r\n1,2\r\n");
    test::Spit(Path("model.csv"), "Model,gain\n0,1\n1,2\n");
    test::Spit(Path("axis.csv"), "x-axis,1\n0,1\n1,2\n");
    for (const std::string& file : {ours, Path("x.csv"), Path("model.csv"), Path("axis.csv")}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(test::ReaderName(file), "text");
        CResultDataRef d;
        std::vector<std::string> names;
        ASSERT_TRUE(ReadTextResult(file, d, names, messages));
    }
}

}  // namespace
}  // namespace kurvex
