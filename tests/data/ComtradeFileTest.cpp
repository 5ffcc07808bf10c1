#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>

#include "TestSupport.h"
#include "data/ComtradeWriter.h"
#include "data/ReaderTestSupport.h"
#include "data/document/ResultFile.h"
#include "data/formats/ComtradeFile.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;
using test::ComtradeRecord;
using test::Names;
using test::RecordingMessages;

const fs::path kComtrade = KURVEX_COMTRADE_DIR;

std::vector<double> Column(const CResultDataRef& d, std::int32_t v) {
    const CResultVariable* var = d->Variable(v);
    std::vector<double> out;
    for (std::int32_t r = 0; r < d->RowCount(); ++r)
        out.push_back(var->Flags()[r] == kPointValid ? var->Values()[r] : NAN);
    return out;
}

void ExpectColumn(const CResultDataRef& d, std::int32_t v, const std::vector<double>& want) {
    SCOPED_TRACE(d->Variable(v)->Name());
    const std::vector<double> got = Column(d, v);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        if (std::isnan(want[i])) {
            EXPECT_TRUE(std::isnan(got[i])) << "row " << i;
        } else {
            EXPECT_NEAR(got[i], want[i], 1e-12 * (1 + std::fabs(want[i]))) << "row " << i;
        }
    }
}

std::string Said(const RecordingMessages& m) {
    return m.shown.empty() ? "" : m.shown.front().first;
}

// Writes the record as name.cfg/.dat, or as name.cff; returns the path to open.
std::string Save(const fs::path& dir, const ComtradeRecord& rec, bool combined,
                 const std::string& name = "rec") {
    if (combined) {
        test::Spit(dir / (name + ".cff"), rec.Cff());
        return (dir / (name + ".cff")).string();
    }
    test::Spit(dir / (name + ".cfg"), rec.Cfg());
    test::Spit(dir / (name + ".dat"), rec.Dat());
    return (dir / (name + ".cfg")).string();
}

TEST(ComtradeFile, HandCheckedRecordIsScaledToItsUnits) {
    const std::string path = (kComtrade / "hand.cfg").string();
    test::ReadOutcome o;
    test::ReadInto(ReadComtradeFile, path, o);
    ASSERT_TRUE(o.read) << o.First();
    EXPECT_TRUE(o.messages.shown.empty());
    const CResultDataRef& d = o.data;
    const std::vector<std::string>& notes = o.notes;
    // The Latin-1 "ü" of the digital channel arrives as UTF-8.
    EXPECT_EQ(Names(d), (std::vector<std::string>{"Time", "VA (A)", "IA (A)", "Sch\xC3\xBCtz"}));
    EXPECT_EQ(d->Variable(1)->Unit(), "kV");
    ExpectColumn(d, 0, {0.0, 0.001, 0.002});
    // VA = 0.5 x - 1 (primary kV); IA = 0.25 x + 2 stays on the secondary side.
    ExpectColumn(d, 1, {4.0, NAN, -4.0});
    ExpectColumn(d, 2, {0.0, 3.0, 27.0});
    ExpectColumn(d, 3, {0.0, 1.0, 1.0});
    EXPECT_TRUE(d->BadPoints());
    EXPECT_TRUE(d->UniformX());
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_NE(notes[1].find("trigger at 0.0015 s"), std::string::npos) << notes[1];
    EXPECT_NE(notes[2].find("IA (1000:5)"), std::string::npos) << notes[2];

    // Opening the record's samples opens the record.
    CResultDataRef viaDat;
    LoadOptions options;
    options.showWarnings = false;
    ASSERT_TRUE(
        LoadResultFile((kComtrade / "hand.dat").string(), viaDat, nullptr, o.messages, options));
    EXPECT_EQ(Names(viaDat), Names(d));
}

// 17 digital channels fill one word and start a second.
ComtradeRecord Sample(int revision, const std::string& type) {
    ComtradeRecord rec;
    rec.revision = revision;
    rec.type = type;
    rec.analogs = {{"V1", "", "kV", 0.5, -1.0}, {"I1", "B", "A", -2.0, 3.0, 600, 1, 'S'}};
    for (int d = 0; d < 17; ++d) rec.digitals.push_back({"S" + std::to_string(d), ""});
    rec.rates = {{4000.0, 4}};
    rec.stamps = {0, 250, 500, 750};
    rec.raw = {{100, -7}, {NAN, 32767}, {-32767, 0}, {3, NAN}};
    for (int n = 0; n < 4; ++n) {
        rec.bits.emplace_back();
        for (int d = 0; d < 17; ++d) rec.bits.back().push_back((d + n) % 3 == 0);
    }
    return rec;
}

