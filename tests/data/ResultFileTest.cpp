#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "TestSupport.h"
#include "data/BinaryTestSupport.h"
#include "data/ReaderTestSupport.h"
#include "data/document/Document.h"
#include "data/document/ResultFile.h"
#include "data/formats/BlockContainerFile.h"
#include "data/formats/SettingsDataFile.h"
#include "data/platform/NameText.h"
#include "data/platform/ReloadWatch.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;
using test::MakeData;
using test::RecordingMessages;

fs::path Dir() {
    static const fs::path dir = test::FreshDir("resultfile");
    return dir;
}

fs::path WriteText(const std::string& name, const std::string& text) {
    test::Spit(Dir() / name, text);
    return Dir() / name;
}

using test::Names;
TEST(ResultFile, FileTitleIsTheNameWithoutFolderAndExtension) {
    EXPECT_EQ(FileTitle("/run/a.b/buck.txt"), "buck");
    EXPECT_EQ(FileTitle("C:\\runs\\buck.v2.fra"), "buck.v2");
    EXPECT_EQ(FileTitle("buck"), "buck");
    EXPECT_EQ(FileTitle("/run/"), "");
}

TEST(ResultFile, LoadPicksTheReaderByMagicAndWarnsOfBadPoints) {
    const CResultDataRef source = MakeData({"Time", "V"}, {{0, 1, 2}, {5, 6, 7}});
    RecordingMessages quiet;
    CIOBuffer settings;
    settings.WriteInt32(4711);
    const fs::path kfd7 = Dir() / "seven.kfd";
    ASSERT_TRUE(SaveSettingsDataFile(kfd7.string(), source, nullptr, settings, quiet));
    const fs::path box = Dir() / "box.kfd";
    ASSERT_TRUE(WriteBlockContainer(source, box.string(), nullptr, {settings}, quiet));
    const fs::path text = WriteText("marked.txt", "Time V\n0 5\n1 NAN\n2 7\n");

    for (const fs::path& p : {kfd7, box}) {
        CResultDataRef d;
        CIOBuffer got;
        RecordingMessages messages;
        ASSERT_TRUE(LoadResultFile(p.string(), d, &got, messages)) << p;
        EXPECT_GT(got.Size(), 0u) << p;  // the settings came along
        EXPECT_TRUE(messages.shown.empty());
    }
    CResultDataRef d;
    RecordingMessages messages;
    ASSERT_TRUE(LoadResultFile(text.string(), d, nullptr, messages));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].first,
              "Warning: File " + text.string() + "\r\ncontains missing or invalid points.");
    EXPECT_EQ(messages.shown[0].second, MessageIcon::Exclamation);
    LoadOptions quietLoad;
    quietLoad.showWarnings = false;
    RecordingMessages none;
    EXPECT_TRUE(LoadResultFile(text.string(), d, nullptr, none, quietLoad));

    // A missing file fails without a word; a folder is reported.
    EXPECT_FALSE(LoadResultFile((Dir() / "nope.txt").string(), d, nullptr, none));
    EXPECT_TRUE(none.shown.empty());
    EXPECT_FALSE(LoadResultFile(Dir().string(), d, nullptr, none));
    EXPECT_EQ(none.shown.size(), 1u);
}

