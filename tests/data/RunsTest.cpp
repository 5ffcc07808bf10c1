#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <mutex>

#include "CacheHome.h"
#include "LtspiceRawWriter.h"
#include "TestSupport.h"
#include "data/BinaryTestSupport.h"
#include "data/document/Document.h"
#include "data/document/ResultFile.h"
#include "data/document/RunFiles.h"
#include "data/formats/RawFile.h"
#include "data/model/Runs.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

using test::MakeData;

TEST(Runs, ASweepStoredAsOneColumnSplitsWhereXStartsAgain) {
    // Three runs of 3, 2 and 1 rows: the last of a single point.
    CResultDataRef data = MakeData({"time", "V"}, {{0, 1, 2, 0, 1.5, 0}, {10, 11, 12, 20, 21, 30}});
    data.Get()->Variable(1)->SetUnit("V");
    const std::vector<std::int32_t> starts = RunStarts(*data.Get());
    ASSERT_EQ(starts, (std::vector<std::int32_t>{0, 3, 5}));
    const CResultData* before = data.Get();
    ASSERT_TRUE(SplitIntoRuns(data, starts, {"r=1", "r=2"}));
    ASSERT_NE(data.Get(), before);
    ASSERT_EQ(data->RunCount(), 3);
    const std::vector<double> want[] = {{10, 11, 12}, {20, 21}, {30}};
    for (std::int32_t k = 0; k < 3; ++k) {
        const CResultData& run = *data->Run(k);
        const double* v = run.Variable(1)->Values();
        EXPECT_EQ(std::vector<double>(v, v + run.RowCount()), want[k]) << k;
        EXPECT_EQ(run.Variable(1)->Min(), want[k].front()) << k;
        EXPECT_EQ(run.Variable(1)->Unit(), "V");
        EXPECT_EQ(RunVariable(run, "v"), 1);
    }
    EXPECT_EQ(data->RunName(0), "r=1");
    EXPECT_EQ(data->RunName(2), "");  // fewer names than runs
    EXPECT_EQ(data->Run(3), nullptr);
    EXPECT_EQ(data->Run(-1), nullptr);
    // A result of one run stays the data set it was.
    CResultDataRef one = MakeData({"time", "V"}, {{0, 1}, {5, 6}});
    const CResultData* same = one.Get();
    ASSERT_TRUE(SplitIntoRuns(one, RunStarts(*one.Get()), {}));
    EXPECT_EQ(one.Get(), same);
}

TEST(Runs, FileRunsAreNamedByTitleWithTheFoldersThatTellThemApart) {
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"/s/a.raw", "/s/b.raw"}, {"a", "b"}},
        {{"/s/1/out.raw", "/s/2/out.raw", "/s/x.raw"}, {"1/out", "2/out", "x"}},
        {{"/p/a/out.txt", "/q/a/out.txt"}, {"p/a/out", "q/a/out"}},
        {{"out.txt", "/d/out.txt"}, {"out", "d/out"}},
        {{"/d/out.txt", "/d/out.txt"}, {"d/out", "d/out"}},  // the same file twice
    };
    for (const auto& [paths, names] : cases) EXPECT_EQ(RunNamesForFiles(paths), names);
}

TEST(Runs, FilesReadAsRunsShowPartialDataOfTheFirstOnly) {
    // The window of partial data bears the first file's name; v is the file's number.
    const test::CacheHome home("RunsPreview");
    std::vector<std::string> paths;
    for (const double file : {1.0, 2.0}) {
        // Shown while converted.
        const std::string raw = test::NgspicePlot("tran", 400000, [&](int v, std::int64_t p) {
            return v == 0 ? p * 1e-6 : v == 1 ? file : 0.0;
        });
        paths.push_back((home.dir / (std::to_string(int(file)) + ".raw")).string());
        test::Spit(paths.back(), raw);
    }
    LoadOptions options;
    options.cacheAboveBytes = 1;
    std::mutex lock;
    std::vector<double> shown;
    options.preview = [&](const CResultDataRef& d) {
        std::lock_guard<std::mutex> hold(lock);
        shown.push_back(d->Variable(1)->Values()[0]);
    };
    test::RecordingMessages messages;
    COhmixGraphDoc doc(messages);
    ASSERT_TRUE(doc.OpenRuns(paths, options));
    EXPECT_FALSE(shown.empty());
    EXPECT_EQ(std::count(shown.begin(), shown.end(), 1.0), std::ssize(shown));
}

namespace fs = std::filesystem;