TEST(ComtradeFile, EveryRevisionAndDataTypeReadsTheSameRecord) {
    const fs::path dir = test::FreshDir("comtrade_types");
    for (int revision : {1991, 1999, 2013}) {
        for (const char* type : {"ASCII", "BINARY", "BINARY32", "FLOAT32"}) {
            for (bool combined : {false, true}) {
                SCOPED_TRACE(Format("%d %s %s", revision, type, combined ? "cff" : "cfg"));
                ComtradeRecord rec = Sample(revision, type);
                // Years of none of the three: the layout tells, but before 1991 means 1991.
                if (combined) rec.year = revision == 1999 ? "0" : "2005";
                const std::string path = Save(dir, rec, combined);
                test::ReadOutcome o;
                test::ReadInto(ReadComtradeFile, path, o);
                ASSERT_TRUE(o.read) << o.First();
                const CResultDataRef& d = o.data;
                const std::vector<std::string>& notes = o.notes;
                const int rules = combined && revision == 1999 ? 1991 : revision;
                EXPECT_NE(notes[combined].find(Format("%d record", rules)), std::string::npos);
                EXPECT_EQ(notes[1].find("Its revision year \"") == 0, combined) << notes[1];
                ASSERT_EQ(d->VariableCount(), 20);
                EXPECT_EQ(d->Variable(19)->Name(), "S16");
                ExpectColumn(d, 0, {0.0, 0.00025, 0.0005, 0.00075});
                // FLOAT32 has no missing code: its NaN is missing all the same.
                ExpectColumn(d, 1, {49.0, NAN, -16384.5, 0.5});
                ExpectColumn(d, 2, {17.0, -65531.0, 3.0, NAN});
                for (int ch : {0, 15, 16}) {
                    std::vector<double> want;
                    for (int n = 0; n < 4; ++n) want.push_back((ch + n) % 3 == 0);
                    ExpectColumn(d, 3 + ch, want);
                }
            }
        }
    }
}

TEST(ComtradeFile, TimeComesFromRatesElseFromStampsTimesMultiplier) {
    const fs::path dir = test::FreshDir("comtrade_time");
    struct Case {
        std::vector<std::pair<double, long long>> rates;
        double timeMult;
        std::vector<double> want;
        bool uniform;
    };
    // Two rates: the second segment steps by its own rate from the last
    // sample of the first. Times past the range of a double are invalid.
    for (const Case& c : {Case{{{1000.0, 2}, {500.0, 4}}, 1.0, {0.0, 0.001, 0.003, 0.005}, false},
                          Case{{}, 2.5, {0.0, 625e-6, 1250e-6, 1875e-6}, true},
                          Case{{{0.0, 4}}, 1.0, {0.0, 250e-6, 500e-6, 750e-6}, true},
                          Case{{{1e-308, 4}}, 1.0, {0.0, 1e308, NAN, NAN}, false}}) {
        ComtradeRecord rec = Sample(1999, "BINARY");
        rec.rates = c.rates;
        rec.timeMult = c.timeMult;
        CResultDataRef d;
        RecordingMessages messages;
        ASSERT_TRUE(ReadComtradeFile(Save(dir, rec, false), d, messages)) << Said(messages);
        ExpectColumn(d, 0, c.want);
        EXPECT_EQ(d->UniformX(), c.uniform);
    }
}