// A file over the threshold is read through the column cache when its
// format allows: the same data set, over mapped columns; otherwise, or when
// the cache cannot be used, the old way.
TEST(ResultFile, LargeRawFilesGoThroughTheColumnCache) {
    const std::string spice = KURVEX_SPICE_DIR;
    const fs::path text = WriteText("plain.txt", "Time V\n0 5\n1 6\n");
    const fs::path home = Dir() / "cache-home", blocked = Dir() / "blocked-home";
    fs::create_directories(blocked);
    test::Spit(blocked / "kurvex", "a file where the folder should be");
    const struct {
        std::string path;
        bool cached;
        fs::path home;
    } cases[] = {{spice + "/rc_tran.raw", true, home},
                 // The converter's own refusals are its tests'; one shows the fallback.
                 {spice + "/rc_loop.raw", false, home},
                 {text.string(), true, home},
                 // A cache that cannot take the file: the old way, saying why.
                 {spice + "/rc_tran.raw", false, blocked}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " " + c.home.filename().string());
        ::setenv("XDG_CACHE_HOME", c.home.c_str(), 1);
        CResultDataRef old;
        RecordingMessages messages;
        ASSERT_TRUE(LoadResultFile(c.path, old, nullptr, messages));
        test::ReadOutcome o;
        LoadOptions options;
        options.cacheAboveBytes = 1;
        test::LoadInto(c.path, o, options);
        ASSERT_TRUE(o.read) << o.First();
        if (c.home == blocked) {
            ASSERT_EQ(o.notes.size(), 1u);
            EXPECT_EQ(o.notes[0].rfind("The column cache was not used: ", 0), 0u) << o.notes[0];
        } else {
            EXPECT_TRUE(o.notes.empty());
        }
        const CResultDataRef& viaCache = o.data;
        ASSERT_EQ(Names(viaCache), Names(old));
        ASSERT_EQ(viaCache->RowCount(), old->RowCount());
        ASSERT_EQ(viaCache->RunCount(), old->RunCount());
        for (std::int32_t v = 0; v < old->VariableCount(); ++v) {
            EXPECT_EQ(viaCache->Variable(v)->Borrowed(), c.cached);
            EXPECT_EQ(test::Samples(viaCache, v), test::Samples(old, v));
        }
    }
    ::unsetenv("XDG_CACHE_HOME");
}

TEST(ResultFile, MergeNamesClashingVariablesAfterTheSuffix) {
    struct Case {
        std::vector<std::string> a, b;
        const char* suffix;
        std::vector<std::string> merged;
    };
    const Case cases[] = {
        {{"Time", "V1"}, {"time", "V1", "V2"}, "run2", {"Time", "V1", "V1_(run2)", "V2"}},
        {{"Time", "V1", "V1_(run2)"},
         {"time", "V1", "V2"},
         "run2",
         {"Time", "V1", "V1_(run2)", "V1_(run2)_(2)", "V2"}},
        {{"Time", "V1"}, {"time", "V1", "V2"}, "", {"Time", "V1", "V1_(2)", "V2"}},
        // Names clash on their text whatever their encoding; new names keep the
        // bytes where they read right, else become UTF-8 text.
        {{"Time", "\265V"}, {"TIME", "\302\265v"}, "run2", {"Time", "\265V", "\302\265v_(run2)"}},
        {{"Time", "\265V"},
         {"Time", "\265V"},
         "r\303\274",
         {"Time", "\265V", "\302\265V_(r\303\274)"}},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<double>> columnsA(c.a.size(), {0, 1}), columnsB(c.b.size(), {0, 1});
        RecordingMessages messages;
        CResultDataRef r;
        ASSERT_TRUE(
            MergeDataSets(MakeData(c.a, columnsA), MakeData(c.b, columnsB), r, c.suffix, messages));
        EXPECT_EQ(Names(r), c.merged) << c.merged.back();
        EXPECT_TRUE(messages.shown.empty());
    }

    RecordingMessages messages;
    CResultDataRef r;
    const auto a = MakeData({"Time", "V1"}, {{0, 1}, {1, 2}});
    const auto freq = MakeData({"Freq", "V"}, {{0, 1}, {1, 2}});
    EXPECT_FALSE(MergeDataSets(a, freq, r, "x", messages));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].first,
              "Error: When merging files, the name of the first column of both files must be the "
              "same.");
    EXPECT_EQ(messages.shown[0].second, MessageIcon::None);
    EXPECT_FALSE(MergeDataSets(a, MakeData({"Time", "V"}, {{0}, {1}}), r, "x", messages));
}