TEST(RunFiles, FilesOpenAsRunsOfOneResultAndReloadAsRuns) {
    const fs::path dir = test::FreshDir("runfiles");
    fs::create_directories(dir / "1");
    fs::create_directories(dir / "2");
    test::Spit(dir / "1" / "out.txt", "Time V\n0 1\n1 2\n2 3\n");
    test::Spit(dir / "2" / "out.txt", "Time V W\n0 5 0\n0.5 6 1\n");
    test::Spit(dir / "freq.txt", "Frequency V\n1 1\n2 2\n");
    test::RecordingMessages messages;
    COhmixGraphDoc doc(messages);
    ASSERT_TRUE(doc.OpenRuns({(dir / "1" / "out.txt").string(), (dir / "2" / "out.txt").string()}));
    const CResultData* d = doc.Data().Get();
    ASSERT_EQ(d->RunCount(), 2);
    EXPECT_EQ(d->RunName(1), "2/out");

    // Another X cannot join: said, and the result stays as it was.
    EXPECT_FALSE(doc.AddRunFile((dir / "freq.txt").string()));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].first.find("\"Frequency\", not \"Time\""), std::string::npos);
    EXPECT_EQ(doc.Data()->RunCount(), 2);
    EXPECT_EQ(doc.Files().size(), 2u);

    // A reload reads every run again, and a run that grew shows it.
    test::Spit(dir / "2" / "out.txt", "Time V\n0 5\n0.5 6\n1 7\n");
    CResultDataRef fresh;
    ASSERT_EQ(doc.Reload(fresh), COhmixGraphDoc::ReloadResult::Loaded);
    ASSERT_EQ(fresh->RunCount(), 2);
    EXPECT_EQ(fresh->Run(1)->RowCount(), 3);
    // The shown result was not touched: a view drawing it keeps it whole.
    EXPECT_EQ(d->Run(1)->RowCount(), 2);
}

TEST(RunFiles, FilesReadAtOnceComeOutInOrderWithTheirMessagesInOrder) {
    const fs::path dir = test::FreshDir("atonce");
    std::vector<std::string> paths;
    for (int i = 0; i < 12; ++i) {
        paths.push_back((dir / ("r" + std::to_string(i) + ".txt")).string());
        std::string text = "Time V\n";
        for (int r = 0; r <= i; ++r) text += std::to_string(r) + " " + std::to_string(i) + "\n";
        // Two files cannot be read, and say so in their turn.
        if (i == 3) text = "Time V\n0 x\n";
        if (i == 8)
            text =
                "Title: t\nDate: x\nPlotname: Transient Analysis\nFlags: real\n"
                "No. Variables: 2\nNo. Points: 1\nVariables:\n\t0\ttime\ttime\n"
                "\t1\tv\tvoltage\nValues:\n 0\tx\n\t1\n";
        test::Spit(paths.back(), text);
    }
    test::RecordingMessages messages;
    std::int64_t last = 0, total = 0;
    LoadOptions options;
    options.text.progress = [&](std::int64_t done, std::int64_t all) {
        last = std::max(last, done);
        total = all;
        return true;
    };
    const std::vector<FileRead> reads = ReadFilesAtOnce(paths, messages, options);
    ASSERT_EQ(reads.size(), paths.size());
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(reads[i].ok, i != 3 && i != 8) << i;
        if (!reads[i].ok) continue;
        EXPECT_EQ(reads[i].data->RowCount(), i + 1);
    }
    ASSERT_EQ(messages.shown.size(), 2u) << messages.shown[0].first;
    EXPECT_EQ(messages.shown[0].first.find("Plot 1"), std::string::npos);
    EXPECT_NE(messages.shown[1].first.find("r8.txt"), std::string::npos);
    EXPECT_LE(last, total);

    // Cancelled: no file counts as read and none speaks.
    test::RecordingMessages quiet;
    options.text.progress = [](std::int64_t, std::int64_t) { return false; };
    for (const FileRead& r : ReadFilesAtOnce(paths, quiet, options)) EXPECT_FALSE(r.ok);
    EXPECT_TRUE(quiet.shown.empty());
}

using test::LtspiceLayout;
using test::LtspiceRaw;
using test::RecordingMessages;
using test::Utf16LE;

// Three steps of 4, 1 and 3 points; LTspice marks the second time negative.
constexpr std::int64_t kStepRows[] = {4, 1, 3};

double StepTime(std::int64_t p, std::int64_t& step) {
    step = 0;
    while (p >= kStepRows[step]) p -= kStepRows[step++];
    return p * 1e-6;
}

