#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "TestSupport.h"
#include "data/platform/ReloadWatch.h"

namespace kurvex {
namespace {

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
        EXPECT_FALSE(w.Look(10, {before}).reload) << c.what;
        const ReloadWatch::Step first = w.Look(20, {c.after});
        EXPECT_FALSE(first.reload) << c.what;
        EXPECT_EQ(first.wakeAt, 320) << c.what;
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

TEST(ReloadWatch, AChangeAfterAFailedReadIsReadOnceSettledWithoutWaitingForTheRetry) {
    WatchSim sim;
    sim.Write(10);
    sim.RunTo(300);
    sim.Finish(false);
    sim.RunTo(400);
    sim.Write(20);  // the simulator finished writing
    sim.RunTo(699);
    EXPECT_EQ(sim.reads_, 1);
    sim.RunTo(700);
    EXPECT_EQ(sim.reads_, 2);
    sim.Finish(true);
    EXPECT_EQ(sim.watch_.Failures(), 0);
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
    EXPECT_GE(sim.wake_, 0);  // it keeps looking
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
    EXPECT_EQ(sim.watch_.State(), ReloadWatch::Phase::Settling);
    sim.RunTo(sim.now_ + 300);
    EXPECT_EQ(sim.reads_, 2);
}

TEST(ReloadWatch, AReloadFromElsewhereTakesThePendingChange) {
    WatchSim sim;
    sim.Write(10);
    sim.Apply(sim.watch_.Loaded(sim.now_ + 100, sim.Files()));  // Re-Load Data
    sim.RunTo(10000);
    EXPECT_EQ(sim.reads_, 0);

    // A read of the watch overtaken by one from elsewhere counts for nothing.
    sim.Write(20);
    sim.RunTo(sim.now_ + 300);
    ASSERT_TRUE(sim.reading_);
    sim.Apply(sim.watch_.Loaded(sim.now_, sim.Files()));
    sim.Finish(false);
    EXPECT_EQ(sim.watch_.Failures(), 0);
    EXPECT_EQ(sim.watch_.State(), ReloadWatch::Phase::Idle);
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
    EXPECT_TRUE(renamed.exists);
    EXPECT_NE(renamed, first);  // the same bytes, another file
    EXPECT_FALSE(StampOf((dir / "none.txt").string()).exists);
    EXPECT_FALSE(StampOf(dir.string()).exists);  // a folder is no result
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kurvex