TEST(ResultFile, MergeWalksBothXColumnsAndInterpolatesTheOther) {
    // A's samples at 0.25 and B's at 2 lie a quarter of a step along: a weight
    // taken from the wrong end shows there.
    const auto a = MakeData({"Time", "A"}, {{0, 1, 2}, {10, 20, 30}});
    const auto b = MakeData({"Time", "B"}, {{0.25, 1, 5}, {100, 200, 600}});
    RecordingMessages messages;
    CResultDataRef r;
    ASSERT_TRUE(MergeDataSets(a, b, r, "b", messages));
    // Quarter steps of small whole numbers: exact whichever way they are weighed.
    using Values = std::vector<double>;
    using Flags = std::vector<std::uint8_t>;
    EXPECT_EQ(test::Samples(r, 0), (Values{0, 0.25, 1, 2, 5}));
    EXPECT_EQ(test::Flags(r, 0), Flags(5, kPointValid));
    EXPECT_EQ(test::Samples(r, 1), (Values{10, 12.5, 20, 30, 30}));
    EXPECT_EQ(test::Flags(r, 1), (Flags{1, 0, 1, 1, 0}));
    EXPECT_EQ(test::Samples(r, 2), (Values{100, 100, 200, 300, 600}));
    EXPECT_EQ(test::Flags(r, 2), (Flags{0, 1, 1, 0, 1}));
    EXPECT_EQ(r->BadPoints(), 1);
    EXPECT_EQ(r->UniformX(), 0);
    // Two samples at one X give no slope to interpolate along.
    const auto steep = MakeData({"Time", "S"}, {{0, 1, 1, 2}, {0, 1, 5, 6}});
    ASSERT_TRUE(
        MergeDataSets(steep, MakeData({"Time", "C"}, {{0.5, 1.5}, {1, 1}}), r, "c", messages));
    for (std::int32_t i = 0; i < r->RowCount(); ++i)
        EXPECT_TRUE(std::isfinite(r->Variable(1)->Values()[i]));
}

TEST(Document, OpenMergeAndReloadFollowTheFiles) {
    const fs::path first = WriteText("first.txt", "Time V1\n0 1\n1 2\n2 3\n");
    const fs::path second = WriteText("second.txt", "Time V1 V2\n0.5 7 8\n1 9 10\n");
    RecordingMessages messages;
    COhmixGraphDoc doc(messages);
    EXPECT_FALSE(doc.Save());
    EXPECT_FALSE(doc.Open((Dir() / "absent.txt").string()));
    EXPECT_TRUE(doc.Files().empty());
    ASSERT_TRUE(
        doc.OpenSeveral({first.string(), (Dir() / "absent.txt").string(), second.string()}));
    EXPECT_EQ(doc.Files(), (std::vector<std::string>{first.string(), second.string()}));
    EXPECT_EQ(Names(doc.Data()), (std::vector<std::string>{"Time", "V1", "V1_(second)", "V2"}));

    // Reload reads both again; a property dialog holds it off.
    test::Spit(second, "Time V1 V2\n0.5 7 8\n1 9 10\n5 1 1\n");
    CResultDataRef fresh;
    doc.propertyDialogOpen = true;
    EXPECT_EQ(doc.Reload(fresh), COhmixGraphDoc::ReloadResult::Skipped);
    doc.propertyDialogOpen = false;
    ASSERT_EQ(doc.Reload(fresh), COhmixGraphDoc::ReloadResult::Loaded);
    EXPECT_EQ(fresh.Get(), doc.Data().Get());
    EXPECT_EQ(fresh->RowCount(), 5);

    // A merge of a file with another first column leaves the document alone.
    const fs::path freq = WriteText("freq.txt", "Freq A\n1 2\n3 4\n");
    CResultData* before = doc.Data().Get();
    EXPECT_FALSE(doc.MergeFile(freq.string()));
    EXPECT_EQ(doc.Data().Get(), before);
    EXPECT_EQ(doc.Files().size(), 2u);

    fs::remove(first);
    EXPECT_EQ(doc.Reload(fresh), COhmixGraphDoc::ReloadResult::Failed);
}