TEST(RunSources, SteppedLtspiceSplitsAtRestartsNamedByItsLog) {
    const std::string steps =
        "Circuit: * C:\\sim\\buck.asc\r\n.step vin=1 r1=1000\r\n"
        ".step vin=2 r1=1000\r\n  .STEP\tvin=3 r1=2k\r\n"
        "Date: Mon Jan  6 10:00:00 2025\r\n.stepping is done\r\n";
    const std::vector<std::string> named = {"vin=1 r1=1000", "vin=2 r1=1000", "vin=3 r1=2k"};
    const std::vector<std::string> numbered = {"Run 1", "Run 2", "Run 3"};
    struct Case {
        const char* what;
        bool fastAccess;
        const char* logName;  // none when null
        std::string log;
        std::vector<std::string> names;
        bool noted;
    };
    const Case cases[] = {
        {"no log", false, nullptr, "", numbered, false},
        {"8-bit log", false, "sim.log", steps, named, false},
        {"fastaccess, UTF-16 log without a mark", true, "sim.log", Utf16LE(steps), named, false},
        {"UTF-16 log with a mark, upper-case extension", false, "sim.LOG",
         "\xFF\xFE" + Utf16LE(steps), named, false},
        {"too few steps", true, "sim.log", ".step a=1\n.step a=2\n", numbered, true},
        {"too many steps", false, "sim.Log", steps + ".step vin=4 r1=2k\n", numbered, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::filesystem::path dir = test::FreshDir("runsources");
        const LtspiceLayout layout{{"time", "V(out)"}, 8, c.fastAccess, true};
        auto value = [](std::int64_t v, std::int64_t p) -> std::complex<double> {
            std::int64_t step;
            const double t = StepTime(p, step);
            if (v == 0) return p == 1 ? -t : t;
            return 10.0 * (step + 1) + p;
        };
        test::Spit(dir / "sim.raw", LtspiceRaw(layout, value));
        if (c.logName) test::Spit(dir / c.logName, c.log);
        CResultDataRef data;
        RecordingMessages messages;
        std::vector<std::string> notes;
        LoadOptions options;
        options.notes = &notes;
        ASSERT_TRUE(LoadResultFile((dir / "sim.raw").string(), data, nullptr, messages, options));
        EXPECT_TRUE(messages.shown.empty());
        ASSERT_EQ(data->RunCount(), 3);
        // How runs are cut and filled is Runs.ASweepStoredAsOneColumnSplitsWhereXStartsAgain's.
        for (std::int32_t k = 0; k < 3; ++k) {
            EXPECT_EQ(data->RunName(k), c.names[static_cast<size_t>(k)]);
            EXPECT_EQ(data->Run(k)->RowCount(), kStepRows[k]) << k;
        }
        ASSERT_EQ(notes.size(), c.noted ? 1u : 0u);
        if (c.noted) {
            EXPECT_NE(notes[0].find("but the file holds 3 runs"), std::string::npos) << notes[0];
        }
    }
}

TEST(RunSources, LikePlotsOfAnNgspiceLoopBecomeRuns) {
    const std::string path = std::string(KURVEX_SPICE_DIR) + "/rc_loop.raw";
    struct Case {
        std::int32_t plot;
        bool chosen;
        std::int32_t runs;
        const char* note;  // what OtherPlotsNote says
    };
    for (const Case& c : {Case{0, false, 3,
                               "Plot 1 of 4: Transient Analysis. Also in this file: "
                               "2 AC Analysis."},
                          Case{0, true, 1,
                               "Plot 1 of 4: Transient Analysis. Also in this file: 2 AC "
                               "Analysis; 3 Transient Analysis; 4 Transient Analysis."},
                          Case{2, true, 1,
                               "Plot 3 of 4: Transient Analysis. Also in this file: 1 "
                               "Transient Analysis; 2 AC Analysis; 4 Transient Analysis."}}) {
        SCOPED_TRACE(c.plot * 2 + c.chosen);
        CResultDataRef data;
        RecordingMessages messages;
        std::vector<RawPlot> plots;
        LoadOptions options;
        options.plot = c.plot;
        options.plotChosen = c.chosen;
        options.plots = &plots;
        ASSERT_TRUE(LoadResultFile(path, data, nullptr, messages, options));
        ASSERT_EQ(data->RunCount(), c.runs);
        EXPECT_EQ(OtherPlotsNote(plots, c.plot), c.note);
        // Run k charges C = 100n through R = 1k * 2^k from a 1 V step rising over 1 us
        // (at its midpoint, to ngspice's accuracy); the plot asked for alone is run 1.
        for (std::int32_t k = 0; k < c.runs; ++k) {
            const CResultData& run = *data->Run(k);
            const double tau = 1e3 * std::pow(2.0, c.plot == 2 ? 1 : k) * 100e-9;
            EXPECT_EQ(data->RunName(k),
                      c.runs > 1 ? "Transient Analysis " + std::to_string(k + 1) : std::string());
            ASSERT_EQ(run.RowCount(), 69);
            ASSERT_EQ(run.VariableCount(), 3);
            EXPECT_EQ(run.Variable(0)->Values()[68], 400e-6);
            EXPECT_NEAR(run.Variable(2)->Values()[68], 1 - std::exp(-399.5e-6 / tau), 1e-3) << k;
        }
    }
}

}  // namespace
}  // namespace kurvex