// Files other programs wrote, each checked at one point against a value from
// its bytes alone: a x + b of a raw number (python-comtrade's tests assert
// sample_bin's), or what a simulator stores (LTspice: double X, then floats).
TEST(PeerFiles, ReadAsTheirWritersWroteThem) {
    struct Case {
        const char* file;
        const char* name;  // empty: refused
        std::int32_t row;
        double want;
        const char* says;  // in a note, or in the refusal
    };
    const Case cases[] = {
        // 616 channels, some of factor 0; "0" is the device, so 1991.
        {"comtrade/COMTRADE.jl/1991-ascii-sel.cfg", "IAY", 0, 0.0, "COMTRADE 1991 record"},
        // Year 2000 in the 1999 layout: dates day first.
        {"comtrade/Wisp.Comtrade/1.cfg", "UA", 0, 0.016552 * -3188, "trigger at 0.09 s"},
        {"comtrade/go-comtrade/test1.cfg", "Time", 11000, 11.0, "year \"2001\""},
        // Five empty segments end its ten sampling rates.
        {"comtrade/go-comtrade/test2.cfg", "Time", 949, 0.949, ""},
        {"comtrade/python-comtrade/sample_ascii_missing.cfg", "IA", 1, NAN, ""},
        {"comtrade/python-comtrade/sample_bin.cfg", "VA (A)", 3, -23425 * 0.000361849, ""},
        {"comtrade/comtrade-io/ascii_cff_2013.cff", "", 0, 0.0,
         "line 1 \"--- file type  CFG ---\" is no section line"},
        {"raw/spicelib/DC_sweep.raw", "V(out)", 0, 0.4991230666637,
         "32 bytes after its last point"},
        {"raw/spicelib/sens_xyce.bin.raw", "V(2)", 10, 0.4999987565687,
         "4 lines of text that are no"},
        {"raw/spicelib/sens_xyce.ascii.raw", "V(2)", 10, 0.499998757, "from \"TIME,V(1),R1:R,"},
        {"lt-step/tran_ltspice.fast.bin.raw", "V(out)", 20, 0.9932621121406555, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string why;
        const fs::path peer = test::PeerData("comtrade", why).parent_path();
        if (peer.empty()) GTEST_SKIP() << why;
        test::ReadOutcome o;
        test::LoadInto((peer / c.file).string(), o);
        const CResultDataRef& d = o.data;
        EXPECT_EQ(o.read, *c.name != 0) << o.Said();
        EXPECT_NE(o.Said().find(c.says), std::string::npos) << o.Said();
        const std::int32_t v = o.read ? d.FindVariable(c.name) : -1;
        if (v < 0 || c.row >= d->RowCount()) continue;
        EXPECT_EQ(d->Variable(v)->Flags()[c.row], std::isnan(c.want) ? kPointInvalid : kPointValid);
        if (!std::isnan(c.want)) {
            EXPECT_NEAR(d->Variable(v)->Values()[c.row], c.want, 1e-9 * (1 + std::fabs(c.want)));
        }
    }
}

TEST(ComtradeFile, DuplicateAndEmptyIdsGetUniqueNames) {
    const fs::path dir = test::FreshDir("comtrade_names");
    ComtradeRecord rec = Sample(2013, "ASCII");
    rec.analogs[0].id = "time";
    rec.analogs[1] = {"", "", "A"};
    rec.digitals[1].id = "S0";
    rec.digitals[2].id = "S0";
    rec.digitals[3] = {"", "C"};
    CResultDataRef d;
    RecordingMessages messages;
    ASSERT_TRUE(ReadComtradeFile(Save(dir, rec, true), d, messages)) << Said(messages);
    const std::vector<std::string> names = Names(d);
    EXPECT_EQ(
        std::vector<std::string>(names.begin(), names.begin() + 7),
        (std::vector<std::string>{"Time", "time #2", "A2", "S0", "S0 #2", "S0 #3", "D4 (C)"}));
}

TEST(ComtradeFile, BadRecordsAreRefusedWithTheirCause) {
    const fs::path dir = test::FreshDir("comtrade_bad");
    using Bytes = std::function<void(std::string & cfg, std::string & dat)>;
    auto replace = [](const std::string& from, const std::string& to) -> Bytes {
        return [=](std::string& cfg, std::string& dat) {
            std::string& s = cfg.find(from) != std::string::npos ? cfg : dat;
            const size_t at = s.find(from);
            ASSERT_NE(at, std::string::npos) << from;
            s.replace(at, from.size(), to);
        };
    };
    const Bytes dropLast = [](std::string&, std::string& dat) { dat.pop_back(); };
    struct Case {
        const char* name;
        const char* says;
        std::function<void(ComtradeRecord&)> record;
        Bytes bytes;
        bool combined = false;
        std::uint64_t memoryLimit = 0;
    };
    const std::vector<Case> cases = {
        {"total", "20 channels are not 2 analog", {}, replace("19,2A", "20,2A")},
        {"count", "is no digital channel line", {}, replace("19,2A,17D", "20,2A,18D")},
        {"fewer", "follows the 2 analog and 16 digital", {}, replace("19,2A,17D", "18,2A,16D")},
        {"short", "shorter than the configuration says", {}, dropLast},
        {"nodat", "is missing", {}, [](std::string&, std::string& dat) { dat.clear(); }},
        {"stamp",
         "Sample 3 has no time stamp",
         [](ComtradeRecord& r) {
             r.rates = {{0.0, 4}};
             r.stamps[2] = ComtradeRecord::kNoStamp;
         },
         {}},
        {"huge", "are too large", [](ComtradeRecord& r) { r.analogs[0].a = 1e300; }, {}},
        {"type", "none of ASCII", [](ComtradeRecord& r) { r.type = "BINARY64"; }, {}},
        {"rates",
         "comes before sample 3",
         [](ComtradeRecord& r) {
             r.rates = {{1000.0, 3}, {500.0, 2}};
         },
         {}},
        {"fields", "Line 2 of the data file holds 22 fields",
         [](ComtradeRecord& r) { r.type = "ASCII"; }, replace("2,250,", "2,250,,")},
        {"section", "only 63 follow", {}, dropLast, true},
        {"memory", "more memory than there is", {}, {}, false, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComtradeRecord rec = Sample(1999, "BINARY");
        if (c.record) c.record(rec);
        std::string cfg = rec.Cfg(), dat = c.combined ? rec.Cff() : rec.Dat();
        if (c.bytes) c.bytes(cfg, dat);
        const std::string base = (dir / c.name).string();
        const std::string path = base + (c.combined ? ".cff" : ".cfg");
        test::Spit(path, c.combined ? dat : cfg);
        if (!c.combined && !dat.empty()) test::Spit(base + ".dat", dat);
        test::ReadOutcome o;
        o.data.Initialise(kDataSetPlain, 1, 3, 100);
        BinaryReadOptions options;
        options.memoryLimit = c.memoryLimit;
        o.read = ReadComtradeFile(path, o.data, o.messages, options);
        ASSERT_NO_FATAL_FAILURE(test::ExpectRefused(o, c.says));
        EXPECT_NE(o.First().find("\r\n\r\nCan not read file " + path), std::string::npos);
        EXPECT_EQ(o.messages.shown[0].second, MessageIcon::Stop);
        const CResultDataRef& d = o.data;
        EXPECT_EQ(d->VariableCount(), 1);
    }
}

TEST(ComtradeFile, ProgressSeesTheBytesAndCancelsSilently) {
    const fs::path dir = test::FreshDir("comtrade_cancel");
    ComtradeRecord rec = Sample(1999, "BINARY32");
    rec.rates = {{1e6, 600000}};
    rec.stamps.assign(600000, 0);
    rec.raw.assign(600000, {1.0, 2.0});
    rec.bits.assign(600000, std::vector<int>(17, 1));
    const std::string path = Save(dir, rec, false);
    std::int64_t seen = 0;
    BinaryReadOptions options;
    options.progress = [&](std::int64_t done, std::int64_t total) {
        seen = total;
        return done == 0;
    };
    CResultDataRef d;
    RecordingMessages messages;
    EXPECT_FALSE(ReadComtradeFile(path, d, messages, options));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(seen, 600000 * 20);
}

TEST(ComtradeFile, LooksLikeComtradeByExtensionAndSecondLine) {
    const fs::path dir = test::FreshDir("comtrade_looks");
    const std::string longName(140, 'x');
    struct Case {
        const char* file;
        std::string text;
        bool want;
    };
    for (const Case& c :
         {Case{"a.cfg", "S,D,1999\r\n3, 2A ,1D\r\n", true}, Case{"a.CFG", "S,D\n0,0A,0D\n", true},
          Case{"a.txt", "S,D,1999\n3,2A,1D\n", false},
          Case{"a.cfg", "[section]\nkey=value\n", false},
          Case{"a.cff", "--- file type: CFG ---\nS,D\n", true},
          Case{"long.cfg", longName + "," + longName + "\n3,2A,1D\n", true}}) {
        SCOPED_TRACE(c.text);
        test::Spit(dir / c.file, c.text);
        EXPECT_EQ(LooksLikeComtrade(c.text.substr(0, 128), (dir / c.file).string()), c.want);
    }
}

}  // namespace
}  // namespace kurvex