TEST(Document, AMergeGoesIntoEveryRunAndAFileOfRunsIsRefused) {
    const fs::path one = WriteText("one.txt", "Time A\n0 10\n1 20\n2 30\n");
    const fs::path two = WriteText("two.txt", "Time A\n0 1\n2 3\n");
    const fs::path b = WriteText("b.txt", "Time B\n1 100\n3 300\n");
    RecordingMessages messages;
    COhmixGraphDoc doc(messages);
    ASSERT_TRUE(doc.OpenRuns({one.string(), two.string()}));
    ASSERT_TRUE(doc.MergeFile(b.string()));
    CResultDataRef fresh;
    ASSERT_EQ(doc.Reload(fresh), COhmixGraphDoc::ReloadResult::Loaded);
    for (const CResultDataRef& d : {doc.Data(), fresh}) {
        ASSERT_EQ(d->RunCount(), 2);
        const CResultData& run = *d->Run(1);
        ASSERT_EQ(run.VariableCount(), 3);
        ASSERT_EQ(run.RowCount(), 4);  // X 0, 1, 2, 3
        EXPECT_EQ(run.Variable(2)->Values()[1], 100);
    }
    // Which of B's runs would go into which of A's is no one's guess.
    CResultDataRef runs = MakeData({"Time", "B"}, {{1, 3}, {100, 300}}), r;
    runs->AddRun(MakeData({"Time", "B"}, {{1, 3}, {1, 3}}).Get(), "");
    EXPECT_FALSE(MergeIntoRuns(doc.Data(), runs, r, "runs", "runs.raw", messages));
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.back().first.rfind("runs.raw holds 2 runs: only a file of one", 0),
              0u);
}

// Grows `file` whenever the reader warns of its bad points: a simulator
// writing the file while it is read.
class RewritingMessages : public UserMessages {
public:
    void Show(const std::string&, MessageIcon) override {
        text += std::to_string(rows++) + " 9\n";
        test::Spit(file, text);
    }
    fs::path file;
    std::string text = "Time V\n0 1\n1 NAN\n";
    int rows = 2;
};

TEST(Document, AFileRewrittenDuringAReadIsSeenAsChangedAfterIt) {
    RewritingMessages messages;
    COhmixGraphDoc doc(messages);
    // The last file read is the one rewritten.
    auto seenChanged = [&]() {
        ReloadWatch watch("r.txt");
        watch.Loaded(0, {doc.Stamps().back()});
        watch.Look(1, {StampOf(doc.Files().back())});
        return watch.State() == ReloadWatch::Phase::Settling;
    };
    messages.file = WriteText("rewritten.txt", messages.text);
    ASSERT_TRUE(doc.Open(messages.file.string()));
    EXPECT_TRUE(seenChanged()) << "open";
    CResultDataRef fresh;
    ASSERT_EQ(doc.Reload(fresh), COhmixGraphDoc::ReloadResult::Loaded);
    EXPECT_TRUE(seenChanged()) << "reload";
    messages.file = WriteText("merged.txt", messages.text);
    ASSERT_TRUE(doc.MergeFile(messages.file.string()));
    ASSERT_EQ(doc.Stamps().size(), 2u);
    EXPECT_TRUE(seenChanged()) << "merge";
}

TEST(Document, AReloadKeepsOneGenerationOfThePreviousRunWithinItsLimit) {
    const fs::path run = WriteText("run.txt", "Time V\n0 1\n1 2\n");
    RecordingMessages messages;
    CResultDataRef kept;
    {
        COhmixGraphDoc doc(messages);
        ASSERT_TRUE(doc.Open(run.string()));
        EXPECT_EQ(doc.Previous(), nullptr);
        const CResultDataRef first = doc.Data();
        CResultDataRef fresh;

        ASSERT_EQ(doc.Reload(fresh), COhmixGraphDoc::ReloadResult::Loaded);
        ASSERT_NE(doc.Previous(), nullptr);
        EXPECT_EQ(doc.Previous()->Get(), first.Get());
        const CResultDataRef second = doc.Data();
        ASSERT_EQ(doc.Reload(fresh), COhmixGraphDoc::ReloadResult::Loaded);
        EXPECT_EQ(doc.Previous()->Get(), second.Get());
        EXPECT_EQ(first->RefCount(), 1);  // the older run is let go

        doc.SetPreviousLimit(DataSetBytes(*doc.Data().Get()) - 1);
        ASSERT_EQ(doc.Reload(fresh), COhmixGraphDoc::ReloadResult::Loaded);
        EXPECT_TRUE(doc.PreviousDropped());
        EXPECT_EQ(doc.Previous(), nullptr);
        doc.SetPreviousLimit(UINT64_MAX);
        ASSERT_EQ(doc.Reload(fresh), COhmixGraphDoc::ReloadResult::Loaded);
        EXPECT_FALSE(doc.PreviousDropped());

        // A reload read elsewhere is adopted the same way.
        const fs::path other = WriteText("other.txt", "Time V\n0 5\n1 6\n2 7\n");
        ASSERT_TRUE(COhmixGraphDoc::ReadFiles({other.string()}, fresh, messages));
        kept = doc.Data();
        doc.Adopt(fresh);
        EXPECT_EQ(doc.Previous()->Get(), kept.Get());
        EXPECT_FALSE(COhmixGraphDoc::ReadFiles({(Dir() / "absent.txt").string()}, fresh, messages));
    }
    // Closed, the document lets its previous run go.
    EXPECT_EQ(kept->RefCount(), 1);
}

// A watch driven by a fake clock over one fake file: the shell's part (call
// Look when the watch asked to be woken, start and finish reads) done by hand.
class WatchSim {
public:
    WatchSim() : watch_("run.txt") {
        file_ = {true, 100, 1, 7};
        Apply(watch_.Loaded(now_, Files()));
    }

    std::vector<FileStamp> Files() const { return {file_}; }

    // The simulator writes: the size and time change.
    void Write(std::int64_t size) {
        file_.size = size;
        file_.modified = ++tick_;
        Apply(watch_.Look(now_, Files()));
    }
    // Runs the clock to `until`, waking the watch as it asked.
    void RunTo(std::int64_t until) {
        while (wake_ >= 0 && wake_ <= until && !reading_) {
            now_ = wake_;
            Apply(watch_.Look(now_, Files()));
        }
        now_ = until;
    }
    // The read that was started ends.
    void Finish(bool ok, const std::string& reason = "Error in line 3") {
        ASSERT_TRUE(reading_);
        reading_ = false;
        Apply(watch_.Finished(now_, ok, reason, Files()));
    }
    void Apply(const ReloadWatch::Step& s) {
        if (s.reload) {
            ++reads_;
            reading_ = true;
        }
        wake_ = s.wakeAt;
        if (!s.status.empty()) statuses_.push_back(s.status);
    }

    ReloadWatch watch_;
    FileStamp file_;
    std::int64_t now_ = 0, wake_ = -1, tick_ = 1;
    int reads_ = 0;
    bool reading_ = false;
    std::vector<std::string> statuses_;
};

TEST(ReloadWatch, ReadsOnceTheFileHasStayedUnchangedForTheSettlingTime) {
    WatchSim sim;
    sim.RunTo(5000);  // polls only
    EXPECT_EQ(sim.reads_, 0);
    sim.Write(200);
    sim.RunTo(sim.now_ + 250);
    sim.Write(300);  // still being written: the wait starts again
    sim.RunTo(sim.now_ + 299);
    EXPECT_EQ(sim.reads_, 0);
    sim.RunTo(sim.now_ + 1);
    EXPECT_EQ(sim.reads_, 1);
    sim.Finish(true);
    EXPECT_EQ(sim.statuses_.back(), "run.txt re-loaded.");
    sim.RunTo(sim.now_ + 10000);
    EXPECT_EQ(sim.reads_, 1);
    EXPECT_EQ(sim.watch_.State(), ReloadWatch::Phase::Idle);
}

TEST(ReloadWatch, EveryKindOfChangeOfTheFileIsOneRead) {
    struct Case {
        const char* what;
        FileStamp after;
    };
    const FileStamp before{true, 100, 50, 7};
    const Case cases[] = {
        {"rewritten in place, same size", {true, 100, 51, 7}},
        {"grown, same time", {true, 140, 50, 7}},
        {"renamed over: same size and time, another file", {true, 100, 50, 8}},
    };
    for (const Case& c : cases) {
        ReloadWatch w("r.txt");
        w.Loaded(0, {before});
        w.Look(20, {c.after});
        EXPECT_TRUE(w.Look(320, {c.after}).reload) << c.what;
    }
}

TEST(ReloadWatch, AFailedReadIsRetriedQuietlyAndTheWatchWaitsAfterTheLastAttempt) {
    WatchSim sim;
    sim.Write(10);
    sim.RunTo(300);
    ASSERT_EQ(sim.reads_, 1);
    // The file holds half a line: the read fails, the next try is 1 s later.
    sim.Finish(false, "Error in line 3:\r\nnumber expected");
    EXPECT_EQ(sim.watch_.State(), ReloadWatch::Phase::Retrying);
    EXPECT_EQ(sim.statuses_.back(),
              "run.txt could not be read yet (attempt 1 of 10); trying again: Error in line 3: "
              "number expected");
    sim.RunTo(1299);
    EXPECT_EQ(sim.reads_, 1);
    sim.RunTo(1300);
    EXPECT_EQ(sim.reads_, 2);
    for (int attempt = 2; attempt <= 10; ++attempt) {
        sim.Finish(false);
        sim.RunTo(sim.now_ + 1000);
    }
    EXPECT_EQ(sim.reads_, 10);
    EXPECT_EQ(sim.watch_.State(), ReloadWatch::Phase::GaveUp);
    EXPECT_EQ(sim.statuses_.back(), "run.txt could not be read after 10 attempts: Error in line 3");
    sim.RunTo(sim.now_ + 60000);  // unchanged: no further attempt
    EXPECT_EQ(sim.reads_, 10);

    // The next change starts again, with a fresh count.
    sim.Write(20);
    sim.RunTo(sim.now_ + 300);
    EXPECT_EQ(sim.reads_, 11);
    sim.Finish(false);
    EXPECT_EQ(sim.watch_.Failures(), 1);
}

TEST(ReloadWatch, ADeletedFileIsReportedOnceAndReadWhenItComesBack) {
    WatchSim sim;
    sim.file_.exists = false;
    sim.Apply(sim.watch_.Look(100, sim.Files()));
    sim.RunTo(10000);
    ASSERT_EQ(sim.statuses_.size(), 1u);
    EXPECT_EQ(sim.statuses_[0], "run.txt was deleted; the window keeps the data it shows.");
    EXPECT_EQ(sim.reads_, 0);
    sim.file_ = {true, 100, 99, 9};
    sim.Apply(sim.watch_.Look(sim.now_, sim.Files()));
    sim.RunTo(sim.now_ + 300);
    EXPECT_EQ(sim.reads_, 1);
}

TEST(ReloadWatch, ADueReadWaitsWhileBlocked) {
    WatchSim sim;
    sim.watch_.SetBlocked(true);
    sim.Write(10);
    sim.RunTo(5000);
    EXPECT_EQ(sim.reads_, 0);
    sim.watch_.SetBlocked(false);
    sim.RunTo(sim.wake_);
    EXPECT_EQ(sim.reads_, 1);
}

TEST(ReloadWatch, AChangeDuringAReadIsReadAfterIt) {
    WatchSim sim;
    sim.Write(10);
    sim.RunTo(300);
    ASSERT_TRUE(sim.reading_);
    sim.Write(20);  // ignored while reading
    sim.Finish(true);
    sim.RunTo(sim.now_ + 300);
    EXPECT_EQ(sim.reads_, 2);
}

TEST(ReloadWatch, SwitchedOffItIgnoresChangesAndCatchesUpWhenSwitchedOn) {
    WatchSim sim;
    sim.Apply(sim.watch_.SetEnabled(false, sim.now_, sim.Files()));
    sim.Write(10);
    sim.RunTo(10000);
    EXPECT_EQ(sim.reads_, 0);
    sim.Apply(sim.watch_.SetEnabled(true, sim.now_, sim.Files()));
    sim.RunTo(sim.now_ + 300);
    EXPECT_EQ(sim.reads_, 1);
}

TEST(ReloadWatch, StampsTellReplacedFilesApart) {
    const std::filesystem::path dir = test::FreshDir("watch");
    const std::string a = (dir / "a.txt").string(), b = (dir / "b.txt").string();
    test::Spit(a, "Time V\n0 1\n");
    test::Spit(b, "Time V\n0 1\n");
    const FileStamp first = StampOf(a);
    EXPECT_TRUE(first.exists);
    EXPECT_EQ(first.size, 11);
    std::filesystem::rename(b, a);
    const FileStamp renamed = StampOf(a);
    EXPECT_NE(renamed, first);  // the same bytes, another file
    EXPECT_FALSE(StampOf((dir / "none.txt").string()).exists);
    EXPECT_FALSE(StampOf(dir.string()).exists);  // a folder is no result
}

}  // namespace
}  // namespace kurvex
